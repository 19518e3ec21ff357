#!/usr/bin/env bash
# End to end: browsing a folder of metafiles that crashed the program when it drew them
# itself, in the open dialog with the arrow keys (its preview draws each file as it
# becomes current: two with text drawn by glyph index in a row among them), then opening
# and measuring a bitmap. The program lives through the browsing, leaves no drawing
# helper behind, and the saved file holds the bitmap's line.
# Usage: run_e2e_browse.sh <path of the quendral program>
set -euo pipefail
program=$(readlink -f "$1")
name=browse
source "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$program"
e2e_begin

# The list shows them in this order; the bitmap comes last.
"$pictures_tool" metafile glyph-text 1-glyph-text.emf
"$pictures_tool" metafile glyph-text 2-glyph-text.emf
"$pictures_tool" metafile glyph-text-no-end 3-glyph-text-no-end.emf
"$pictures_tool" metafile no-end 4-no-end.emf
"$pictures_tool" metafile glyph-past-table 5-glyph-past-table.emf
"$pictures_tool" square 6-square.bmp 100 80 40 36 20 76 60 200

start_program
click_button 0
dialog=$(find_window "^(Open|Find File)") || dialog=$(other_window "$main") || fail "no open dialog"
xdotool windowfocus --sync "$dialog"
# From the file-name box back to the file list. The files are there once a step down
# from the first selects a row (drawn in the highlight colour, or within a unit or two of
# it as the list's items draw it).
xdotool key shift+Tab
row_selected() {
  xdotool key Home Down
  shot "$work/poll.png"
  [ "$(count_colour "$work/poll.png" 308CC6 2%)" -gt 1000 ]
}
until_true "$e2e_patience_ms" row_selected || fail "the open dialog lists no files"
# Then down through every file, each the current one for a moment as a person browses,
# so that its preview is being drawn when the next is chosen.
xdotool key Home
for _ in 1 2 3 4 5 6; do
  sleep 0.3
  alive || fail "the program died while browsing"
  xdotool key Down
done
alive || fail "the program died while browsing"
until_true "$e2e_patience_ms" no_helper_left || fail "a drawing helper is left after browsing"
shot "$work/browsed.png"
xdotool key Return       # opens the current file, the bitmap
gone "$dialog" || fail "the open dialog stayed"
xdotool windowfocus --sync "$main"

wait_pixel $((ix + 4)) $((iy + 4)) 282828          # the bitmap's ground
xdotool mousemove --sync $((ix + 56)) $((iy + 40))
xdotool click 1          # measures it, the last picture of its series
close_box "last-line message"

save_results "$work/results.dat"
printf '    %s       200       40\r\n' "$(label "$work/6-square.bmp")" > "$work/expected.dat"
expect_saved "$work/expected.dat" "$work/results.dat"
alive || fail "the program ended"
echo "end-to-end browsing crashing metafiles: the program lives, saved results match ($work/results.dat)"
rm -rf "$work"
