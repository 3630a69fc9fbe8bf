#!/bin/bash
# Takes a screenshot of the plug-in's about box, shown by the Win32 host under
# Wine on a private Xvfb screen: tests/win32/about-screenshot.sh BUILD_DIR OUT.png
# (BUILD_DIR is an x86_64 cross build with CrispCalm64.8bf and crispcalm-host.exe).
set -eu
build=$(cd "$1" && pwd)
out=$2
display=:$((50 + RANDOM % 40))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
host=
cleanup() {
    [ -n "$host" ] && kill "$host" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
"$(dirname "$0")/../../scripts/wine-run.sh" "$build/crispcalm-host.exe" --about "Z:$build/CrispCalm64.8bf" &
host=$!
# Wait for a window about the about box's size (350 x 250 client area).
geometry=
for _ in $(seq 300); do
    geometry=$(xwininfo -root -tree 2>/dev/null |
        sed -n 's/.* \(3[5-6][0-9]\)x\(2[5-9][0-9]\)+\([0-9]*\)+\([0-9]*\) .*/\1 \2 \3 \4/p' | head -n 1)
    [ -n "$geometry" ] && break
    sleep 0.1
done
[ -n "$geometry" ] || { echo "about box did not appear" >&2; exit 1; }
sleep 0.5  # let the controls paint
read -r w h x y <<<"$geometry"
import -display "$display" -window root -crop "$((w + 40))x$((h + 40))+$((x - 20))+$((y - 20))" +repage "$out"
echo "$out: about box at ${x},${y}, ${w}x${h}"
