#!/usr/bin/env python3
"""The fleet exporter: /probe over 100 targets asked all at once.

100 `k40sim --static --listen 127.0.0.1:0` (each a unit behind a device server
of its own, RTU over TCP) and one `k40ctl serve --probe --probe-parallel 16`
without --port, the exporter alone. Then GET /probe?target=tcp://...&slave=1
for every target at the same instant, each on a connection of its own with
X-Prometheus-Scrape-Timeout-Seconds: 10, as a Prometheus with 100 targets whose
scrapes fell together would send them. The figure is the time from the
requests to the last answer. Goal: every one answered 200 with k40_up 1, all
within the 10 s of the scrape time-out. A second run does the same with the
simulators paced at 9600 baud, as units on real lines (no goal: it shows how
the probes queue when each takes a line's time).

The simulators are started before and stopped after, all of them; should
this script die, they and serve get SIGTERM from the system.

Usage: serve_probe_bench.py K40CTL K40SIM [TARGETS]
"""
import os
import re
import socket
import sys
import tempfile
import threading
import time
import urllib.parse

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_process import BenchError, Serve, start_sim, stop  # noqa: E402

PARALLEL = 16
SCRAPE_TIMEOUT = 10
UP = re.compile(rb"^k40_up\{[^}]*\} 1$", re.M)


def probe_request(port, target):
    query = urllib.parse.urlencode({"target": target, "slave": "1"})
    return ("GET /probe?%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n"
            "X-Prometheus-Scrape-Timeout-Seconds: %d\r\nConnection: close\r\n\r\n" %
            (query, port, SCRAPE_TIMEOUT)).encode()


def read_all(sock, deadline):
    """Everything until the server closes (Connection: close) or the deadline."""
    data = b""
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return data, False
        sock.settimeout(left)
        try:
            chunk = sock.recv(1 << 16)
        except socket.timeout:
            return data, False
        if not chunk:
            return data, True
        data += chunk


def probe_all(serve, targets):
    """All probes at once: a list of (seconds, status, up) in target order;
    status 0 when no complete answer came within the scrape time-out."""
    sockets = [socket.create_connection(("127.0.0.1", serve.port), timeout=5) for _ in targets]
    results = [None] * len(targets)
    go = threading.Event()
    start = [0.0]

    def one(i):
        go.wait()
        request = probe_request(serve.port, targets[i])
        deadline = start[0] + SCRAPE_TIMEOUT
        try:
            sockets[i].sendall(request)
            data, complete = read_all(sockets[i], deadline)
        except OSError:
            data, complete = b"", False
        took = time.monotonic() - start[0]
        status = int(data[9:12]) if complete and data.startswith(b"HTTP/1.1 ") else 0
        results[i] = (took, status, bool(UP.search(data)))

    threads = [threading.Thread(target=one, args=(i,)) for i in range(len(targets))]
    for t in threads:
        t.start()
    time.sleep(0.2)  # every thread waits at the start line
    start[0] = time.monotonic()
    go.set()
    for t in threads:
        t.join(SCRAPE_TIMEOUT + 5)
    for s in sockets:
        s.close()
    return results


def run(k40ctl, k40sim, work, count, pace):
    sims = []
    try:
        for i in range(count):
            sims.append(start_sim(k40sim, work, "sim%d" % i, "--listen", "127.0.0.1:0", *pace))
        targets = [line for _, line in sims]
        if not all(t.startswith("tcp://127.0.0.1:") for t in targets):
            raise BenchError("a k40sim did not say its address: %r" % targets)
        with Serve(k40ctl, work, [], ["--probe", "--probe-parallel", str(PARALLEL)]) as serve:
            # One probe beforehand: the exporter is up and the path is right.
            status, body = serve.get("/probe?" + urllib.parse.urlencode(
                {"target": targets[0], "slave": "1"}))
            if status != 200 or not UP.search(body):
                raise BenchError("the first probe failed (%d): %s" % (status, body[:300]))
            results = probe_all(serve, targets)
            _, metrics = serve.get("/metrics")
            if serve.process.poll() is not None:
                raise BenchError("k40ctl serve ended: " + serve.stderr_text())
    finally:
        for sim, _ in sims:
            stop(sim)
    counted = dict(re.findall(rb'k40_probes_total\{result="(\w+)"\} (\d+)', metrics))
    return results, {k.decode(): int(v) - (1 if k == b"up" else 0) for k, v in counted.items()}


def main():
    k40ctl, k40sim = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    print("serve 3. serve --probe --probe-parallel %d (no --port), %d k40sim --listen 127.0.0.1:0 "
          "probed all at once, scrape time-out %d s" % (PARALLEL, count, SCRAPE_TIMEOUT))
    print("%-22s %7s %9s %6s %14s %14s %12s  %s" % (
        "targets", "200 up", "200 down", "other", "up: median s", "up: last s", "last any s",
        "exporter counted"))
    verdict = None
    with tempfile.TemporaryDirectory() as work:
        for name, pace in (("k40sim without pacing", []), ("k40sim --baud 9600", ["--baud",
                                                                                   "9600"])):
            try:
                results, counted = run(k40ctl, k40sim, work, count, pace)
            except BenchError as e:
                print("serve_probe_bench: %s" % e, file=sys.stderr)
                return 1
            times = sorted(r[0] for r in results)
            ups = sorted(r[0] for r in results if r[1] == 200 and r[2]) or [float("nan")]
            up = sum(1 for r in results if r[1] == 200 and r[2])
            down = sum(1 for r in results if r[1] == 200 and not r[2])
            other = [r[1] for r in results if r[1] != 200]
            answered_all = times[-1] if up == count else float("nan")
            print("%-22s %7d %9d %6d %14.3f %14.3f %12.3f  %s" % (
                name, up, down, len(other), ups[len(ups) // 2], ups[-1], times[-1],
                ", ".join("%s %d" % kv for kv in sorted(counted.items()))))
            if other:
                print("%22s statuses other than 200: %s" % (
                    "", ", ".join("%d x %d" % (other.count(s), s) for s in sorted(set(other)))))
            if verdict is None:
                met = up == count and answered_all <= SCRAPE_TIMEOUT
                verdict = "all %d answered up in %.3f s: %s (goal every probe up within %d s)" % (
                    count, times[-1], "PASS" if met else "FAIL", SCRAPE_TIMEOUT) if met else \
                    "%d of %d answered up, the last answer after %.3f s: FAIL (goal every " \
                    "probe up within %d s)" % (up, count, times[-1], SCRAPE_TIMEOUT)
    print(verdict)
    print("(the paced run has no goal)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
