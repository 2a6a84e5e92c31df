#!/usr/bin/env bash
# Builds like test.sh and runs the reliability battery at its long scale (1,000,000 storm
# messages, 10,000 packets under load, 200 start/stop cycles). It takes a while: start it
# in the background and look at the log.
#
#     nohup scripts/reliability-long.sh > /tmp/reliability-long.out 2>&1 &
#     scripts/reliability-long.sh --seed=20240607 --gtest_filter='MessageStorm.*'
#
# Arguments go to the battery (--seed=<n>, --gtest_filter=...). The whole output lands in
# build/reliability-long.log (QEL_BUILD_DIR chooses another folder than ./build), the
# figures for docs/reliability.md at its end.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export QEL_BUILD_DIR="${QEL_BUILD_DIR:-build}"

scripts/build.sh reliability_tests

# As in test.sh: no component files left behind by a crashed component test.
find "$WINEPREFIX/drive_c/windows/syswow64" -maxdepth 1 \( -iname 'qrm*' -o -iname 'korvalis*' \) -delete 2>/dev/null || true
rm -f "$WINEPREFIX/drive_c/windows/wininit.ini"

wineserver -p 2>/dev/null || true  # answers 2 when a server already runs
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

# To a file, not a pipe: Wine's background processes may keep a pipe open for ever.
log="$QEL_BUILD_DIR/reliability-long.log"
started=$(date +%s)
status=0
(cd "$QEL_BUILD_DIR/bin" && wine reliability_tests.exe --long "$@") >"$log" 2>&1 </dev/null || status=$?
elapsed=$(( $(date +%s) - started ))

echo "reliability-long: exit status $status after ${elapsed} s; log in $log"
echo "command: scripts/reliability-long.sh $*"
grep -E '^\[(figure|seed)\]|^\[ +(OK|FAILED) +\]|tests? ran|PASSED|FAILED TEST' "$log" || true
exit "$status"
