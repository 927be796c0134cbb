#!/usr/bin/env bash
# Times the product's downloader against curl on one large file served from 127.0.0.1.
# Usage: bench/http_bench.sh [rounds] [size in MB]
# Prints wall time, CPU time (user + system) and peak resident memory per client, and the ratios.
set -euo pipefail

rounds=${1:-5}
size_mb=${2:-200}
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build/linux-release
driver=$build/bench/http_download_bench

command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
command -v curl >/dev/null || { echo "needs curl" >&2; exit 1; }
command -v python3 >/dev/null || { echo "needs python3 for the local server" >&2; exit 1; }

cmake --preset linux-release >/dev/null
cmake --build "$build" --target http_download_bench -j2 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/http_bench.XXXXXX")
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/www/package.bin"

# A local server on an ephemeral port; it prints the port it bound.
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/www" >"$work/server.log" 2>&1 &
server_pid=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/.* port \([0-9][0-9]*\).*/\1/p' "$work/server.log" | head -n 1)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the local server did not start" >&2; cat "$work/server.log" >&2; exit 1; }
url="http://127.0.0.1:$port/package.bin"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

# One timed run: appends "wall user sys maxrss_kb" to the client's record.
run() {
    local name=$1
    shift
    rm -f "$work/out/$name.bin"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/$name.err" ||
        { echo "$name failed:" >&2; cat "$work/$name.err" >&2; exit 1; }
    cmp -s "$work/out/$name.bin" "$work/www/package.bin" ||
        { echo "$name wrote a wrong file" >&2; exit 1; }
    cat "$work/time.txt" >>"$work/$name.times"
}

echo "file: $size_mb MB, rounds: $rounds, server: python3 http.server on 127.0.0.1:$port"
for round in $(seq "$rounds"); do
    run driver "$driver" "$url" "$work/out/driver.bin"
    run curl curl -s -o "$work/out/curl.bin" "$url"
done

summary() {
    awk '{ wall += $1; cpu += $2 + $3; if ($4 > rss) rss = $4; n++ }
         END { printf "%.3f %.3f %.1f\n", wall / n, cpu / n, rss / 1024 }' "$work/$1.times"
}
read -r dw dc dm <<<"$(summary driver)"
read -r cw cc cm <<<"$(summary curl)"
printf '%-8s %12s %12s %14s\n' client "wall s (avg)" "cpu s (avg)" "peak RSS MB"
printf '%-8s %12s %12s %14s\n' driver "$dw" "$dc" "$dm"
printf '%-8s %12s %12s %14s\n' curl "$cw" "$cc" "$cm"
awk -v dw="$dw" -v cw="$cw" -v dc="$dc" -v cc="$cc" -v dm="$dm" -v cm="$cm" 'BEGIN {
    printf "ratio driver/curl: wall %.2f, cpu %.2f, peak RSS %.1f\n",
        dw / cw, (cc > 0 ? dc / cc : 0), dm / cm }'
echo "per run (wall user sys maxrss_kb):"
paste -d' ' <(sed 's/^/driver /' "$work/driver.times") <(sed 's/^/curl /' "$work/curl.times")
