#!/usr/bin/env python3
"""Times an interactive disk-usage browser reading an export: runs COMMAND on a pseudo-terminal,
waits until its browser shows the totals ("Total disk usage", ncdu's status line), quits it and
prints "<seconds> <peak RSS MiB>". ncdu browses what it reads, so this is its time to read.

usage: ncdu-browse-time.py COMMAND [ARGS...]"""
import fcntl, os, pty, select, struct, sys, termios, time
start = time.monotonic()
pid, fd = pty.fork()
if pid == 0:
    fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    os.environ["TERM"] = "xterm"
    os.execvp(sys.argv[1], sys.argv[1:])
tail = b""
shown = None
while shown is None:
    ready, _, _ = select.select([fd], [], [], 120)
    if not ready:
        break
    try:
        data = os.read(fd, 65536)
    except OSError:
        break
    if not data:
        break
    tail = (tail + data)[-4096:]
    if b"Total disk usage" in tail:
        shown = time.monotonic() - start
os.write(fd, b"q")
_, status, usage = os.wait4(pid, 0)
if shown is None:
    sys.exit("the browser never showed")
print(f"{shown:.2f} {usage.ru_maxrss // 1024}")
