#!/bin/bash
# The main job on a real photograph: builds the native plug-in and the
# command-line host, takes the public-domain "coffee" photograph out of
# Debian's python3-skimage package (downloaded, not installed), sharpens it
# with the default settings and writes a before/after picture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build
scripts/install-deps.sh --native
scripts/build.sh native

sample=$build/sample
mkdir -p "$sample"
scripts/fetch-sample.sh "$sample/coffee.png"
"$build/native/crispcalm" "$sample/coffee.png" -o "$sample/coffee-crisp.png"
"$build/native/crispcalm" --operation soften --amount 60 --color-space hsi "$sample/coffee.png" -o "$sample/coffee-calm.png"
vips arrayjoin "$sample/coffee.png $sample/coffee-crisp.png $sample/coffee-calm.png" "$sample/before-after.jpg[Q=90]" --across 3
echo "before:        $sample/coffee.png"
echo "sharpened:     $sample/coffee-crisp.png"
echo "softened:      $sample/coffee-calm.png"
echo "side by side:  $sample/before-after.jpg"
