#!/usr/bin/env bash
# Runs a test program under Wine while a helper waits for the shell's question whether to
# delete a file for good, prints it and answers "No", as a careful operator would.
#   answer_win.sh msgbox.exe program.exe [arguments...]
set -euo pipefail
msgbox=$1
shift
[ -n "${DISPLAY:-}" ] || { echo "SKIP: no X display for the shell's question"; exit 77; }
wine "$msgbox" --caption "" --press 7 > answer.log 2>&1 &  # 7: IDNO
helper=$!
status=0
wine "$@" || status=$?
wait "$helper" || { echo "FAIL: the shell asked no question"; status=1; }
echo "the shell asked: $(tr -d '\r' < answer.log)"
exit "$status"
