#!/usr/bin/env bash
# Runs window_run.py in a D-Bus session of its own (the accessibility bus lives on it).
# Usage: tests/ship/window-run.sh BUILD_DIR SCRATCH_DIR [PICTURES_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
args=(--dvo "$build/bin/DVO" --xshot "$build/tools/xshot" --scratch "$2")
[[ $# -ge 3 ]] && args+=(--pictures "$3")
# Debian's interpreter: the accessibility bindings are a Debian package.
exec dbus-run-session -- /usr/bin/python3 "$here/window_run.py" "${args[@]}"
