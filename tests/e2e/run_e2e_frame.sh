#!/usr/bin/env bash
# End to end under a window manager (openbox) that frames windows: the main window's
# outer size, frame included, is 724 x 535, and the frame is centred on the screen.
# Usage: run_e2e_frame.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=frame
source "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$program"
e2e_begin
command -v openbox > /dev/null || { echo "openbox is not installed (scripts/install-deps.sh)" >&2; exit 1; }

openbox > "$work/openbox.log" 2>&1 &
manager=$!
trap 'stop_program; kill $manager 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done

show_main_window
# The frame's extents (left, right, top, bottom) once the manager has framed the window
# and the program has fitted its client area into the outer size.
extents=""
for _ in $(seq 1 50); do
  extents=$(xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
  [ -n "$extents" ] && break
  sleep 0.1
done
[ -n "$extents" ] || fail "openbox gave the window no frame"
IFS=, read -r left right top bottom <<< "$extents"
[ $((left + right + top + bottom)) -gt 0 ] || fail "the frame has no extent"
read -r screen_w screen_h < <(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
centred_x=$(((screen_w - 724) / 2)); centred_y=$(((screen_h - 535) / 2))
outer=""; frame_at=""
for _ in $(seq 1 30); do
  # xwininfo: xdotool counts a reparenting manager's frame offset twice in the position
  info=$(xwininfo -id "$main")
  X=$(sed -n 's/.*Absolute upper-left X: *//p' <<< "$info"); Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<< "$info")
  WIDTH=$(sed -n 's/.*Width: *//p' <<< "$info"); HEIGHT=$(sed -n 's/.*Height: *//p' <<< "$info")
  outer="$((WIDTH + left + right))x$((HEIGHT + top + bottom))"
  frame_at="$((X - left)),$((Y - top))"
  [ "$outer" = "724x535" ] && [ "$frame_at" = "$centred_x,$centred_y" ] && break
  sleep 0.1
done
[ "$outer" = "724x535" ] || fail "outer size $outer (client ${WIDTH}x$HEIGHT, frame $extents), not 724x535"
[ "$frame_at" = "$centred_x,$centred_y" ] || fail "frame at $frame_at, not centred at $centred_x,$centred_y"
echo "framed: outer size $outer (client ${WIDTH}x$HEIGHT, frame $extents), centred"
rm -rf "$work"
