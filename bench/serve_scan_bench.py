#!/usr/bin/env python3
"""serve's scan rate under load, beside `watch all`, against the line limit.

Each polls a `k40sim --static --baud 9600` on a pseudo-terminal with --interval
0, each its own simulator, one after the other in the same run: first `k40ctl
watch all`, then `k40ctl serve` alone (no goal: it tells the poller's own cost
from the clients'), then serve with 100 clients reading /api/v1/events and one
GET /metrics a second. A scan of all is two exchanges, 03 on 100..108 (8
characters out, 23 back) and 01 on 0..14 (8 out, 7 back), each with the
simulator's 3.5-character pause before its reply: the line allows at most
1 / (46 * 10 / 9600 + 2 * 3.5 * 10 / 9600) = 18.11 scans a second.

The scans are counted where they arrive, in each simulator's --trace: the 03
requests made in a window of SECONDS that starts once the load is on, the rate
being the scans from the first to the last of them over their time apart.
Goal: serve at least 95 % of the line's rate, every event client served
throughout (each got every scan event of the window) and every scrape 200.

Usage: serve_scan_bench.py K40CTL K40SIM [SECONDS]
"""
import os
import selectors
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_process import BenchError, Serve, end_with_parent, start_sim, stop  # noqa: E402

BAUD = 9600
GOAL = 0.95
CLIENTS = 100
SCAN_REQUEST = "010300640009C413"  # the first exchange of a scan of all
SETTLE = 1.0  # seconds between the load being on and the window


def line_limit(baud):
    pause = 3.5 * 10 / baud if baud <= 19200 else 0.00175
    return 1.0 / ((8 + 23 + 8 + 7) * 10 / baud + 2 * pause)


def trace_lines(path):
    """The complete lines of a k40sim trace so far, without its comments."""
    with open(path) as trace:
        text = trace.read()
    return [line for line in text[:text.rfind("\n") + 1].splitlines()
            if line and not line.startswith("#")]


def window(trace, seconds, during=None):
    """Waits `seconds` and returns the trace lines written meanwhile; during()
    is called at the window's start and end (for the clients' counts)."""
    start = len(trace_lines(trace))
    if during:
        during()
    time.sleep(seconds)
    lines = trace_lines(trace)[start:]
    if during:
        during()
    return lines


def rate_of(lines):
    """(scans a second, scans, the median and the longest time from one scan's
    start to the next in ms, all requests answered) from trace lines."""
    times = [float(f[1]) for f in (line.split() for line in lines) if f[2] == SCAN_REQUEST]
    replied = all(line.split()[3] == "reply" for line in lines)
    if len(times) < 2:
        raise BenchError("fewer than two scans in the window")
    periods = sorted(b - a for a, b in zip(times, times[1:]))
    return ((len(times) - 1) / ((times[-1] - times[0]) / 1000.0), len(times),
            periods[len(periods) // 2], periods[-1], replied)


def wait_for(cond, timeout, what):
    deadline = time.monotonic() + timeout
    while not cond():
        if time.monotonic() > deadline:
            raise BenchError("timed out waiting for " + what)
        time.sleep(0.02)


def watch_rate(k40ctl, k40sim, work, seconds):
    trace = os.path.join(work, "trace-watch")
    sim, tty = start_sim(k40sim, work, "tty-watch", "--baud", str(BAUD), "--trace", trace)
    # Bounded by its count too: it ends by itself a little after the window.
    count = int(line_limit(BAUD) * (seconds + SETTLE + 10))
    watch = None
    try:
        watch = subprocess.Popen([k40ctl, "--port", tty, "--baud", str(BAUD), "watch", "all",
                                  "--interval", "0", "--count", str(count), "--format", "json"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 preexec_fn=end_with_parent)
        wait_for(lambda: len(trace_lines(trace)) >= 2, 10, "watch's first scan")
        time.sleep(SETTLE)
        return rate_of(window(trace, seconds))
    finally:
        if watch:
            stop(watch)
        stop(sim)


class EventClients:
    """CLIENTS connections reading /api/v1/events on one thread, counting the
    scan events each got; bounded by a deadline."""

    PATTERN = b"event: scan\n"

    def __init__(self, port, count, deadline):
        self.selector = selectors.DefaultSelector()
        self.head = [b""] * count
        self.scans = [0] * count
        self.closed = [False] * count
        self.tail = [b""] * count
        self.deadline = deadline
        self.stopping = threading.Event()
        request = ("GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n"
                   "Accept: text/event-stream\r\n\r\n" % port).encode()
        self.sockets = []
        for i in range(count):
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            s.sendall(request)
            s.setblocking(False)
            self.selector.register(s, selectors.EVENT_READ, i)
            self.sockets.append(s)
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopping.is_set() and time.monotonic() < self.deadline:
            for key, _ in self.selector.select(0.2):
                i = key.data
                try:
                    data = key.fileobj.recv(1 << 16)
                except BlockingIOError:
                    continue
                except OSError:
                    data = b""
                if not data:
                    self.closed[i] = True
                    self.selector.unregister(key.fileobj)
                    continue
                if len(self.head[i]) < 12:
                    self.head[i] += data[:12]
                seen = self.tail[i] + data
                self.scans[i] += seen.count(self.PATTERN)
                # What could be the start of a pattern split between two reads.
                # (too short to hold a whole one, so none is counted twice).
                self.tail[i] = seen[-(len(self.PATTERN) - 1):]

    def all_streaming(self):
        return all(h.startswith(b"HTTP/1.1 200") and n > 0
                   for h, n in zip(self.head, self.scans))

    def close(self):
        self.stopping.set()
        self.thread.join()
        for s in self.sockets:
            s.close()


class Scraper:
    """One GET /metrics a second, keeping each one's status and time."""

    def __init__(self, serve, deadline):
        self.serve = serve
        self.deadline = deadline
        self.results = []  # (status, ms)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopping.is_set() and time.monotonic() < self.deadline:
            start = time.monotonic()
            try:
                status, _ = self.serve.get("/metrics", timeout=5)
            except OSError:
                status = 0
            self.results.append((status, (time.monotonic() - start) * 1000))
            self.stopping.wait(max(0.0, 1.0 - (time.monotonic() - start)))

    def close(self):
        self.stopping.set()
        self.thread.join()


def serve_rate(k40ctl, k40sim, work, seconds, clients_count):
    """serve's rate; with clients, also what each got, how many were closed,
    the scrapes, and serve's share of a processor over the window."""
    trace = os.path.join(work, "trace-serve-%d" % clients_count)
    sim, tty = start_sim(k40sim, work, "tty-serve-%d" % clients_count, "--baud", str(BAUD),
                         "--trace", trace)
    clients = scraper = None
    try:
        with Serve(k40ctl, work, ["--port", tty, "--baud", str(BAUD)],
                   ["--interval", "0"]) as serve:
            deadline = time.monotonic() + seconds + SETTLE + 30
            if clients_count:
                clients = EventClients(serve.port, clients_count, deadline)
                scraper = Scraper(serve, deadline)
                wait_for(clients.all_streaming, 10, "every event client's first scan")
            else:
                wait_for(lambda: len(trace_lines(trace)) >= 2, 10, "serve's first scan")
            time.sleep(SETTLE)
            marks, cpu, own = [], [], []
            lines = window(trace, seconds, lambda: (
                marks.append(list(clients.scans) if clients else []),
                cpu.append(serve.cpu_seconds()),
                own.append(sum(os.times()[:2]))))
            got = [after - before for before, after in zip(*marks)]
            closed = sum(clients.closed) if clients else 0
            scrapes = []
            if clients:
                clients.close()
                scraper.close()
                scrapes = scraper.results
            if serve.process.poll() is not None:
                raise BenchError("k40ctl serve ended: " + serve.stderr_text())
            return rate_of(lines), got, closed, scrapes, (cpu[1] - cpu[0]) / seconds, \
                (own[1] - own[0]) / seconds
    finally:
        if clients:
            clients.close()
        if scraper:
            scraper.close()
        stop(sim)


def main():
    k40ctl, k40sim = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 15.0
    limit = line_limit(BAUD)
    print("serve 1. Scan rate: watch all, serve alone, then serve with %d event clients and "
          "/metrics every second; --interval 0 against k40sim --baud %d, %.0f s windows, "
          "scans counted in the simulator's trace" % (CLIENTS, BAUD, seconds))
    with tempfile.TemporaryDirectory() as work:
        try:
            watch = watch_rate(k40ctl, k40sim, work, seconds)
            alone, _, _, _, alone_busy, _ = serve_rate(k40ctl, k40sim, work, seconds, 0)
            served, got, closed, scrapes, busy, clients_busy = serve_rate(
                k40ctl, k40sim, work, seconds, CLIENTS)
        except BenchError as e:
            print("serve_scan_bench: %s" % e, file=sys.stderr)
            return 1
    print("%-40s %12s %8s %8s %6s %13s %11s %10s  %s" % (
        "", "line limit/s", "scans/s", "of limit", "scans", "period median", "period max",
        "serve cpu", "all replied"))
    for name, (rate, scans, median, longest, replied), cpu in (
            ("watch all", watch, ""),
            ("serve alone", alone, "%.1f %%" % (100 * alone_busy)),
            ("serve, %d event clients, /metrics 1/s" % CLIENTS, served, "%.1f %%" % (100 * busy))):
        print("%-40s %12.2f %8.2f %7.1f%% %6d %10.2f ms %8.1f ms %10s  %s" % (
            name, limit, rate, 100 * rate / limit, scans, median, longest, cpu,
            "yes" if replied else "NO"))
    s_rate, s_scans, _, _, s_replied = served
    ok_scrapes = sum(1 for status, _ in scrapes if status == 200)
    slowest = max((ms for _, ms in scrapes), default=0.0)
    # A client that got one scan event fewer saw the window's edge between a
    # scan's request and its event; fewer than that means events were lost.
    kept_up = all(n >= s_scans - 1 for n in got) and closed == 0
    print("event clients: scan events each in the window %d..%d (scans %d), %d closed; "
          "/metrics: %d of %d answered 200, slowest %.1f ms" %
          (min(got), max(got), s_scans, closed, ok_scrapes, len(scrapes), slowest))
    print("the line's own period %.2f ms; serve with clients / watch all: %.3f; serve cpu: "
          "its processor time over the window, of one processor (the clients here took "
          "%.1f %%)" % (1000 / limit, s_rate / watch[0], 100 * clients_busy))
    met = s_rate >= GOAL * limit and s_replied and kept_up and ok_scrapes == len(scrapes)
    print("serve with clients: %s (goal >= %.0f %% of the line limit, every client served)" %
          ("PASS" if met else "FAIL", 100 * GOAL))
    return 0


if __name__ == "__main__":
    sys.exit(main())
