#!/bin/bash
# Builds the native tree with AddressSanitizer and UndefinedBehaviorSanitizer
# into $BUILD_DIR/asan (default build/asan) and runs the whole native suite
# there, the command-line tests included (they run the sanitized crispcalm).
# Any sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}/asan
jobs=${JOBS:-2}

# GCC leaves float-to-integer overflow out of -fsanitize=undefined; NaN or
# huge values converted to integers are exactly what odd inputs produce.
extra="-fsanitize=float-cast-overflow -fno-sanitize-recover=all"

# LeakSanitizer: glib and libvips keep one-time allocations until exit; the
# suppressions name those libraries only, never our code.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== sanitized build in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCC_SANITIZE=ON -DCC_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="$extra" -DCMAKE_C_FLAGS="$extra" >/dev/null
cmake --build "$build" -j "$jobs"

echo "== native tests under ASan + UBSan"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900
echo "== sanitized native tests passed"
