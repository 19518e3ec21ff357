#!/usr/bin/env bash
# End to end with a metafile that takes seconds to draw: the built program under Xvfb,
# driven with xdotool. While it is drawn the window stays alive: a window laid over it
# and taken away again leaves it repainted at once. Enter pressed meanwhile is not lost
# and does not act early: it takes its step once the picture is there (a step on a
# metafile brings the error box), so the saved file holds the bitmap's line once.
# Usage: run_e2e_slow_drawing.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=slow-drawing
source "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$program"
e2e_begin

# Grey 40 everywhere, a square of 200 at [36, 76) x [20, 60); then 40 x 30 of green,
# drawn 300,000 times over (seconds).
"$pictures_tool" square a.bmp 100 80 40 36 20 76 60 200
"$pictures_tool" metafile rectangles slow.wmf

# The drawing has begun once a helper of the program has had a quarter of a second on
# a CPU (the one started ahead takes a few hundredths to set itself up, then waits).
helper_busy() {
  local child stat
  for child in $(pgrep -P "$app"); do
    stat=$(cat "/proc/$child/stat" 2> /dev/null) || continue
    set -- ${stat##*) }   # the fields after the name: user and system time are the 12th and 13th
    (( ${12} + ${13} >= $(getconf CLK_TCK) / 4 )) && return 0
  done
  return 1
}

start_program
open_pictures '"a.bmp" "slow.wmf"'
wait_pixel $((ix + 4)) $((iy + 4)) 282828          # a.bmp's ground
xdotool mousemove --sync $((ix + 56)) $((iy + 40))
xdotool click 1          # measures a.bmp, then draws slow.wmf
until_true "$e2e_patience_ms" helper_busy || fail "no helper draws the metafile"
xdotool key Return       # waits for the drawing

# Another program's window over the picture column, then gone: the exposed part is
# painted again while the drawing goes on.
xmessage -geometry 300x200+$wx+$((wy + 30)) "over the window" &
cover=$!
find_window "^xmessage$" > /dev/null || fail "no covering window"
kill "$cover"
wait "$cover" 2>/dev/null || true
wait_pixel $((ix + 4)) $((iy + 4)) 282828          # a.bmp again, not a hole
no_window "^$box_title$" || fail "Enter took its step before the picture was drawn"

wait_drawn $((ix + 4)) $((iy + 4)) 00FF00 slow.wmf # the metafile, once drawn
close_box "error box of the step Enter took"       # the picture is not a bitmap

save_results "$work/results.dat"
printf '    %s       200       40\r\n' "$(label "$work/a.bmp")" > "$work/expected.dat"
expect_saved "$work/expected.dat" "$work/results.dat"
echo "end-to-end with a slow drawing: repainted meanwhile, Enter held for it, saved results match"
rm -rf "$work"
