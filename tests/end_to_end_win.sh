#!/usr/bin/env bash
# Kelvaron.exe under Wine on the X display of the test run, with openbox: stored placement
# from the registry, then Version and a run worked by keyboard through the menu (Alt+F, V;
# Alt+F, M), the message box and the first panel read, Exit; then what it left on disk, and a
# second start ended by the close box that touches nothing. Runs in the Wine prefix of the test
# run ($WINEPREFIX, already started), whose C:\Winpack it makes afresh.
set -euo pipefail
exe=$1
msgbox=$2
[ -n "${DISPLAY:-}" ] || { echo "SKIP: no X display"; exit 77; }
for tool in openbox xdotool wine; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
wp="$WINEPREFIX/drive_c/Winpack"
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; rm -rf "$wp"; }
trap cleanup EXIT

rm -rf "$wp" "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
bash "$here/../scripts/make-station.sh" "$WINEPREFIX"
key='HKCU\Software\VB and VBA Program Settings\Kelvaron\Settings'
wine reg add "$key" /v MainWidth /d 12000 /f >/dev/null 2>&1
wine reg add "$key" /v MainHeight /d "not a number" /f >/dev/null 2>&1
# A window manager of our own on this display (one already there keeps it, and this one ends).
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

wine "$exe" &
app=$!
pids+=("$app")
find_main() { xdotool search --onlyvisible --name '^Kelvaron$' 2>/dev/null | head -1; }
for _ in $(seq 300); do [ -n "$(find_main)" ] && break; sleep 0.1; done
main=$(find_main)
[ -n "$main" ] || { echo "FAIL: no Kelvaron window"; exit 1; }

fail=0
check() { if ! eval "$1"; then echo "FAIL: $1"; fail=1; fi; }
# 12000 twips wide including the frame (800 pixels at 96 DPI); the unusable height takes its
# default of 2000 twips (133 pixels).
eval "$(xdotool getwindowgeometry --shell "$main")"
frame=$(xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9, ]*$' || true)
echo "window: ${WIDTH}x${HEIGHT}, frame extents: ${frame:-none}"
check '[ "$WIDTH" -gt 760 ] && [ "$WIDTH" -le 800 ]'
check '[ "$HEIGHT" -gt 60 ] && [ "$HEIGHT" -le 133 ]'

xdotool windowactivate --sync "$main"
check '[ "$(wine "$msgbox" --panel1 2>/dev/null | tr -d "\r")" = "From: " ]'
# Two panels and the bar's free end, which is no part of its own.
check '[ "$(wine "$msgbox" --parts 2>/dev/null | tr -d "\r")" = 2 ]'
xdotool key alt+f; sleep 0.5; xdotool key v
sleep 0.5
check '[ "$(wine "$msgbox" --panel1 2>/dev/null | tr -d "\r")" = "Kelvaron version: 1.01 of 07-JUL-2002." ]'
xdotool key alt+f; sleep 0.5; xdotool key m
text=$(wine "$msgbox" 2>/dev/null | tr -d '\r')
echo "message: $text"
check '[ "$text" = "Kelvaron is Finnished." ]'
xdotool key Return
sleep 1
# The bulletin of the last line the run processed.
check '[ "$(wine "$msgbox" --panel1 2>/dev/null | tr -d "\r")" = "C:\\Winpack\\Bulls\\0\\000300.TXT" ]'
xdotool windowactivate --sync "$main"
xdotool key alt+f; sleep 0.5; xdotool key x
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
  echo "FAIL: Kelvaron.exe did not end after Exit"
  exit 1
fi
status=0
wait "$app" || status=$?
check '[ "$status" -eq 0 ]'

marked=$(tr -d '\r' < "$wp/Bulls/MARKED.TXT")
check '[ "$(grep -c ",KB," <<<"$marked")" -eq 9 ]'
check 'grep -q "^000103,B,SALE" <<<"$marked"'
check 'grep -q "^000150,B,ARES" <<<"$marked"'
check 'grep -q "^000305,B,WX" <<<"$marked"'
stamp=$(ls "$wp/Archive/Bulls/Ares" | head -1 | cut -c1-6)
check '[[ $stamp =~ ^[0-9]{6}$ ]]'
check '[ "$(ls "$wp/Archive/Bulls/Ares" | tr "\n" " ")" = "${stamp}01.TXT ${stamp}02.TXT ${stamp}03.TXT ${stamp}04.TXT " ]'
check '[ "$(ls "$wp/Archive/Bulls/Wx" | wc -l)" -eq 3 ]'
check '[ "$(ls "$wp/Archive/Bulls/4x4" | wc -l)" -eq 2 ]'
check '[ "$(ls "$XDG_DATA_HOME/Trash/files" | wc -l)" -eq 9 ]'
check '[ -f "$wp/Bulls/3/000103.TXT" ] && [ -f "$wp/Bulls/5/000305.TXT" ]'
check '[ ! -e "$wp/Bulls/MARKED.TMP" ]'
check 'cmp -s "$XDG_DATA_HOME/Trash/files/000101.TXT" "$wp/Archive/Bulls/Ares/${stamp}01.TXT"'
# Started again: it moved nothing, and the close box ends it without touching a file.
tree() { (cd "$WINEPREFIX/drive_c/Winpack" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
before=$(tree)
wine "$exe" &
app=$!
pids+=("$app")
for _ in $(seq 300); do [ -n "$(find_main)" ] && break; sleep 0.1; done
main=$(find_main)
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
  echo "FAIL: Kelvaron.exe did not end at its close box"
  exit 1
fi
status=0
wait "$app" || status=$?
check '[ "$status" -eq 0 ]'
check '[ "$(tree)" = "$before" ]'

[ "$fail" -eq 0 ] && echo "end-to-end (Windows): 9 bulletins archived, \"Kelvaron is Finnished.\" shown, status 0"
exit "$fail"
