#!/usr/bin/env bash
# Starts DVO on a virtual X server (Xvfb, 1280x1024, 96 dpi) with the Noto CJK fonts and writes a
# PNG of the whole screen. With a folder, the window searches it first and the picture shows the
# finished search.
# Usage: scripts/screenshot.sh [output.png] [folder]
#   default output: build/screenshot.png; the folder may also come from DVO_SCREENSHOT_FOLDER.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/screenshot.png}")
folder=${2:-${DVO_SCREENSHOT_FOLDER:-}}
[[ -n $folder ]] && folder=$(realpath "$folder")

fonts=$(fc-list 2>/dev/null || true)
if ! grep -q 'Noto Sans CJK' <<<"$fonts"; then
    echo "screenshot: the Noto CJK fonts are missing (scripts/setup.sh installs fonts-noto-cjk)" >&2
    exit 1
fi
program=$root/build/bin/DVO
if [[ ! -x $program ]]; then
    echo "screenshot: $program is not built (make build)" >&2
    exit 1
fi

# A lock folder of its own, so a DVO already running elsewhere does not stop the picture.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
mkdir -p "$(dirname "$out")"
rm -f "$out"
XDG_RUNTIME_DIR=$runtime DVO_SCREENSHOT_PNG=$out DVO_SCREENSHOT_FOLDER=$folder \
    timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$program"
[[ -s $out ]] || { echo "screenshot: no picture written" >&2; exit 1; }
echo "$out"
