#!/usr/bin/env bash
# Starts a command that runs the program under Xvfb (a display of its own), waits until
# the program's about box is up, checks that its windows name the program as the menu
# entry does (so a desktop links them to it), and ends the program.
# Usage: start_to_about_box.sh <command> [arguments...]
set -euo pipefail
if [ -z "${QFIP_ABOUT_BOX_INNER:-}" ]; then
  export QFIP_ABOUT_BOX_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

work=$(mktemp -d /tmp/quendral-start.XXXXXX)
app=""
cleanup() {
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
"$@" > "$work/program.log" 2>&1 &
app=$!

about=""
for _ in $(seq 1 150); do
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
