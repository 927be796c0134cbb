#!/usr/bin/env bash
# Times the whole update procedure (download, unpack, install into a client folder) on a package
# of about 200 MB holding 3,000 files, served from a local HTTP server, against
#   curl -s -o pkg.zip URL && unzip -o -q pkg.zip -d x && cp -a x/. install/
# The two run alternately, ROUNDS times each; every run starts from an empty client folder.
# Prints wall time and peak resident memory of every run, the medians and their ratio.
# The procedure includes its one-second pause between download and unpacking; the line "without
# the pause" subtracts it.
#
# The machine's load is printed first: on a shared machine the figures are only comparable
# within one run.
#
# Environment: PRESET (default linux-release), ROUNDS (default 3), FILES (3000),
# PACKAGE_MB (200), KEEP=1 keeps the work folder.
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${PRESET:-linux-release}"
rounds="${ROUNDS:-3}"
files="${FILES:-3000}"
package_mb="${PACKAGE_MB:-200}"

cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" --target update_run -j2 >/dev/null
driver="$PWD/build/$preset/bench/update_run"

work="$(mktemp -d "${TMPDIR:-/tmp}/update_bench.XXXXXX")"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  if [ "${KEEP:-0}" != 1 ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== building the package ($files files, about $package_mb MB) in $work"
python3 - "$work/www/pkg.zip" "$files" "$package_mb" <<'EOF'
import os, random, sys, zipfile
path, files, mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(os.path.dirname(path), exist_ok=True)
rng = random.Random(1)
# Half of each file is random (stored at full size by deflate), half is text that compresses
# well, so the archive is about mb megabytes and unpacks to about twice that.
per_file = mb * 1024 * 1024 // files
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
    for i in range(files):
        noise = rng.randbytes(per_file)
        text = (("line %d of file %d: the quick brown fox\n" % (i, i)) * (per_file // 30 + 1))[:per_file]
        z.writestr("data/dir%02d/file%04d.bin" % (i % 50, i), noise + text.encode())
EOF
ls -l "$work/www/pkg.zip" | awk '{printf "package: %.1f MB\n", $5 / 1048576}'

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
server_pid=$!
url="http://127.0.0.1:$port/pkg.zip"
for _ in $(seq 50); do
  if curl -s -o /dev/null -r 0-0 "$url"; then break; fi
  sleep 0.1
done

ours=()
peer=()
ours_mem=()
peer_mem=()
for round in $(seq "$rounds"); do
  rm -rf "$work/install" "$work/tmp" && mkdir -p "$work/install" "$work/tmp"
  out="$(cd "$work" && TMPDIR="$work/tmp" /usr/bin/time -f '%e %M' "$driver" "$url" "$work/install" 2>&1)"
  echo "$out" | head -1 | grep -q '^ok' || { echo "update_run failed: $out" >&2; exit 1; }
  read -r secs kb <<<"$(echo "$out" | tail -1)"
  download_ms="$(echo "$out" | head -1 | awk '{print $4}')"
  ours+=("$secs"); ours_mem+=("$kb")
  echo "round $round  update procedure  ${secs} s  peak ${kb} KB  (download ${download_ms} ms)"

  rm -rf "$work/install" "$work/x" "$work/pkg.zip" && mkdir -p "$work/install"
  out="$(cd "$work" && /usr/bin/time -f '%e %M' sh -c "curl -s -o pkg.zip '$url' && unzip -o -q pkg.zip -d x && cp -a x/. install/" 2>&1)"
  read -r secs kb <<<"$(echo "$out" | tail -1)"
  peer+=("$secs"); peer_mem+=("$kb")
  echo "round $round  curl+unzip+cp     ${secs} s  peak ${kb} KB"
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
mo="$(median "${ours[@]}")"
mp="$(median "${peer[@]}")"
echo "median: update procedure $mo s (peak $(median "${ours_mem[@]}") KB), curl+unzip+cp $mp s (peak $(median "${peer_mem[@]}") KB)"
awk -v o="$mo" -v p="$mp" 'BEGIN {printf "ratio: %.2f; without the pause: %.2f\n", o / p, (o - 1) / p}'
