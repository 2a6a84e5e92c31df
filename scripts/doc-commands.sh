#!/usr/bin/env bash
# Runs every command of the grey blocks of docs/support.md and docs/client-guide.md that
# starts with qelctl or qelapp32.exe, as it is written there, under Wine against the demo
# printer QelDemo on the simulated library (as ./run.sh sets it up). Each page starts with
# no instance serving QelDemo. A command passes when it is not refused as bad arguments
# (exit 2) and ends within 60 s; a `log` command is stopped after 5 s. Files the commands
# write land in a temporary folder. Prints every command with its exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export QEL_BUILD_DIR="${QEL_BUILD_DIR:-build}"
PAGES=(docs/support.md docs/client-guide.md)

scripts/build.sh qelapp32 qelctl qrmtov_sim >/dev/null
BIN="$(cd "$QEL_BUILD_DIR/bin" && pwd)"
PRINTER=QelDemo
PRINTER_KEY="HKLM\\System\\CurrentControlSet\\control\\Print\\Printers\\$PRINTER"
SIM_DIR="$WINEPREFIX/drive_c/qeldoc"
WORK="$(mktemp -d)"

stop_instance() { wine "$BIN/qelctl.exe" "$PRINTER" stop --timeout 5000 >/dev/null 2>&1 || true; }
OWN_SERVER=""
cleanup() {
    set +e
    stop_instance
    wine reg delete "$PRINTER_KEY" /f >/dev/null 2>&1
    rm -rf "$SIM_DIR" "$WORK"
    [ -n "$OWN_SERVER" ] && wineserver -k >/dev/null 2>&1
    return 0
}
if wineserver -p 2>/dev/null; then OWN_SERVER=1; fi
trap cleanup EXIT
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

wine reg add "$PRINTER_KEY" /v Port /d USB001 /f >/dev/null
mkdir -p "$SIM_DIR" && printf '[sim]\n' >"$SIM_DIR/sim.ini"
export QRMTOV_SIM_CONFIG='C:\qeldoc\sim.ini' QRMTOV_SIM_STORE='C:\qeldoc\store.ini'
# The commands as the pages write them: qelctl and qelapp32.exe on the PATH.
mkdir -p "$WORK/bin"
printf '#!/bin/sh\nexec wine "%s/qelctl.exe" "$@"\n' "$BIN" >"$WORK/bin/qelctl"
printf '#!/bin/sh\nexec wine "%s/qelapp32.exe" "$@"\n' "$BIN" >"$WORK/bin/qelapp32.exe"
chmod +x "$WORK/bin/qelctl" "$WORK/bin/qelapp32.exe"

failed=0
for page in "${PAGES[@]}"; do
    echo "== $page"
    stop_instance
    while IFS= read -r command; do
        limit=60
        case " $command " in *" log "*) limit=5 ;; esac
        code=0
        (cd "$WORK" && PATH="$WORK/bin:$PATH" timeout "$limit" bash -c "$command" >"$WORK/output" 2>&1) || code=$?
        verdict=ok
        if [ "$code" -eq 2 ] || { [ "$code" -eq 124 ] && [ "$limit" -ne 5 ]; }; then
            verdict=FAILED
            failed=1
        fi
        printf '%-6s exit %-3s %s\n' "$verdict" "$code" "$command"
        [ "$verdict" = ok ] || sed 's/^/       /' "$WORK/output"
    done < <(awk '/^```/ { inside = !inside; next } inside && /^(qelctl|qelapp32\.exe)( |$)/' "$page")
done
exit "$failed"
