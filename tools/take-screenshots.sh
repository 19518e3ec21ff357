#!/usr/bin/env bash
# Takes the screenshots the documentation shows, from the built program under Xvfb,
# driven as the end-to-end tests drive it:
#   docs/screenshot.png          a series of six frames, four measured, the fifth shown
#   docs/icon-shown.png          an icon after a measured bitmap
#   docs/metafile-shown.png      a clipped enhanced metafile after a measured bitmap
#   docs/confirm-box.png         Save Results' question
#   docs/main-window-scale1.png, docs/main-window-scale2.png
#                                the main window under openbox at scales 1 and 2, frame included
# Usage: tools/take-screenshots.sh [build folder]   (default: build)
set -euo pipefail
top=$(readlink -f "$(dirname "$0")/..")
program=$(readlink -f "${1:-$top/build}/bin/quendral")
name=screenshots
e2e_screen=2048x1536x24   # room for the window at scale 2
source "$top/tests/e2e/lib.sh"
e2e_under_xvfb "$@"
e2e_begin
docs=$top/docs

crop_client() {  # crop_client <png> <out>: the main window's client area
  convert "$1" -crop "${ww}x${wh}+${wx}+${wy}" +repage "$2"
}

# measure_frames <count> <x> <y>: the series' frames measured at that screen point, each
# click after the frame before has given way to the next (the spot fades frame by frame).
measure_frames() {
  local was x=$2 y=$3
  wait_pixel "$ix" "$iy" 282828   # the first frame's dark ground at the picture's corner
  for ((n = 0; n < $1; n++)); do
    shot "$work/before.png"
    was=$(pixel "$work/before.png" "$x" "$y")
    xdotool mousemove --sync "$x" "$y" click 1
    spot_changed() { ! look_at_pixel "$x" "$y" "$was"; }
    until_true "$e2e_patience_ms" spot_changed || fail "no next frame after a click"
  done
}

# Bare Xvfb: the series with a 12 x 12 grid (the program's default), four frames measured
# on the spot; the pointer left over it.
"$pictures_tool" series "$work" > /dev/null
start_program
open_pictures '"f0000001.bmp" "f0000002.bmp" "f0000003.bmp" "f0000004.bmp" "f0000005.bmp" "f0000006.bmp"'
measure_frames 4 $((ix + 160)) $((iy + 120))
xdotool mousemove --sync $((ix + 162)) $((iy + 121))
shot "$work/series.png"
crop_client "$work/series.png" "$docs/screenshot.png"

click_button 3
confirm=$(find_window "^Confirm$") || fail "no save question"
eval "$(xdotool getwindowgeometry --shell "$confirm")"
shot "$work/confirm.png"
convert "$work/confirm.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/confirm-box.png"
xdotool windowfocus --sync "$confirm" key Escape
gone "$confirm" || fail "the save question stayed"
stop_program
app=""

# A bitmap measured, then an icon or a clipped metafile shown after it.
"$pictures_tool" corpus "$work/corpus" > /dev/null
cp "$work/corpus/emf-clip-region.emf" "$work/clipped.emf"
cp "$top/tests/data/squares32.ico" "$work/squares.ico"
for shown in squares.ico:icon-shown clipped.emf:metafile-shown; do
  file=${shown%%:*}
  start_program
  open_pictures "\"f0000001.bmp\" \"$file\""
  wait_pixel "$ix" "$iy" 282828
  xdotool mousemove --sync $((ix + 160)) $((iy + 120)) click 1
  next_shown() { ! look_at_pixel "$ix" "$iy" 282828; }
  until_true "$(drawing_wait_ms "$work/$file")" next_shown || fail "$file was not shown"
  xdotool mousemove --sync $((ix + 40)) $((iy + 30))
  shot "$work/shown.png"
  crop_client "$work/shown.png" "$docs/${shown#*:}.png"
  stop_program
  app=""
done

# Under openbox, frame included.
openbox > "$work/openbox.log" 2>&1 &
manager=$!
trap 'stop_program; kill $manager 2>/dev/null || true' EXIT
manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
until_true "$e2e_patience_ms" manager_running || fail "openbox did not start"
for scale in 1 2; do
  export QT_SCALE_FACTOR=$scale
  "$program" > "$work/app.log" 2>&1 &
  app=$!
  about=$(find_window "^$title$") || fail "no about box at scale $scale"
  xdotool windowactivate --sync "$about" key Return
  gone "$about" || fail "the about box stayed at scale $scale"
  main=$(find_window "^$title$") || fail "no main window at scale $scale"
  xdotool windowactivate --sync "$main"
  framed() { xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '= [1-9]'; }
  until_true "$e2e_patience_ms" framed || fail "no frame at scale $scale"
  IFS=, read -r left right top_edge bottom <<< "$(xprop -id "$main" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ' ')"
  info=$(xwininfo -id "$main")
  X=$(sed -n 's/.*Absolute upper-left X: *//p' <<< "$info"); Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<< "$info")
  W=$(sed -n 's/.*Width: *//p' <<< "$info"); H=$(sed -n 's/.*Height: *//p' <<< "$info")
  wx=$X; wy=$Y; ww=$W; wh=$H
  find_toolbar_buttons
  # The picture pane's corner: (8, 55) logical pixels; the picture is shown one to one.
  ix=$((wx + 8 * scale)); iy=$((wy + 55 * scale))
  open_pictures '"f0000001.bmp" "f0000002.bmp" "f0000003.bmp" "f0000004.bmp" "f0000005.bmp" "f0000006.bmp"'
  measure_frames 3 $((ix + 160)) $((iy + 120))
  xdotool mousemove --sync $((ix + 166)) $((iy + 118))
  shot "$work/framed.png"
  convert "$work/framed.png" -crop "$((W + left + right))x$((H + top_edge + bottom))+$((X - left))+$((Y - top_edge))" +repage \
    "$docs/main-window-scale${scale%.*}.png"
  stop_program
  app=""
done
echo "screenshots written to $docs"
