#!/usr/bin/env bash
# Runs after runs of one program while another appends a line every millisecond to MARKED.TXT
# (tests/appender.cpp): no line it writes may be lost, torn or doubled, none of its opens
# refused, and few runs may leave the list to the next run.
# Arguments: run_child, appender, number of runs, line|held, and optionally the Wine prefix to
# make the station in (else a new one) and the share of runs in percent that may leave the list
# (5). A program ending in .exe is run under Wine in the test run's $WINEPREFIX: Winpack itself
# is a Windows program.
set -euo pipefail
run_child=$1 appender=$2 runs=$3 mode=$4 may_leave=${6:-5}
[ -x "$run_child" ] || { echo "SKIP: no $run_child"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
prefix=${5:-$tmp/prefix}
[[ "$run_child$appender" == *.exe* ]] && prefix=$WINEPREFIX
run() {
  if [[ "$1" == *.exe ]]; then wine "$@"; else WINEPREFIX=$prefix "$@"; fi
}
at() {  # a path below drive C: as the program takes it
  if [[ "$1" == *.exe ]]; then printf 'C:\\%s' "${2//\//\\}"; else printf '%s/drive_c/%s' "$prefix" "$2"; fi
}
wp=$prefix/drive_c/Winpack
trap 'touch "$wp/stop" 2>/dev/null; wait; rm -rf "$tmp" "$wp"' EXIT
rm -rf "$wp"
bash "$here/../scripts/make-station.sh" "$prefix"
export XDG_DATA_HOME=$tmp/data
mkdir -p "$XDG_DATA_HOME"
before=$(tr -d '\r' < "$wp/Bulls/MARKED.TXT" | awk 'END { print NR }')

run "$appender" "$(at "$appender" Winpack/Bulls/MARKED.TXT)" "$mode" "$(at "$appender" Winpack/stop)" \
  > "$tmp/appended" &
appending=$!
left=0
for ((i = 0; i < runs; i++)); do
  said=$(run "$run_child" 0 < /dev/null | tr -d '\r')
  [ "$(tail -1 <<<"$said")" = "Kelvaron is Finnished." ] || { left=$((left + 1)); echo "run $i: $said" | head -3; }
done
touch "$wp/stop"
wait "$appending"
said=$(run "$run_child" 0 < /dev/null | tr -d '\r')  # the appender has stopped: this one completes
[ "$(tail -1 <<<"$said")" = "Kelvaron is Finnished." ] || { echo "FAIL: the last run: $said"; exit 1; }

read -r _ written _ refused < <(tr -d '\r' < "$tmp/appended")
lines_ok=0
tr -d '\r' < "$wp/Bulls/MARKED.TXT" | awk -v n="$written" -v before="$before" '
  /^8[0-9][0-9][0-9][0-9][0-9],B,WX    ,[0-9]+$/ { seq = substr($0, 17) + 0; seen[seq]++
    if (seq < last) disorder++; last = seq; next }
  { other++ }
  END {
    for (s = 0; s < n; s++) { if (!(s in seen)) lost++; else if (seen[s] > 1) doubled++ }
    printf "%d lines appended: %d lost, %d doubled, %d out of order, %d torn or foreign\n",
           n, lost, doubled, disorder, other - before
    exit (lost + doubled + (other != before)) > 0 }' || lines_ok=$?
echo "$runs runs: $left left the list to the next run; $refused opens of the appender refused"
[ "$lines_ok" -eq 0 ] || { echo "FAIL: lines lost, doubled or torn"; exit 1; }
[ "$refused" -eq 0 ] || { echo "FAIL: the appender was refused"; exit 1; }
[ $((left * 100)) -lt $((runs * may_leave)) ] || { echo "FAIL: too many runs left the list"; exit 1; }
