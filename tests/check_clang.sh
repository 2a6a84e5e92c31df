#!/usr/bin/env bash
# A second compiler on the product code: every source of the service (i686), of the client
# library and of qelctl (i686 and x86_64) through clang, syntax only, with every warning an
# error, so that nothing but standard C++, C and Win32 gets in. Clang borrows the MinGW-w64
# compilers' own headers (libstdc++ and the Windows headers), found by asking them.
#
#   tests/check_clang.sh -DNAME=VALUE...     the build's compile definitions
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
common=(-fsyntax-only -Wall -Wextra -Wpedantic -Werror "-I$root" "-I$root/include" "$@")

# The C++ library and the Windows headers the MinGW-w64 compiler for $1 searches; its
# own compiler headers stay out, clang has its own.
mingw_includes() {
    "$1-w64-mingw32-g++-posix" -x c++ -E -v - </dev/null 2>&1 |
        sed -n '/<...> search starts here:/,/End of search list/p' | sed -n 's/^ \(.*\)$/\1/p' |
        grep -Ev '/lib/gcc/[^/]+/[^/]+/include(-fixed)?$' | sed 's/^/-isystem\n/'
}

failed=0
# check ARCH FILE...: compiles each file for ARCH-w64-mingw32.
check() {
    local arch="$1" file
    shift
    mapfile -t includes < <(mingw_includes "$arch")
    for file in "$@"; do
        case "$file" in
        *.c) standard=(-x c -std=c99) ;;
        *) standard=(-x c++ -std=c++17 -nostdinc++) ;;
        esac
        if ! clang --target="$arch-w64-mingw32" "${standard[@]}" "${common[@]}" "${includes[@]}" "$file"; then
            echo "clang ($arch): $file does not compile clean" >&2
            failed=1
        fi
    done
}

cd "$root"
service=(core tovlib maintenance config datapath status alerts handlers app)
mapfile -t service_sources < <(find "${service[@]}" -name '*.cpp' | sort)
mapfile -t library_sources < <(find client -name '*.c' | sort)
mapfile -t qelctl_sources < <(find tools/qelctl -name '*.cpp' | sort)
check i686 "${service_sources[@]}" "${library_sources[@]}" "${qelctl_sources[@]}"
check x86_64 "${library_sources[@]}" "${qelctl_sources[@]}"
[ "$failed" -eq 0 ] &&
    echo "clang: ${#service_sources[@]} service, ${#library_sources[@]} library and ${#qelctl_sources[@]} qelctl sources compile clean"
exit "$failed"
