#!/bin/bash
# Puts the public-domain "coffee" photograph (600x400, from Debian's
# python3-skimage package, downloaded and unpacked, not installed) at $1.
# Further pairs NAME TARGET put that package's data image NAME at TARGET
# (e.g. grass.png, a 512x512 grey photograph of grass).
set -euo pipefail
wanted=("coffee.png" "$1")
shift
while [ $# -ge 2 ]; do
    wanted+=("$1" "$2")
    shift 2
done
missing=0
for ((i = 1; i < ${#wanted[@]}; i += 2)); do [ -f "${wanted[i]}" ] || missing=1; done
[ $missing -eq 0 ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download python3-skimage >/dev/null 2>&1)
dpkg-deb -x "$work"/python3-skimage_*.deb "$work/x"
for ((i = 0; i < ${#wanted[@]}; i += 2)); do
    mkdir -p "$(dirname "${wanted[i + 1]}")"
    cp "$work/x/usr/lib/python3/dist-packages/skimage/data/${wanted[i]}" "${wanted[i + 1]}"
done
