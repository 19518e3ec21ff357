#!/usr/bin/env bash
# The real window under Xvfb with Enter held down: a series of 300 pictures opened through
# the open dialog, the pointer on the picture, Enter pressed and held (the X server repeats
# it) until "It was the last line." comes up. Prints, for each picture size, the steps per
# second and the program's CPU time per step (all its threads, from /proc), held and
# flooded: "flood" sends the 300 presses at once, as fast as xdotool can, so the window
# always has the next key waiting and every step's picture is needed at once.
#
# The 300 names of a series are hard links to 4 distinct files (each step still opens,
# reads and decodes a file, the next one always another picture; 300 distinct 16384 x 16384
# files would take 225 GiB). Key repeat: after 200 ms, every INTERVAL ms (16: about 60 a
# second, faster than a person's keyboard repeats, so the window, not the key, sets the
# pace; 40: the X server's usual 25 a second). The end is the moment the box "It was the
# last line." is mapped (xev on the root window, polled every 10 ms).
#
# Usage: bench/run_window_throughput.sh [build folder]
#   QFIP_SIDES      picture sides (default "4096 8192 16384")
#   QFIP_INTERVALS  key repeat intervals in ms, and/or "flood" (default "16 flood")
set -euo pipefail
build=$(readlink -f "${1:-build}")
program="$build/bin/quendral"
[ -x "$program" ] || program="$build/src/app/quendral"
pictures_tool="$build/tools/quendral_pictures"
sides=${QFIP_SIDES:-4096 8192 16384}
intervals=${QFIP_INTERVALS:-16 flood}

if [ -z "${QFIP_THROUGHPUT_INNER:-}" ]; then
  export QFIP_THROUGHPUT_INNER=1
  echo "load before: $(uptime)"
  for interval in $intervals; do
    # Flooded presses don't repeat: any repeat rate serves.
    repeat=$interval
    [ "$interval" = flood ] && repeat=16
    QFIP_INTERVAL=$interval xvfb-run -a -s "-screen 0 1280x1024x24 -ardelay 200 -arinterval $repeat" \
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

cpu_ticks() {  # the program's user and system time so far, in clock ticks
  awk '{ print $14 + $15 }' "/proc/$app/stat"
}

run_series() {  # run_series <side>: prints the steps per second and CPU ms per step
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
  sleep 1   # the second picture read ahead

  # The end: "It was the last line." comes up (and the repeating Enter closes it at once),
  # so its window's mapping is watched for rather than the window itself.
  local events="$work/events" watcher start end="" ticks_before ticks_after
  stdbuf -oL xev -root -event substructure > "$events" 2>/dev/null &
  watcher=$!
  sleep 0.5
  ticks_before=$(cpu_ticks)
  start=$(date +%s.%N)
  local presser=""
  if [ "$QFIP_INTERVAL" = flood ]; then
    xdotool key --delay 0 --repeat 300 --repeat-delay 0 Return &
    presser=$!
  else
    xdotool keydown Return
  fi
  for _ in $(seq 1 30000); do
    if grep -q "^MapNotify" "$events"; then end=$(date +%s.%N); break; fi
    sleep 0.01
  done
  ticks_after=$(cpu_ticks)
  if [ -n "$presser" ]; then
    wait "$presser" || true
  else
    xdotool keyup Return
  fi
  kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null || true
  [ -n "$end" ] || { echo "the series never ended" >&2; return 1; }
  kill "$app" 2>/dev/null; wait "$app" 2>/dev/null || true
  app=""
  rm -rf "$folder"
  local hz
  hz=$(getconf CLK_TCK)
  # 300 presses: held, the first at once and the rest repeated after 200 ms; flooded, all at once.
  python3 -c "
held = '$QFIP_INTERVAL' != 'flood'
seconds = $end - $start - (0.2 if held else 0)
print(f'{(299 if held else 300) / seconds:.1f} steps per second, {($ticks_after - $ticks_before) * 1000 / $hz / 300:.1f} ms of CPU per step')"
}

if [ "$QFIP_INTERVAL" = flood ]; then
  echo "300 presses at once (flood):"
else
  echo "key repeat every ${QFIP_INTERVAL} ms ($(python3 -c "print(round(1000 / $QFIP_INTERVAL))") a second):"
fi
for side in $sides; do
  echo "  ${side} x ${side}: $(run_series "$side")"
done
