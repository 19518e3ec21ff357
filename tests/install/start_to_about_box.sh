#!/usr/bin/env bash
# Starts a command that runs the program on a display of its own (Xvfb), waits until the
# program's about box is up, checks that its windows name the program as the menu entry
# does (so a desktop links them to it), and ends the program.
# Usage: start_to_about_box.sh <command> [arguments...]
set -euo pipefail
work=$(mktemp -d /tmp/quendral-start.XXXXXX)
xvfb=""
app=""
cleanup() {
  for pid in $app $xvfb; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The server picks a free display itself and names it once it accepts connections, so
# servers started at the same moment by other runs on this machine never collide.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb=$!
# Each wait lasts as long as a busy machine may take (30 s), not a count of tries.
started=$SECONDS
until [ -s "$work/display" ] || ((SECONDS >= 30 + started)); do sleep 0.1; done
[ -s "$work/display" ] || { echo "FAILED: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

"$@" > "$work/program.log" 2>&1 &
app=$!
about=""
started=$SECONDS
until ((SECONDS >= 30 + started)); do
  about=$(xdotool search --onlyvisible --name '^Quendral Fast Image Processor 1.0$' 2>/dev/null | head -1 || true)
  [ -n "$about" ] && break
  if ! kill -0 "$app" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$about" ]; then
  echo "FAILED: no about box from: $*" >&2
  cat "$work/program.log" >&2
  exit 1
fi
wm_class=$(xprop -id "$about" WM_CLASS)
case "$wm_class" in
  *'"quendral"'*) ;;
  *) echo "FAILED: the about box's $wm_class does not name quendral" >&2; exit 1 ;;
esac
eval "$(xdotool getwindowgeometry --shell "$about")"
echo "about box up: \"$(xdotool getwindowname "$about")\", ${WIDTH} x ${HEIGHT}, $wm_class"
