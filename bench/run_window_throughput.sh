#!/usr/bin/env bash
# The real window under Xvfb with Enter held down: a series of 300 pictures opened through
# the open dialog, the pointer on the picture, Enter pressed and held (the X server repeats
# it) until "It was the last line." comes up. Prints the steps per second for series of
# 512 x 512, 2048 x 2048 and 4096 x 4096 24-bit pictures. The end is the moment the box
# "It was the last line." is mapped (xev on the root window, polled every 10 ms).
#
# The 300 names of a series are hard links to 4 distinct files (each step still opens,
# reads and decodes a file, the next one always another picture; 300 distinct 4096 x 4096
# files would take 14 GiB). Key repeat: after 200 ms, every INTERVAL ms (default 16, about
# 60 a second, faster than a person's keyboard repeats), so the window, not the key, sets
# the pace; a second run at the X server's usual 40 ms (25 a second) is printed too.
# Usage: bench/run_window_throughput.sh [build folder]
set -euo pipefail
build=$(readlink -f "${1:-build}")
program="$build/bin/quendral"
[ -x "$program" ] || program="$build/src/app/quendral"
pictures_tool="$build/tools/quendral_pictures"

if [ -z "${QFIP_THROUGHPUT_INNER:-}" ]; then
  export QFIP_THROUGHPUT_INNER=1
  echo "load before: $(uptime)"
  for interval in 16 40; do
    QFIP_INTERVAL=$interval xvfb-run -a -s "-screen 0 1280x1024x24 -ardelay 200 -arinterval $interval" \
      bash "$0" "$build"
  done
  echo "load after: $(uptime)"
  exit 0
fi

work=$(mktemp -d /tmp/qfip-throughput.XXXXXX)
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# find_window and the other window lookups of the end-to-end tests.
source "$(dirname "$0")/../tests/e2e/lib.sh"

run_series() {  # run_series <side>: prints the steps per second
  local side=$1 folder="$work/$1"
  mkdir -p "$folder"
  for k in 0 1 2 3; do "$pictures_tool" pattern "$folder/distinct$k.bmp" "$side" $((k * 50)); done
  local names=""
  for i in $(seq -w 1 300); do
    ln "$folder/distinct$((10#$i % 4)).bmp" "$folder/s$i.bmp"
    names+="\"s$i.bmp\" "
  done
  cat "$folder"/distinct*.bmp > /dev/null   # in the page cache

  (cd "$folder" && exec "$program" > "$work/app.log" 2>&1) &
  app=$!
  local about main dialog
  about=$(find_window "^Quendral Fast Image Processor 1.0$") || { echo "no about box" >&2; return 1; }
  xdotool windowfocus --sync "$about" key Return
  sleep 0.5
  main=$(find_window "^Quendral Fast Image Processor 1.0$") || { echo "no main window" >&2; return 1; }
  xdotool windowfocus --sync "$main"
  eval "$(xdotool getwindowgeometry --shell "$main")"
  local wx=$X wy=$Y
  xdotool mousemove --sync $((wx + 20)) $((wy + 14)) click 1   # Open Pictures
  sleep 1
  dialog=$(xdotool search --onlyvisible --name "." | grep -v "^$main$" | tail -1)
  xdotool windowfocus --sync "$dialog"
  sleep 0.3
  xdotool type --delay 1 "$names"
  xdotool key Return
  for _ in $(seq 1 300); do   # the dialog closes once the first picture is shown
    xdotool search --onlyvisible --name "." 2>/dev/null | grep -q "^$dialog$" || break
    sleep 0.1
  done
  xdotool windowfocus --sync "$main"
  # The pointer over the picture: a step measures only where the pointer has been.
  xdotool mousemove --sync $((wx + 8 + 100)) $((wy + 29 + 18 + 8 + 100))
  sleep 0.3
  xdotool mousemove_relative --sync 1 1
  sleep 0.5

  # The end: "It was the last line." comes up (and the repeating Enter closes it at once),
  # so its window's mapping is watched for rather than the window itself.
  local events="$work/events" watcher start end=""
  stdbuf -oL xev -root -event substructure > "$events" 2>/dev/null &
  watcher=$!
  sleep 0.5
  start=$(date +%s.%N)
  xdotool keydown Return
  for _ in $(seq 1 12000); do
    if grep -q "^MapNotify" "$events"; then end=$(date +%s.%N); break; fi
    sleep 0.01
  done
  xdotool keyup Return
  kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null || true
  [ -n "$end" ] || { echo "the series never ended" >&2; return 1; }
  kill "$app" 2>/dev/null; wait "$app" 2>/dev/null || true
  app=""
  rm -rf "$folder"
  # 300 presses: the first at once, the rest repeated; the first repeat comes after 200 ms.
  python3 -c "print(f'{299 / ($end - $start - 0.2):.1f}')"
}

echo "key repeat every ${QFIP_INTERVAL} ms ($(python3 -c "print(round(1000 / $QFIP_INTERVAL))") a second):"
for side in 512 2048 4096; do
  echo "  ${side} x ${side}: $(run_series "$side") steps per second"
done
