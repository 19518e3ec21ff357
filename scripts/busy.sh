#!/usr/bin/env bash
# Runs a command with two CPU-burning processes (`yes > /dev/null`) beside it, as on a
# machine whose two cores are busy with other work; they end with the command, however
# it ends. Its exit status is the command's.
# Usage: scripts/busy.sh <command> [arguments...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: scripts/busy.sh <command> [arguments...]" >&2; exit 2; }
burners=()
stop_burners() {
  for pid in "${burners[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${burners[@]}"; do wait "$pid" 2> /dev/null || true; done
}
trap stop_burners EXIT
trap 'exit 130' INT TERM
for _ in 1 2; do
  yes > /dev/null &
  burners+=($!)
done
"$@"
