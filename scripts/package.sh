#!/usr/bin/env bash
# Builds the program and writes its Debian package, build/quendral_<version>_<arch>.deb,
# then has lintian check it against Debian's policy: an error or a warning fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
rm -f build/quendral_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/quendral_*.deb)
lintian --allow-root --fail-on error,warning --display-info "$deb"
echo "package: $deb"
