#!/usr/bin/env bash
# Installs every Debian package Korvane needs (skipping what is there) and
# configures the build in build/. Sourced by run.sh and test.sh, which then
# build only what they need with kv_build TARGET...
# KV_WERROR=1 turns compiler warnings into errors (CI sets it).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KV_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache clang-format
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools qt6-multimedia-dev qt6-image-formats-plugins
  libqt6sql6-sqlite libqt6opengl6-dev libgl1-mesa-dev
  libsodium-dev libxlsxwriter-dev libuchardet-dev libssl-dev sqlite3 libsqlite3-dev unzip
  fonts-noto-cjk fonts-wqy-zenhei fonts-arphic-uming qt6-translations-l10n
  libpoppler-cpp-dev libzip-dev libtesseract-dev libleptonica-dev tesseract-ocr-chi-sim tesseract-ocr-eng catdoc
  xvfb twm xfonts-base strace
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "korvane: installing Debian packages: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

WERROR=OFF
if [ "${KV_WERROR:-0}" = "1" ]; then WERROR=ON; fi
echo "korvane: configuring the build in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_WERROR="$WERROR" >/dev/null

# Builds the given targets (all when none is given).
kv_build() {
  if [ "$#" -eq 0 ]; then
    echo "korvane: building everything (program, tests, benchmarks)"
    cmake --build "$BUILD" -j "$(nproc)"
  else
    echo "korvane: building $*"
    cmake --build "$BUILD" -j "$(nproc)" --target "$@"
  fi
}
