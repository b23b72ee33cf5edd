#!/usr/bin/env bash
# Starts Kelvaron on a real X display under openbox, which puts a frame around the window,
# and checks the outer frame the window manager reports against the stored placement:
# left, top, outer width and outer height in twips at 15 twips a pixel.
set -euo pipefail
program=$1
for tool in Xvfb openbox xdotool xwininfo xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
tmp=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; rm -rf "$tmp"; }
trap cleanup EXIT
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" WINEPREFIX="$tmp/prefix"
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME/Kelvaron" "$WINEPREFIX" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The display and openbox as every test that shows windows starts them: a server or window
# manager that fails to come up is started again, and its own words are kept.
. "$(dirname "$0")/x_display.sh"
start_x_display "$tmp"
pids+=("$x_display_pid")
start_window_manager "$tmp"
pids+=("$wm_pid")

# The outer frame of the visible Kelvaron window that the window manager framed:
# "left top width height".
outer() {
  local id info extents l r t b x y w h
  for id in $(xdotool search --onlyvisible --name '^Kelvaron$' 2>/dev/null || true); do
    extents=$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = //p' | tr -d ' ')
    [ -n "$extents" ] || continue
    info=$(xwininfo -id "$id" 2>/dev/null) || continue
    IFS=, read -r l r t b <<<"$extents"
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/^ *Width: *//p' <<<"$info")
    h=$(sed -n 's/^ *Height: *//p' <<<"$info")
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
    return 0
  done
  return 1
}

fail=0
# One start of the program with `settings` in its settings file and the environment
# assignments after it; expects "left top width height".
check() {
  local name=$1 settings=$2 expected=$3 seen=""
  shift 3
  printf '[Settings]\n%b' "$settings" >"$XDG_CONFIG_HOME/Kelvaron/Kelvaron.conf"
  env "$@" "$program" 2>"$tmp/program.log" &
  local app=$!
  # The frame is fitted once openbox has told its extents; wait for it, up to 10 s.
  for _ in $(seq 100); do
    seen=$(outer || true)
    [ "$seen" = "$expected" ] && break
    sleep 0.1
  done
  if [ "$seen" = "$expected" ]; then
    echo "$name: outer frame $seen"
  else
    echo "FAIL: $name: outer frame '$seen', expected '$expected'"
    xwininfo -root -tree | grep -i kelvaron || true
    cat "$tmp/program.log" "$tmp/openbox.log"
    fail=1
  fi
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
}

# 1000, 1000, 9500 x 2000 twips; 12000 twips are 800 pixels.
check "default placement" "" "67 67 633 133"
check "stored MainWidth=12000" "MainWidth=12000\n" "67 67 800 133"
check "decimal comma, C locale" "MainLeft=1500,5\nMainTop=3000\n" "67 200 633 133"
# LOCPATH names the folder of the test build's de_DE.UTF-8 locale.
if [ -n "${LOCPATH:-}" ]; then
  check "decimal comma, de_DE locale" "MainLeft=1500,5\nMainTop=3000\n" "100 200 633 133" \
    LC_ALL=de_DE.UTF-8
fi
exit "$fail"
