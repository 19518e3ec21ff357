#!/usr/bin/env bash
# ImageJ against this program on the same 4096 x 4096 and 8192 x 8192 24-bit pictures in
# one run: ImageJ (Debian's imagej, under xvfb-run, a warm JVM) opens each picture and
# measures two 24 x 24 rectangles, timed inside the macro with getTime(); this program's
# step without prefetch (and the decoder alone) comes from bench_ui_step_sizes. Prints
# the medians of the warm rounds and the ratios.
# Needs: bench/install-bench-deps.sh (imagej, a Java runtime). Usage:
#   bench/imagej/run_imagej.sh [build folder] [rounds]
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
build=$(readlink -f "${1:-build}")
rounds=${2:-6}
export QFIP_BENCH_DIR=${QFIP_BENCH_DIR:-/tmp/qfip-bench-steps}
mkdir -p "$QFIP_BENCH_DIR"
files=()
for side in 4096 8192; do
  for which in a b; do
    f="$QFIP_BENCH_DIR/p${side}${which}.bmp"
    want=$((54 + side * side * 3))
    if [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" != "$want" ]; then
      "$build/tools/quendral_pictures" pattern "$f" "$side" "$([ "$which" = a ] && echo 0 || echo 40)"
    fi
    files+=("$f")
  done
done
cat "${files[@]}" > /dev/null   # into the page cache

echo "load before: $(uptime)"
arg="$rounds;$(IFS=';'; echo "${files[*]}")"
log=$(mktemp /tmp/qfip-imagej.XXXXXX)
xvfb-run -a java -Xmx4g -jar /usr/share/java/ij.jar -batch "$here/measure.ijm" "$arg" > "$log" 2>&1
echo "load after ImageJ: $(uptime)"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_ui_step_sizes" --benchmark_filter='^(Decode|StepWithoutPrefetch)/(4096|8192)/' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true --benchmark_format=json 2>/dev/null > "$log.ours"
echo "load after ours: $(uptime)"

python3 - "$log" "$log.ours" <<'PY'
import json, statistics, sys
times = {}
version = "?"
for line in open(sys.argv[1]):
    parts = line.split()
    if parts[:1] == ["version"]:
        version = parts[1]
    if parts[:1] == ["time"] and int(parts[1]) >= 1:   # round 0 warms the JVM
        side = int(parts[2].rsplit("/p", 1)[1][:-5])
        times.setdefault(side, []).append(float(parts[3]))
ours = {}
for b in json.load(open(sys.argv[2]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name, side = b["run_name"].split("/")[:2]
        ours[(name, int(side))] = b["real_time"]
print(f"\nImageJ {version}: median of {len(times.get(4096, []))} warm opens per size\n")
print("| side | ImageJ per picture (ms) | our step, no prefetch (ms) | our decoder (ms) | ImageJ / our step |")
print("|---:|---:|---:|---:|---:|")
for side in sorted(times):
    ij = statistics.median(times[side])
    step = ours[("StepWithoutPrefetch", side)]
    print(f"| {side} | {ij:.0f} (range {min(times[side]):.0f}-{max(times[side]):.0f}) | {step:.1f} | {ours[('Decode', side)]:.1f} | {ij / step:.1f} |")
PY
rm -f "$log" "$log.ours"
