#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the program need.
# Usage: scripts/deps.sh [run|test]   (default: test, which is a superset of run)
set -euo pipefail
kind=${1:-test}

build_pkgs=(build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-charts-dev libqt6opengl6-dev qt6-svg-dev libboost-math-dev
    libusb-dev libusb-0.1-4 libxlsxwriter-dev libzip-dev libxcb1-dev
    libqt6sql6-sqlite libqt6sql6-psql
    fonts-liberation fonts-liberation2 fonts-dejavu-core)
test_pkgs=(xvfb xauth xclip x11-utils xdotool libx11-dev libxdamage-dev xfce4-clipman dbus-daemon poppler-utils unzip
    libbenchmark-dev
    libreoffice-calc libreoffice-writer
    desktop-file-utils appstream imagemagick gpsbabel gdal-bin lintian file postgresql openssl
    clang-14 libclang-rt-14-dev)

pkgs=("${build_pkgs[@]}")
[ "$kind" = test ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
