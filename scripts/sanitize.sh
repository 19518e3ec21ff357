#!/usr/bin/env bash
# Builds the toolkit-free modules' tests (the picture readers, and the client of the
# drawing helper through a helper that misbehaves on purpose, among them) with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs them; any
# report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQFIP_SANITIZE=ON -DQFIP_BUILD_UI=OFF >/dev/null
cmake --build build-asan --target test_raster test_measure test_results test_exchange -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for suite in raster measure results exchange; do
  build-asan/tests/test_$suite --gtest_brief=1
done
