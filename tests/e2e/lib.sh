# Shared steps of the end-to-end tests: the built program under Xvfb, driven with
# xdotool as a person would. Sourced by each run_*.sh after it has set:
#   program  the quendral executable (readlink'd)
#   name     a short name for the test's files (folders, failure screenshots)
#   e2e_screen  (optional) the X screen, 1280x1024x24 unless set
# Each script first calls `e2e_under_xvfb "$@"`, then `e2e_begin` (a working folder,
# the program's tools), writes its pictures into "$work", then `start_program`.
#
# A test waits for what it expects to see (a window, a pixel, a file) and gives up only
# after a limit: e2e_patience_ms for what the program does without its drawing helper,
# generous because a busy machine may take many times as long as a quiet one; a picture
# drawn by the helper gets the program's own longest wait for that file on top
# (drawing_wait_ms).

title="Quendral Fast Image Processor 1.0"
box_title="Quendral Fast Image Processor 1.02"
e2e_patience_ms=30000

now_ms() {
  local micro=${EPOCHREALTIME/[.,]/}
  echo $((10#$micro / 1000))
}

# until_true <milliseconds> <command...>: runs the command until it succeeds (true) or the
# time is up (false), a tenth of a second apart.
until_true() {
  local until=$(($(now_ms) + $1))
  shift
  until "$@"; do
    [ "$(now_ms)" -lt "$until" ] || return 1
    sleep 0.1
  done
}

# drawing_wait_ms <file>: the longest the program waits for the drawing of that icon or
# metafile, by its own rule, plus the patience for everything around it.
drawing_wait_ms() {
  local most
  most=$("$build/tools/quendral_drawing_wait" "$1") || fail "no drawing time for $1"
  echo $((most + e2e_patience_ms))
}

e2e_under_xvfb() {  # re-runs the calling script under a fresh Xvfb (once)
  if [ -z "${QFIP_E2E_INNER:-}" ]; then
    export QFIP_E2E_INNER=1
    # -noreset: an X server resets when its last client leaves, dropping any connection
    # being made at that moment; xdotool's first look for a window can come and go before
    # the program has connected, and the program would then fail to start.
    exec xvfb-run -a -s "-screen 0 ${e2e_screen:-1280x1024x24} -noreset" bash "$0" "$@"
  fi
}

e2e_begin() {
  build=$(readlink -f "$(dirname "$program")/..")
  pictures_tool=$build/tools/quendral_pictures
  [ -x "$pictures_tool" ] || { echo "picture writer not found at $pictures_tool" >&2; exit 1; }
  [ -x "$build/tools/quendral_drawing_wait" ] || { echo "quendral_drawing_wait not found in $build/tools" >&2; exit 1; }
  for tool in xdotool xclip import convert compare; do
    command -v "$tool" > /dev/null || { echo "$tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
  done
  work=$(mktemp -d "/tmp/qfip-e2e-$name.XXXXXX")
  app=""
  trap 'stop_program' EXIT
  cd "$work"
}

stop_program() {
  if [ -n "$app" ]; then
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
  fi
}

fail() {
  echo "FAILED: $*" >&2
  echo "--- windows:" >&2
  xdotool search --name "." getwindowname %@ >&2 2>/dev/null || true
  echo "--- program output:" >&2
  cat "$work/app.log" >&2 || true
  if import -window root "$build/e2e-$name-failure.png" 2>/dev/null; then
    echo "screenshot: $build/e2e-$name-failure.png (working folder kept: $work)" >&2
  fi
  exit 1
}

alive() {  # the program is still running
  [ -n "$app" ] && kill -0 "$app" 2>/dev/null
}

found=""   # what the last look_for_* found
look_for_window() {  # look_for_window <name regex>
  found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
  [ -n "$found" ]
}

find_window() {  # find_window <name regex>: prints the id of a visible window, waiting for it
  until_true "$e2e_patience_ms" look_for_window "$1" || return 1
  echo "$found"
}

no_window() {  # no_window <name regex>: true when no such window is visible for a while
  for _ in $(seq 1 10); do
    xdotool search --onlyvisible --name "$1" > /dev/null 2>&1 && return 1
    sleep 0.05
  done
  return 0
}

look_for_other_window() {  # look_for_other_window <ids to leave out...>
  found=$(xdotool search --onlyvisible --name "." 2>/dev/null | grep -v -x -F "$(printf '%s\n' "$@")" | tail -1 || true)
  [ -n "$found" ]
}

other_window() {  # other_window <ids to leave out...>: a visible window that is none of them, waited for
  until_true "$e2e_patience_ms" look_for_other_window "$@" || return 1
  echo "$found"
}

not_visible() { ! xdotool search --onlyvisible --name "." 2>/dev/null | grep -qx "$1"; }

gone() {  # gone <window id> [milliseconds]: waits until the window is no longer visible
  until_true "${2:-$e2e_patience_ms}" not_visible "$1"
}

shot() { import -window root "$1" 2>/dev/null || fail "no screenshot $1"; }

pixel() {  # pixel <png> <x> <y>: the colour as RRGGBB
  convert "$1" -format '%[hex:p{'"$2"','"$3"'}]' info: | cut -c1-6
}

seen=""   # the colour the last look_at_pixel saw
look_at_pixel() {  # look_at_pixel <x> <y> <RRGGBB>
  shot "$work/poll.png"
  seen=$(pixel "$work/poll.png" "$1" "$2")
  [ "$seen" = "$3" ]
}

# wait_pixel <x> <y> <RRGGBB> [milliseconds]: waits until the screen shows that colour
# there, or fails.
wait_pixel() {
  until_true "${4:-$e2e_patience_ms}" look_at_pixel "$1" "$2" "$3" || fail "pixel ($1, $2) is $seen, expected $3"
}

# wait_drawn <x> <y> <RRGGBB> <file>: the same for a picture the helper draws, as long as
# the program may take for that file.
wait_drawn() {
  wait_pixel "$1" "$2" "$3" "$(drawing_wait_ms "$4")"
}

same_image() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]; }

count_colour() {  # count_colour <png> <RRGGBB> [fuzz]: how many pixels have that colour (or one within fuzz, e.g. 2%)
  convert "$1" -fuzz "${3:-0}" -fill black +opaque "#$2" -fill white -opaque "#$2" -format '%[fx:round(mean*w*h)]' info:
}

# Selecting the text of the focused box puts it in the primary selection: true when that
# is exactly the text given.
box_holds() {  # box_holds <text>
  xdotool key ctrl+a
  [ "$(xclip -o -selection primary 2> /dev/null || true)" = "$1" ]
}

# Types the text into the focused box in place of what it holds, and waits until the box
# holds it (typed again if keys were lost).
type_into_box() {  # type_into_box <text>
  for _ in 1 2 3; do
    xdotool key ctrl+a
    xdotool type --delay 5 "$1"
    until_true $((e2e_patience_ms / 3)) box_holds "$1" && return 0
  done
  fail "the box does not hold: $1"
}

# Starts the program, closes the about box with Enter and finds the main window: sets
# main, wx, wy (its client area's corner), ww, wh, and the picture pane's corner ix, iy.
start_program() {
  "$program" > "$work/app.log" 2>&1 &
  app=$!
  local about
  about=$(find_window "^$title$") || fail "no about box"
  xdotool windowfocus --sync "$about"
  xdotool key Return
  gone "$about" || fail "the about box did not close"
  main=$(find_window "^$title$") && [ "$main" != "$about" ] || fail "no main window"
  xdotool windowfocus --sync "$main"
  eval "$(xdotool getwindowgeometry --shell "$main")"   # X, Y, WIDTH, HEIGHT of the client area
  wx=$X; wy=$Y; ww=$WIDTH; wh=$HEIGHT
  # Image1 lies at (8, 8) in the picture column, below the toolbar (29) and the heading (18).
  ix=$((wx + 8)); iy=$((wy + 29 + 18 + 8))
  find_toolbar_buttons
}

# The toolbar's six buttons (Open Pictures, Refresh, Set Grid, Save Results, Exit,
# About), found where they really are: the columns of a screenshot of the toolbar strip
# that differ from its ground colour form runs; the six runs wide enough to be glyphs
# (the dividers are a pixel or two) are the buttons, and their centres are clicked.
find_toolbar_buttons() {
  xdotool mousemove --sync $((wx + ww - 5)) $((wy + wh - 5))   # no button drawn raised
  until_true "$e2e_patience_ms" look_for_toolbar_buttons ||
    fail "found ${#buttons[@]} toolbar buttons, not 6 (${buttons[*]})"
  button_y=$((wy + 14))
}

look_for_toolbar_buttons() {
  shot "$work/toolbar.png"
  convert "$work/toolbar.png" -crop "${ww}x21+${wx}+$((wy + 4))" +repage "$work/strip.png"
  local ground
  ground=$(pixel "$work/strip.png" $((ww - 2)) 10)
  buttons=()
  local runs
  runs=$(convert "$work/strip.png" \( +clone -fill "#$ground" -colorize 100 \) -compose difference -composite \
      -colorspace gray -scale "${ww}x1!" -depth 8 txt:- |
    awk -F'[,:() ]+' 'NR > 1 { x = $1; v = $4; on = (v > 10);
        if (on && start < 0) start = x;
        if (!on && start >= 0) { if (x - start >= 6) print int((start + x - 1) / 2); start = -1 } }
      BEGIN { start = -1 }')
  for centre in $runs; do buttons+=($((wx + centre))); done
  [ ${#buttons[@]} -eq 6 ]
}

click_button() {  # click_button <0..5>: Open, Refresh, Set Grid, Save, Exit, About
  xdotool mousemove --sync "${buttons[$1]}" "$button_y" click 1
}

# Opens the pictures named (as typed into the dialog's file-name box).
open_pictures() {  # open_pictures '"a.bmp" "b.bmp"'
  click_button 0
  local dialog
  dialog=$(find_window "^(Open|Find File)") || dialog=$(other_window "$main") || fail "no open dialog"
  xdotool windowfocus --sync "$dialog"
  type_into_box "$1"
  xdotool key Return
  # A single name may bring up the box's completion list, which takes the first Return:
  # a second one goes to the dialog itself, never to the main window (that would be a step).
  gone "$dialog" 1000 || { xdotool key --window "$dialog" Return 2> /dev/null || true; gone "$dialog"; } ||
    fail "the open dialog stayed"
  xdotool windowfocus --sync "$main"
}

# Closes a message box with Enter (its default button); fails when none comes up.
close_box() {  # close_box <what it is, for the failure message>
  local box
  box=$(find_window "^$box_title$") || fail "no $1"
  xdotool windowfocus --sync "$box"
  xdotool key Return
  gone "$box" || fail "the $1 did not close"
  xdotool windowfocus --sync "$main"
}

# Save Results through both questions: Yes to saving, then the file name typed into
# the save dialog.
save_results() {  # save_results <path>
  click_button 3
  local confirm save
  confirm=$(find_window "^Confirm$") || fail "no save question"
  xdotool windowfocus --sync "$confirm"
  xdotool key Return       # Yes is the default button
  gone "$confirm" || fail "the save question stayed"
  save=$(other_window "$main") || fail "no save dialog"
  xdotool windowfocus --sync "$save"
  type_into_box "$1"
  xdotool key Return
  until_true "$e2e_patience_ms" test -s "$1" || fail "nothing saved in $1"
}

label() {  # the label of a path: its last 12 characters less the last 4
  local p=$1
  [ ${#p} -gt 12 ] && p=${p: -12}
  [ ${#p} -ge 4 ] && p=${p:0:${#p}-4}
  printf '%s' "$p"
}

expect_saved() {  # expect_saved <expected file> <saved file>
  if ! cmp "$1" "$2"; then
    echo "--- expected:" >&2; od -c "$1" >&2
    echo "--- saved:" >&2; od -c "$2" >&2 || true
    fail "saved results differ"
  fi
}

# No drawing helper is left but the one started ahead for the next picture: the program
# has at most one child process, and no child that has ended unreaped (a zombie).
no_helper_left() {
  local children
  children=$(pgrep -P "$app" || true)
  [ "$(printf '%s' "$children" | grep -c .)" -le 1 ] || return 1
  for child in $children; do
    case "$(ps -o stat= -p "$child" 2>/dev/null)" in Z*) return 1 ;; esac
  done
  return 0
}
