#!/usr/bin/env bash
# Fuzzes the drawing path through the real helper for SECONDS (default 600): mutated
# icons and metafiles, taken or refused by the program's header checks, drawn by the
# real client and the real quendral-render (built in build/). The driver (built with
# clang, AddressSanitizer, LeakSanitizer and UBSan in build-fuzz/) counts the helper's
# deaths by kind, keeps the inputs that killed it in build-fuzz/helper-deaths/, and
# fails when the parent crashes, hangs, leaks memory or descriptors, or leaves a helper.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
scripts/build.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQFIP_BUILD_FUZZ=ON -DQFIP_BUILD_UI=OFF >/dev/null
cmake --build build-fuzz --target fuzz_drawing -j2
mkdir -p build-fuzz/helper-deaths
ASAN_OPTIONS=detect_leaks=1 build-fuzz/fuzz/fuzz_drawing build/libexec/quendral/quendral-render "$seconds" \
  build-fuzz/helper-deaths
