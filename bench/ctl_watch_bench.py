#!/usr/bin/env python3
"""k40ctl's scan rate against the line limit.

`k40ctl watch ai --interval 0 --baud B` against `k40sim --baud B` (the simulator
paces a pseudo-terminal like a line at B baud: 10 bits a character, 11 with a
parity bit, and one end-of-frame pause of 3.5 characters, a fixed 1.75 ms above
19200 baud). One scan is the 8-character request and the 23-character reply, so
the line allows at most 1 / (31 * bits / B + pause) scans a second. Goal: 95 % of that at 9600,
90 % at 38400. mbpoll on the same simulator is printed beside it for
reference; it cannot poll faster than every 10 ms.

Usage: ctl_watch_bench.py K40CTL K40SIM [SECONDS [PARITY]]   (PARITY: none, even, odd)
"""
import json
import os
import subprocess
import sys
import tempfile
import time

GOALS = {9600: 0.95, 38400: 0.90}


def line_limit(baud, parity="none"):
    bits = 10 if parity == "none" else 11
    pause = 3.5 * bits / baud if baud <= 19200 else 0.00175
    return 1.0 / (31 * bits / baud + pause)


def start_sim(k40sim, baud, link, parity="none"):
    sim = subprocess.Popen([k40sim, "--link", link, "--quiet", "--static", "--baud", str(baud),
                            "--parity", parity], stdout=subprocess.PIPE, text=True)
    sim.stdout.readline()
    return sim


def ctl_rate(k40ctl, link, baud, seconds, parity="none"):
    """k40ctl: the program, or a list that runs it (k40ctl.exe under Wine)."""
    count = int(line_limit(baud, parity) * seconds)
    command = k40ctl if isinstance(k40ctl, list) else [k40ctl]
    out = subprocess.run(command + ["--port", link, "--baud", str(baud), "--parity", parity,
                                    "watch", "ai",
                          "--interval", "0", "--count", str(count), "--format", "json"],
                         capture_output=True, text=True, check=True).stdout
    records = [json.loads(line) for line in out.splitlines()]
    replies = sum(r["outcome"] == "reply" for r in records)
    times = [r["time"] for r in records]
    # ISO 8601 with milliseconds: the span from the first scan's start to the last's.
    def seconds_of(t):
        clock = t[11:23]
        h, m, s = clock.split(":")
        return int(h) * 3600 + int(m) * 60 + float(s)
    span = seconds_of(times[-1]) - seconds_of(times[0])
    return (len(records) - 1) / span, replies, len(records)


def mbpoll_rate(link, baud, seconds, parity="none"):
    proc = subprocess.Popen(["mbpoll", "-m", "rtu", "-b", str(baud), "-P", parity, "-a", "1",
                             "-r", "101", "-c", "9", "-t", "4", "-l", "10", "-o", "1", link],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    start = time.monotonic()
    time.sleep(seconds)
    proc.terminate()
    out, _ = proc.communicate()
    elapsed = time.monotonic() - start
    polls = out.count("[109]:")
    return polls / elapsed


def main():
    k40ctl, k40sim = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0
    parity = sys.argv[4] if len(sys.argv) > 4 else "none"
    print("k40ctl watch ai --interval 0 against k40sim --baud B --parity %s, %.0f s a rate" %
          (parity, seconds))
    print("%-6s %12s %12s %8s %10s %14s  %s" % ("baud", "line limit/s", "k40ctl/s", "of limit",
                                               "replies", "mbpoll/s", "goal"))
    with tempfile.TemporaryDirectory() as work:
        link = os.path.join(work, "tty")
        for baud in (9600, 38400):
            sim = start_sim(k40sim, baud, link, parity)
            try:
                rate, replies, total = ctl_rate(k40ctl, link, baud, seconds, parity)
                mb = mbpoll_rate(link, baud, min(seconds, 5.0), parity)
            finally:
                sim.terminate()
                sim.wait()
                sim.stdout.close()
            share = rate / line_limit(baud, parity)
            verdict = "PASS" if share >= GOALS[baud] and replies == total else "FAIL"
            print("%-6d %12.2f %12.2f %7.1f%% %5d/%-5d %13.2f  %s (goal %.0f %%)" %
                  (baud, line_limit(baud, parity), rate, 100 * share, replies, total, mb, verdict,
                   100 * GOALS[baud]))


if __name__ == "__main__":
    main()
