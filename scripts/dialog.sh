#!/bin/bash
# Opens the filter's dialog on the sample photograph: builds the 64-bit
# plug-in and the Windows host, takes the public-domain "coffee" photograph
# (as scripts/demo.sh does) and runs crispcalm-host.exe with CrispCalm64.8bf
# under Wine on the current display. OK writes the filtered picture and the
# parameter block the dialog left; Cancel writes nothing.
#   scripts/dialog.sh [IMAGE]
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    echo "scripts/dialog.sh shows a window: run it on a desktop (DISPLAY is not set)" >&2
    exit 1
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build
scripts/install-deps.sh
scripts/build.sh x86_64

sample=$build/sample
mkdir -p "$sample"
image=${1:-$sample/coffee.png}
[ $# -gt 0 ] || scripts/fetch-sample.sh "$image"
image=$(cd "$(dirname "$image")" && pwd)/$(basename "$image")
status=0
scripts/wine-run.sh "$build/x86_64/crispcalm-host.exe" "Z:$build/x86_64/CrispCalm64.8bf" "Z:$image" \
    -o "Z:$sample/dialog-result.png" --save-params "Z:$sample/dialog-result.block" || status=$?
case $status in
0) echo "filtered:   $sample/dialog-result.png"
   echo "parameters: $sample/dialog-result.block (crispcalm --params repeats the run)" ;;
4) echo "cancelled: nothing written" ;;
*) echo "crispcalm-host ended with status $status" >&2; exit "$status" ;;
esac
