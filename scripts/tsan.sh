#!/bin/bash
# Builds the native tests with ThreadSanitizer into $BUILD_DIR/tsan (default
# build/tsan) and runs the tests that share work among threads: the band
# runner, the host's shared tile copies, the thread-count comparisons of
# every image operation and of whole runs. Any data race or lock-order
# report fails the run. The run is bounded by TSAN_TIMEOUT seconds (default
# 1200) so that a hang ends the test command.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}/tsan
jobs=${JOBS:-2}

export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

echo "== ThreadSanitizer build in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCC_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_C_FLAGS="-fsanitize=thread" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$build" -j "$jobs" --target cc_tests

tests=(
    'BandRun.*'
    'HostCore.*'
    'ThreadCounts.*'
    'ImageBuffers.ConversionsMatchThePixelConversionAtEveryLevelAndThreadCount'
    'PixelTransfer.PlanarAndInterleavedAgree'
    'Sharpen.RunningSumsMatchThePlainSquare'
    'Soften.EveryLevelAndThreadCountMatchesThePlainGrid'
    'MaskFilters.*MatchThePlainWalk'
)
filter=$(IFS=:; echo "${tests[*]}")
echo "== threaded tests under ThreadSanitizer"
timeout "${TSAN_TIMEOUT:-1200}" "$build/tests/cc_tests" --gtest_filter="$filter" --gtest_brief=1
echo "== threaded tests passed under ThreadSanitizer"
