#!/usr/bin/env bash
# What the listings cost on top of a scan: dvoscan plain, --disk-usage, --top 1000, --by-type and
# --by-age on one tree, side by side in one hyperfine run (warm cache), each as a multiple of the
# plain scan; the goal is at most 1.10x. The same on an export read with -f, where the listing is
# a larger part of the whole.
#
#   bench/listings.sh                     # the 1M-entry tree of bench/ncdu-format.sh, 10 runs
#   BENCH_RUNS=20 BENCH_TREE=/srv bench/listings.sh
#
# Environment: BENCH_TREE (default /tmp/dvo-ncdu-bench-tree, made by make-tree.py when missing
# and kept), BENCH_FILES / BENCH_FOLDERS (its size, default 900000 / 100000), BENCH_RUNS.
# The machine should be otherwise idle: check `uptime` first.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
tree=${BENCH_TREE:-/tmp/dvo-ncdu-bench-tree}
runs=${BENCH_RUNS:-10}

"$top/scripts/setup.sh" "$here/packages.txt"
(cd "$top" && cmake --preset default >/dev/null && cmake --build --preset default --target dvoscan >/dev/null)
dvoscan="$top/build/bin/dvoscan"
python3 "$here/make-tree.py" "$tree" "${BENCH_FILES:-900000}" "${BENCH_FOLDERS:-100000}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$dvoscan" -o "$work/tree.json" "$tree"

echo "load: $(uptime)"
for source in "$tree" "-f $work/tree.json"; do
    echo
    echo "== dvoscan $source"
    hyperfine -N --style basic --warmup 2 --runs "$runs" --export-json "$work/times.json" \
        -n "plain" "$dvoscan $source" \
        -n "disk-usage" "$dvoscan --disk-usage $source" \
        -n "top 1000" "$dvoscan --top 1000 $source" \
        -n "by-type" "$dvoscan --by-type $source" \
        -n "by-age" "$dvoscan --by-age $source" >/dev/null
    python3 - "$work/times.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
base = next(r["median"] for r in results if r["command"] == "plain")
print(f"{'dvoscan':<16}{'median':>12}{'/ plain':>10}")
for r in results:
    ratio = r["median"] / base
    verdict = "" if r["command"] == "plain" else ("  ok" if ratio <= 1.10 else "  over 1.10x")
    print(f"{r['command']:<16}{r['median'] * 1000:>9.0f} ms{ratio:>9.2f}x{verdict}")
PY
done
