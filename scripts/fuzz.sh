#!/usr/bin/env bash
# Fuzzes the picture readers for SECONDS (default 60): builds the libFuzzer target with
# clang in build-fuzz/, starts from the BMP test corpus (tests/data/bmpsuite) copied
# into fuzz-corpus/ (which keeps growing between runs), and fails when the fuzzer finds
# a crash, a sanitizer report, a leak or a hang. Crashing inputs are kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQFIP_BUILD_FUZZ=ON -DQFIP_BUILD_UI=OFF >/dev/null
cmake --build build-fuzz --target fuzz_picture -j2

mkdir -p fuzz-corpus build-fuzz/artifacts
for folder in g q b x; do
  for file in "tests/data/bmpsuite/$folder"/*.bmp; do
    [ -e "$file" ] && cp -n "$file" "fuzz-corpus/${folder}_$(basename "$file")"
  done
done

build-fuzz/fuzz/fuzz_picture -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ fuzz-corpus
