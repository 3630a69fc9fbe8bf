#!/bin/bash
# Builds the native tree and both MinGW cross trees into build/ (or $BUILD_DIR).
# Usage: scripts/build.sh [native|i686|x86_64 ...]   (default: all three)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
jobs=${JOBS:-2}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(native i686 x86_64)
for t in "${targets[@]}"; do
    case "$t" in
    native) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    i686 | x86_64) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$t-mingw.cmake") ;;
    *) echo "unknown build $t" >&2; exit 2 ;;
    esac
    echo "== building $t"
    cmake -S "$root" -B "$build/$t" "${args[@]}" ${CMAKE_ARGS:-} >/dev/null
    cmake --build "$build/$t" -j "$jobs"
done
