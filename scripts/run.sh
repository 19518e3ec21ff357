#!/usr/bin/env bash
# Builds the program, writes a sample series into build/sample/ when none is there
# (twenty 320 x 240 frames of a bright spot fading on a darker background), and starts
# the program with that folder as its current folder, so the open dialog shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ ! -x build/bin/quendral ]; then
  echo "The window is not built (is Qt 6 installed?)." >&2
  exit 1
fi
if [ ! -f build/sample/f0000020.bmp ]; then
  build/tools/quendral_pictures series build/sample
fi
cd build/sample
exec ../bin/quendral
