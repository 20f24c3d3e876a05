#!/usr/bin/python3
"""How long accessibility queries wait while the window searches: starts bench_gui on a real X
server with the accessibility bridge on, and asks for its window's title and its labels' texts
every 100 ms through AT-SPI, as a screen reader does, from the start of its first search until
its tree is ready. Prints the slowest round, the slowest single answer and how many queries failed (a query fails after
pyatspi's own 25 s timeout).

Run inside a virtual X server and a D-Bus session of its own (a11y-probe.sh makes both):
  a11y_probe.py BENCH_GUI [SEARCHES]
"""
import os
import subprocess
import sys
import time

import pyatspi


def find_app(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            return app
    return None


def labels(node, depth=0, out=None):
    out = [] if out is None else out
    if node is None or depth > 12:
        return out
    if node.getRole() == pyatspi.ROLE_LABEL:
        out.append(node)
    if node.getRole() in (pyatspi.ROLE_TREE, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE):
        return out  # their rows are not what a screen reader reads on every change
    for i in range(node.childCount):
        labels(node.getChildAtIndex(i), depth + 1, out)
    return out


def main():
    bench = sys.argv[1]
    searches = sys.argv[2] if len(sys.argv) > 2 else "1"
    # The program stops after its searches instead of going on to expand and sort.
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", DVO_BENCH_SEARCHES_ONLY="1")
    env.pop("QT_QPA_PLATFORM", None)
    pyatspi.Registry.getDesktop(0)  # starts the accessibility bus before the program
    if os.environ.get("A11Y_LISTEN"):
        # As a screen reader does: the program then sends these events on the bus.
        pyatspi.Registry.registerEventListener(
            lambda event: None, "object:property-change:accessible-name", "object:children-changed",
            "object:state-changed", "object:text-changed")
    program = subprocess.Popen([bench, searches], env=env, stdout=subprocess.PIPE)
    os.set_blocking(program.stdout.fileno(), False)
    app = None
    for _ in range(300):
        app = find_app(os.path.basename(bench))
        if app is not None and app.childCount > 0:
            break
        time.sleep(0.1)
    if app is None:
        print("a11y: the program never showed up on the accessibility bus")
        program.kill()
        return 1
    window = app.getChildAtIndex(0)
    found = labels(window)
    slowest = 0.0
    slowest_query = 0.0
    failed = 0
    asked = 0
    output = ""
    while program.poll() is None:
        # Read first, so that no round started after the tree was ready counts.
        output += (program.stdout.read() or b"").decode(errors="replace")
        if "\nsearch 1:" in output:
            break
        start = time.monotonic()
        try:
            for node in [window] + found:
                asked_at = time.monotonic()
                _ = node.name
                slowest_query = max(slowest_query, time.monotonic() - asked_at)
        except Exception:
            failed += 1
        took = time.monotonic() - start
        asked += 1
        slowest = max(slowest, took)
        time.sleep(0.1)
    program.terminate()
    program.wait()
    print(output.strip())
    print(f"a11y: {asked} rounds of {len(found) + 1} queries, slowest round {slowest * 1000:.0f} ms, "
          f"slowest query {slowest_query * 1000:.0f} ms, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
