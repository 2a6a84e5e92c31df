#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine.
set -euo pipefail
cd "$(dirname "$0")"
export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"

scripts/setup.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQEL_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$(nproc)"

# One persistent server for the whole run, so each Wine process starts quickly.
wineserver -p 2>/dev/null || true  # answers 2 when a server already runs
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Start Wine's own background processes now, away from CTest's output pipes: the first
# Wine process launches them, and they keep whatever output they inherit open.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
cd build
ctest --output-on-failure "$@"
