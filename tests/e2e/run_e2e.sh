#!/usr/bin/env bash
# End to end: the built program under Xvfb, driven with xdotool as a person would: close
# the about box, open three pictures, point, click, press Enter, save the results through
# both questions, and compare the saved file byte for byte.
# Usage: run_e2e.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
pictures_tool=$(dirname "$program")/../tools/quendral_pictures
if [ ! -x "$pictures_tool" ]; then
  echo "picture writer not found at $pictures_tool" >&2
  exit 1
fi
if [ -z "${QFIP_E2E_INNER:-}" ]; then
  export QFIP_E2E_INNER=1
  # -noreset: an X server resets when its last client leaves, dropping any connection
  # being made at that moment; xdotool's first look for a window can come and go before
  # the program has connected, and the program would then fail to start.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$program"
fi

work=$(mktemp -d /tmp/qfip-e2e.XXXXXX)
trap 'kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true' EXIT
cd "$work"
# Grey 40 everywhere, a square of 200 / 150 / 100 at [36, 76) x [20, 60).
for picture in "a 200" "b 150" "c 100"; do
  set -- $picture
  "$pictures_tool" square "$1.bmp" 100 80 40 36 20 76 60 "$2"
done

fail() {
  echo "FAILED: $*" >&2
  echo "--- windows:" >&2
  xdotool search --name "." getwindowname %@ >&2 2>/dev/null || true
  echo "--- program output:" >&2
  cat "$work/app.log" >&2 || true
  import -window root "$work/failure.png" 2>/dev/null && echo "screenshot: $work/failure.png" >&2
  exit 1
}

find_window() {  # find_window <name regex>: prints the window id, retrying
  local id=""
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

"$program" > "$work/app.log" 2>&1 &
app=$!

# The about box comes first; Enter presses its OK button.
about=$(find_window "^Quendral Fast Image Processor 1.0$") || fail "no about box"
xdotool windowfocus --sync "$about"
xdotool key Return
sleep 0.3

main=""
for _ in $(seq 1 50); do
  main=$(xdotool search --sync --onlyvisible --name "^Quendral Fast Image Processor 1.0$" | head -1)
  [ -n "$main" ] && [ "$main" != "$about" ] && break
  sleep 0.1
done
[ -n "$main" ] && [ "$main" != "$about" ] || fail "no main window"
xdotool windowfocus --sync "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"   # X, Y of the window's client area
wx=$X; wy=$Y

# The toolbar's first button (Open Pictures): the divider, then the button.
xdotool mousemove --sync $((wx + 20)) $((wy + 14)) click 1
dialog=$(find_window "^(Open|Find File)") || dialog=$(xdotool search --sync --onlyvisible --name "." | grep -v "^$main$" | tail -1)
[ -n "$dialog" ] || fail "no open dialog"
xdotool windowfocus --sync "$dialog"
sleep 0.3
xdotool type --delay 5 '"a.bmp" "b.bmp" "c.bmp"'
xdotool key Return
sleep 0.5
xdotool windowfocus --sync "$main"

# Image1 lies at (8, 8) in the picture column, below the toolbar (29) and the heading (18).
ix=$((wx + 8)); iy=$((wy + 29 + 18 + 8))
xdotool mousemove --sync $((ix + 56)) $((iy + 40))
sleep 0.2
xdotool click 1          # measures a, shows b
sleep 0.3
xdotool key Return       # measures b at the same place, shows c
sleep 0.3
xdotool mousemove --sync $((ix + 20)) $((iy + 15))
sleep 0.2
xdotool click 3          # right button: measures c off the square, the last picture
sleep 0.3
# "It was the last line." comes up; Enter closes it.
box=$(find_window "^Quendral Fast Image Processor 1.02$") || fail "no last-line message"
xdotool windowfocus --sync "$box"
xdotool key Return
sleep 0.3
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
printf '    %s       200       40\r\n    %s       150       40\r\n    %s       40       40\r\n' \
  "$(label "$work/a.bmp")" "$(label "$work/b.bmp")" "$(label "$work/c.bmp")" > "$work/expected.dat"
if ! cmp "$work/expected.dat" "$work/results.dat"; then
  echo "--- expected:" >&2; od -c "$work/expected.dat" >&2
  echo "--- saved:" >&2; od -c "$work/results.dat" >&2 || true
  fail "saved results differ"
fi
echo "end-to-end: saved results match ($work/results.dat)"
rm -rf "$work"
