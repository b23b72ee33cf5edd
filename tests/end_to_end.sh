#!/usr/bin/env bash
# Starts Kelvaron on a real X display against a sample station, works it by keyboard as a
# person would (Alt+F, M; Return; Alt+F, X) and checks what it left on disk.
set -euo pipefail
program=$1
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; rm -rf "$tmp"; }
trap cleanup EXIT

bash "$here/../scripts/make-station.sh" "$tmp/prefix"
wp="$tmp/prefix/drive_c/Winpack"
export WINEPREFIX="$tmp/prefix" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

"$program" &
app=$!
windows() { xdotool search --onlyvisible --name '^Kelvaron$' 2>/dev/null | wc -l; }
wait_for() {  # count of Kelvaron windows
  for _ in $(seq 300); do [ "$(windows)" -eq "$1" ] && return 0; sleep 0.1; done
  echo "FAIL: expected $1 Kelvaron windows, saw $(windows)"; exit 1
}
wait_for 1
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Kelvaron$' | head -1)"
xdotool key alt+f; sleep 0.5; xdotool key m
wait_for 2            # the closing message
sleep 0.5
xdotool key Return
wait_for 1
xdotool key alt+f; sleep 0.5; xdotool key x
status=0
wait "$app" || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: kelvaron ended with status $status"; exit 1; }

fail=0
check() { if ! eval "$1"; then echo "FAIL: $1"; fail=1; fi; }
marked=$(tr -d '\r' < "$wp/Bulls/MARKED.TXT")
check '[ "$(grep -c ",KB," <<<"$marked")" -eq 9 ]'
check 'grep -q "^000103,B,SALE" <<<"$marked"'
check 'grep -q "^000150,B,ARES" <<<"$marked"'
check 'grep -q "^000305,B,WX" <<<"$marked"'
# One date stamp, numbered from 01 (the stamp itself is the clock's, which a test does not guess).
stamp=$(ls "$wp/Archive/Bulls/Ares" | head -1 | cut -c1-6)
check '[[ $stamp =~ ^[0-9]{6}$ ]]'
check '[ "$(ls "$wp/Archive/Bulls/Ares" | tr "\n" " ")" = "${stamp}01.TXT ${stamp}02.TXT ${stamp}03.TXT ${stamp}04.TXT " ]'
check '[ "$(ls "$wp/Archive/Bulls/Wx" | wc -l)" -eq 3 ]'
check '[ "$(ls "$wp/Archive/Bulls/4x4" | wc -l)" -eq 2 ]'
check '[ "$(ls "$XDG_DATA_HOME/Trash/files" | wc -l)" -eq 9 ]'
check '[ -f "$wp/Bulls/3/000103.TXT" ] && [ -f "$wp/Bulls/5/000305.TXT" ]'
check '[ ! -e "$wp/Bulls/MARKED.TMP" ]'
check 'cmp -s "$XDG_DATA_HOME/Trash/files/000101.TXT" "$wp/Archive/Bulls/Ares/${stamp}01.TXT"'
[ "$fail" -eq 0 ] && echo "end-to-end: the run archived 9 bulletins and the program ended with status 0"
exit "$fail"
