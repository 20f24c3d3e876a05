#!/usr/bin/env bash
# Builds the `fuzz` preset and runs every fuzz target for a while.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target name regex]
# New inputs go to build-fuzz/fuzz-corpus/<target> (the seed corpus in the repository is only
# read); crashes land in build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
filter=${2:-.}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
manifest=build-fuzz/fuzz/targets.txt
mkdir -p build-fuzz/fuzz-corpus build-fuzz/fuzz-artifacts
status=0
while IFS=$'\t' read -r name seeds; do
    [[ -n $name && $name =~ $filter ]] || continue
    work=build-fuzz/fuzz-corpus/$name
    mkdir -p "$work"
    echo "== $name: ${seconds}s"
    if ! build-fuzz/fuzz/"$name" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="build-fuzz/fuzz-artifacts/$name-" "$work" "$seeds" \
            2>build-fuzz/fuzz-artifacts/"$name".log; then
        echo "!! $name found a failure: see build-fuzz/fuzz-artifacts/$name.log"
        status=1
    fi
    grep -E '^stat::(number_of_executed_units|new_units_added)' build-fuzz/fuzz-artifacts/"$name".log || true
done <"$manifest"
exit $status
