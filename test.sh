#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine.
#
#   ./test.sh                     build in ./build, Wine prefix ~/.cache/qelapp32/wine
#   ./test.sh -R e2e              arguments go to ctest
#   WINEPREFIX=... ./test.sh      another prefix
#   QEL_BUILD_DIR=... ./test.sh   another build folder
set -euo pipefail
cd "$(dirname "$0")"
export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export QEL_BUILD_DIR="${QEL_BUILD_DIR:-build}"

scripts/build.sh

# A component test that crashed can leave component files behind, and every later start
# would then fail its check; the test prefix holds none of its own.
find "$WINEPREFIX/drive_c/windows/syswow64" -maxdepth 1 \( -iname 'qrm*' -o -iname 'korvalis*' \) -delete 2>/dev/null || true
rm -f "$WINEPREFIX/drive_c/windows/wininit.ini"

# One persistent server for the whole run, so each Wine process starts quickly.
wineserver -p 2>/dev/null || true  # answers 2 when a server already runs
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Start Wine's own background processes now, away from CTest's output pipes: the first
# Wine process launches them, and they keep whatever output they inherit open.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
cd "$QEL_BUILD_DIR"
ctest --output-on-failure "$@"
