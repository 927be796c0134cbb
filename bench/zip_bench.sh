#!/usr/bin/env bash
# Times the product's package extraction against unzip and bsdtar on (a) a large real archive
# (a JDK's lib/src.zip, or the first argument) and (b) a generated package of about 3,000 files
# and 200 MB. The tools take turns, each round into fresh folders, after one warm-up round;
# printed are the medians of wall time and CPU time, the peak memory and our ratios to the peers.
# The output goes to memory (/dev/shm) unless OUT_DIR says otherwise, so that the figures show the
# extraction and not the write-back of a shared disk.
# Usage: bench/zip_bench.sh [real.zip]   (ROUNDS=5, BENCH_DIR=build/zip-bench, OUT_DIR=/dev/shm/...)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${ROUNDS:-5}
work=${BENCH_DIR:-$root/build/zip-bench}
if [ -z "${OUT_DIR:-}" ] && [ -d /dev/shm ]; then
  OUT_DIR=/dev/shm/tq-zip-bench-$$
fi
out=${OUT_DIR:-$work}

for tool in unzip bsdtar /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

cmake --preset linux-release >/dev/null
cmake --build "$root/build/linux-release" --target zip_extract_bench >/dev/null
ours=$root/build/linux-release/bench/zip_extract_bench

real=${1:-}
if [ -z "$real" ]; then
  real=$(find -L /usr/lib/jvm -name src.zip -type f 2>/dev/null | head -n 1 || true)
fi
[ -n "$real" ] && [ -f "$real" ] || { echo "no real archive found; pass one" >&2; exit 1; }
mkdir -p "$work" "$out"
trap 'rm -rf "$out"/out-*; [ "$out" = "$work" ] || rmdir "$out" 2>/dev/null || true' EXIT
generated=$work/generated-package.zip
[ -f "$generated" ] || python3 "$root/bench/zip_make_package.py" "$generated"

# run <tool> <zip> <out>: prints "wall cpu peak_kb"
run() {
  local tool=$1 zip=$2 out=$3 t
  rm -rf "$out"
  t=$(mktemp)
  case $tool in
    ours) /usr/bin/time -f '%e %U %S %M' -o "$t" "$ours" "$zip" "$out" ;;
    unzip) mkdir -p "$out" && /usr/bin/time -f '%e %U %S %M' -o "$t" unzip -o -q "$zip" -d "$out" ;;
    bsdtar) mkdir -p "$out" && /usr/bin/time -f '%e %U %S %M' -o "$t" bsdtar -xf "$zip" -C "$out" ;;
  esac
  awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }' "$t"
  rm -f "$t"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

bench() {
  local label=$1 zip=$2 tool r line
  declare -A walls cpus peaks
  echo "== $label: $zip ($(du -h "$zip" | cut -f1), $(unzip -Z -t "$zip" | sed 's/,.*//'))"
  for tool in ours unzip bsdtar; do run "$tool" "$zip" "$out/out-$tool" >/dev/null; done
  # The product must write what unzip writes.
  diff -r "$out/out-ours" "$out/out-unzip" >/dev/null || { echo "output differs from unzip" >&2; exit 1; }
  for r in $(seq "$rounds"); do
    for tool in ours unzip bsdtar; do
      read -r w c p < <(run "$tool" "$zip" "$out/out-$tool")
      walls[$tool]+="$w "; cpus[$tool]+="$c "; peaks[$tool]+="$p "
    done
  done
  printf '%-8s %10s %10s %12s\n' tool "wall s" "cpu s" "peak MB"
  declare -A mw mc
  for tool in ours unzip bsdtar; do
    mw[$tool]=$(echo "${walls[$tool]}" | tr ' ' '\n' | grep . | median)
    mc[$tool]=$(echo "${cpus[$tool]}" | tr ' ' '\n' | grep . | median)
    local peak
    peak=$(echo "${peaks[$tool]}" | tr ' ' '\n' | grep . | sort -n | tail -n 1)
    printf '%-8s %10.3f %10.3f %12.1f\n' "$tool" "${mw[$tool]}" "${mc[$tool]}" "$(echo "$peak / 1024" | bc -l)"
  done
  for peer in unzip bsdtar; do
    printf 'ours / %-7s wall %.2f  cpu %.2f\n' "$peer" \
      "$(echo "${mw[ours]} / ${mw[$peer]}" | bc -l)" "$(echo "${mc[ours]} / ${mc[$peer]}" | bc -l)"
  done
  rm -rf "$out/out-ours" "$out/out-unzip" "$out/out-bsdtar"
}

# What the driver holds before it unpacks anything (the libraries the system links), for reading
# the peak memory below.
t=$(mktemp)
/usr/bin/time -f '%M' -o "$t" "$ours" >/dev/null 2>&1 || true
baseline=$(tail -n 1 "$t")
rm -f "$t"
echo "rounds: $rounds, output under $out; our driver's peak without unpacking: $((baseline / 1024)) MB"
bench "real archive" "$real"
bench "generated package" "$generated"
