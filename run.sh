#!/usr/bin/env bash
# Installs what is missing, builds, and gives a short tour of the service: a demo
# printer on the simulated library, one qelapp32.exe serving it, and qelctl talking
# to it. Everything the tour creates is removed again, also when a step fails.
#
#   ./run.sh                      build in ./build, Wine prefix ~/.cache/qelapp32/wine
#   WINEPREFIX=... ./run.sh       another prefix
#   QEL_BUILD_DIR=... ./run.sh    another build folder
set -euo pipefail
cd "$(dirname "$0")"
export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export QEL_BUILD_DIR="${QEL_BUILD_DIR:-build}"

scripts/build.sh

BIN="$QEL_BUILD_DIR/bin"
PRINTER=QelDemo
PRINTER_KEY="HKLM\\System\\CurrentControlSet\\control\\Print\\Printers\\$PRINTER"
# The simulated library's files, in the prefix's C: drive so Windows paths reach them.
DEMO_DIR="$WINEPREFIX/drive_c/qeldemo"
DEMO_DIR_WINDOWS='C:\qeldemo'
# A 32-bit program's system directory lands here under Wine.
SYSTEM_DIR="$WINEPREFIX/drive_c/windows/syswow64"
DEMO_FILE=qeldemo.prn
SERVICE_STARTED=""
LOG_PID=""

cleanup() {
    set +e
    [ -n "$LOG_PID" ] && kill "$LOG_PID" 2>/dev/null
    # The service is still there only if a step failed.
    [ -n "$SERVICE_STARTED" ] && wine "$BIN/qelctl.exe" "$PRINTER" stop --timeout 5000 >/dev/null 2>&1
    wine reg delete "$PRINTER_KEY" /f >/dev/null 2>&1
    rm -rf "$DEMO_DIR" "$SYSTEM_DIR/$DEMO_FILE"
    [ -n "$OWN_SERVER" ] && wineserver -k >/dev/null 2>&1
    return 0
}

# One persistent server for the tour, so each Wine process starts quickly. A server
# that already runs for this prefix is used as it is, and left running.
OWN_SERVER=""
if wineserver -p 2>/dev/null; then OWN_SERVER=1; fi
trap cleanup EXIT
# Start Wine's own background processes now, with no output to hold open: the first
# Wine process launches them, and they keep whatever output they inherit.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

say() { printf '\n# %s\n' "$*"; }
show() { printf '$ %s\n' "$*"; }
# The words as they would be typed: quoted when they hold a blank.
quoted() {
    local word text=""
    for word in "$@"; do
        case "$word" in *" "*) text+=" \"$word\"" ;; *) text+=" $word" ;; esac
    done
    printf '%s' "${text# }"
}
qelctl() {
    show "qelctl $(quoted "$@")"
    wine "$BIN/qelctl.exe" "$@"
}
# A step that is meant to fail with the given exit code.
qelctl_expecting() {
    local expected=$1 code=0
    shift
    show "qelctl $(quoted "$@")    (expected to fail with exit code $expected)"
    wine "$BIN/qelctl.exe" "$@" || code=$?
    if [ "$code" -ne "$expected" ]; then
        echo "run.sh: expected exit code $expected, got $code" >&2
        return 1
    fi
    echo "(exit code $code)"
}
# Rewrites the simulated printer's settings; the library reads them again on its next call.
sim_settings() {
    printf '[sim]\n' >"$DEMO_DIR/sim.ini"
    local setting
    for setting in "$@"; do printf '%s\n' "$setting" >>"$DEMO_DIR/sim.ini"; done
    show "simulated printer settings: ${*:-(defaults)}"
}
wait_for_text() { # FILE TEXT SECONDS
    local tries=$(($3 * 10))
    while [ "$tries" -gt 0 ]; do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
        tries=$((tries - 1))
    done
    echo "run.sh: \"$2\" did not appear in $1" >&2
    return 1
}

say "A demo printer: a registry key with a Port value"
show "wine reg add '$PRINTER_KEY' /v Port /d USB001 /f"
wine reg add "$PRINTER_KEY" /v Port /d USB001 /f >/dev/null
say "Every printer on this machine, its port, and the instance that serves it (none yet)"
qelctl list

say "The simulated library's files, chosen through its environment variables"
rm -rf "$DEMO_DIR"
mkdir -p "$DEMO_DIR"
export QRMTOV_SIM_CONFIG="$DEMO_DIR_WINDOWS\\sim.ini"
export QRMTOV_SIM_LOG="$DEMO_DIR_WINDOWS\\calls.log"
export QRMTOV_SIM_CAPTURE="$DEMO_DIR_WINDOWS\\capture.bin"
export QRMTOV_SIM_STORE="$DEMO_DIR_WINDOWS\\store.ini"
show "QRMTOV_SIM_CONFIG=$QRMTOV_SIM_CONFIG (and _LOG, _CAPTURE, _STORE beside it)"
sim_settings "bidi_reply=a5 00 04 10 81 00 2a"

say "Start the service for the printer as a port monitor does, and wait until it serves"
SERVICE_STARTED=1
qelctl start "$PRINTER" --wait --timeout 20000
qelctl list
say "A second start for a printer that is served starts nothing"
qelctl_expecting 9 start "$PRINTER"
say "A diagnosis of the printer: registry, library, components, instance"
qelctl check "$PRINTER"
say "What the instance published"
qelctl "$PRINTER" info
say "Find the printer: handle and flag"
qelctl "$PRINTER" enum
qelctl "$PRINTER" status
say "The same request from the 64-bit qelctl, as a 64-bit spooler or driver would make it"
show "qelctl64 $PRINTER enum    ($QEL_BUILD_DIR/bin64/qelctl.exe)"
wine "$QEL_BUILD_DIR/bin64/qelctl.exe" "$PRINTER" enum
say "A command packet and the printer's reply"
qelctl "$PRINTER" bidi "a5 00 02 10 01"
qelctl "$PRINTER" deviceid
say "A named data item kept in the printer, through the registry mailbox"
qelctl "$PRINTER" store greeting --text "hello, printer"
qelctl "$PRINTER" retrieve greeting 14

say "A file from the system directory, streamed to the printer"
printf 'Hello from the qelapp32 tour.\n' >"$SYSTEM_DIR/$DEMO_FILE"
show "printf 'Hello from the qelapp32 tour.\\n' > <prefix>/drive_c/windows/syswow64/$DEMO_FILE"
qelctl "$PRINTER" sendfile "$DEMO_FILE" --wait --timeout 20000
show "od -c <prefix>/drive_c/qeldemo/capture.bin    (what the printer received)"
od -c "$DEMO_DIR/capture.bin"

say "Alerts: capture them, have the printer report an error after the next end of document"
qelctl "$PRINTER" capture-alerts
sim_settings "post_status_after_enddoc=0x100"
qelctl "$PRINTER" enddoc
qelctl "$PRINTER" alerts --count 1 --timeout 5000

say "The instance's log, live, while a request fails on purpose"
show "qelctl $PRINTER log --timeout 3000 &"
wine "$BIN/qelctl.exe" "$PRINTER" log --timeout 3000 >"$DEMO_DIR/log.out" 2>&1 &
LOG_PID=$!
wait_for_text "$DEMO_DIR/log.out" "attached" 10
sim_settings "fail.TovOpen=0x57"
qelctl_expecting 1 "$PRINTER" open
wait "$LOG_PID"
LOG_PID=""
cat "$DEMO_DIR/log.out"

say "A check that finds something wrong on purpose: the printer's Port value is gone"
show "wine reg delete '$PRINTER_KEY' /v Port /f"
wine reg delete "$PRINTER_KEY" /v Port /f >/dev/null
qelctl_expecting 11 check "$PRINTER"
show "wine reg add '$PRINTER_KEY' /v Port /d USB001 /f"
wine reg add "$PRINTER_KEY" /v Port /d USB001 /f >/dev/null

say "End the instance"
sim_settings
qelctl "$PRINTER" stop
SERVICE_STARTED=""
qelctl_expecting 5 "$PRINTER" status

say "Tour finished; removing the demo printer and its files"
