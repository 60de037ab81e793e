#!/usr/bin/env python3
"""The Windows programs' speed under Wine, beside the Linux figures.

1. k40ctl.exe's watch rate against k40sim --baud B on a pseudo-terminal mapped
   as COM5 (the method of ctl_watch_bench.py): goal 95 % of the line-limited
   rate at 9600 baud, 90 % at 38400; the Linux k40ctl on the same simulator
   beside it.
2. The processor time bench_wait_win32.exe uses (GetProcessTimes) while an
   exchange waits out a 1500 ms time-out on a silent simulator: goal < 2 %.

Usage: wine_bench.py BUILD_WINDOWS LINUX_BUILD [SECONDS]
"""
import os
import shutil
import subprocess
import sys
import tempfile

# No __pycache__ in the source tree for the modules imported below.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "windows"))
import wine_prefix  # noqa: E402
from ctl_watch_bench import GOALS, ctl_rate, line_limit  # noqa: E402


def start_sim(k40sim, work, name, *args):
    sim = subprocess.Popen([k40sim, "--link", os.path.join(work, name), "--quiet", "--static"] +
                           list(args), stdout=subprocess.PIPE, text=True)
    sim.stdout.readline()
    return sim, os.path.realpath(os.path.join(work, name))


def stop_sim(sim):
    sim.terminate()
    sim.wait()
    sim.stdout.close()


def main():
    windows, linux = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0
    k40sim = os.path.join(linux, "sim", "k40sim")
    work = tempfile.mkdtemp(prefix="k40-wine-bench-")
    prefix = wine_prefix.copy(os.path.join(windows, "wine", "prefix"), work)
    exe = [wine_prefix.WINE_RUN, prefix, os.path.join(windows, "cli", "k40ctl.exe")]
    try:
        print("1. k40ctl watch ai --interval 0 against k40sim --baud B, %.0f s a rate" % seconds)
        print("%-6s %12s %14s %8s %11s %12s  %s" % ("baud", "line limit/s", "k40ctl.exe/s",
                                                    "of limit", "replies", "Linux k40ctl/s",
                                                    "goal"))
        for baud in (9600, 38400):
            sim, pty = start_sim(k40sim, work, "tty%d" % baud, "--baud", str(baud))
            try:
                wine_prefix.map_ports(prefix, {"COM5": pty})
                rate, replies, total = ctl_rate(exe, "COM5", baud, seconds)
                linux_rate = ctl_rate([os.path.join(linux, "cli", "k40ctl")], pty, baud,
                                      seconds)[0]
            finally:
                stop_sim(sim)
            share = rate / line_limit(baud)
            verdict = "PASS" if share >= GOALS[baud] and replies == total else "FAIL"
            print("%-6d %12.2f %14.2f %7.1f%% %5d/%-5d %12.2f  %s (goal %.0f %%)" %
                  (baud, line_limit(baud), rate, 100 * share, replies, total, linux_rate,
                   verdict, 100 * GOALS[baud]))

        print("\n2. processor time while one exchange waits out 1500 ms (GetProcessTimes)")
        sim, pty = start_sim(k40sim, work, "silent", "--fault", "silent")
        try:
            wine_prefix.map_ports(prefix, {"COM5": pty})
            out = wine_prefix.run(prefix, os.path.join(windows, "bench", "bench_wait_win32.exe"),
                                  "COM5", "3", capture_output=True, text=True).stdout
        finally:
            stop_sim(sim)
        print(out.rstrip())
        worst = float(out.split("worst cpu ")[1].split(" ms")[0]) if "worst cpu" in out else 1e9
        print("%s (goal < 2 %%, 30 ms)" % ("PASS" if worst < 30 else "FAIL"))
        print("Linux: build-bench/bench/bench_wait (scripts/bench) measures the same wait.")
    finally:
        wine_prefix.stop(prefix)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
