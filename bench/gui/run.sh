#!/usr/bin/env bash
# The window at a million entries, beside the engine alone: builds (once) a tree of about
# 1,000,000 entries, 800,000 files in 100,000 folders plus one folder of 100,000 files, times
# dvoscan on it and runs bench_gui (searches, expand all, sorts, stalls, memory) offscreen.
#
#   bench/gui/run.sh            # 10 searches
#   BENCH_SEARCHES=3 BENCH_GUI_TREE=/srv/tree bench/gui/run.sh
#   BENCH_A11Y=1 bench/gui/run.sh   # also how long accessibility queries wait in a search
#   BENCH_QDIRSTAT=1 bench/gui/run.sh   # also QDirStat's read of the same tree (3 runs)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
root=${BENCH_GUI_TREE:-/tmp/dvo-gui-1m}
(cd "$top" && cmake --preset default >/dev/null &&
    cmake --build --preset default --target dvoscan bench_gui >/dev/null)

python3 "$top/bench/make-tree.py" "$root/tree" 800000 100000
if [[ ! -e $root/wide/.complete ]]; then
    rm -rf "$root/wide"
    mkdir -p "$root/wide"
    python3 - "$root/wide" <<'PY'
import os, sys
for i in range(100_000):
    os.close(os.open(os.path.join(sys.argv[1], f"wide{i:06d}.dat"), os.O_WRONLY | os.O_CREAT, 0o644))
open(os.path.join(sys.argv[1], ".complete"), "w").close()
PY
fi

echo "load: $(uptime)"
echo "entries: $(find "$root" -xdev | wc -l)"
"$top/build/bin/dvoscan" "$root" >/dev/null # warm the cache
for _ in 1 2 3; do
    /usr/bin/time -f "dvoscan: %e s, %M KB peak" "$top/build/bin/dvoscan" "$root" >/dev/null
done
/usr/bin/time -f "dvoscan --records: %e s, %M KB peak" \
    "$top/build/bin/dvoscan" --records --stats "$root" >/dev/null
DVO_BENCH_TREE=$root QT_QPA_PLATFORM=offscreen "$top/build/bench/gui/bench_gui" "${BENCH_SEARCHES:-10}"
# Accessibility queries during the first search (needs Xvfb, dbus and python3-pyatspi).
if [[ -n ${BENCH_A11Y:-} ]]; then
    A11Y_LISTEN=1 "$here/a11y-probe.sh" "$top/build" "$root" 1
fi
# QDirStat reading the same tree, by its own log (needs qdirstat and Xvfb).
if [[ -n ${BENCH_QDIRSTAT:-} ]]; then
    "$here/qdirstat-time.sh" "$root" 3
fi
