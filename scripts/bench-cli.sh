#!/bin/bash
# Benchmark of the command line on a 6000x4000 16-bit RGB TIFF made from the
# sample photograph, against libvips' gaussblur on one thread.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=$build/bench
mkdir -p "$work"
"$root/scripts/fetch-sample.sh" "$build/sample/coffee.png"
if [ ! -f "$work/photo-6000x4000-16bit.tif" ]; then
    vips resize "$build/sample/coffee.png" "$work/big.v" 10
    vips colourspace "$work/big.v" "$work/photo-6000x4000-16bit.tif" rgb16
    rm -f "$work/big.v"
fi
vipsheader "$work/photo-6000x4000-16bit.tif"
python3 "$root/bench/cli_bench.py" "$build/native/crispcalm" "$work/photo-6000x4000-16bit.tif" "$work"
