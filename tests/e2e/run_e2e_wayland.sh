#!/usr/bin/env bash
# The program under a headless Wayland compositor (weston), with and without XWayland.
# With XWayland (WAYLAND_DISPLAY and DISPLAY set, QT_QPA_PLATFORM not) it must be an X
# client, so as to place its own windows: its about box is a window of XWayland's server,
# takes Enter, and the main window follows. Without, it runs on Wayland itself: the
# compositor's screenshot shows its about box. A headless weston has no input devices,
# so nothing can point or click there (XTEST reaches no window): the key is a synthetic
# X event, and measuring is left to the tests under Xvfb, which run the same X client.
# Usage: run_e2e_wayland.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=wayland
source "$(dirname "$0")/lib.sh"
e2e_begin
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
compositor=""
stop_compositor() { [ -z "$compositor" ] || { kill "$compositor"; wait "$compositor" || true; compositor=""; }; }
trap 'stop_program; stop_compositor' EXIT
start_compositor() {  # start_compositor <socket> [weston options]
  weston --backend=headless-backend.so --use-pixman --debug --width=1280 --height=1024 --socket="$@" \
    > "$work/weston-$1.log" 2>&1 &
  compositor=$!
  until_true "$e2e_patience_ms" test -S "$XDG_RUNTIME_DIR/$1" || fail "weston did not start: $(cat "$work/weston-$1.log")"
}

start_compositor xwayland --xwayland
xwayland_listening() {
  DISPLAY=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston-xwayland.log")
  [ -n "$DISPLAY" ]
}
until_true "$e2e_patience_ms" xwayland_listening || fail "weston started no XWayland"
export DISPLAY
WAYLAND_DISPLAY=xwayland "$program" > "$work/app.log" 2>&1 &
app=$!
about=$(find_window "^$title$") || fail "no about box on XWayland: the program is no X client"
# The box is gone before the key's release, which xdotool then can't send: no error.
xdotool key --window "$about" Return 2> /dev/null || true
gone "$about" || fail "the about box did not take Enter"
main=$(find_window "^$title$") && [ "$main" != "$about" ] || fail "no main window on XWayland"
alive || fail "the program ended"
stop_program; app=""; stop_compositor; unset DISPLAY

start_compositor wayland
WAYLAND_DISPLAY=wayland "$program" > "$work/app.log" 2>&1 &
app=$!
mkdir "$work/shots"
about_box_shown() {  # the about box's ground (D3D3C0) and panel (E4E6DD) on the screen
  rm -f "$work"/shots/*
  (cd "$work/shots" && WAYLAND_DISPLAY=wayland weston-screenshooter > /dev/null 2>&1) || true
  shot_file=$(ls "$work"/shots/*.png 2> /dev/null | head -1 || true)
  [ -n "$shot_file" ] && [ "$(count_colour "$shot_file" D3D3C0)" -gt 10000 ] && [ "$(count_colour "$shot_file" E4E6DD)" -gt 30000 ]
}
until_true "$e2e_patience_ms" about_box_shown || fail "no about box on the compositor's screen"
alive || fail "the program ended"
echo "weston: an X client through XWayland, a Wayland client without it"
rm -rf "$work"
