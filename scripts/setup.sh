#!/usr/bin/env bash
# Installs everything the recorder needs to build, run and test on Debian 12.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
PKGS=(
  build-essential cmake ninja-build pkg-config git file
  libwxgtk3.2-dev libhpdf-dev libcanberra-dev libcanberra-pulse libsqlite3-dev sqlite3
  libsodium-dev libqrencode-dev zbar-tools colord-data gettext nlohmann-json3-dev
  postgresql-15 libpq-dev openssl
  libgtest-dev googletest
  xvfb xauth matchbox-window-manager x11-utils xdotool imagemagick
  poppler-utils qpdf sox pulseaudio pulseaudio-utils iproute2 util-linux
  clang libclang-rt-14-dev
  fonts-dejavu-core
  libcups2-dev cups cups-client printer-driver-cups-pdf wx3.2-i18n
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
