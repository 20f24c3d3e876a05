#!/usr/bin/env bash
# QDirStat's read of a tree, timed by QDirStat itself: it runs on a virtual X server with a
# scratch home (no settings of an earlier run), and its log's "Reading finished after N sec"
# gives the time from the start of the read to the tree shown. Prints one line per run.
#   bench/gui/qdirstat-time.sh TREE [RUNS]
set -euo pipefail
if ! command -v qdirstat >/dev/null || ! command -v xvfb-run >/dev/null; then
    echo "qdirstat: not timed (needs qdirstat and xvfb, see bench/packages.txt)"
    exit 0
fi
tree=$(realpath "$1")
runs=${2:-3}
log=/tmp/qdirstat-$(id -un)/qdirstat.log
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for _ in $(seq "$runs"); do
    rm -rf "$scratch/home" "$log"
    mkdir -p "$scratch/home"
    # The program writes its own process id first, so that only it is stopped once it has read.
    HOME=$scratch/home xvfb-run -a sh -c 'echo $$ >"$1"; exec qdirstat -d "$2"' sh \
        "$scratch/pid" "$tree" >/dev/null 2>&1 &
    runner=$!
    seconds=
    for _ in $(seq 1200); do # at most 10 minutes
        if [[ -f $log ]] && seconds=$(grep -o 'Reading finished after [0-9.]* sec' "$log"); then
            break
        fi
        sleep 0.5
    done
    [[ -s $scratch/pid ]] && kill "$(cat "$scratch/pid")" 2>/dev/null || true
    wait "$runner" 2>/dev/null || true
    echo "qdirstat: ${seconds:-no finished read in its log}"
done
