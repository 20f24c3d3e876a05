#!/usr/bin/env bash
# Runs a11y_probe.py against bench_gui on a virtual X server and a D-Bus session of their own.
#   bench/gui/a11y-probe.sh BUILD_DIR TREE [SEARCHES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
scratch=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/run"
export XDG_RUNTIME_DIR=$scratch/run
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 300); do [[ -s $scratch/display ]] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$scratch/display") DVO_BENCH_TREE=$2
unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- /usr/bin/python3 "$here/a11y_probe.py" "$build/bench/gui/bench_gui" "${3:-1}" \
    2> >(grep -v -e '^dbus-daemon\[' -e '^SpiRegistry daemon' >&2)
