#!/usr/bin/env bash
# Writing and reading ncdu exports of a 1M-entry tree, side by side with ncdu and gdu, warm cache,
# with each program's peak memory.
#
#   bench/ncdu-format.sh                  # 900000 files in 100000 folders, median of 3 runs
#   BENCH_RUNS=5 bench/ncdu-format.sh
#
# Writing: `dvoscan -o`, `ncdu -0 -o` and `gdu -n -o` each scan the tree and write the export;
# dvoscan also reports the export alone (--stats). Reading: `dvoscan -f` and `gdu -n -f` read
# dvoscan's export non-interactively; ncdu browses what it reads, so it is timed on a
# pseudo-terminal until its browser shows the totals (bench/ncdu-browse-time.py). `ncdu -f FILE -o
# /dev/null` is shown too: ncdu 1.18 then streams the file through without building its tree.
# Environment: BENCH_TREE (default /tmp/dvo-ncdu-bench-tree, kept for later runs), BENCH_FILES /
# BENCH_FOLDERS (default 900000 / 100000), BENCH_RUNS (default 3).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
tree=${BENCH_TREE:-/tmp/dvo-ncdu-bench-tree}
runs=${BENCH_RUNS:-3}

"$top/scripts/setup.sh" "$here/packages.txt"
(cd "$top" && cmake --preset default >/dev/null && cmake --build --preset default --target dvoscan >/dev/null)
dvoscan="$top/build/bin/dvoscan"

echo "building the synthetic tree in $tree (kept for later runs)..."
python3 "$here/make-tree.py" "$tree" "${BENCH_FILES:-900000}" "${BENCH_FOLDERS:-100000}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# the median of N runs' wall times in seconds and the peak RSS of that run in MiB: "<s> <MiB>"
median() { sort -n | awk '{ line[NR] = $0 } END { print line[int((NR + 1) / 2)] }'; }
measure() {
    local s kib
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
            cat "$work/err" >&2
            return 1
        }
        read -r s kib <"$work/time"
        echo "$s $((kib / 1024))"
    done | median
}
# the same for ncdu's browser on a pseudo-terminal
measure_browser() {
    for ((i = 0; i < runs; i++)); do
        python3 "$here/ncdu-browse-time.py" "$@"
    done | median
}
row() { printf '%-44s %8s s %8s MiB\n' "$1" $2; }

"$dvoscan" "$tree" >/dev/null # warm the cache
entries=$(find "$tree" | wc -l)
echo "load: $(uptime)"
echo "== $tree: $entries entries"
"$dvoscan" -o "$work/dvo.json" "$tree"
ncdu -0 -o "$work/ncdu.json" "$tree"
gdu -n -o "$work/gdu.json" "$tree" >/dev/null
ls -l "$work"/*.json | awk '{ printf "   %s %d bytes\n", $NF, $5 }'

echo "-- scan and write an export"
row "dvoscan (scan only)" "$(measure "$dvoscan" "$tree")"
row "dvoscan -o" "$(measure "$dvoscan" -o "$work/out.json" "$tree")"
row "ncdu -0 -o" "$(measure ncdu -0 -o "$work/out.json" "$tree")"
row "gdu -n -o" "$(measure gdu -n -o "$work/out.json" "$tree")"
"$dvoscan" --stats -o "$work/out.json" "$tree" 2>&1 | sed -n 's/^dvoscan: export/   dvoscan: export/p'

echo "-- read dvoscan's export"
row "dvoscan -f" "$(measure "$dvoscan" -f "$work/dvo.json")"
row "gdu -n -f" "$(measure gdu -n -f "$work/dvo.json")"
row "ncdu -f (browser on a pty)" "$(measure_browser ncdu -f "$work/dvo.json")"
row "ncdu -f FILE -o /dev/null (streamed)" "$(measure ncdu -f "$work/dvo.json" -o /dev/null)"
echo "-- read the peers' exports"
row "dvoscan -f ncdu.json" "$(measure "$dvoscan" -f "$work/ncdu.json")"
row "dvoscan -f gdu.json" "$(measure "$dvoscan" -f "$work/gdu.json")"
