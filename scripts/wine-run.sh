#!/bin/bash
# Runs a Windows program of the cross builds under Wine, for CTest and by hand.
# Uses $WINEPREFIX when set (the test command makes a fresh one per run),
# otherwise a private prefix in the temporary folder. Without a display it
# starts its own Xvfb screen, large enough for the plug-in's screen check.
# 64-bit programs go straight to the 64-bit loader; 32-bit ones need a kernel
# that runs 32-bit code.
set -u
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/crispcalm-wine-$(id -u)}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exe=$1
shift

# PE machine: 0x8664 x86_64, 0x14c i386.
machine() {
    local off
    off=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$off" ] || return
    od -An -t x2 -j $((off + 4)) -N 2 "$1" | tr -d ' '
}
# The 64-bit loader: wine64 on the PATH, or the one the distribution's wine
# wrapper starts for 64-bit programs.
wine64=$(command -v wine64 || sed -n 's/^wine64=//p' "$(command -v wine)" 2>/dev/null | head -n 1)
[ -n "$wine64" ] && [ -x "$wine64" ] || wine64=""
loader=wine
if [ -n "$wine64" ] && [ "$(machine "$exe")" = "8664" ]; then
    loader=$wine64
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    if [ -n "$wine64" ]; then "$wine64" wineboot -i >/dev/null 2>&1; else wineboot -i >/dev/null 2>&1; fi
    (command -v wineserver >/dev/null && wineserver -w) || true
fi
# Unmanaged windows: without a window manager on Xvfb, Wine otherwise waits
# about 2 s for every window it hides.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    reg=wine
    [ -n "$wine64" ] && reg=$wine64
    "$reg" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    (command -v wineserver >/dev/null && wineserver -w) || true
fi
limit=${WINE_TIMEOUT:-900}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" timeout "$limit" "$loader" "$exe" "$@"
fi
exec timeout "$limit" "$loader" "$exe" "$@"
