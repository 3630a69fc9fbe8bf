#!/bin/bash
# Runs a Windows program under Wine on a private Xvfb screen and takes a
# screenshot of its first window whose client area is WIDTH x HEIGHT (the
# frame may add up to 20 pixels across and 50 down), with MARGIN pixels
# around it: tests/win32/window-screenshot.sh OUT.png WIDTH HEIGHT MARGIN PROGRAM [ARGS...]
# Extra environment for the program passes through (CC_HOLD_MS and the like);
# SCREEN sets the screen's size (default 1280x1024). The program runs in a
# private Wine prefix that is removed afterwards.
set -eu
out=$1 width=$2 height=$3 margin=$4
shift 4
display=
for n in $(seq 50 99); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 "${SCREEN:-1280x1024}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export WINEPREFIX
WINEPREFIX=$(mktemp -d)
program=
cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
"$(dirname "$0")/../../scripts/wine-run.sh" "$@" >/dev/null &
program=$!
geometry=
for _ in $(seq 300); do
    geometry=$(xwininfo -root -tree 2>/dev/null | awk -v W="$width" -v H="$height" '
        match($0, / [0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+ /) {
            split(substr($0, RSTART + 1, RLENGTH - 2), g, /[x+]/)
            if (g[1] >= W && g[1] < W + 20 && g[2] >= H && g[2] < H + 50) { print g[1], g[2], g[3], g[4]; exit }
        }')
    [ -n "$geometry" ] && break
    sleep 0.1
done
[ -n "$geometry" ] || { echo "no ${width}x${height} window appeared" >&2; exit 1; }
sleep 1  # let the controls paint
read -r w h x y <<<"$geometry"
import -display "$display" -window root -crop "$((w + 2 * margin))x$((h + 2 * margin))+$((x - margin))+$((y - margin))" \
    +repage "$out"
echo "$out: window at ${x},${y}, ${w}x${h}"
