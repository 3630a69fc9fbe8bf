#!/bin/bash
# Regenerates the seed corpus in tests/fuzz/corpus/ from the fuzz build's
# generator and the plug-in's real PIPLs (both Windows widths).
# Usage: tests/fuzz/make-corpus.sh FUZZ_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:?usage: make-corpus.sh FUZZ_BUILD_DIR}
corpus=$here/corpus
cmake --build "$build" --target fuzz_make_corpus -j "${JOBS:-2}" >/dev/null
"$build/fuzz/fuzz_make_corpus" "$corpus"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for arch in i686 x86_64; do
    python3 "$root/resources/make_resources.py" --arch "$arch" --out "$scratch/$arch" >/dev/null
    cp "$scratch/$arch/pipl.bin" "$corpus/fuzz_pipl/plugin-$arch.pipl"
done
echo "corpus written to $corpus"
