#!/usr/bin/env bash
# Builds everything and runs every test headless: the unit and window tests (ctest,
# including the end-to-end tests under Xvfb), the toolkit-free modules' tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzz run of each libFuzzer
# target (the picture readers, the reply reader, the EMF record rewriting) when clang is there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)" | tee build/ctest.log

scripts/sanitize.sh
if command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh readers 20
fi

# One closing line for the whole run (every step above stops the script when it fails).
total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' build/ctest.log | tail -n 1)
echo "ctest: ${total:-0} passed, 0 failed"
