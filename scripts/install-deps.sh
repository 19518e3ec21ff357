#!/usr/bin/env bash
# Installs the Debian packages this project needs, only those that are missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libstb-dev
  libemf2svg-dev libwmf-dev fonts-urw-base35 libseccomp-dev libfontconfig-dev
  librsvg2-dev libcairo2-dev libfreetype-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick x11-utils xclip openbox
  weston xwayland qt6-wayland
  fonts-dejavu-core
  gdb python3
  librsvg2-bin desktop-file-utils appstream
  file dpkg-dev lintian debootstrap
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
