#!/usr/bin/env python3
"""serve's memory and scan rate while clients press it as an attacker would.

`k40ctl serve --interval 0` polls a `k40sim --static` (no pacing) on a
pseudo-terminal, keeping its history; once it holds HISTORY seconds of scans,
the load comes on: 300 event clients that never read (each a small receive
buffer; from three loopback addresses, the limit being 128 from one), and six full-history downloads at once, each read to its end as fast
as this program can, again as soon as it ends (serve lets two run at once and
answers the others 503 with Retry-After). Sampled every 10 ms: serve's VmRSS;
counted from /metrics: k40_scans_total, the scan rate of the poller before and
under the load. Then the load goes and, 3 s later, the resident memory again.

Goals: the peak resident memory under load below 100 MB, and the poller's
rate under load at least half its rate alone.

Usage: serve_attack_bench.py K40CTL K40SIM [HISTORY_SECONDS] [LOAD_SECONDS] [CLIENTS DOWNLOADS]
"""
import os
import re
import socket
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_process import BenchError, Serve, start_sim, stop  # noqa: E402

SLOW_CLIENTS = 300
DOWNLOADS = 6
GOAL_PEAK_MB = 100.0
GOAL_RATE = 0.5


def scans(serve):
    status, body = serve.get("/metrics")
    found = re.search(rb"^k40_scans_total\{[^}]*\} (\d+)", body, re.M)
    if status != 200 or not found:
        raise BenchError("no k40_scans_total on /metrics")
    return int(found.group(1))


def rate(serve, seconds):
    first, start = scans(serve), time.monotonic()
    time.sleep(seconds)
    return (scans(serve) - first) / (time.monotonic() - start)


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        found = re.search(r"VmRSS:\s+(\d+) kB", f.read())
    return int(found.group(1)) * 1024 / 1e6 if found else 0.0


class Sampler(threading.Thread):
    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.peak, self.done = pid, 0.0, threading.Event()

    def run(self):
        while not self.done.wait(0.01):
            self.peak = max(self.peak, rss_mb(self.pid))


def download(port, stop_at, counts):
    """Full histories one after the other until stop_at: (200s, 503s, bytes)."""
    request = b"GET /api/v1/history HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" \
              b"Connection: close\r\n\r\n" % port
    while time.monotonic() < stop_at:
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            s.sendall(request)
            first = s.recv(65536)
            got = len(first)
            while time.monotonic() < stop_at:
                piece = s.recv(1 << 20)
                if not piece:
                    break
                got += len(piece)
        key = "503" if first.startswith(b"HTTP/1.1 503") else "200"
        counts[key] += 1
        counts["bytes"] += got
        if key == "503":
            time.sleep(0.2)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    k40ctl, k40sim = sys.argv[1], sys.argv[2]
    history = float(sys.argv[3]) if len(sys.argv) > 3 else 60
    load = float(sys.argv[4]) if len(sys.argv) > 4 else 10
    clients, downloads = (int(sys.argv[5]), int(sys.argv[6])) if len(sys.argv) > 6 else \
        (SLOW_CLIENTS, DOWNLOADS)
    with tempfile.TemporaryDirectory() as work:
        sim, link = start_sim(k40sim, work, "unit")
        try:
            with Serve(k40ctl, work, ["--port", link], ["--interval", "0", "--history", "1h"]) as s:
                time.sleep(history)
                alone = rate(s, 3)
                held = rss_mb(s.process.pid)
                sampler = Sampler(s.process.pid)
                sampler.start()
                slow = []
                for i in range(clients):
                    c = socket.socket()
                    c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                    c.bind(("127.0.0.%d" % (2 + i % 3), 0))  # under the 128 of one address
                    c.connect(("127.0.0.1", s.port))
                    c.sendall(b"GET /api/v1/events HTTP/1.1\r\nHost: %s\r\n\r\n" % s.host.encode())
                    slow.append(c)
                counts = {"200": 0, "503": 0, "bytes": 0}
                stop_at = time.monotonic() + load
                threads = [threading.Thread(target=download, args=(s.port, stop_at, counts))
                           for _ in range(downloads)]
                for t in threads:
                    t.start()
                loaded = rate(s, load - 1)
                for t in threads:
                    t.join(60)
                for c in slow:
                    c.close()
                sampler.done.set()
                sampler.join()
                time.sleep(3)
                after = rss_mb(s.process.pid)
                print("history held: %.0f s at --interval 0, %.1f MB resident" % (history, held))
                print("scans/s alone %.0f, under load %.0f (%.0f %%)" %
                      (alone, loaded, 100 * loaded / alone))
                print("downloads: %d whole (%.0f MB), %d answered 503" %
                      (counts["200"], counts["bytes"] / 1e6, counts["503"]))
                print("resident memory: peak %.1f MB under load (goal < %.0f), %.1f MB 3 s after"
                      % (sampler.peak, GOAL_PEAK_MB, after))
                ok = sampler.peak < GOAL_PEAK_MB and loaded >= GOAL_RATE * alone
                print("goal " + ("met" if ok else "MISSED"))
                return 0 if ok else 1
        finally:
            stop(sim)


if __name__ == "__main__":
    try:
        sys.exit(main())
    except BenchError as e:
        print("bench could not run: %s" % e, file=sys.stderr)
        sys.exit(3)
