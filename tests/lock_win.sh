#!/usr/bin/env bash
# One run lock for both programs: while the Linux program or Kelvaron.exe under Wine holds
# C:\Winpack\BULLS\MARKED.LCK, neither can take it, and either can once the holder has ended.
# Arguments: the Linux lock_child, the Windows lock_child.exe; uses the test run's $WINEPREFIX.
set -euo pipefail
[ -x "$1" ] || { echo "SKIP: no Linux build at $1"; exit 77; }
mkdir -p "$WINEPREFIX/drive_c/Winpack/BULLS"
trap 'rm -rf "$WINEPREFIX/drive_c/Winpack"' EXIT
declare -A run=([linux]="$1" [windows]="wine $2")
for holder in linux windows; do
  for taker in linux windows; do
    coproc HOLDER { ${run[$holder]} hold; }
    read -r said <&"${HOLDER[0]}"
    held=$(${run[$taker]} try </dev/null | tr -d '\r')
    exec {HOLDER[1]}>&-
    wait "$HOLDER_PID" || true
    after=$(${run[$taker]} try </dev/null | tr -d '\r')
    result="${said%$'\r'} / $held / $after"
    echo "$holder holds, $taker tries: $result"
    [ "$result" = "held / refused / taken" ] || { echo FAIL; exit 1; }
  done
done
