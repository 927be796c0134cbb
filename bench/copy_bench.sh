#!/usr/bin/env bash
# Times CopyFolder (copy_folder_bench, log included) against `cp -a` on a generated tree of about
# 3,000 files and 200 MB. The two run alternately, each into a fresh destination, ROUNDS times;
# the source stays in the page cache, dirty pages are flushed between runs. Prints the median
# wall time, CPU time (user + system) and peak memory of each, and the ratios.
#
#   bench/copy_bench.sh            (builds the linux-release preset first)
#   ROUNDS=7 WORK=/var/tmp/x bench/copy_bench.sh
set -euo pipefail

if [[ ! -x /usr/bin/time ]]; then
    echo "copy_bench.sh needs GNU time: apt-get install time" >&2
    exit 2
fi

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${BUILD:-$root/build/linux-release}
rounds=${ROUNDS:-5}
work=${WORK:-$(mktemp -d "${TMPDIR:-/tmp}/copy_bench.XXXXXX")}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

if [[ -z ${BUILD:-} ]]; then
    (cd "$root" && cmake --preset linux-release >/dev/null)
fi
cmake --build "$build" --target copy_folder_bench >/dev/null
driver=$build/bench/copy_folder_bench

# The tree: 30 folders of 98 small files (4 to 60 KB) and 60 large files of about 1.8 MB, in two
# levels, random content so that no file system shortcut applies.
src=$work/source
python3 - "$src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20240601)
total = files = 0
for top in range(6):
    for sub in range(5):
        folder = os.path.join(root, f"group{top}", f"part{sub}")
        os.makedirs(folder, exist_ok=True)
        for i in range(98):
            size = rng.randint(4 << 10, 60 << 10)
            with open(os.path.join(folder, f"file{i:03d}.dat"), "wb") as f:
                f.write(os.urandom(size))
            total += size; files += 1
        for i in range(2):
            size = rng.randint(1700 << 10, 1900 << 10)
            with open(os.path.join(folder, f"large{i}.bin"), "wb") as f:
                f.write(os.urandom(size))
            total += size; files += 1
print(f"tree: {files} files, {total / 1e6:.0f} MB")
PY
sync
cat $(find "$src" -type f) >/dev/null  # into the page cache

results=$work/results.txt
: >"$results"
run() {  # run <label> <destination> <command...>
    local label=$1 dst=$2
    shift 2
    rm -rf "$dst"
    mkdir -p "$dst"
    sync
    /usr/bin/time -f "$label %e %U %S %M" -a -o "$results" "$@" >/dev/null 2>"$work/stderr.txt" || {
        echo "$label failed:" >&2
        cat "$work/stderr.txt" >&2
        exit 1
    }
    rm -rf "$dst"
}
for ((i = 0; i < rounds; i++)); do
    if ((i % 2 == 0)); then
        run CopyFolder "$work/dst" "$driver" "$work/dst" "$src" "$work/dst"
        run cp "$work/dst" cp -a "$src/." "$work/dst/"
    else
        run cp "$work/dst" cp -a "$src/." "$work/dst/"
        run CopyFolder "$work/dst" "$driver" "$work/dst" "$src" "$work/dst"
    fi
done

python3 - "$results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    label, wall, user, system, peak = line.split()
    rows.setdefault(label, []).append((float(wall), float(user) + float(system), int(peak)))
med = {k: tuple(statistics.median(r[i] for r in v) for i in range(3)) for k, v in rows.items()}
print(f"{'tool':<12}{'runs':>6}{'wall s':>10}{'cpu s':>10}{'peak KB':>10}")
for k in ("CopyFolder", "cp"):
    w, c, m = med[k]
    print(f"{k:<12}{len(rows[k]):>6}{w:>10.3f}{c:>10.3f}{m:>10.0f}")
a, b = med["CopyFolder"], med["cp"]
ratio = lambda x, y: x / y if y else float("inf")
print(f"ratio CopyFolder/cp: wall {ratio(a[0], b[0]):.2f}, cpu {ratio(a[1], b[1]):.2f}, "
      f"peak memory {ratio(a[2], b[2]):.2f}")
PY
