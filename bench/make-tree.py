#!/usr/bin/env python3
"""Builds the benchmark's synthetic tree: about FILES files in about FOLDERS folders, nested a few
levels deep, with hard links, symbolic links and a few large sparse files. Deterministic (fixed
seed). A finished tree is marked and reused.

usage: make-tree.py ROOT [FILES [FOLDERS]]"""
import os
import random
import sys


def main():
    root = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 200_000
    folders = int(sys.argv[3]) if len(sys.argv) > 3 else 20_000
    marker = os.path.join(root, ".complete")
    wanted = f"{files} {folders}\n"
    if os.path.exists(marker) and open(marker).read() == wanted:
        return
    if os.path.exists(root):
        os.system(f"rm -rf -- '{root}'")
    os.makedirs(root)
    rnd = random.Random(20261209)

    # Folders: each new folder goes under a random earlier one, favouring recent ones, so the
    # tree gets both depth (up to a dozen levels) and wide folders.
    paths = [root]
    depth = [0]
    for i in range(folders - 1):
        parent = rnd.randrange(max(0, len(paths) - 200), len(paths)) if rnd.random() < 0.7 \
            else rnd.randrange(len(paths))
        if depth[parent] >= 12:
            parent = 0
        p = os.path.join(paths[parent], f"dir{i:05d}-{rnd.choice(['src', 'doc', 'lib', 'data', 'é'])}")
        os.mkdir(p)
        paths.append(p)
        depth.append(depth[parent] + 1)

    payload = b"x" * 8192
    made = []
    for i in range(files):
        folder = paths[rnd.randrange(len(paths))]
        name = os.path.join(folder, f"file{i:06d}.{rnd.choice(['c', 'h', 'txt', 'png', 'o'])}")
        kind = rnd.random()
        if kind < 0.02 and made:
            os.link(rnd.choice(made), name)  # a hard link to an earlier file
            continue
        if kind < 0.04 and made:
            os.symlink(os.path.relpath(rnd.choice(made), folder), name)
            continue
        size = int(rnd.lognormvariate(7.5, 2.0))
        fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        if size <= len(payload):
            os.write(fd, payload[:size])
        else:
            os.ftruncate(fd, size)  # apparent size without the blocks
        os.close(fd)
        made.append(name)
    for i in range(5):  # a few large sparse files
        fd = os.open(os.path.join(paths[rnd.randrange(len(paths))], f"sparse{i}.img"),
                     os.O_WRONLY | os.O_CREAT, 0o644)
        os.ftruncate(fd, (i + 1) << 34)
        os.close(fd)
    with open(marker, "w") as f:
        f.write(wanted)


if __name__ == "__main__":
    main()
