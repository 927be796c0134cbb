#!/usr/bin/env bash
# Builds the ZIP libFuzzer target with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs it from the seed corpus. New inputs go to build/fuzz/zip-corpus, crashes to
# build/fuzz/zip-crashes; replay one with build/linux-asan/tests/zip_fuzz_replay <file>. To keep
# what a run found for CI: zip_fuzzer -merge=1 <new folder> fuzz/corpus/zip fuzz/corpus/zip_found
# build/fuzz/zip-corpus, then move the new files into fuzz/corpus/zip_found.
# Usage: fuzz/run_zip_fuzzer.sh [seconds, default 600] [more libFuzzer options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
seconds=${1:-600}
shift || true

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTQ_FUZZ=ON -DTQ_SANITIZE=ON >/dev/null
cmake --build "$build" --target zip_fuzzer

mkdir -p "$build/zip-corpus" "$build/zip-crashes"
# Every input is written and extracted: keep that in memory when the machine has /dev/shm.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
exec "$build/fuzz/zip_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=30 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict="$root/fuzz/zip.dict" \
  -artifact_prefix="$build/zip-crashes/" "$@" "$build/zip-corpus" \
  "$root/fuzz/corpus/zip" "$root/fuzz/corpus/zip_found"
