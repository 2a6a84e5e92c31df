#!/usr/bin/env bash
# Builds the release package: two ZIPs in build/package (QEL_BUILD_DIR chooses another
# build folder than ./build).
#
#   qelapp32-<version>-win32-service.zip    bin/qelapp32.exe, bin/qelctl.exe, bin64/qelctl.exe,
#                                           lib/libqelclient.a, lib64/libqelclient.a,
#                                           include/qelapp32/client.h and qelclient.h,
#                                           share/doc/qelapp32/
#   qelapp32-<version>-win32-simulator.zip  simulator/QRMTOV.DLL, simulator/simulated-printer.md
#
# It lists what each ZIP holds, and fails if a QRMTOV.DLL got into the service's ZIP.
set -euo pipefail
cd "$(dirname "$0")/.."
export QEL_BUILD_DIR="${QEL_BUILD_DIR:-build}"

scripts/build.sh qelapp32 qelctl qelclient clients64 qrmtov_sim
rm -rf "$QEL_BUILD_DIR/package"
(cd "$QEL_BUILD_DIR" && cpack -C Release >/dev/null)

status=0
for zip in "$QEL_BUILD_DIR"/package/*.zip; do
    echo "package: $zip"
    cmake -E tar tf "$zip" | sed 's/^/    /'
    case "$zip" in
    *-service.zip)
        if cmake -E tar tf "$zip" | grep -qi 'qrmtov\.dll$'; then
            echo "package: the simulated library must not be in the service's ZIP" >&2
            status=1
        fi
        ;;
    esac
done
exit "$status"
