#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kavum need.
# Does nothing when everything is already there. Needs root for apt-get.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-svg-dev libgl-dev qt6-translations-l10n zlib1g-dev
  libuemf-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-dejavu-core
  xvfb xauth imagemagick
  emf2svg poppler-utils librsvg2-bin qpdf
  clang libclang-rt-14-dev
  desktop-file-utils appstream dpkg-dev fakeroot
  gmt gmt-gshhg-full python3-numpy python3-scipy ferret-datasets
  python3-gdal gdal-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
