#!/usr/bin/env bash
# Installs the Debian packages Velkoria needs:
#   tools/install-deps.sh run    what building and running the program, its
#                                manual and the marketplace simulator need (./run.sh)
#   tools/install-deps.sh test   that and what the tests, benchmarks, fuzzing and
#                                the Windows build need (./test.sh; the default)
set -euo pipefail

# Building and running: the program, its manual (rendered in Noto CJK) and the simulator.
RUN_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-httpserver-dev qt6-websockets-dev libssl-dev
    libcurl4-openssl-dev
    chromium
    fonts-ipafont-gothic fonts-noto-cjk
)
# Testing on top of that: the virtual display and the tools that drive it,
# benchmarks, fuzzing, the manual read back, and the Windows build under Wine.
TEST_PACKAGES=(
    clang-format
    libbenchmark-dev
    clang-14 libclang-rt-14-dev
    xvfb xauth openbox x11-utils xdotool imagemagick
    dbus-daemon dunst trayer
    poppler-utils procps
    python3-aiosmtpd openssl
    g++-mingw-w64-x86-64-posix wine64 nsis icoutils
)

case "${1:-test}" in
run) wanted=("${RUN_PACKAGES[@]}") ;;
test) wanted=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
*)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
