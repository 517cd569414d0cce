#!/usr/bin/env bash
# Installs everything Plinth needs to build, run and test on Debian 12 or later.
# Run as root (or with sudo available). Safe to run again.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  nlohmann-json3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libmodbus-dev
  xvfb xauth x11-apps imagemagick fonts-dejavu-core
  x11vnc novnc websockify
  iproute2 procps psmisc python3 tcpdump
  dpkg-dev lintian desktop-file-utils appstream shared-mime-info libglib2.0-bin
  libcap2-bin man-db groff-base file gzip util-linux
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
