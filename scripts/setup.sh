#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine, and prepares a
# headless Wine prefix. Safe to run again: it only does what is missing.
set -euo pipefail

export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"

install_packages() {
    local missing=()
    for package in g++-mingw-w64-i686 wine wine32:i386 wine64 cmake; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "setup: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
}

prepare_prefix() {
    if [ ! -f "$WINEPREFIX/.qelapp32-ready" ]; then
        echo "setup: creating the Wine prefix in $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        # Without the null driver even a hidden top-level window cannot be created headless.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        # An unhandled exception must end the process, not open a dialog that waits for ever.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wineserver -k 2>/dev/null || true   # a running server would keep the old driver
        wineserver -w 2>/dev/null || true
        touch "$WINEPREFIX/.qelapp32-ready"
    fi
}

install_packages
prepare_prefix
