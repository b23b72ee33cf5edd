# shellcheck shell=bash
# Sourced: an X display and a window manager of one's own, for the scripts that show windows.
# A loaded machine may start either late, and now and then not at all: a server that ends
# before it answers, or an openbox that ends before it has named its window, is started again.
# The server never resets when its last client leaves, so that a client coming just then is
# not turned away.

# start_x_display DIR [XVFB-OPTION...]: an Xvfb on a display it picks itself (other tests may
# run X servers at the same time), by default a 1024x768 screen at 96 dpi; exports DISPLAY and
# sets x_display_pid. Logs in DIR.
start_x_display() {
  local dir=$1 try options=("${@:2}")
  [ ${#options[@]} -gt 0 ] || options=(-screen 0 1024x768x24 -dpi 96)
  for try in 1 2 3; do
    rm -f "$dir/display"
    Xvfb -displayfd 3 "${options[@]}" -nolisten tcp -noreset 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    x_display_pid=$!
    for _ in $(seq 600); do
      if [ -s "$dir/display" ]; then
        DISPLAY=":$(head -1 "$dir/display")"
        export DISPLAY
        xprop -root >/dev/null 2>&1 && return 0
      fi
      kill -0 "$x_display_pid" 2>/dev/null || break
      sleep 0.1
    done
    echo "the X server did not answer (try $try): $(cat "$dir/xvfb.log")" >&2
    kill "$x_display_pid" 2>/dev/null || true
  done
  return 1
}

# Whether a window manager runs on $DISPLAY: openbox names its own window on the root window.
wm_up() {
  local id
  id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p')
  [ -n "$id" ] && xprop -id "$id" _NET_WM_NAME >/dev/null 2>&1
}

# start_window_manager DIR: openbox on $DISPLAY, or the window manager already there (a new
# openbox then ends); sets wm_pid. Logs in DIR.
start_window_manager() {
  local dir=$1 try
  for try in 1 2 3; do
    openbox >"$dir/openbox.log" 2>&1 &
    wm_pid=$!
    for _ in $(seq 600); do
      wm_up && break
      kill -0 "$wm_pid" 2>/dev/null || break
      sleep 0.1
    done
    # A window mapped while openbox is still starting is not always framed.
    wm_up && sleep 1 && return 0
    echo "no window manager on $DISPLAY (try $try, openbox $(kill -0 "$wm_pid" 2>/dev/null &&
      echo still starting || echo ended)): $(cat "$dir/openbox.log")" >&2
    kill "$wm_pid" 2>/dev/null || true
  done
  return 1
}
