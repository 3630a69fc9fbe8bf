#!/bin/bash
# Takes a screenshot of the filter's dialog on the sample photograph, opened
# by crispcalm-host.exe under Wine on a private 1024x768 Xvfb screen, once the
# preview has been drawn: tests/wine/dialog-screenshot.sh BUILD_DIR OUT.png
# (BUILD_DIR holds the x86_64 cross build; the photograph is fetched into
# BUILD_DIR/../sample as scripts/demo.sh does).
set -eu
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
sample=$(dirname "$build")/sample
"$root/scripts/fetch-sample.sh" "$sample/coffee.png"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# On a 1024 x 768 screen the dialog's client area is 921 x 670.
SCREEN=1024x768 "$root/tests/win32/window-screenshot.sh" "$2" 921 670 0 "$build/crispcalm-host.exe" \
    "Z:$build/CrispCalm64.8bf" "Z:$sample/coffee.png" -o "Z:$out/unused.png"
