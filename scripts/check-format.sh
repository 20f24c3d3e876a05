#!/usr/bin/env bash
# Checks that every C++ source the repository tracks is as clang-format leaves it.
#   scripts/check-format.sh          report the files that differ (exit 1 if any)
#   scripts/check-format.sh --fix    rewrite them in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i -- "${files[@]}"
    exit 0
fi
clang-format --dry-run --Werror -- "${files[@]}"
