#!/usr/bin/env bash
# Times dvoscan against du, gdu and ncdu on the synthetic tree and on /usr, warm cache by
# default, and reports dvoscan's peak memory.
#
#   bench/compare-peers.sh                 # both trees, 10 runs each
#   BENCH_RUNS=20 bench/compare-peers.sh   # more runs
#   BENCH_TARGETS=/srv bench/compare-peers.sh
#   BENCH_COLD=1 bench/compare-peers.sh    # drop the page cache before every run (root only)
#
# Environment: BENCH_TREE (where the synthetic tree is built and kept, default
# /tmp/dvo-bench-tree), BENCH_FILES / BENCH_FOLDERS (its size, default 200000 / 20000),
# BENCH_TARGETS (default: the tree and /usr), BENCH_RUNS, BENCH_THREADS (dvoscan --threads).
# "dvoscan one by one" is dvoscan without io_uring (one statx per entry), as on kernels that
# refuse a ring; "dvoscan ring" sends every stat through the ring, as on a disk whose stats wait
# long enough for the engine to choose it. dvoscan itself stats inline until waits dominate.
# The machine should be otherwise idle: check `uptime` first. On a shared machine, run it as
# root under `nice -n -10` with /proc/sys/kernel/sched_autogroup_enabled at 0 (otherwise each
# session gets an equal share whatever its nice value).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
tree=${BENCH_TREE:-/tmp/dvo-bench-tree}
runs=${BENCH_RUNS:-10}
targets=${BENCH_TARGETS:-"$tree /usr"}

"$top/scripts/setup.sh" "$here/packages.txt"
(cd "$top" && cmake --preset default >/dev/null && cmake --build --preset default --target dvoscan >/dev/null)
dvoscan="$top/build/bin/dvoscan"
threads=()
[[ -n ${BENCH_THREADS:-} ]] && threads=(--threads "$BENCH_THREADS")

echo "building the synthetic tree in $tree (kept for later runs)..."
python3 "$here/make-tree.py" "$tree" "${BENCH_FILES:-200000}" "${BENCH_FOLDERS:-20000}"

prepare=(--warmup 2)
if [[ -n ${BENCH_COLD:-} ]]; then
    # hyperfine -N runs no shell, also for --prepare; a warm-up run would be cold too.
    prepare=(--warmup 0 --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'")
fi

echo "load: $(uptime)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in $targets; do
    echo
    echo "== $target ($(find "$target" -xdev | wc -l) entries)"
    hyperfine -N --style basic --runs "$runs" "${prepare[@]}" \
        --export-json "$work/times.json" \
        -n dvoscan "$dvoscan ${threads[*]} $target" \
        -n "dvoscan one by one" "env DVO_TEST_NO_URING=1 $dvoscan ${threads[*]} $target" \
        -n "dvoscan ring" "env DVO_TEST_INLINE_STATS=0 $dvoscan ${threads[*]} $target" \
        -n "du -s" "du -s $target" \
        -n "gdu -n -p" "gdu -n -p -c $target" \
        -n "ncdu -o /dev/null" "ncdu -0 -o /dev/null $target" >/dev/null
    python3 - "$work/times.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
base = next(r["median"] for r in results if r["command"] == "dvoscan")
print(f"{'command':<20}{'median':>12}{'peer / dvoscan':>16}")
for r in results:
    print(f"{r['command']:<20}{r['median'] * 1000:>9.0f} ms{r['median'] / base:>15.2f}x")
PY
    "$dvoscan" "${threads[@]}" --stats "$target" 2>&1 >/dev/null | sed -n 's/^dvoscan: /dvoscan memory: /p'
    "$dvoscan" "${threads[@]}" --stats --records "$target" 2>&1 >/dev/null |
        sed -n 's/^dvoscan: /with every record: /p'
done
