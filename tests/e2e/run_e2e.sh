#!/usr/bin/env bash
# End to end: the built program under Xvfb, driven with xdotool as a person would: close
# the about box, open three pictures, point, click, press Enter, save the results through
# both questions, and compare the saved file byte for byte.
# Usage: run_e2e.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=series
source "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$program"
e2e_begin

# Grey 40 everywhere, a square of 200 / 150 / 100 at [36, 76) x [20, 60).
for picture in "a 200" "b 150" "c 100"; do
  set -- $picture
  "$pictures_tool" square "$1.bmp" 100 80 40 36 20 76 60 "$2"
done

start_program
open_pictures '"a.bmp" "b.bmp" "c.bmp"'
wait_pixel $((ix + 4)) $((iy + 4)) 282828          # a.bmp's ground

# The pointer's moves reach the program before the clicks and keys that follow them.
xdotool mousemove --sync $((ix + 56)) $((iy + 40))
xdotool click 1          # measures a, shows b
wait_pixel $((ix + 56)) $((iy + 40)) 969696        # b.bmp's square
xdotool key Return       # measures b at the same place, shows c
wait_pixel $((ix + 56)) $((iy + 40)) 646464        # c.bmp's square
xdotool mousemove --sync $((ix + 20)) $((iy + 15))
xdotool click 3          # right button: measures c off the square, the last picture
close_box "last-line message"

save_results "$work/results.dat"
printf '    %s       200       40\r\n    %s       150       40\r\n    %s       40       40\r\n' \
  "$(label "$work/a.bmp")" "$(label "$work/b.bmp")" "$(label "$work/c.bmp")" > "$work/expected.dat"
expect_saved "$work/expected.dat" "$work/results.dat"
echo "end-to-end: saved results match ($work/results.dat)"
rm -rf "$work"
