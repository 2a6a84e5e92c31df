#!/usr/bin/env bash
# Installs what is missing, configures the cross build and builds it: every target, or
# the ones named. Every script of the project builds through this one, so they all
# share one build folder.
#
#   scripts/build.sh                        everything, in ./build
#   scripts/build.sh qelbench               one target and what it needs
#   QEL_BUILD_DIR=/tmp/qel scripts/build.sh another build folder (relative paths are
#                                           taken from the repository's root)
set -euo pipefail
cd "$(dirname "$0")/.."
QEL_BUILD_DIR="${QEL_BUILD_DIR:-build}"

scripts/setup.sh
cmake -S . -B "$QEL_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQEL_BUILD_TESTS=ON >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$QEL_BUILD_DIR" -j"$(nproc)" "${targets[@]}"
