#!/usr/bin/env bash
# End to end with an icon in the series: the built program under Xvfb, driven with
# xdotool. A bitmap is measured and the icon after it is shown, but the series does not
# advance onto it (the status bar keeps "   Image 1 of 2"); a click on the icon brings
# the error box and logs nothing; the saved file holds the bitmap's line alone.
# Usage: run_e2e_icon.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=icon
source "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$program"
icon_file=$(readlink -f "$(dirname "$0")/../data/squares32.ico")
[ -e "$icon_file" ] || { echo "not found: $icon_file" >&2; exit 1; }
e2e_begin

error_text="Can only modify an image if it contains a bitmap."
# Grey 40 everywhere, a square of 200 at [36, 76) x [20, 60); then the 32 x 32 icon, blue
# with a yellow square over pixels 8..23.
"$pictures_tool" square a.bmp 100 80 40 36 20 76 60 200
cp "$icon_file" b.ico

ratio=1   # the window is laid out at its design size on Xvfb's 96 dots per inch
status_strip() {  # status_strip <png>: the first status-bar panel, cut out of the screen
  convert "$work/poll.png" -crop "$((100 * ratio))x$((19 * ratio - 2))+$wx+$((wy + wh - 19 * ratio + 1))" +repage "$1"
}

start_program
shot "$work/poll.png"
status_strip "$work/status-empty.png"

open_pictures '"a.bmp" "b.ico"'
wait_pixel $((ix + 4)) $((iy + 4)) 282828          # a.bmp's ground
xdotool mousemove --sync $((ix + 56)) $((iy + 40))  # in the middle of its square
status_shown() {
  shot "$work/poll.png"
  status_strip "$work/status-open.png"
  ! same_image "$work/status-empty.png" "$work/status-open.png"
}
until_true "$e2e_patience_ms" status_shown || fail "the status bar shows nothing after opening"

xdotool click 1          # measures a.bmp, then shows the icon without advancing
wait_drawn $((ix + 4)) $((iy + 4)) 2060C0 b.ico    # the icon's blue
wait_pixel $((ix + 16)) $((iy + 16)) F0C020        # and its yellow square
no_window "^$box_title$" || fail "a message box came up after the first click"
sleep 0.2                # a change that must not happen is given a moment to show
shot "$work/poll.png"
status_strip "$work/status-icon.png"
same_image "$work/status-open.png" "$work/status-icon.png" || fail "the status bar changed after the first click"

# The icon is 32 x 32 and Image1 takes its size: point inside it and click.
xdotool mousemove --sync $((ix + 16)) $((iy + 16))
xdotool click 1
box=$(find_window "^$box_title$") || fail "no error box after clicking the icon"
xdotool windowfocus --sync "$box"
# The box's text can be selected with the mouse, which puts it in the primary selection:
# a triple click on the text line selects all of it.
eval "$(xdotool getwindowgeometry --shell "$box")"
copied=""
text_selected() {
  xdotool mousemove --sync $((X + 100)) $((Y + 19)) click --repeat 3 --delay 80 1
  copied=$(xclip -o -selection primary 2>/dev/null || true)
  [[ "$copied" == *"$error_text"* ]]
}
until_true "$e2e_patience_ms" text_selected || fail "the error box says: $copied"
xdotool key Return
gone "$box" || fail "the error box did not close"
xdotool windowfocus --sync "$main"

save_results "$work/results.dat"
printf '    %s       200       40\r\n' "$(label "$work/a.bmp")" > "$work/expected.dat"
expect_saved "$work/expected.dat" "$work/results.dat"
echo "end-to-end with an icon: error box shown, saved results match ($work/results.dat)"
rm -rf "$work"
