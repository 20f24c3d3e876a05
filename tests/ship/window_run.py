#!/usr/bin/python3
"""One run through the real DVO window, the way a user does it, on a virtual X server.

Input goes through the X server (xdotool: pointer moves, clicks, keys); what the window shows is
read through its accessibility tree (AT-SPI: the texts of labels, buttons, tree and grid cells,
and where they lie on the screen) and, for colours, from the screen itself (xshot).

The run: choose a prepared folder in the folder dialog, "実行", wait for "検索を終了しました",
open and close the three listing windows, click a folder in the tree, mark a row, "削除" from the grid's pop-up menu, "Yes"; then check the
disk (the entry in the trash with its .trashinfo), the grid and the operation log, and close the
program through its menu. Pictures of the window are written on the way.

Usage (with DISPLAY set and inside a D-Bus session: window-run.sh makes both):
  window_run.py --dvo BUILD/bin/DVO --xshot BUILD/tools/xshot --scratch DIR [--pictures DIR]
"""
import argparse
import datetime
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.parse

import pyatspi

CAPTION = "ドルミナVersion 1.0.1"
FINISHED = "検索を終了しました"
MARK_COLOUR = "#d9f0d2"  # the grid's colour of a marked row
# The prepared tree: folder -> {file: apparent size}. "photos" is the largest folder, so with the
# program's default order (size, descending) it is the first folder under the root.
TREE = {
    "photos": {"holiday.raw": 3_000_000, "portrait.jpg": 1_200_000, "notes.txt": 4_096},
    "music": {"song.flac": 900_000, "list.m3u": 300},
    "docs": {"report.pdf": 250_000, "memo.txt": 1_500},
}
DELETED = ("photos", "holiday.raw")
# Files last changed in an earlier year (noon of 15 June), for the years window.
OLD_FILES = {"music/song.flac": 2019, "docs/report.pdf": 2021, "photos/portrait.jpg": 2023}
# The listing windows: menu key, title, and a cell each must show for this tree.
LISTINGS = [("alt+f", "大きいファイル", "largest.png", r"/photos/holiday\.raw$"),
            ("alt+k", "種類別", "kinds.png", r"^raw$"),
            ("alt+y", "更新年別", "years.png", r"^2019$")]
TRACE = bool(os.environ.get("WINDOW_RUN_TRACE"))  # how long each wait took, on stderr
T0 = time.monotonic()


class Failure(Exception):
    pass


def size_text_matches(text, size):
    """Whether a size text such as "5.11 MB" or "812 B" stands for `size` bytes, to its digits."""
    m = re.fullmatch(r"\s*([\d,]+(?:\.(\d+))?)\s*(B|KB|MB|GB|TB)\s*", text or "")
    if not m:
        return False
    unit = 1024 ** ["B", "KB", "MB", "GB", "TB"].index(m.group(3))
    step = unit * 10 ** -len(m.group(2) or "")
    return abs(float(m.group(1).replace(",", "")) * unit - size) <= step / 2 + 1e-9


def wait_for(what, probe, timeout=30.0, interval=0.1):
    """Polls probe() until it returns something true; fails with `what` after timeout seconds."""
    start = time.monotonic()
    deadline = start + timeout
    while True:
        try:
            value = probe()
        except Exception:  # the tree changes under our feet while widgets come and go
            value = None
        if value:
            if TRACE:
                print(f"  {time.monotonic() - start:5.1f} s  {what} (at {time.monotonic() - T0:.1f} s)",
                      file=sys.stderr)
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class Run:
    def __init__(self, args):
        self.args = args
        self.scratch = os.path.abspath(args.scratch)
        self.pictures = os.path.abspath(args.pictures) if args.pictures else None
        self.dvo = None
        self.env = None

    # ---- the world around the program ---------------------------------------------------------

    def prepare(self):
        for sub in ("xdg-config", "xdg-data", "Documents"):
            shutil.rmtree(os.path.join(self.scratch, sub), ignore_errors=True)
            os.makedirs(os.path.join(self.scratch, sub), mode=0o700)
        self.tree = os.path.join(self.scratch, "Documents")
        for folder, files in TREE.items():
            os.makedirs(os.path.join(self.tree, folder))
            for name, size in files.items():
                with open(os.path.join(self.tree, folder, name), "wb") as f:
                    f.truncate(size)
        for path, year in OLD_FILES.items():
            when = datetime.datetime(year, 6, 15, 12).timestamp()
            os.utime(os.path.join(self.tree, path), (when, when))
        # Level 3 logs every message box and its button; Flush writes each line at once.
        key = os.path.join(self.scratch, "xdg-config", "lumetra-registry", "HKEY_CURRENT_USER",
                           "Software", "Lumetra", "DVO", "Log")
        os.makedirs(key)
        with open(os.path.join(key, "values.reg"), "w", encoding="utf-8") as f:
            f.write('"Level"="3"\n"Enable"="1"\n"Flush"="1"\n"Date"="1"\n')

    def start_display(self):
        if not os.environ.get("DISPLAY"):
            raise Failure("no DISPLAY: run this through window-run.sh")
        env = dict(os.environ)
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "QT_SCALE_FACTOR"):
            env.pop(name, None)
        env.update(XDG_CONFIG_HOME=os.path.join(self.scratch, "xdg-config"),
                   XDG_DATA_HOME=os.path.join(self.scratch, "xdg-data"),
                   XDG_RUNTIME_DIR=os.path.join(self.scratch, "run"),
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   LUMETRA_DEBUG_OUTPUT=os.path.join(self.scratch, "debug-output.txt"))
        self.env = env
        # Starts the accessibility bus before the program, which announces itself on it.
        pyatspi.Registry.getDesktop(0)

    def start_program(self):
        self.dvo = subprocess.Popen([self.args.dvo], env=self.env, cwd=self.scratch,
                                    stdout=open(os.path.join(self.scratch, "dvo-stdout.txt"), "w"),
                                    stderr=subprocess.STDOUT)

    def stop(self):
        for process in (self.dvo,):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()

    # ---- seeing: the accessibility tree and the screen ----------------------------------------

    def app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "DVO":
                return app
        return None

    def find_all(self, root, role=None, name=None, match=None, showing=True):
        """Every accessible below root with the role and name (or name pattern)."""
        found = []
        if root is None:
            return found

        def walk(node, depth):
            if node is None or depth > 30:
                return
            try:
                ok = ((role is None or node.getRoleName() == role)
                      and (name is None or node.name == name)
                      and (match is None or re.search(match, node.name or "")))
                if ok and showing:
                    ok = node.getState().contains(pyatspi.STATE_SHOWING)
                if ok:
                    found.append(node)
                count = node.childCount
            except Exception:
                return
            for i in range(min(count, 500)):
                walk(node.getChildAtIndex(i), depth + 1)

        walk(root, 0)
        return found

    def find(self, role=None, name=None, match=None, root=None):
        hits = self.find_all(root if root is not None else self.app(), role, name, match)
        return hits[0] if hits else None

    def extents(self, node):
        e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    def text_of(self, node):
        try:
            t = node.queryText()
            return t.getText(0, t.characterCount)
        except NotImplementedError:
            return node.name

    def status_text(self):
        bar = self.find(role="status bar")
        labels = self.find_all(bar, role="label") if bar else []
        return labels[0].name if labels else None

    def counter(self, caption):
        """The value label beside a counter's caption (same line, further right)."""
        title = self.find(role="label", name=caption)
        if title is None:
            return None
        _, y, _, _ = self.extents(title)
        for label in self.find_all(title.parent, role="label"):
            if label is not title and self.extents(label)[1] == y:
                return label.name
        return None

    def grid_names(self):
        """The first column of the grid, row by row: the names the user sees."""
        table = self.find(role="table")
        if table is None:
            return None
        ti = table.queryTable()
        names = []
        for row in range(ti.nRows):
            cell = ti.getAccessibleAt(row, 0)
            names.append(cell.name if cell is not None else "")
        return [n for n in names if n]

    def grid_cell(self, text):
        table = self.find(role="table")
        return self.find(role="table cell", name=text, root=table) if table else None

    def colour_at(self, x, y, w, h):
        out = subprocess.run([self.args.xshot, "colour", str(x), str(y), str(w), str(h)],
                             env=self.env, capture_output=True, text=True, check=True)
        return out.stdout.strip()

    def picture(self, name, node):
        if not self.pictures:
            return
        os.makedirs(self.pictures, exist_ok=True)
        x, y, w, h = self.extents(node)
        path = os.path.join(self.pictures, name)
        subprocess.run([self.args.xshot, "png", path, str(x), str(y), str(w), str(h)],
                       env=self.env, check=True)
        print(f"picture: {path}")

    # ---- acting: through the X server ---------------------------------------------------------

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=True)

    def click(self, node, button=1, dx=None):
        x, y, w, h = self.extents(node)
        px = x + (w // 2 if dx is None else dx)
        # No --sync: it waits for a pointer motion, and there is none when the pointer is there.
        self.xdotool("mousemove", str(px), str(y + h // 2), "click", str(button))

    def visible_windows(self):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "DVO"],
                             env=self.env, capture_output=True, text=True).stdout
        return set(out.split())

    def x_windows(self, title):
        return subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^" + re.escape(title) + "$"],
            env=self.env, capture_output=True, text=True).stdout.split()

    def focus_window(self, title):
        wid = wait_for(f"the X window {title!r}", lambda: self.x_windows(title))
        self.xdotool("windowfocus", "--sync", wid[-1])

    # ---- the run -------------------------------------------------------------------------------

    def run(self):
        self.prepare()
        self.start_display()
        self.start_program()
        frame = wait_for("the main window", lambda: self.find(role="frame", name=CAPTION), 60)

        # The folder: "指定..." opens the folder dialog; the path goes into its name field.
        self.click(wait_for("the button 指定...", lambda: self.find(role="push button", name="指定...")))
        dialog = wait_for("the folder dialog",
                          lambda: self.find(role="dialog", name="検索フォルダ指定"), 30)
        self.focus_window("検索フォルダ指定")
        windows = self.visible_windows()  # the main window and the dialog
        self.xdotool("key", "--clearmodifiers", "ctrl+a")
        self.xdotool("type", "--delay", "10", self.tree)
        wait_for("the typed folder in the dialog", lambda: any(
            self.text_of(t) == self.tree for t in self.find_all(dialog, role="text")), 15)
        # Return goes first to the name field's completion list when it has opened (a window of
        # its own); then once more to the dialog, which takes the typed folder.
        # Whether a window is open is asked of the X server: the accessibility tree may keep a
        # closed dialog for a while.
        def dialog_open():
            return bool(self.x_windows("検索フォルダ指定"))
        for attempt in range(6):
            if not dialog_open():
                break
            completion = self.visible_windows() - windows
            self.xdotool("key", "Return")
            try:
                if completion:
                    wait_for("the completion list to close",
                             lambda: not (self.visible_windows() & completion), 10)
                else:
                    wait_for("the folder dialog to close", lambda: not dialog_open(), 15)
            except Failure:
                pass
        if dialog_open():
            raise Failure("the folder dialog did not take the typed folder")
        wait_for("the chosen folder in the window", lambda: [
            t for t in self.find_all(frame, role="text") if self.text_of(t) == self.tree], 10)[0]

        # The search.
        self.click(self.find(role="push button", name="実行"))
        wait_for(f"the status {FINISHED!r}", lambda: self.status_text() == FINISHED, 120)
        self.picture("search.png", frame)
        files = sum(len(f) for f in TREE.values())
        total = sum(sum(f.values()) for f in TREE.values())
        shown_files = self.counter("ファイル数")
        shown_size = self.counter("フォルダサイズ")
        if re.sub(r"\D", "", shown_files or "") != str(files):
            raise Failure(f"ファイル数 shows {shown_files!r}, the tree has {files} files")
        if not size_text_matches(shown_size, total):
            raise Failure(f"フォルダサイズ shows {shown_size!r}, the files hold {total} bytes")

        # Each listing window from its menu key: it shows the result, and goes with Escape.
        for key, title, picture, cell in LISTINGS:
            self.focus_window(CAPTION)
            self.xdotool("key", "--clearmodifiers", key)
            # A window with an owner shows as a filler, not a frame, in the accessibility tree.
            listing = wait_for(f"the window {title!r}", lambda: next(
                (n for n in self.find_all(self.app(), name=title)
                 if n.getRoleName() in ("frame", "filler", "window")), None), 20)
            wait_for(f"a cell matching {cell!r} in {title!r}",
                     lambda: self.find(role="table cell", match=cell, root=listing), 20)
            self.picture(picture, listing)
            self.focus_window(title)
            self.xdotool("key", "Escape")
            wait_for(f"the window {title!r} to close", lambda: not self.x_windows(title), 10)

        # A folder in the tree lists its entries in the grid, largest first.
        folder, victim = DELETED
        tree = self.find(role="tree")
        item = wait_for(f"the folder {folder!r} in the tree",
                        lambda: self.find(name=folder, root=tree), 20)
        self.click(item)
        # Below the first level the entries keep the engine's order until a sort is chosen.
        expected = sorted(TREE[folder])
        wait_for(f"the grid to list {expected}", lambda: sorted(self.grid_names()) == expected, 20)

        # Mark the row: it turns the mark colour.
        cell = self.grid_cell(victim)
        self.click(cell)
        x, y, w, h = self.extents(cell)
        wait_for("the mark colour on the clicked row",
                 lambda: self.colour_at(x + 1, y + 1, w - 2, h - 2) == MARK_COLOUR, 10)
        self.picture("main.png", frame)

        # "削除" from the grid's pop-up menu, and "Yes" to the question.
        # The pop-up menu is not in the accessibility tree (it belongs to no window of its own
        # there): wait for its X window, then walk to its third shown item, "削除", by keys. The
        # question's text below proves which item it was.
        before = self.visible_windows()
        self.click(cell, button=3)
        wait_for("the pop-up menu", lambda: self.visible_windows() - before, 10)
        self.xdotool("key", "--delay", "50", "Down", "Down", "Down", "Return")
        question = wait_for("the delete question", lambda: self.find(
            role="label", match=r"^ファイル：.*" + re.escape(victim) + r" を削除しますか？$"), 20)
        box = question
        while box is not None and box.getRoleName() not in ("dialog", "alert", "frame"):
            box = box.parent
        self.picture("delete.png", box if box is not None else question)
        self.click(wait_for("the button Yes", lambda: self.find(role="push button", match=r"^&?Yes$",
                                                                  root=box), 10))
        rest = [n for n in expected if n != victim]
        wait_for(f"the grid to list {rest}", lambda: sorted(self.grid_names()) == rest, 20)
        self.check_disk(folder, victim)
        self.check_log(folder, victim)

        # Close through the menu, and confirm.
        self.click(self.find(role="menu item", name="ファイル"))
        self.click(wait_for("終了 in the menu",
                            lambda: self.find(role="menu item", match=r"^終了(\t|$)"), 10))
        wait_for("the closing question", lambda: self.find(role="label", name="プログラムを終了します"), 20)
        self.click(wait_for("the button OK", lambda: self.find(role="push button", name="OK"), 10))
        try:
            code = self.dvo.wait(30)
        except subprocess.TimeoutExpired:
            raise Failure("DVO did not end after the confirmed close")
        if code != 0:
            raise Failure(f"DVO ended with status {code}")

    def check_disk(self, folder, victim):
        source = os.path.join(self.tree, folder, victim)
        if os.path.lexists(source):
            raise Failure(f"{source} is still there after the delete")
        trash = os.path.join(self.scratch, "xdg-data", "Trash")
        kept = os.path.join(trash, "files", victim)
        if not os.path.isfile(kept) or os.path.getsize(kept) != TREE[folder][victim]:
            raise Failure(f"{kept} is not the deleted file")
        info_path = os.path.join(trash, "info", victim + ".trashinfo")
        with open(info_path, encoding="utf-8") as f:
            info = f.read().splitlines()
        if info[0] != "[Trash Info]":
            raise Failure(f"{info_path} does not start with [Trash Info]")
        fields = dict(line.split("=", 1) for line in info[1:] if "=" in line)
        if urllib.parse.unquote(fields.get("Path", "")) != os.path.realpath(source):
            raise Failure(f"{info_path} names {fields.get('Path')!r}, not {source!r}")
        stamp = datetime.datetime.strptime(fields.get("DeletionDate", ""), "%Y-%m-%dT%H:%M:%S")
        if abs((datetime.datetime.now() - stamp).total_seconds()) > 600:
            raise Failure(f"{info_path} has the deletion date {stamp}")
        others = set(os.listdir(os.path.join(trash, "files")))
        if others != {victim}:
            raise Failure(f"the trash holds {sorted(others)}, not only {victim}")

    def check_log(self, folder, victim):
        logs = os.path.join(self.scratch, "xdg-data", "Lumetra", "DVO")
        names = sorted(n for n in os.listdir(logs) if re.fullmatch(r"DVO_\d{8}\.txt", n))
        if not names:
            raise Failure(f"no operation log in {logs}: {os.listdir(logs)}")
        text = "".join(open(os.path.join(logs, n), encoding="utf-8", errors="replace").read()
                       for n in names)
        question = f"メッセージ出力：[ファイル：{os.path.join(self.tree, folder)}"
        answer = "メッセージダイアログボタン：[Yes]クリック"
        lines = text.splitlines()
        asked = [i for i, l in enumerate(lines) if question in l and f"{victim} を削除しますか？]" in l]
        answered = [i for i, l in enumerate(lines) if answer in l]
        if not asked or not answered or answered[-1] < asked[-1]:
            raise Failure("the operation log lacks the question and its Yes:\n" + text[-3000:])

    def dump(self):
        """The accessibility tree and a picture of the screen, for a failed run."""
        try:
            path = os.path.join(self.scratch, "failure.png")
            subprocess.run([self.args.xshot, "png", path], env=self.env, timeout=20)
            print(f"screen at the failure: {path}", file=sys.stderr)
            for node in self.find_all(self.app(), showing=True)[:300]:
                try:
                    where = self.extents(node)
                except Exception:
                    where = ""
                print(f"  {node.getRoleName()} {node.name!r} {where}", file=sys.stderr)
        except Exception as e:
            print(f"(no dump: {e!r})", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dvo", required=True)
    parser.add_argument("--xshot", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--pictures")
    args = parser.parse_args()
    run = Run(args)
    started = time.monotonic()
    try:
        run.run()
    except Failure as e:
        print(f"window run FAILED: {e}", file=sys.stderr)
        run.dump()
        return 1
    finally:
        run.stop()
    print(f"window run passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
