#!/usr/bin/env bash
# check-exports.sh LIBRARY EXPECTED-LIST: the library's defined dynamic function and data symbols
# equal the list (one name a line, '#' comments allowed).
set -euo pipefail
lib=$1 list=$2
[[ -f $lib ]] || { echo "missing library: $lib"; exit 1; }
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | sed 's/@.*//' | sort -u)
expected=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$' | sort -u)
if [[ "$actual" != "$expected" ]]; then
    echo "exported symbols of $(basename "$lib") differ from $(basename "$list"):"
    diff <(echo "$expected") <(echo "$actual") | sed -e 's/^</  missing:/' -e 's/^>/  unexpected:/' | grep -E 'missing|unexpected'
    exit 1
fi
echo "$(basename "$lib"): $(echo "$expected" | wc -l) exports as expected"
