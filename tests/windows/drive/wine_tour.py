#!/usr/bin/env python3
"""The guided tour of the Windows demo (scripts/demo --windows): k40tool.exe
under Wine on an Xvfb of its own, COM1 mapped to the Linux k40sim's
pseudo-terminal in a prefix of its own; k40drive.exe presses what an engineer
presses on first contact with a unit, as the Linux tour does, and an X
screenshot (xwd, netpbm) of the window is saved after each step, with the
message box over it when one is up.

    wine_tour.py WINDOWS_BUILD LINUX_BUILD OUT_DIR
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

# No __pycache__ in the source tree for the modules imported below.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
import wine_prefix  # noqa: E402
import wine_window  # noqa: E402
from k40tool_wine_e2e import drive  # noqa: E402
from linux_sim import LinuxSim  # noqa: E402

# name, page, button (0: none), what the step shows, the box it must end with
STEPS = [
    ("01-start", 0, 0, "The program starts on the serial settings page.", None),
    ("02-set-port", 0, 1030, "Press \"设  置\": COM1 at 9600 baud, slave 1.", "串口初始化成功!"),
    ("03-read-ai", 1, 1008, "Read data: \"03读AI\", the nine analog values.", None),
    ("04-read-di", 1, 1006, "Read data: \"01读DI\", the fifteen status bits.", None),
    ("05-manual", 2, 1015, "Control: \"手 动\", the system to manual operation.", "操作成功!"),
    ("06-read-di-manual", 1, 1006, "Read \"01读DI\" again: row 000 now shows 1 (manual).", None),
    ("07-version", 3, 0, "The version page.", None),
]


def union(a, b):
    return [min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3])]


def pnm_of(display, *window):
    """A window (or the whole screen) as PNM, through xwd."""
    xwd = subprocess.run(["xwd", "-silent", "-display", display, *(window or ["-root"])],
                         capture_output=True, check=True).stdout
    return subprocess.run(["xwdtopnm"], input=xwd, capture_output=True, check=True).stdout


def x_window_at(display, rect):
    """The X window id of the top-level window whose place is rect, or None."""
    tree = subprocess.run(["xwininfo", "-root", "-children", "-display", display],
                          capture_output=True, text=True, check=True).stdout
    size = "%dx%d+%d+%d" % (rect[2] - rect[0], rect[3] - rect[1], rect[0], rect[1])
    for line in tree.splitlines():
        fields = line.split()
        if fields and fields[0].startswith("0x") and size in line:
            return fields[0]
    return None


def shoot(display, rect, path, box=None):
    """The screen's part under rect (left, top, right, bottom) as PNG. A
    message box under Xvfb reads back black from the screen, though it is
    drawn: its own window's picture is laid over the screen's."""
    screen = pnm_of(display)
    box_id = x_window_at(display, box) if box else None
    if box_id:
        with tempfile.NamedTemporaryFile(suffix=".pnm") as picture:
            picture.write(pnm_of(display, "-id", box_id))
            picture.flush()
            screen = subprocess.run(["pnmpaste", picture.name, str(box[0]), str(box[1])],
                                    input=screen, capture_output=True, check=True).stdout
    left, top = max(rect[0], 0), max(rect[1], 0)
    cut = subprocess.run(["pnmcut", "-left", str(left), "-top", str(top), "-width",
                          str(rect[2] - left), "-height", str(rect[3] - top)],
                         input=screen, capture_output=True, check=True).stdout
    with open(path, "wb") as f:
        f.write(subprocess.run(["pnmtopng"], input=cut, capture_output=True,
                               check=True).stdout)


def prepare_prefix(windows, work, device):
    """A copy of the build's prefix: the CJK font linked to the dialog fonts,
    windows that Wine frames itself (Xvfb has no window manager to draw their
    caption bars), COM1 mapped to device and every other COM port nowhere."""
    base = os.path.join(windows, "wine", "prefix")
    wine_prefix.run(base, "cmd", "/c", "exit", stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)  # made on first use
    prefix = wine_prefix.copy(base, work)
    wine_window.set_up_registry(work, prefix)
    wine_prefix.map_ports(prefix, {"COM1": device})
    return prefix


def tour(prefix, display, out):
    """Runs the steps; returns the screenshots saved and whether all went as expected."""
    saved, ok = [], True
    for name, page, button, what, box in STEPS:
        print(what, flush=True)
        steps = ["page:%d" % page] + (["click:%d" % button] if button else [])
        done = drive(prefix, *steps, "info")
        rect, shown, box_rect = done[-1]["rect"], None, None
        if done[-2].get("box"):
            up = drive(prefix, "showbox")[0]
            shown, box_rect = up["text"], up["rect"]
            rect = union(rect, box_rect)
        path = os.path.join(out, name + ".png")
        shoot(display, rect, path, box_rect)
        saved.append(path)
        if shown:
            drive(prefix, "box")
            print("    message: " + shown)
        if shown != box:
            print("    (expected: %s)" % box)
            ok = False
        if name.startswith("06"):
            rows = drive(prefix, "list:1010")[0]["rows"]
            ok = ok and rows[0][2] == "1"
    ok = drive(prefix, "close")[0]["exited"] and ok
    return saved, ok


def main():
    windows, linux, out = sys.argv[1:4]
    os.environ.update(K40SIM=os.path.join(linux, "sim", "k40sim"),
                      K40DRIVE_EXE=os.path.join(windows, "tests", "windows", "drive",
                                                "k40drive.exe"))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    work = tempfile.mkdtemp(prefix="k40-demo-windows-")
    sim = prefix = tool = None
    try:
        display = wine_window.start_xvfb(work)
        os.environ["K40_WINE_DISPLAY"] = display
        sim = LinuxSim(work, "com1")
        print("k40sim, the simulated unit, is on %s (COM1 under Wine)" % sim.device)
        prefix = prepare_prefix(windows, work, sim.device)
        tool = wine_prefix.spawn(prefix, os.path.join(windows, "console", "k40tool.exe"))
        saved, ok = tour(prefix, display, out)
        print("\nWhat the simulated unit saw (request, reply):")
        print("\n".join("  %s  %s" % frame for frame in sim.frames()))
    finally:
        if tool and tool.poll() is None:
            tool.kill()
        if prefix:
            wine_prefix.stop(prefix)
        if sim:
            sim.kill()
        wine_window.stop_xvfb(work)
        shutil.rmtree(work, ignore_errors=True)
    print("\nScreenshots:\n" + "\n".join("  " + p for p in saved))
    if not ok:
        print("\nThe tour did not go as expected.")
    return 0 if ok else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:  # Ctrl+C: cleaned up on the way out
        sys.exit(130)
