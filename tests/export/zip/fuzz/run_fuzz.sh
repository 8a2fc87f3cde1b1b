#!/bin/bash
# Builds the deflate fuzz target with clang (libFuzzer, ASan, UBSan) and runs
# it on the kept corpus. CTest replays the corpus (tst_deflate_corpus).
#   tests/export/zip/fuzz/run_fuzz.sh [seconds]      (default 180)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../../.." && pwd)"
out="${FUZZ_BUILD_DIR:-$root/build/fuzz}"
corpus="$root/tests/export/zip/fuzz_corpus"
seconds="${1:-180}"
mkdir -p "$out" "$corpus"

clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" "$here/fuzz_deflate.cpp" "$root/export/zip/DeflateCompressor.cpp" -lz -o "$out/fuzz_deflate"

# Run on a scratch copy, then merge back only inputs that add coverage, so
# the kept corpus stays small.
work="$out/corpus_work"
rm -rf "$work" && mkdir -p "$work"
cp -r "$corpus"/. "$work"/ 2>/dev/null || true
"$out/fuzz_deflate" -max_len=4096 -max_total_time="$seconds" -print_final_stats=1 "$work"
merged="$out/corpus_merged"
rm -rf "$merged" && mkdir -p "$merged"
"$out/fuzz_deflate" -merge=1 "$merged" "$work" 2>&1 | tail -2
rm -rf "$corpus" && mkdir -p "$corpus" && cp "$merged"/* "$corpus"/
echo "corpus: $(ls "$corpus" | wc -l) files, $(du -sh "$corpus" | cut -f1)"
