#!/usr/bin/env bash
# End to end at scales 1.5 and 2 (a scaled desktop): a 40 x 40 checkerboard is shown one
# picture pixel per screen pixel, and a click with the pointer's hot spot on a screen
# pixel measures the window around the picture pixel shown there. Then under openbox at
# scales 1, 1.5 and 2: boxes centred by their outer size, the toolbar's ground, the
# heading's separators.
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

# Under a window manager (openbox), at scales 1, 1.5 and 2: the about box, the main window
# and the confirmation box centred on the screen by their outer size, frame included
# (within a pixel); Ctrl+C in the confirmation box copies its question; the toolbar's
# ground flat D7D7D7 from top to bottom; the results heading's two separators (black in
# the default palette) at least one device pixel wide, at x = 70 and 110 of the heading.
command -v openbox > /dev/null || fail "openbox is not installed (scripts/install-deps.sh)"
openbox > "$work/openbox.log" 2>&1 &
manager=$!
trap 'stop_program; kill $manager 2>/dev/null || true' EXIT
manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
until_true "$e2e_patience_ms" manager_running || fail "openbox did not start: $(cat "$work/openbox.log")"
read -r screen_w screen_h < <(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')

client_area() {  # client_area <id>: X, Y, WIDTH, HEIGHT (xdotool counts a manager's frame offset twice)
  local info
  info=$(xwininfo -id "$1" 2>/dev/null) || info=""
  X=$(sed -n 's/.*Absolute upper-left X: *//p' <<< "$info"); Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<< "$info")
  WIDTH=$(sed -n 's/.*Width: *//p' <<< "$info"); HEIGHT=$(sed -n 's/.*Height: *//p' <<< "$info")
}

framed_and_centred() {  # framed_and_centred <id>: sets extents, dx and dy of centred_by_frame
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
  client_area "$1"
  [ -n "$extents" ] && [ -n "$X" ] && [ -n "$Y" ] || return 1
  IFS=, read -r left right top bottom <<< "$extents"
  # Twice the outer centre's distance from the screen's centre.
  dx=$((2 * (X - left) + WIDTH + left + right - screen_w)); dy=$((2 * (Y - top) + HEIGHT + top + bottom - screen_h))
  ((left + top > 0 && dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2))
}

centred_by_frame() {  # centred_by_frame <id> <what>: waits until the framed window is centred
  local extents="" left right top bottom dx=? dy=?
  until_true "$e2e_patience_ms" framed_and_centred "$1" ||
    fail "$2 is not centred at scale $scale: frame ${extents:-none}, client ${WIDTH:-?}x${HEIGHT:-?} at ${X:-?},${Y:-?}, outer centre off by ($dx, $dy) / 2"
}

for scale in 1 1.5 2; do
  export QT_SCALE_FACTOR=$scale
  "$program" > "$work/app.log" 2>&1 &
  app=$!
  about=$(find_window "^$title$") || fail "no about box at scale $scale"
  centred_by_frame "$about" "the about box"
  xdotool windowactivate --sync "$about" key Return
  gone "$about" || fail "the about box stayed at scale $scale"
  main=$(find_window "^$title$") || fail "no main window at scale $scale"
  centred_by_frame "$main" "the main window"
  client_area "$main"
  wx=$X; wy=$Y; ww=$WIDTH; wh=$HEIGHT
  xdotool windowactivate --sync "$main"
  find_toolbar_buttons
  shot "$work/framed.png"

  read -r bar heading side < <(awk "BEGIN { print int(29 * $scale), int(362 * $scale), int(172 * $scale) }")
  convert "$work/framed.png" -crop "1x$bar+$((wx + ww - 3))+$wy" +repage -unique-colors -depth 8 txt:- > "$work/ground.txt"
  [ "$(grep -o '#[0-9A-F]\{6\}' "$work/ground.txt" | tr -d '\n')" = "#D7D7D7" ] ||
    fail "the toolbar's ground is not flat D7D7D7 at scale $scale: $(grep -o '#[0-9A-F]\{6\}' "$work/ground.txt" | tr '\n' ' ')"
  # The black runs along the middle row of the heading, from the side column's left edge.
  runs=$(convert "$work/framed.png" -crop "${side}x1+$((wx + ww - side))+$((wy + heading))" +repage -depth 8 txt:- |
    awk -F'[,: ]+' 'NR > 1 { on = ($0 ~ /#000000/) } NR > 1 && on && start < 0 { start = $1 }
      NR > 1 && !on && start >= 0 { print start, $1 - start; start = -1 } BEGIN { start = -1 }')
  [ "$(grep -c . <<< "$runs")" = 2 ] || fail "separators at scale $scale: black runs (start width) $(tr '\n' ';' <<< "$runs")"
  n=0
  while read -r at width; do
    expected=$(awk "BEGIN { print int((70 + 40 * $n) * $scale) }")
    ((width >= 1 && at >= expected - 3 && at <= expected + 3)) || fail "separator $n at $at (width $width), not near $expected at scale $scale"
    n=$((n + 1))
  done <<< "$runs"

  click_button 3   # Save Results
  confirm=$(find_window "^Confirm$") || fail "no save question at scale $scale"
  centred_by_frame "$confirm" "the confirmation box"
  xdotool windowactivate --sync "$confirm" key ctrl+c
  copied=""
  question_copied() {
    copied=$(xclip -o -selection clipboard 2>/dev/null || true)
    [ "$copied" = "Do you want to save the result file?" ]
  }
  until_true "$e2e_patience_ms" question_copied || fail "Ctrl+C copied \"$copied\" at scale $scale"
  xdotool key Escape
  gone "$confirm" || fail "the confirmation box stayed at scale $scale"
  stop_program
  app=""
done
echo "openbox, scales 1, 1.5 and 2: boxes centred by their outer size, the question copied, flat toolbar, separators shown"
rm -rf "$work"
