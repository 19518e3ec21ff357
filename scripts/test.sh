#!/usr/bin/env bash
# Builds everything and runs every test headless: the unit and window tests (ctest,
# including the end-to-end test under Xvfb), the picture reader's tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzz run when clang is there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

[ -x scripts/sanitize.sh ] && scripts/sanitize.sh
if [ -x scripts/fuzz.sh ] && command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh 30
fi
