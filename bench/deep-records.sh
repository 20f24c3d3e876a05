#!/bin/sh
# Peak memory of a search of very deep trees with every record made: the folder list and a
# First/Next enumeration of every folder, as the program makes them (dvoscan --stats --records).
# Two chains: 3,000 levels of 250-byte names and 20,000 levels of one-letter names.
#   usage: bench/deep-records.sh [DVOSCAN [SCRATCH]]
# DVOSCAN defaults to build/bin/dvoscan, SCRATCH to a fresh folder under /tmp. Set
# DVO_TEST_RECORD_BUDGET=<bytes> to search with that record budget instead of a quarter of the
# machine's memory.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
dvoscan=${1:-$here/build/bin/dvoscan}
scratch=${2:-$(mktemp -d /tmp/deep-records.XXXXXX)}
mkdir -p "$scratch"

make_chain() { # folder levels name-length
    python3 - "$1" "$2" "$3" <<'PY'
import os, sys
root, levels, length = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
name = ("d" * length)[:length]
if not os.path.isdir(root):
    os.mkdir(root)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    for _ in range(levels):  # descriptors: the path soon passes PATH_MAX
        os.mkdir(name, dir_fd=fd)
        nxt = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = nxt
    os.close(os.open("file", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd))
    os.close(fd)
PY
}

run() { # label folder
    out=$(/usr/bin/time -v "$dvoscan" --stats --records "$2" 2>&1 >/dev/null) || true
    rss=$(printf '%s\n' "$out" | sed -n 's/.*Maximum resident set size (kbytes): //p')
    stats=$(printf '%s\n' "$out" | grep '^dvoscan:' | head -1)
    printf '%-28s max RSS %8s KiB   %s\n' "$1" "$rss" "$stats"
}

make_chain "$scratch/long-names" 3000 250
make_chain "$scratch/one-letter" 20000 1
run "3,000 x 250-byte names" "$scratch/long-names"
run "20,000 x 1-byte names" "$scratch/one-letter"
if [ -z "${2:-}" ]; then
    rm -rf "$scratch"
fi
