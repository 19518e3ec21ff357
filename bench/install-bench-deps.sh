#!/usr/bin/env bash
# What the benchmarks need beyond scripts/install-deps.sh: ImageJ (Debian's imagej, with
# a Java runtime, about 200 MB) for bench/imagej/run_imagej.sh. Not installed for CI.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if ! dpkg-query -W -f='${Status}' imagej 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends imagej
fi
