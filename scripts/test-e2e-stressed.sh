#!/usr/bin/env bash
# Runs the end-to-end tests (ctest's label e2e, built in build/) RUNS times in a row
# (default 3) with two CPU-burning processes beside them (scripts/busy.sh), as on a
# machine whose two cores are busy with other work; stops at the first run that fails.
# Usage: scripts/test-e2e-stressed.sh [RUNS]
set -euo pipefail
self=$(readlink -f "$0")
cd "$(dirname "$self")/.."
if [ -z "${QFIP_BESIDE_BUSY:-}" ]; then
  export QFIP_BESIDE_BUSY=1
  exec scripts/busy.sh bash "$self" "$@"
fi
runs=${1:-3}
[ -f build/CTestTestfile.cmake ] || { echo "build/ holds no tests: run scripts/build.sh first" >&2; exit 1; }
log=build/ctest-e2e-stressed.log
for run in $(seq 1 "$runs"); do
  ctest --test-dir build -L e2e --output-on-failure > "$log" 2>&1 ||
    { cat "$log"; echo "end-to-end tests beside two busy processes: run $run of $runs failed" >&2; exit 1; }
  echo "end-to-end tests beside two busy processes, run $run of $runs: $(grep 'tests passed' "$log")"
done
