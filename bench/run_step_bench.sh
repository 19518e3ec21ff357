#!/usr/bin/env bash
# Runs the big-picture benchmarks and prints their tables (markdown) with the machine's
# load beside them:
#   - one step at 1024 .. 16384 pixels a side, without and with prefetch, beside the
#     decoder's own time and a copy into a fresh raster (bench_ui_step_sizes);
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

python3 - "$out" <<'EOF'
import json, sys
out = sys.argv[1]

def load(name):
    with open(f"{out}/{name}.json") as f:
        return json.load(f)["benchmarks"]

def medians(rows):
    table = {}
    for b in rows:
        if b.get("aggregate_name", "median") != "median":
            continue
        name, side = b["run_name"].split("/")[:2]
        table[(name, int(side))] = b
    return table

steps = medians(load("steps"))
sides = [1024, 2048, 4096, 8192, 16384]
def ms(name, side, key="real_time"):
    return steps[(name, side)][key]

print("\n### One step (median ms; wall, then CPU of the window thread)\n")
print("| side | decoder (memory) | copy into fresh raster | step, no prefetch | its CPU | / decoder | / 1024 step | step, prefetch | its CPU | / 1024 step | page faults (no prefetch / prefetch) |")
print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
base_no = ms("StepWithoutPrefetch", 1024)
base_pre = ms("StepWithPrefetch", 1024)
for s in sides:
    no, pre = ms("StepWithoutPrefetch", s), ms("StepWithPrefetch", s)
    dec = ms("Decode", s)
    print(f"| {s} | {dec:.2f} | {ms('CopyIntoFreshRaster', s):.2f} | {no:.2f} | "
          f"{steps[('StepWithoutPrefetch', s)]['ui_cpu_ms']:.2f} | {no / dec:.2f} | {no / base_no:.1f} | "
          f"{pre:.3f} | {steps[('StepWithPrefetch', s)]['ui_cpu_ms']:.3f} | {pre / base_pre:.1f} | "
          f"{steps[('StepWithoutPrefetch', s)]['ui_faults']:.0f} / {steps[('StepWithPrefetch', s)]['ui_faults']:.0f} |")
repaint = {int(b["run_name"].split("/")[1]): b for b in load("steps") if b["run_name"].startswith("FullRepaint") and b.get("aggregate_name") == "median"}
for s, b in sorted(repaint.items()):
    print(f"\nFull repaint of the visible picture ({b['visible_px']:.0f} pixels), {s} x {s} picture: {b['real_time']:.1f} us")

print("\n### Refusal of a 16385 x 16385 header (median)\n")
for b in load("refusal"):
    if b.get("aggregate_name") == "median":
        print(f"- {b['run_name']}: {b['real_time']:.1f} us, {b['heap_bytes']:.0f} heap bytes, {b['file_bytes_read']:.0f} bytes read")

print("\n### Preview of a large picture in the open dialog\n")
for b in load("preview"):
    print(f"- {b['run_name']}: selection to preview {b['real_time']:.1f} ms (mean of {b['iterations']}), "
          f"event loop blocked at most {b['max_blocked_ms']:.1f} ms (mean of the rounds' longest {b['mean_max_blocked_ms']:.1f} ms)")

print("\n### Peak memory (VmHWM) replacing a 16384 x 16384 picture\n")
for b in load("memory"):
    print(f"- {b['label']}: {b['peak_MiB']:.0f} MiB ({b['peak_MiB'] * 1048576 / 1e9:.2f} GB); two rasters {b['two_rasters_MiB']:.0f} MiB, "
          f"program before any picture {b['program_MiB']:.0f} MiB")
EOF
