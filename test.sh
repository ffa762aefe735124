#!/usr/bin/env bash
# Installs what Velkoria needs, builds it and runs every test (unit, widget and
# end-to-end tests with the real browser under a virtual display).
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j1 "$@"
