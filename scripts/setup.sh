#!/usr/bin/env bash
# Installs what the build, the tests and the benchmark's plot need on a Debian machine
# that has none of it, and prepares a headless Wine prefix. Safe to run again: it only
# does what is missing.
#
#   scripts/setup.sh                 packages and the prefix ($WINEPREFIX, default
#                                    ~/.cache/qelapp32/wine)
#   scripts/setup.sh --packages      the packages only
set -euo pipefail

export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"

# What each package is for:
#   g++-mingw-w64-i686     the 32-bit cross compilers (the -posix variants)
#   g++-mingw-w64-x86-64-posix  the 64-bit ones, for the 64-bit clients
#   clang                  a second compiler that checks the product code
#   wine wine32:i386 wine64  runs the programs and the tests
#   cmake make             configures and builds (make is CMake's default generator here)
#   googletest             /usr/src/googletest, built with the tests
#   gnuplot-nox            the benchmark's plot of the packet round trips
QEL_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix clang wine wine32:i386 wine64 cmake make googletest gnuplot-nox)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=() package
    for package in "${QEL_PACKAGES[@]}"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "setup: installing ${missing[*]}"
    # wine32 is an i386 package; its architecture must be known before the update.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    # Another apt run on the machine holds the lock for a while; wait for it.
    as_root apt-get -o DPkg::Lock::Timeout=600 update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q "${missing[@]}"
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
[ "${1:-}" = "--packages" ] && exit 0
prepare_prefix
