#!/usr/bin/env bash
# Runs the test suite already built in build/ (ctest) once more as an unprivileged user,
# the way a developer's own clone is run by its owner: the checkout is handed to that
# user (chown -R), who must be able to reach it (every folder above it open to others),
# and ctest runs with that user's own clean environment (setpriv --reset-env). Meant for
# a throwaway clone, as root: `.ci/run` runs it on its private clone.
# Usage: scripts/test-as-user.sh [USER]   (default quendral-tester, created when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
user=${1:-quendral-tester}
[ "$(id -u)" -eq 0 ] || { echo "run this as root: it hands the checkout to $user" >&2; exit 1; }
[ -f build/CTestTestfile.cmake ] || { echo "build/ holds no tests: run scripts/build.sh first" >&2; exit 1; }
id -u "$user" > /dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
as_user() { setpriv --reuid="$user" --regid="$user" --init-groups --reset-env "$@"; }
as_user test -r "$PWD/build/CTestTestfile.cmake" ||
  { echo "$user can't reach $PWD: open the folders above it to others" >&2; exit 1; }

chown -R "$user": .
log=build/ctest-as-user.log
as_user ctest --test-dir "$PWD/build" --output-on-failure -j"$(nproc)" > "$log" 2>&1 || { cat "$log"; exit 1; }
echo "as $user: $(grep 'tests passed' "$log")"
