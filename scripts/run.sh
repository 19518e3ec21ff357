#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ ! -x build/src/app/quendral ]; then
  echo "The window is not built yet." >&2
  exit 1
fi
exec build/src/app/quendral
