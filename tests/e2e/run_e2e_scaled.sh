#!/usr/bin/env bash
# End to end at scales 1.5 and 2 (a scaled desktop): a 40 x 40 checkerboard is shown one
# picture pixel per screen pixel, and a click with the pointer's hot spot on a screen
# pixel measures the window around the picture pixel shown there.
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

for scale in 1.5 2; do
  export QT_SCALE_FACTOR=$scale
  start_program
  # Grid 2 x 2, totals, the background off the picture: focus starts in "Grid Width", the
  # two check boxes and "Grid Height" follow in the keyboard order.
  xdotool key ctrl+a type 2
  xdotool key Tab space Tab space Tab ctrl+a type 2
  click_button 2
  open_pictures '"check.bmp"'
  # The pane lies at (8, 55) logical pixels: the picture within a screen pixel of that times the scale.
  read -r near_x near_y < <(awk "BEGIN { print int(8 * $scale), int(55 * $scale) }")
  ox=""
  checkerboard_shown() {
    shot "$work/shown.png"
    for d in "0 0" "1 0" "0 1" "1 1" "-1 0" "0 -1" "-1 -1" "1 -1" "-1 1"; do
      set -- $d
      convert "$work/shown.png" -crop "40x40+$((wx + near_x + $1))+$((wy + near_y + $2))" +repage -colorspace gray "$work/crop.png"
      same_image "$work/crop.png" check.png && { ox=$((wx + near_x + $1)); oy=$((wy + near_y + $2)); return 0; }
    done
    return 1
  }
  until_true "$e2e_patience_ms" checkerboard_shown || fail "the checkerboard is not shown one to one at scale $scale"
  : > "$work/expected.dat"
  for spot in "13 27" "14 27" "13 28" "38 2"; do
    set -- $spot
    [ -s "$work/expected.dat" ] && click_button 1   # Restart
    xdotool mousemove --sync $((ox + $1)) $((oy + $2))
    xdotool click 1
    close_box "last-line message"
    total=$(( $(level $(($1 - 1)) $(($2 - 1))) + $(level "$1" $(($2 - 1))) + $(level $(($1 - 1)) "$2") + $(level "$1" "$2") ))
    printf '    %s       %s       1020\r\n' "$(label "$work/check.bmp")" "$total" >> "$work/expected.dat"
  done
  save_results "$work/results-$scale.dat"
  expect_saved "$work/expected.dat" "$work/results-$scale.dat"
  stop_program
  app=""
done
echo "scales 1.5 and 2: shown one to one, the windows under the pointer measured"
rm -rf "$work"
