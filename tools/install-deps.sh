#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Velkoria needs.
set -euo pipefail
PACKAGES=(
    cmake g++ make pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-httpserver-dev qt6-websockets-dev libssl-dev
    libbenchmark-dev
    clang-14 libclang-rt-14-dev
    chromium
    xvfb xauth openbox x11-utils xdotool imagemagick
    dbus-daemon dunst trayer
    fonts-ipafont-gothic fonts-noto-cjk
    poppler-utils procps
    g++-mingw-w64-x86-64-posix wine64 nsis
)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
