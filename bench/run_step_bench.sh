#!/usr/bin/env bash
# Runs the big-picture benchmarks and prints their tables (markdown) with the machine's
# load beside them:
#   - one step at 1024 .. 16384 pixels a side, without and with prefetch, beside the
#     decoder's own time, a copy into a fresh raster and the same files' bytes read with
#     pread by two threads (bench_ui_step_sizes);
#   - the refusal of a 16385 x 16385 header (bench_refusal);
#   - the open dialog's preview of a 16384 x 16384 picture (bench_ui_preview);
#   - peak memory of Restart and Open on 16384 x 16384 pictures (bench_ui_restart_memory).
# Usage: bench/run_step_bench.sh [build folder] [repetitions]
# The pictures (2 GiB) are written into $QFIP_BENCH_DIR (default /tmp/qfip-bench-steps)
# and deleted at the end unless QFIP_BENCH_KEEP=1.
set -euo pipefail
build=$(readlink -f "${1:-build}")
repetitions=${2:-3}
export QFIP_BENCH_DIR=${QFIP_BENCH_DIR:-/tmp/qfip-bench-steps}
export QT_QPA_PLATFORM=offscreen
out=$(mktemp -d /tmp/qfip-bench-results.XXXXXX)
cleanup() {
  if [ "${QFIP_BENCH_KEEP:-0}" != 1 ]; then rm -rf "$QFIP_BENCH_DIR"; fi
  rm -rf "${TMPDIR:-/tmp}/qfip-bench-refusal"
}
trap cleanup EXIT

echo "load before: $(uptime)"
"$build/bench/bench_ui_step_sizes" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$out/steps.json" --benchmark_out_format=json >/dev/null 2>"$out/steps.err"
echo "load after the steps: $(uptime)"
"$build/bench/bench_refusal" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$out/refusal.json" --benchmark_out_format=json >/dev/null 2>/dev/null
"$build/bench/bench_ui_preview" --benchmark_format=json --benchmark_out="$out/preview.json" \
  --benchmark_out_format=json >/dev/null 2>/dev/null
"$build/bench/bench_ui_restart_memory" --benchmark_format=json --benchmark_out="$out/memory.json" \
  --benchmark_out_format=json >/dev/null 2>/dev/null
echo "load at the end: $(uptime)"

python3 "$(dirname "$0")/step_tables.py" "$out"
