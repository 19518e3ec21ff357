#!/usr/bin/env bash
# Runs each libFuzzer target for SECONDS (default 60), built with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer in build-fuzz/:
#   fuzz_picture  the picture readers, from the BMP test corpus (tests/data/bmpsuite)
#                 copied into fuzz-corpus/ (which keeps growing between runs);
#   fuzz_reply    the program's side of the exchange with the drawing helper (the reply
#                 reader), from fuzz-corpus-reply/.
# Fails when a fuzzer finds a crash, a sanitizer report, a leak or a hang; the input is
# kept in build-fuzz/artifacts/. The drawing path through the real helper has its own,
# slower driver: scripts/fuzz_drawing.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQFIP_BUILD_FUZZ=ON -DQFIP_BUILD_UI=OFF >/dev/null
cmake --build build-fuzz --target fuzz_picture fuzz_reply -j2

mkdir -p fuzz-corpus fuzz-corpus-reply build-fuzz/artifacts
for folder in g q b x; do
  for file in "tests/data/bmpsuite/$folder"/*.bmp; do
    [ -e "$file" ] && cp -n "$file" "fuzz-corpus/${folder}_$(basename "$file")"
  done
done

build-fuzz/fuzz/fuzz_picture -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ fuzz-corpus
build-fuzz/fuzz/fuzz_reply -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
  -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ fuzz-corpus-reply
