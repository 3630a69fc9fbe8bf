#!/bin/bash
# The project's test command: installs what is missing, builds the native
# tree and both Windows cross trees, runs the native suite, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests
# under ThreadSanitizer, a short run of every
# fuzz target, then the Windows programs and the real .8bf files under Wine on
# a private Xvfb screen.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

scripts/install-deps.sh
scripts/build.sh native i686 x86_64

echo "== native tests"
ctest --test-dir "$build/native" --output-on-failure -j2 --timeout 900

echo "== sanitized native tests"
scripts/sanitize.sh

echo "== threaded native tests under ThreadSanitizer"
scripts/tsan.sh

echo "== fuzz smoke runs"
scripts/fuzz-smoke.sh

echo "== Windows builds: exports"
for dll in "$build/i686/CrispCalm.8bf" "$build/x86_64/CrispCalm64.8bf"; do
    exports=$(x86_64-w64-mingw32-objdump -p "$dll")
    if ! grep -Eq '^\s*\[ *[0-9]+\] +PluginMain$' <<<"$exports"; then
        echo "$dll does not export an undecorated PluginMain" >&2
        exit 1
    fi
    echo "$(basename "$dll"): PluginMain exported"
done

echo "== Wine"
scratch=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    WINEPREFIX=$scratch/prefix wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
export WINEPREFIX=$scratch/prefix
export WINEDEBUG=-all
for n in $(seq 90 120); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
        Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=:$n
        break
    fi
done
sleep 1
mkdir -p "$WINEPREFIX"
# The loaders: on the PATH, or the ones the distribution's wine wrapper starts.
wine64=$(command -v wine64 || sed -n 's/^wine64=//p' "$(command -v wine)" 2>/dev/null | head -n 1 || true)
wine32=$(sed -n 's/^wine32=//p' "$(command -v wine)" 2>/dev/null | head -n 1 || true)
"${wine64:-wine}" wineboot -i >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true

ctest --test-dir "$build/x86_64" --output-on-failure --timeout 900

# 32-bit Windows code needs a kernel that runs 32-bit programs; some virtual
# machines have none, and there the i686 build is checked by its exports and
# its byte-identical results are left to machines that can run it.
if "${wine32:-wine}" --version >/dev/null 2>&1 && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    ctest --test-dir "$build/i686" --output-on-failure --timeout 900
else
    echo "NOTE: this kernel cannot run 32-bit programs: the i686 Wine tests are skipped here"
fi
echo "== all tests passed"
