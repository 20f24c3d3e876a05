#!/usr/bin/env bash
# Deep trees: CHAINS chains of LEVELS nested folders (one small file in each), scanned by dvoscan
# and by du, first under the common soft limit of 1,024 descriptors, then with the soft limit
# raised to the hard one. The engine must not get slower with depth once descriptors run short.
#   bench/deep-chains.sh [DVOSCAN [CHAINS [LEVELS]]]   (default build/bin/dvoscan 16 1250)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dvoscan=${1:-$here/build/bin/dvoscan}
chains=${2:-16}
levels=${3:-1250}
[ -x "$dvoscan" ] || { echo "no dvoscan at $dvoscan (build the dvoscan target)" >&2; exit 2; }

root=$(mktemp -d "${TMPDIR:-/tmp}/deep-chains.XXXXXX")
trap 'rm -rf -- "$root"' EXIT
for ((c = 0; c < chains; ++c)); do
    # Two-byte components keep each chain's path under PATH_MAX, so mkdir -p makes it at once.
    path=$root/c$c
    for ((l = 0; l < levels; ++l)); do path+=/d; done
    mkdir -p -- "$path"
done
# One file per level, so the totals are checked against du's.
find "$root" -type d -name d -exec sh -c 'for d; do printf x > "$d/f"; done' sh {} +

run() { # label, command...
    local start end
    start=$(date +%s.%N)
    out=$("${@:2}" 2>/dev/null | tail -1 | cut -f1) || true
    end=$(date +%s.%N)
    printf '%-34s %8.2f s   %s\n' "$1" "$(echo "$end - $start" | bc)" "$out"
}

hard=$(ulimit -Hn)
echo "$chains chains x $levels levels in $root (hard descriptor limit $hard)"
for soft in 1024 "$hard"; do
    export -f run
    bash -c "ulimit -Sn $soft
             run 'dvoscan (soft limit $soft)' '$dvoscan' '$root'
             run 'du -sb (soft limit $soft)' du -sb '$root'"
done
