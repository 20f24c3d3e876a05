#!/usr/bin/env bash
# Deep trees: CHAINS chains of LEVELS nested folders (a file and an empty folder in each),
# scanned by dvoscan and by du, first under the common soft limit of 1,024 descriptors, then
# with the soft limit raised to the hard one. The engine must not get slower with depth once
# descriptors run short.
#   bench/deep-chains.sh [DVOSCAN [CHAINS [LEVELS]]]   (default build/bin/dvoscan 16 1250)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dvoscan=${1:-$here/build/bin/dvoscan}
chains=${2:-16}
levels=${3:-1250}
[ -x "$dvoscan" ] || { echo "no dvoscan at $dvoscan (build the dvoscan target)" >&2; exit 2; }

# In memory where there is room: removing 40,000 nested folders from a disk takes minutes.
scratch=${TMPDIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )}
root=$(mktemp -d "$scratch/deep-chains.XXXXXX")
trap 'rm -rf -- "$root"' EXIT
# Each level holds the next level d, an empty folder e and a file f of one byte. e is read only
# after everything below d, so a depth-first walk has a folder a level waiting for a sibling:
# the shape that outgrows a small descriptor budget. Made through descriptors, depth costs
# nothing here.
python3 - "$root" "$chains" "$levels" <<'PY'
import os, sys
root, chains, levels = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for c in range(chains):
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    name = f"c{c}"
    for _ in range(levels):
        os.mkdir(name, dir_fd=fd)
        nfd = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = nfd
        os.mkdir("e", dir_fd=fd)
        f = os.open("f", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.write(f, b"x")
        os.close(f)
        name = "d"
    os.close(fd)
PY

run() { # label, command...
    local start end
    start=$(date +%s.%N)
    out=$("${@:2}" 2>/dev/null | tail -1 | cut -f1) || true
    end=$(date +%s.%N)
    printf '%-34s %8.2f s   %s bytes\n' "$1" "$(echo "$end - $start" | bc)" "$out"
}

hard=$(ulimit -Hn)
echo "$chains chains x $levels levels in $root (hard descriptor limit $hard)"
echo "(dvoscan counts the files' bytes; du -sb adds the folders' own sizes)"
for soft in 1024 "$hard"; do
    export -f run
    bash -c "ulimit -Sn $soft
             run 'dvoscan (soft limit $soft)' '$dvoscan' '$root'
             run 'du -sb (soft limit $soft)' du -sb '$root'"
done
