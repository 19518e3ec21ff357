#!/usr/bin/env bash
# Shows that the project stands on its own: clones this checkout's committed state into
# an empty temporary folder (nothing beside it, so no ../shared), builds the toolkit-free
# modules' tests there and runs them; they read the BMP corpus and the other test data.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
work=$(mktemp -d /tmp/quendral-clone.XXXXXX)
trap 'rm -rf "$work"' EXIT
git clone --quiet "$PWD" "$work/quendral"
if [ -e "$work/shared" ]; then
  echo "the clone has a shared folder beside it" >&2
  exit 1
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$work/quendral" -B "$work/quendral/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQFIP_BUILD_UI=OFF "${launcher[@]}" >/dev/null
cmake --build "$work/quendral/build" -j"$(nproc)" >/dev/null
ctest --test-dir "$work/quendral/build" --output-on-failure -j"$(nproc)" > "$work/ctest.log" ||
  { cat "$work/ctest.log"; exit 1; }
echo "in a clone alone: $(grep 'tests passed' "$work/ctest.log")"
