#!/usr/bin/env bash
# Installs every Debian package the build, the programs and the tests need.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-l10n-tools qt6-tools-dev qt6-tools-dev-tools qt6-webengine-dev
  libqt6sql6-sqlite libqt6svg6-dev
  libsqlite3-dev sqlite3 libarchive-dev libmbedtls-dev zlib1g-dev libssl-dev
  libplist-dev libimobiledevice-dev libusbmuxd-dev libimobiledevice-utils usbmuxd
  adb xvfb xauth python3 python3-cryptography
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils qpdf fonts-dejavu-core fonts-noto-color-emoji unicode-data
  clang clang-format libclang-rt-dev dpkg-dev man-db appstream desktop-file-utils
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
