#!/bin/bash
# Benchmark of the dialog under Wine: from a slider change's input event to
# the updated preview on the screen, at the fit zoom on 6000x4000 images (the
# sample photograph enlarged, and noise whose selection changes from pixel to
# pixel), one thread. Needs the x86_64 cross build: scripts/bench-dialog.sh
# [DRAGS] (default 9). Prints the figures last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=$build/bench-dialog
mkdir -p "$work"
"$root/scripts/fetch-sample.sh" "$build/sample/coffee.png"
photo=$work/photo-6000x4000.ppm
noise=$work/noise-6000x4000.ppm
if [ ! -f "$photo" ]; then
    vips resize "$build/sample/coffee.png" "$photo" 10
fi
if [ ! -f "$noise" ]; then
    tmp=$(mktemp -d "$work/make.XXXXXX")
    trap 'rm -rf "$tmp"' EXIT
    for band in 0 1 2; do vips gaussnoise "$tmp/n$band.v" 6000 4000 --mean 128 --sigma 60; done
    vips bandjoin "$tmp/n0.v $tmp/n1.v $tmp/n2.v" "$tmp/rgb.v"
    vips cast "$tmp/rgb.v" "$noise" uchar
fi
x64=$build/x86_64
WINEPREFIX=${WINEPREFIX:-$work/prefix} python3 "$root/tests/wine/preview_latency.py" "$x64/crispcalm-host.exe" \
    "$x64/CrispCalm64.8bf" "$x64/tests/wine/cc_dialog_driver.exe" "$root/scripts/wine-run.sh" "$work/runs" \
    "${1:-9}" "$photo" "$noise"
