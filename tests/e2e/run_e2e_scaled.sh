#!/usr/bin/env bash
# End to end at scale factors 1.5 and 2 (as on a scaled desktop): a 40 x 40 checkerboard
# is shown one picture pixel per screen pixel, and a click with the pointer's hot spot on
# a given screen pixel measures the window around the picture pixel shown there.
# Usage: run_e2e_scaled.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=scaled
e2e_screen=2048x1536x24   # room for the window at scale 2
source "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$program"
e2e_begin

"$pictures_tool" checker check.bmp 40
convert check.bmp check.png

level() { if (( ($1 + $2) % 2 )); then echo 255; else echo $((2 * $1 + 3 * $2)); fi; }
total() {  # the interior of the 4 x 4 window around (x, y)
  echo $(( $(level $(($1 - 1)) $(($2 - 1))) + $(level "$1" $(($2 - 1))) + $(level $(($1 - 1)) "$2") + $(level "$1" "$2") ))
}

for scale in 1.5 2; do
  export QT_SCALE_FACTOR=$scale
  start_program
  # Grid 2 x 2, totals, the background window off the picture (at 100, 100): focus starts
  # in "Grid Width"; the check boxes and "Grid Height" follow in the keyboard order.
  xdotool key ctrl+a
  xdotool type 2
  xdotool key Tab space Tab space Tab ctrl+a
  xdotool type 2
  click_button 2                     # Set Grid
  open_pictures '"check.bmp"'

  # The picture pane lies at (8, 55) in the window's logical pixels: the checkerboard must
  # appear there, pixel for pixel, within one screen pixel of that point times the scale.
  sleep 0.3
  shot "$work/shown.png"
  near_x=$(awk "BEGIN { print int(8 * $scale) }"); near_y=$(awk "BEGIN { print int(55 * $scale) }")
  ox=""; oy=""
  for dy in -1 0 1 2; do
    for dx in -1 0 1 2; do
      convert "$work/shown.png" -crop "40x40+$((wx + near_x + dx))+$((wy + near_y + dy))" +repage -colorspace gray "$work/crop.png"
      if same_image "$work/crop.png" check.png; then ox=$((wx + near_x + dx)); oy=$((wy + near_y + dy)); fi
    done
  done
  [ -n "$ox" ] || fail "the checkerboard is not shown one to one at scale $scale"

  : > "$work/expected.dat"
  first=1
  for spot in "13 27" "14 27" "13 28" "38 2"; do
    set -- $spot
    [ $first = 1 ] || click_button 1   # Restart: the picture afresh
    first=0
    xdotool mousemove --sync $((ox + $1)) $((oy + $2))
    sleep 0.2
    xdotool click 1
    close_box "last-line message"
    printf '    %s       %s       1020\r\n' "$(label "$work/check.bmp")" "$(total "$1" "$2")" >> "$work/expected.dat"
  done
  save_results "$work/results-$scale.dat"
  expect_saved "$work/expected.dat" "$work/results-$scale.dat"
  stop_program
  app=""
  echo "scale $scale: one to one, and the measured windows are the ones under the pointer"
done
rm -rf "$work"
