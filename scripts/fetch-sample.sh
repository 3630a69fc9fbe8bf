#!/bin/bash
# Puts the public-domain "coffee" photograph (600x400, from Debian's
# python3-skimage package, downloaded and unpacked, not installed) at $1.
set -euo pipefail
target=$1
[ -f "$target" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download python3-skimage >/dev/null 2>&1)
dpkg-deb -x "$work"/python3-skimage_*.deb "$work/x"
mkdir -p "$(dirname "$target")"
cp "$work/x/usr/lib/python3/dist-packages/skimage/data/coffee.png" "$target"
