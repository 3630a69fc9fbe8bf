#!/bin/bash
# Builds the libFuzzer targets of tests/fuzz with clang into $BUILD_DIR/fuzz
# (default build/fuzz) and runs each on its seed corpus for a while
# (FUZZ_SECONDS, default 60). New inputs go to a scratch corpus, so the
# repository's seeds stay as they are; a crash, leak or timeout fails the
# run (after the other targets had their turn) and leaves the reproducer in
# $BUILD_DIR/fuzz/findings/<target>/; replay one with
#   $BUILD_DIR/fuzz/fuzz/<target> FILE
# Usage: scripts/fuzz-smoke.sh [target ...]   (default: all five)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}/fuzz
jobs=${JOBS:-2}
seconds=${FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -eq 0 ] &&
    targets=(fuzz_parameter_block fuzz_settings_file fuzz_quick_curve_file fuzz_cli_options fuzz_pipl)

echo "== fuzz build in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCC_FUZZ=ON -DCC_BENCHMARKS=OFF \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build "$build" --target fuzz_targets -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
failed=()
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for t in "${targets[@]}"; do
    seeds=$root/tests/fuzz/corpus/$t
    work=$build/corpus/$t
    findings=$build/findings/$t
    mkdir -p "$work" "$findings"
    max_len=4096
    case "$t" in
    fuzz_parameter_block) max_len=24680 ;;  # 8 control bytes and a whole block
    fuzz_settings_file | fuzz_quick_curve_file) max_len=8192 ;;
    esac
    echo "== $t: ${seconds} s"
    "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len="$max_len" \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$seeds" 2>"$build/$t.log" || {
        grep -E "ERROR|SUMMARY|Test unit written" "$build/$t.log" | head -20 >&2
        echo "$t: FAILED; see $build/$t.log and $findings/" >&2
        failed+=("$t")
        continue
    }
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$t.log" | sed "s/^/$t: /"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "== fuzz smoke run failed: ${failed[*]}" >&2
    exit 1
fi
echo "== fuzz smoke run passed"
