#!/bin/bash
# Takes a screenshot of the plug-in's about box, shown by the Win32 host under
# Wine on a private Xvfb screen: tests/win32/about-screenshot.sh BUILD_DIR OUT.png
# (BUILD_DIR is an x86_64 cross build with CrispCalm64.8bf and crispcalm-host.exe).
set -eu
build=$(cd "$1" && pwd)
# The about box has a 350 x 250 client area.
exec "$(dirname "$0")/window-screenshot.sh" "$2" 350 250 20 "$build/crispcalm-host.exe" --about "Z:$build/CrispCalm64.8bf"
