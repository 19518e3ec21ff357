#!/usr/bin/env python3
"""Tables (markdown) of the JSON results that bench/run_step_bench.sh writes into a folder."""
import json
import sys

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


print("\n### One step: time (ms, median) from its start to the next picture ready to paint\n")
print("| side | decoder, reused memory | decoder, fresh memory | copy into fresh memory "
      "| step without prefetch | / decoder (reused) | / decoder (fresh) | / 1024 step "
      "| step with prefetch | / 1024 step |")
print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
base_no, base_pre = ms("StepWithoutPrefetch", 1024), ms("StepWithPrefetch", 1024)
for s in sides:
    no, pre = ms("StepWithoutPrefetch", s), ms("StepWithPrefetch", s)
    dec, fresh = ms("Decode", s), ms("DecodeIntoFreshMemory", s)
    print(f"| {s} | {dec:.2f} | {fresh:.2f} | {ms('CopyIntoFreshMemory', s):.2f} | {no:.2f} | {no / dec:.2f} "
          f"| {no / fresh:.2f} | {no / base_no:.1f} | {pre:.3f} | {pre / base_pre:.1f} |")

print("\n### One step against its floor: the same bytes read with pread by two threads (median)\n")
print("| side | pread, two threads: wall ms | CPU ms | step without prefetch: wall ms | CPU ms "
      "| step / pread: wall | CPU |")
print("|---:|---:|---:|---:|---:|---:|---:|")
for s in sides:
    if ("PreadTwoThreads", s) not in steps:
        continue
    p, n = steps[("PreadTwoThreads", s)], steps[("StepWithoutPrefetch", s)]
    print(f"| {s} | {p['real_time']:.2f} | {p['process_cpu_ms']:.2f} | {n['real_time']:.2f} | {n['process_cpu_ms']:.2f} "
          f"| {n['real_time'] / p['real_time']:.2f} | {n['process_cpu_ms'] / p['process_cpu_ms']:.2f} |")

print("\nThe window thread's CPU time (ms) and minor page faults per step:\n")
print("| side | without prefetch: CPU | faults | with prefetch: CPU | faults |")
print("|---:|---:|---:|---:|---:|")
for s in sides:
    a, b = steps[("StepWithoutPrefetch", s)], steps[("StepWithPrefetch", s)]
    print(f"| {s} | {a['ui_cpu_ms']:.2f} | {a['ui_faults']:.0f} | {b['ui_cpu_ms']:.3f} | {b['ui_faults']:.0f} |")

for b in load("steps"):
    if b["run_name"].startswith("FullRepaint") and b.get("aggregate_name") == "median":
        side = b["run_name"].split("/")[1]
        print(f"\nFull repaint of the visible part ({b['visible_px']:.0f} pixels) of a {side} x {side} picture: "
              f"{b['real_time']:.1f} us (CPU {b['cpu_time']:.1f} us)")

print("\n### Refusal of a 16385 x 16385 header (median)\n")
for b in load("refusal"):
    if b.get("aggregate_name") == "median":
        print(f"- {b['run_name'].replace('_median', '')}: {b['real_time']:.1f} us, {b['heap_bytes']:.0f} bytes "
              f"allocated, {b['file_bytes_read']:.0f} bytes read (of which about 110 reading /proc/self/io)")

print("\n### Preview of a large picture in the open dialog\n")
for b in load("preview"):
    side = b["run_name"].split("/")[1]
    print(f"- {side} x {side}: selection to preview shown {b['real_time']:.1f} ms (mean of {b['iterations']}); "
          f"the event loop blocked at most {b['max_blocked_ms']:.1f} ms (mean of each selection's longest "
          f"{b['mean_max_blocked_ms']:.1f} ms)")

print("\n### Peak memory (VmHWM) replacing a 16384 x 16384 picture\n")
for b in load("memory"):
    print(f"- {b['label']}: {b['peak_MiB']:.0f} MiB ({b['peak_MiB'] * 1048576 / 1e9:.2f} GB); two rasters "
          f"{b['two_rasters_MiB']:.0f} MiB, the program before any picture {b['program_MiB']:.0f} MiB")
