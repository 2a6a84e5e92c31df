#!/usr/bin/env bash
# Fails when a program imports a DLL that is not part of Windows itself.
set -euo pipefail
objdump="$1"
shift
allowed='^(kernel32|user32|advapi32|gdi32|winspool\.drv|mpr|version|msvcrt|ntdll|shell32|ole32)\.dll$'
status=0
for program in "$@"; do
    while read -r dll; do
        if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
            echo "$(basename "$program") imports $dll"
            status=1
        fi
    done < <("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p')
    echo "$(basename "$program"): $("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
done
exit $status
