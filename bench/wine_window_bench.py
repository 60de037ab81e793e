#!/usr/bin/env python3
"""The window's start under Wine, beside the Linux figures.

k40drive.exe --start launches k40tool.exe (CreateProcess, in a Wine that is
already running: the wineserver's own start is not the program's) and times
from the launch to the sheet being visible and to its first page showing;
then reads the working set (GetProcessMemoryInfo; under Wine the resident
memory of the process, Wine's own libraries included) and closes the sheet by
its exit button. One run to warm the prefix up, then RUNS measured ones.
Goals: visible within 100 ms, working set under 15 MB.

Usage: wine_window_bench.py BUILD_WINDOWS [RUNS]
"""
import json
import os
import shutil
import statistics
import sys
import tempfile

# No __pycache__ in the source tree for the modules imported below.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "windows"))
import wine_prefix  # noqa: E402
import wine_window  # noqa: E402

# The Linux k40tool's figures (Qt 6, xcb), for comparison.
LINUX_VISIBLE_MS, LINUX_MB = 55.0, 36.0
GOAL_VISIBLE_MS, GOAL_MB = 100.0, 15.0


def start_once(prefix, drive, tool):
    """(ms to visible, ms to the first page, working set in MB) of one start."""
    r = wine_prefix.run(prefix, drive, "--start", "Z:" + tool.replace("/", "\\"), "info",
                        "close", capture_output=True, encoding="utf-8", timeout=120)
    found, info, closed = [json.loads(line) for line in r.stdout.splitlines()]
    if r.returncode != 0 or not closed.get("exited"):
        raise RuntimeError("k40drive: %s %s" % (r.stdout, r.stderr))
    return found["visible_ms"], found["page_ms"], info["working_set"] / 2**20


def main():
    windows = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    drive = os.path.join(windows, "tests", "windows", "drive", "k40drive.exe")
    tool = os.path.join(windows, "console", "k40tool.exe")
    work = tempfile.mkdtemp(prefix="k40-wine-window-bench-")
    prefix = None
    try:
        os.environ["K40_WINE_DISPLAY"] = wine_window.start_xvfb(work)
        prefix = wine_prefix.copy(os.path.join(windows, "wine", "prefix"), work)
        wine_window.set_up_registry(work, prefix)
        start_once(prefix, drive, tool)
        samples = [start_once(prefix, drive, tool) for _ in range(runs)]
    finally:
        if prefix:
            wine_prefix.stop(prefix)
        wine_window.stop_xvfb(work)
        shutil.rmtree(work, ignore_errors=True)
    visible, page, mb = zip(*samples)
    print("3. k40tool.exe under Wine: from the launch to the sheet visible, and its working set"
          " (%d starts)" % runs)
    print("%-26s %9s %9s %9s  %s" % ("", "median", "worst", "Linux", "goal"))
    rows = [("visible, ms", visible, LINUX_VISIBLE_MS, GOAL_VISIBLE_MS),
            ("first page shown, ms", page, None, None),
            ("working set, MB", mb, LINUX_MB, GOAL_MB)]
    for name, values, linux, goal in rows:
        verdict = ""
        if goal is not None:
            verdict = "%s (goal < %g)" % ("PASS" if max(values) < goal else "FAIL", goal)
        print("%-26s %9.1f %9.1f %9s  %s" % (name, statistics.median(values), max(values),
                                             "%.1f" % linux if linux else "", verdict))
    return 0


if __name__ == "__main__":
    sys.exit(main())
