#!/usr/bin/env bash
# The program under a Wayland compositor: weston with its headless backend, once with
# XWayland and once without.
# - With XWayland (WAYLAND_DISPLAY and DISPLAY both set, QT_QPA_PLATFORM not): the program
#   must run as an X client, so that it places its windows itself: its about box and main
#   window are windows of XWayland's X server, the about box takes Enter and the main
#   window follows.
# - Without: the program runs on Wayland itself; the compositor's screenshot shows its
#   about box.
# A headless weston has no input devices, so nothing can point or click there: XTEST
# (xdotool's way) reaches no window and a Wayland client gets no input at all. Keys are
# sent to XWayland's windows as synthetic X events; the measuring itself is covered by
# the tests under Xvfb, which run the same X client code.
# Usage: run_e2e_wayland.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=wayland
source "$(dirname "$0")/lib.sh"
e2e_begin
for tool in weston weston-screenshooter Xwayland; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
compositor=""
stop_compositor() {
  if [ -n "$compositor" ]; then
    kill "$compositor" 2>/dev/null || true
    wait "$compositor" 2>/dev/null || true
    compositor=""
  fi
}
trap 'stop_program; stop_compositor' EXIT

start_compositor() {  # start_compositor <socket> [weston options]: a headless weston
  local socket=$1
  shift
  weston --backend=headless-backend.so --use-pixman --debug --width=1280 --height=1024 \
    --socket="$socket" "$@" > "$work/weston-$socket.log" 2>&1 &
  compositor=$!
  for _ in $(seq 1 50); do [ -S "$XDG_RUNTIME_DIR/$socket" ] && return 0; sleep 0.1; done
  cat "$work/weston-$socket.log" >&2
  fail "weston did not start"
}

# --- with XWayland: the program is an X client ---------------------------------------
start_compositor qfip-xwayland --xwayland
x_display=""
for _ in $(seq 1 50); do
  x_display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston-qfip-xwayland.log")
  [ -n "$x_display" ] && break
  sleep 0.1
done
[ -n "$x_display" ] || fail "weston started no XWayland"
WAYLAND_DISPLAY=qfip-xwayland DISPLAY=$x_display "$program" > "$work/app.log" 2>&1 &
app=$!
export DISPLAY=$x_display
about=$(find_window "^$title$") || fail "no about box on XWayland: the program did not run as an X client"
# (the box is gone before the key's release, which xdotool then can't send: not an error)
xdotool key --window "$about" Return 2> /dev/null || true
gone "$about" || fail "the about box did not take Enter"
main=$(find_window "^$title$") || fail "no main window on XWayland"
[ "$main" != "$about" ] || fail "no main window after the about box"
alive || fail "the program ended"
echo "with XWayland: an X client; about box, Enter, main window"
stop_program
app=""
stop_compositor
unset DISPLAY

# --- without XWayland: the program is a Wayland client --------------------------------
start_compositor qfip-wayland
WAYLAND_DISPLAY=qfip-wayland "$program" > "$work/app.log" 2>&1 &
app=$!
mkdir "$work/shots"
# The about box's ground (D3D3C0) and its panel (E4E6DD) on the compositor's screen.
count() {  # count <png> <RRGGBB>: pixels of that colour
  convert "$1" -fill black +opaque "#$2" -fill white -opaque "#$2" -format '%[fx:round(mean*w*h)]' info:
}
seen=""
for _ in $(seq 1 30); do
  rm -f "$work/shots"/*.png
  (cd "$work/shots" && WAYLAND_DISPLAY=qfip-wayland weston-screenshooter > /dev/null 2>&1) || true
  shot_file=$(ls "$work/shots"/*.png 2>/dev/null | head -1 || true)
  if [ -n "$shot_file" ]; then
    ground=$(count "$shot_file" D3D3C0); panel=$(count "$shot_file" E4E6DD)
    seen="ground $ground, panel $panel pixels"
    [ "$ground" -gt 10000 ] && [ "$panel" -gt 30000 ] && break
  fi
  sleep 0.2
done
[ -n "$shot_file" ] || fail "weston took no screenshot"
[ "$ground" -gt 10000 ] && [ "$panel" -gt 30000 ] || fail "no about box on the compositor's screen ($seen)"
alive || fail "the program ended"
grep -q "cannot start" "$work/app.log" && fail "the program could not start on Wayland"
echo "without XWayland: a Wayland client; its about box is on the compositor's screen ($seen)"
rm -rf "$work"
