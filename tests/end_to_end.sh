#!/usr/bin/env bash
# Kelvaron as a person uses it, on a real X display under openbox, against a sample station:
# the stored placement and the icon, then Version and a run worked by keyboard through the
# menu (Alt+F, V; Alt+F, M), the closing message answered (Return), Exit (Alt+F, X); then what
# the run left on disk, and a second start, fitted to the screen, ended by the close box
# (Alt+F4) without touching a file.
#   end_to_end.sh kelvaron
#       the Linux program, on an X display of its own;
#   end_to_end.sh --wine msgbox.exe Kelvaron.exe
#       Kelvaron.exe under Wine on the test run's display, in its prefix ($WINEPREFIX, already
#       started), whose C:\Winpack it makes afresh; msgbox.exe reads the message box and the
#       status bar, which a Qt window draws itself and no other process can read.
set -euo pipefail
# A step that fails ends the script; it says which, so that a failure far away can be read.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND"' ERR
skip() { echo "SKIP: $1"; exit 77; }
if [ "$1" = --wine ]; then
  msgbox=$2 program=$3 runner=(wine) tools=(wine)
  [ -n "${DISPLAY:-}" ] || skip "no X display"
else
  msgbox="" program=$1 runner=() tools=(Xvfb)
fi
for tool in openbox xdotool xprop "${tools[@]}"; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
here=$(cd "$(dirname "$0")" && pwd)
. "$here/x_display.sh"
tmp=$(mktemp -d)
wp=""
pids=()
# A station folder that is a mounted drive (a FAT one, say) stays, emptied.
clear_station() { rm -rf "$wp" 2>/dev/null || [ -z "$(ls -A "$wp")" ]; }
cleanup() { kill "${pids[@]}" 2>/dev/null || true; rm -rf "$tmp"; clear_station; }
trap cleanup EXIT
fail=0
check() { if ! eval "$1"; then echo "FAIL: $1"; fail=1; fi; }
# A condition the window meets once the program or Wine has set a property after mapping it,
# which a loaded machine may delay: up to 3 s.
check_soon() {
  for _ in $(seq 30); do eval "$1" && return 0; sleep 0.1; done
  check "$1"
}

if [ -n "$msgbox" ]; then
  key='HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Kelvaron\Settings'
  store() {  # KEY=VALUE...: the stored placement of the next start, and nothing else
    local pair
    {
      printf 'REGEDIT4\r\n\r\n[-%s]\r\n\r\n[%s]\r\n' "$key" "$key"
      for pair; do printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}"; done
    } >"$tmp/placement.reg"
    wine reg import "Z:${tmp//\//\\}\\placement.reg" >/dev/null 2>&1
  }
  # What the window shows, read by the helper: the message box, or the status bar's --panel1
  # or --parts. The status bar may be a moment behind the keys that changed it: up to 3 s; the
  # helper itself waits for a message box.
  check_shown() {  # expected, helper options
    local seen="" tries=15
    [ $# -gt 1 ] || tries=1
    for _ in $(seq "$tries"); do
      seen=$(wine "$msgbox" "${@:2}" 2>&1 | tr -d '\r') || true
      [ "$seen" = "$1" ] && return 0
      sleep 0.2
    done
    echo "FAIL: shown ${2:-message}: '$seen', not '$1'"
    fail=1
  }
else
  export WINEPREFIX="$tmp/prefix" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config"
  export XDG_RUNTIME_DIR="$tmp/runtime"
  mkdir -p -m 700 "$XDG_DATA_HOME" "$XDG_CONFIG_HOME/Kelvaron" "$XDG_RUNTIME_DIR"
  store() { printf '%s\n' '[Settings]' "$@" >"$XDG_CONFIG_HOME/Kelvaron/Kelvaron.conf"; }
  check_shown() { :; }  # Qt draws its widgets itself; the window tests read them
  start_x_display "$tmp" || { echo "FAIL: no X display"; exit 1; }
  pids+=("$x_display_pid")
fi
wp="$WINEPREFIX/drive_c/Winpack"
clear_station
rm -rf "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
bash "$here/../scripts/make-station.sh" "$WINEPREFIX"
# A window manager of our own on this display (one already there keeps it, and this one ends).
start_window_manager "$tmp" || { echo "FAIL: no window manager"; exit 1; }
pids+=("$wm_pid")

# The visible Kelvaron windows, one id a line. A window may be unmapped for a moment while the
# window manager frames or fits it: no window is an answer, not a failure.
windows() { xdotool search --onlyvisible --name '^Kelvaron$' 2>/dev/null || true; }
wait_for() {  # count of Kelvaron windows
  for _ in $(seq 300); do [ "$(windows | wc -l)" -eq "$1" ] && return 0; sleep 0.1; done
  echo "FAIL: expected $1 Kelvaron windows, saw $(windows | wc -l)"; exit 1
}
# Makes the main window the active one, as a click on it would; openbox may be busy a moment.
activate() {
  for _ in $(seq 10); do
    timeout 5 xdotool windowactivate --sync "$main" 2>/dev/null && return 0
    sleep 0.2
  done
  echo "FAIL: the main window could not be made active"
  wm_up || echo "the window manager is gone: $(cat "$tmp/openbox.log")"
  exit 1
}
# Starts the program with the stored placement KEY=VALUE... and waits for its window: Wine
# on a loaded machine may take most of a minute to bring up a program's first window.
launch() {
  store "$@"
  "${runner[@]}" "$program" &
  app=$!
  pids+=("$app")
  main=""
  for _ in $(seq 600); do
    main=$(windows | head -1)
    [ -n "$main" ] && return 0
    sleep 0.1
  done
  echo "FAIL: no Kelvaron window"; exit 1
}
# Waits for the program to end of itself and checks that it ended well.
ended() {  # what ended it
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && { echo "FAIL: Kelvaron did not end at $1"; exit 1; }
  local status=0
  wait "$app" || status=$?
  [ "$status" -eq 0 ] || { echo "FAIL: Kelvaron ended at $1 with status $status"; fail=1; }
}
# Checks a condition on the main window's visible outer $width and $height (its size with the
# frame extents left, right, top, bottom), once the window manager has framed it.
check_frame() {
  local extents l r t b WIDTH=0 HEIGHT=0
  for _ in $(seq 50); do
    eval "$(xdotool getwindowgeometry --shell "$main" 2>/dev/null)"
    extents=$(xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = //p' | tr -d ' ') ||
      true
    IFS=, read -r l r t b <<<"${extents:-0,0,0,0}"
    width=$((WIDTH + l + r)) height=$((HEIGHT + t + b))
    eval "$1" && break
    sleep 0.1
  done
  echo "outer frame: ${width}x${height}"
  check "$1"
}

# 12000 twips wide including the frame (800 pixels at 96 DPI, 1440 twips an inch); the
# unusable height takes its default of 2000 twips (133 pixels). Kelvaron.exe's frame outside
# the visible one may take a few of them. The dpi is the prefix's (LogPixels), else 96.
dpi=96
if [ -n "$msgbox" ]; then
  logpixels=$(wine reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null |
    sed -n 's/.*REG_DWORD *//p' | tr -d '\r') || true
  [ -z "$logpixels" ] || dpi=$((logpixels))
fi
wide=$((12000 * dpi / 1440)) high=$((2000 * dpi / 1440))
launch MainWidth=12000 "MainHeight=not a number"
check_frame '[ "$width" -gt $((wide - 20)) ] && [ "$width" -le $wide ] &&
             [ "$height" -gt $((high - 20)) ] && [ "$height" -le $high ]'
# The program's own picture of 32 pixels (scaled with the dpi), not the toolkit's stand-in.
icon=$((32 * dpi / 96))
check_soon 'xprop -id "$main" _NET_WM_ICON | grep -q "Icon ($icon x $icon)"'

activate
check_shown "From: " --panel1
# Two panels and the bar's free end, which is no part of its own.
check_shown 2 --parts
xdotool key alt+f; sleep 0.5; xdotool key v
check_shown "Kelvaron version: 1.01 of 07-JUL-2002." --panel1
xdotool key alt+f; sleep 0.5; xdotool key m
wait_for 2  # the closing message
check_shown "Kelvaron is Finnished."
sleep 0.5
xdotool key Return
wait_for 1
# The bulletin of the last line the run processed.
check_shown 'C:\Winpack\Bulls\0\000300.TXT' --panel1
activate
xdotool key alt+f; sleep 0.5; xdotool key x
ended Exit

marked=$(tr -d '\r' < "$wp/Bulls/MARKED.TXT")
check '[ "$(grep -c ",KB," <<<"$marked")" -eq 9 ]'
for line in 000103,B,SALE 000150,B,ARES 000305,B,WX; do check "grep -q ^$line <<<\"\$marked\""; done
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

# Started again, taller than the screen: as tall as the screen; it moved nothing, and the
# close box ends it without touching a file.
tree() { (cd "$wp" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
before=$(tree)
launch MainHeight=100000
read -r _ screen <<<"$(xdotool getdisplaygeometry)"
check_frame '[ "$height" -gt $((screen - 20)) ] && [ "$height" -le "$screen" ]'
activate
xdotool key alt+F4
ended "its close box"
check '[ "$(tree)" = "$before" ]'

[ "$fail" -eq 0 ] && echo "end-to-end: 9 bulletins archived, the closing message shown, status 0"
exit "$fail"
