#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need.
# Quick and silent when everything is already there.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl1-mesa-dev qt6-charts-dev
  qt6-qpa-plugins
  clang libclang-rt-14-dev
  socat ser2net stress-ng xvfb xauth x11-apps x11-utils imagemagick
  appstream desktop-file-utils librsvg2-bin
  man-db groff-base bash-completion
  fonts-liberation unrtf
  clang-format
  dbus-daemon at-spi2-core
  cups-daemon cups-client printer-driver-cups-pdf poppler-utils libcups2-dev
  libudev-dev
  libatspi2.0-dev
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
