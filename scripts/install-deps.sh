#!/bin/bash
# Installs what a fresh Debian 12 machine lacks for building and testing:
# compilers and cross compilers, Wine (64- and 32-bit), Xvfb, libvips,
# exiv2, exiftool, libtiff (with tiffcp), GoogleTest, Google Benchmark, clang with libFuzzer. Does nothing when all
# of it is present.
set -euo pipefail

# --native: only what the Linux build, its tests and the command line need.
native=(build-essential cmake pkg-config python3 libvips-dev libvips-tools libgtest-dev googletest
        libbenchmark-dev clang libclang-rt-14-dev libtsan2 libexiv2-dev libimage-exiftool-perl libtiff-dev
        libtiff-tools)
windows=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
         wine wine64 wine32:i386 xvfb xauth imagemagick)
packages=("${native[@]}")
[ "${1:-}" = "--native" ] || packages+=("${windows[@]}")

missing=()
if [ "${1:-}" != "--native" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    missing+=(i386-architecture)
fi
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: everything is present"
    exit 0
fi
echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
echo "install-deps: done"
