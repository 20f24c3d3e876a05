#!/usr/bin/env bash
# Installs the Debian packages listed in a package file, only those missing.
# Usage: scripts/setup.sh [package-list]   (default: scripts/debian-packages.txt)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list=${1:-$here/debian-packages.txt}

mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$')
missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$pkg")
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "setup: installing ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "setup: these packages are missing and you are not root, and sudo is absent:" >&2
    echo "  ${missing[*]}" >&2
    echo "setup: install them as root: apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
