#!/usr/bin/env bash
# Installs what is missing, then configures and builds the program, tests and benchmarks
# in build/. Used by run.sh and test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQFIP_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
