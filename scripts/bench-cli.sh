#!/bin/bash
# Benchmark of the command line against libvips' gaussblur: the sample
# photograph enlarged to 6000x4000 16-bit RGB (evenly selected, and with a
# gradient selection that asks Soften for every radius), and a 4000x3000
# 16-bit foliage image made from a grass photograph (python3-skimage, unpacked
# only) whose selection changes from pixel to pixel. Prints the goal ratios last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=$build/bench
mkdir -p "$work"
"$root/scripts/fetch-sample.sh" "$build/sample/coffee.png" grass.png "$build/sample/grass.png"
photo=$work/photo-6000x4000-16bit.tif
gradient=$work/gradient-6000x4000.png
foliage=$work/foliage-4000x3000-16bit.tif
tmp=$(mktemp -d "$work/make.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

if [ ! -f "$photo" ]; then
    vips resize "$build/sample/coffee.png" "$tmp/big.v" 10
    vips colourspace "$tmp/big.v" "$photo" rgb16
fi
if [ ! -f "$gradient" ]; then
    # 0 at the left edge to 255 at the right.
    vips xyz "$tmp/xy.v" 6000 4000
    vips extract_band "$tmp/xy.v" "$tmp/x.v" 0
    vips linear "$tmp/x.v" "$tmp/ramp.v" 0.042507 0
    vips cast "$tmp/ramp.v" "$gradient" uchar
fi
if [ ! -f "$foliage" ]; then
    # Grey grass g (0..255) mirrored to 4000x3000, tinted green: red 0.75 g,
    # green g, blue g (0.5 + 0.45 g / 255), so the saturation falls from 0.5
    # in the dark blades to 0.05 in the bright ones, pixel by pixel.
    vips embed "$build/sample/grass.png" "$tmp/g.v" 0 0 4000 3000 --extend mirror
    vips multiply "$tmp/g.v" "$tmp/g.v" "$tmp/sq.v"
    vips linear "$tmp/sq.v" "$tmp/sqs.v" 0.0017647 0
    vips linear "$tmp/g.v" "$tmp/half.v" 0.5 0
    vips add "$tmp/half.v" "$tmp/sqs.v" "$tmp/b.v"
    vips linear "$tmp/g.v" "$tmp/r.v" 0.75 0
    vips cast "$tmp/g.v" "$tmp/gf.v" float
    vips bandjoin "$tmp/r.v $tmp/gf.v $tmp/b.v" "$tmp/rgb.v"
    vips linear "$tmp/rgb.v" "$tmp/rgb16.v" 257 0
    vips cast "$tmp/rgb16.v" "$tmp/rgbu.v" ushort
    vips copy "$tmp/rgbu.v" "$foliage" --interpretation rgb16
fi
rm -rf "$tmp"
vipsheader "$photo" "$gradient" "$foliage"
python3 "$root/bench/cli_bench.py" "$build/native/crispcalm" "$photo" "$gradient" "$foliage" "$work"
