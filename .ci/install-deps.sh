#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need. Safe to run again.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config libssl-dev
  qt6-base-dev qt6-l10n-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 desktop-file-utils
  libsqlite3-dev sqlite3
  pxlib-dev python3-dbf python3-dbfread gdal-bin libdbd-xbase-perl poppler-utils
  clang-14 libclang-rt-14-dev clang-format clang-tidy
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
