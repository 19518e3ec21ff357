#!/usr/bin/env bash
# End to end with a metafile that crashed the program when it drew metafiles itself
# (text drawn by glyph index, which tore fontconfig down under Qt, and no end record):
# a series of bitmap, that metafile, bitmap. The step onto the metafile fails as for a
# metafile that can't be drawn (the bitmap stays shown, no box), the program lives on
# with no drawing helper left, and the saved file holds every line measured before and
# after it.
# Usage: run_e2e_crash.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=crash
source "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$program"
e2e_begin

# Grey 40 everywhere, a square of 200 (a) or 100 (c) at [36, 76) x [20, 60).
"$pictures_tool" square a.bmp 100 80 40 36 20 76 60 200
"$pictures_tool" metafile glyph-text-no-end crash.emf
"$pictures_tool" square c.bmp 100 80 40 36 20 76 60 100

start_program
open_pictures '"a.bmp" "crash.emf" "c.bmp"'
wait_pixel $((ix + 4)) $((iy + 4)) 282828          # a.bmp's ground
xdotool mousemove --sync $((ix + 56)) $((iy + 40))

xdotool click 1          # measures a; the metafile after it can't be drawn
sleep 0.5                # what must not happen is given a moment to show
alive || fail "the program died on the metafile"
no_window "^$box_title$" || fail "a message box came up on the metafile's step"
wait_pixel $((ix + 4)) $((iy + 4)) 282828          # a.bmp still shown
wait_pixel $((ix + 56)) $((iy + 40)) C8C8C8
until_true "$e2e_patience_ms" no_helper_left || fail "a drawing helper is left"

xdotool click 1          # measures a again; the same step fails the same way
sleep 0.5                # as above
alive || fail "the program died on the metafile's second try"

open_pictures '"c.bmp"'
wait_pixel $((ix + 56)) $((iy + 40)) 646464        # c.bmp's square
xdotool mousemove --sync $((ix + 56)) $((iy + 40))
xdotool click 1          # measures c, the last picture of its series
close_box "last-line message"

save_results "$work/results.dat"
printf '    %s       200       40\r\n    %s       200       40\r\n    %s       100       40\r\n' \
  "$(label "$work/a.bmp")" "$(label "$work/a.bmp")" "$(label "$work/c.bmp")" > "$work/expected.dat"
expect_saved "$work/expected.dat" "$work/results.dat"
alive || fail "the program ended"
echo "end-to-end with a crashing metafile: the program lives, saved results match ($work/results.dat)"
rm -rf "$work"
