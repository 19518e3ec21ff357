#!/usr/bin/env bash
# End to end with an icon in the series: the built program under Xvfb, driven with
# xdotool. A bitmap is measured and the icon after it is shown, but the series does not
# advance onto it (the status bar keeps "   Image 1 of 2"); a click on the icon brings
# the error box and logs nothing; the saved file holds the bitmap's line alone.
# Usage: run_e2e_icon.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
build=$(readlink -f "$(dirname "$program")/..")
pictures_tool=$build/tools/quendral_pictures
icon_file=$(readlink -f "$(dirname "$0")/../data/squares32.ico")
for needed in "$pictures_tool" "$icon_file"; do
  [ -e "$needed" ] || { echo "not found: $needed" >&2; exit 1; }
done
for tool in xdotool xclip import convert; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done
if [ -z "${QFIP_E2E_INNER:-}" ]; then
  export QFIP_E2E_INNER=1
  # -noreset: an X server resets when its last client leaves, dropping any connection
  # being made at that moment; xdotool's first look for a window can come and go before
  # the program has connected, and the program would then fail to start.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$program"
fi

title="Quendral Fast Image Processor 1.0"
box_title="Quendral Fast Image Processor 1.02"
error_text="Can only modify an image if it contains a bitmap."
work=$(mktemp -d /tmp/qfip-e2e-icon.XXXXXX)
app=""
trap '[ -n "$app" ] && { kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; }' EXIT
cd "$work"
# Grey 40 everywhere, a square of 200 at [36, 76) x [20, 60); then the 32 x 32 icon, blue
# with a yellow square over pixels 8..23.
"$pictures_tool" square a.bmp 100 80 40 36 20 76 60 200
cp "$icon_file" b.ico

fail() {
  echo "FAILED: $*" >&2
  echo "--- windows:" >&2
  xdotool search --name "." getwindowname %@ >&2 2>/dev/null || true
  echo "--- program output:" >&2
  cat "$work/app.log" >&2 || true
  if import -window root "$build/e2e-icon-failure.png" 2>/dev/null; then
    echo "screenshot: $build/e2e-icon-failure.png (working folder kept: $work)" >&2
  fi
  exit 1
}

find_window() {  # find_window <name regex>: prints the id of a visible window, retrying
  local id=""
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

no_window() {  # no_window <name regex>: true when no such window is visible for a while
  for _ in $(seq 1 10); do
    xdotool search --onlyvisible --name "$1" > /dev/null 2>&1 && return 1
    sleep 0.05
  done
  return 0
}

shot() { import -window root "$1" 2>/dev/null || fail "no screenshot $1"; }

pixel() {  # pixel <png> <x> <y>: the colour as RRGGBB
  convert "$1" -format '%[hex:p{'"$2"','"$3"'}]' info: | cut -c1-6
}

wait_pixel() {  # wait_pixel <x> <y> <RRGGBB>: retries until the screen shows that colour
  local seen=""
  for _ in $(seq 1 30); do
    shot "$work/poll.png"
    seen=$(pixel "$work/poll.png" "$1" "$2")
    [ "$seen" = "$3" ] && return 0
    sleep 0.1
  done
  fail "pixel ($1, $2) is $seen, expected $3"
}

status_strip() {  # status_strip <png>: the first status-bar panel, cut out of the screen
  convert "$work/poll.png" -crop "$((100 * ratio))x$((19 * ratio - 2))+$wx+$((wy + wh - 19 * ratio + 1))" +repage "$1"
}

same_image() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]; }

"$program" > "$work/app.log" 2>&1 &
app=$!

about=$(find_window "^$title$") || fail "no about box"
xdotool windowfocus --sync "$about"
xdotool key Return
sleep 0.3

main=""
for _ in $(seq 1 50); do
  main=$(xdotool search --onlyvisible --name "^$title$" 2>/dev/null | head -1 || true)
  [ -n "$main" ] && [ "$main" != "$about" ] && break
  sleep 0.1
done
[ -n "$main" ] && [ "$main" != "$about" ] || fail "no main window"
xdotool windowfocus --sync "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"   # X, Y, WIDTH, HEIGHT of the client area
wx=$X; wy=$Y; wh=$HEIGHT
ratio=1   # the window is laid out at its design size on Xvfb's 96 dots per inch

shot "$work/poll.png"
status_strip "$work/status-empty.png"

# Open Pictures: the toolbar's first button; the names are typed into the dialog.
xdotool mousemove --sync $((wx + 20)) $((wy + 14)) click 1
dialog=$(find_window "^(Open|Find File)") || dialog=$(xdotool search --sync --onlyvisible --name "." | grep -v "^$main$" | tail -1)
[ -n "$dialog" ] || fail "no open dialog"
xdotool windowfocus --sync "$dialog"
sleep 0.3
xdotool type --delay 5 '"a.bmp" "b.ico"'
xdotool key Return
for _ in $(seq 1 50); do
  xdotool search --onlyvisible --name "." 2>/dev/null | grep -qx "$dialog" || break
  sleep 0.1
done
xdotool windowfocus --sync "$main"

# Image1 lies at (8, 8) in the picture column, below the toolbar (29) and the heading (18).
ix=$((wx + 8)); iy=$((wy + 29 + 18 + 8))
wait_pixel $((ix + 4)) $((iy + 4)) 282828          # a.bmp's ground
xdotool mousemove --sync $((ix + 56)) $((iy + 40))  # in the middle of its square
sleep 0.3
shot "$work/poll.png"
status_strip "$work/status-open.png"
same_image "$work/status-empty.png" "$work/status-open.png" && fail "the status bar shows nothing after opening"

xdotool click 1          # measures a.bmp, then shows the icon without advancing
wait_pixel $((ix + 4)) $((iy + 4)) 2060C0          # the icon's blue
wait_pixel $((ix + 16)) $((iy + 16)) F0C020        # and its yellow square
no_window "^$box_title$" || fail "a message box came up after the first click"
sleep 0.2
shot "$work/poll.png"
status_strip "$work/status-icon.png"
same_image "$work/status-open.png" "$work/status-icon.png" || fail "the status bar changed after the first click"

# The icon is 32 x 32 and Image1 takes its size: point inside it and click.
xdotool mousemove --sync $((ix + 16)) $((iy + 16))
sleep 0.2
xdotool click 1
box=$(find_window "^$box_title$") || fail "no error box after clicking the icon"
xdotool windowfocus --sync "$box"
sleep 0.2
# The box's text can be selected with the mouse, which puts it in the primary selection:
# a triple click on the text line selects all of it.
eval "$(xdotool getwindowgeometry --shell "$box")"
copied=""
for _ in $(seq 1 10); do
  xdotool mousemove --sync $((X + 100)) $((Y + 19)) click --repeat 3 --delay 80 1
  sleep 0.2
  copied=$(xclip -o -selection primary 2>/dev/null || true)
  [[ "$copied" == *"$error_text"* ]] && break
done
[[ "$copied" == *"$error_text"* ]] || fail "the error box says: $copied"
xdotool key Return
no_window "^$box_title$" || { sleep 1; no_window "^$box_title$"; } || fail "the error box did not close"
xdotool windowfocus --sync "$main"

# Save Results: the fifth toolbar button (divider, 3 buttons, separator, save).
xdotool mousemove --sync $((wx + 8 + 3 * 23 + 8 + 12)) $((wy + 14)) click 1
confirm=$(find_window "^Confirm$") || fail "no save question"
xdotool windowfocus --sync "$confirm"
xdotool key Return       # Yes is the default button
save=""
for _ in $(seq 1 50); do
  save=$(xdotool search --onlyvisible --name "." 2>/dev/null | grep -v -e "^$main$" -e "^$confirm$" | tail -1 || true)
  [ -n "$save" ] && break
  sleep 0.1
done
[ -n "$save" ] || fail "no save dialog"
xdotool windowfocus --sync "$save"
sleep 0.3
xdotool type --delay 5 "$work/results.dat"
xdotool key Return
for _ in $(seq 1 50); do [ -s "$work/results.dat" ] && break; sleep 0.1; done

label() {  # the label of a path: its last 12 characters less the last 4
  local p=$1
  [ ${#p} -gt 12 ] && p=${p: -12}
  [ ${#p} -ge 4 ] && p=${p:0:${#p}-4}
  printf '%s' "$p"
}
printf '    %s       200       40\r\n' "$(label "$work/a.bmp")" > "$work/expected.dat"
if ! cmp "$work/expected.dat" "$work/results.dat"; then
  echo "--- expected:" >&2; od -c "$work/expected.dat" >&2
  echo "--- saved:" >&2; od -c "$work/results.dat" >&2 || true
  fail "saved results differ"
fi
echo "end-to-end with an icon: error box shown, saved results match ($work/results.dat)"
rm -rf "$work"
