#!/bin/bash
# Puts the public-domain "coffee" photograph (600x400, from Debian's
# python3-skimage package, downloaded and unpacked, not installed) at $1
# ("-": not wanted).
# Further pairs NAME TARGET put another file at TARGET: NAME is a data image
# of that package (e.g. grass.png, a 512x512 grey photograph of grass), or
# PACKAGE:PATH for the file at PATH inside another Debian package (e.g.
# golang-github-rwcarlsen-goexif-dev:usr/share/gocode/src/github.com/rwcarlsen/goexif/exif/sample1.jpg,
# a camera's JPEG with its Exif). Files already at their targets are kept;
# each package is downloaded at most once a call.
set -euo pipefail
skimage=python3-skimage:usr/lib/python3/dist-packages/skimage/data
wanted=()
[ "$1" = "-" ] || wanted=("$skimage/coffee.png" "$1")
shift
while [ $# -ge 2 ]; do
    case "$1" in
        *:*) wanted+=("$1" "$2") ;;
        *) wanted+=("$skimage/$1" "$2") ;;
    esac
    shift 2
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ((i = 0; i < ${#wanted[@]}; i += 2)); do
    target=${wanted[i + 1]}
    [ -f "$target" ] && continue
    package=${wanted[i]%%:*}
    path=${wanted[i]#*:}
    if [ ! -d "$work/$package" ]; then
        (cd "$work" && apt-get download "$package" >/dev/null 2>&1)
        dpkg-deb -x "$work/${package}"_*.deb "$work/$package"
    fi
    mkdir -p "$(dirname "$target")"
    # Whole or not at all, for runs that fetch the same file at once.
    cp "$work/$package/$path" "$target.$$.part"
    mv -f "$target.$$.part" "$target"
done
