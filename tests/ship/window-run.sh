#!/usr/bin/env bash
# Runs window_run.py on a virtual X server and a D-Bus session of its own (the accessibility bus
# is started on it). Both get the run's own runtime folder, so runs side by side do not meet.
# Usage: tests/ship/window-run.sh BUILD_DIR SCRATCH_DIR [PICTURES_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
scratch=$(realpath -m "$2")
args=(--dvo "$build/bin/DVO" --xshot "$build/tools/xshot" --scratch "$scratch")
[[ $# -ge 3 ]] && args+=(--pictures "$3")

rm -rf "$scratch"
mkdir -p -m 700 "$scratch" "$scratch/run"
export XDG_RUNTIME_DIR=$scratch/run
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 300); do
    [[ -s $scratch/display ]] && break
    kill -0 $xvfb 2>/dev/null || { echo "Xvfb ended at start:"; cat "$scratch/xvfb.log"; exit 1; }
    sleep 0.1
done
[[ -s $scratch/display ]] || { echo "Xvfb gave no display within 30 s"; exit 1; }
export DISPLAY=:$(head -n 1 "$scratch/display")
unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
# Debian's interpreter: the accessibility bindings are a Debian package.
dbus-run-session -- /usr/bin/python3 "$here/window_run.py" "${args[@]}" 2> >(grep -v -e '^dbus-daemon\[' -e '^SpiRegistry daemon' >&2)
