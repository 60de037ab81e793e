"""k40ctl serve end to end against real peers.

A real Prometheus server scrapes serve's /metrics and, relabelled as for a
multi-target exporter, its /probe for two k40sim --listen units; promtool
checks the texts; a Python client reads the event stream line by line as a
browser's EventSource does; the history is read back with Python's csv and
json; hostile clients (slow, many, oversized, malformed) come and go while the
unit is polled. Every byte on the wire is compared with k40sim's own trace.
The alert rule pack runs on that Prometheus and notifies through a real
Alertmanager on the example's routes, into a webhook of the test.
All traffic stays on loopback. Run by ctest with K40CTL, K40SIM, PROMETHEUS,
PROMTOOL and ALERTMANAGER set; shares the helpers of k40ctl_e2e.
"""
import csv
import datetime
import http.client
import http.server
import io
import json
import os
import re
import resource
import signal
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

import yaml
from prometheus_client.parser import text_string_to_metric_families

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import ANALOG_NAMES, K40CTL, K40SIM, NOMINAL, Sim, await_true, request  # noqa: E402
from k40ctl_watch_e2e import BIT_NAMES  # noqa: E402

PROMETHEUS = os.environ.get("PROMETHEUS", "prometheus")
PROMTOOL = os.environ.get("PROMTOOL", "promtool")
ALERTMANAGER = os.environ.get("ALERTMANAGER", "prometheus-alertmanager")
ALERTING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                        "resources", "alerting")
# k40ctl reads K40_* (port names, the echo mode) from the environment: none
# of the developer's may leak into a case.
CLEAN_ENV = {k: v for k, v in os.environ.items() if not k.startswith("K40_")}

READ_ANALOG = request(3, 100, 9)  # one scan: the nine measurements...
READ_BITS = request(1, 0, 15)     # ...then the fifteen status bits
MANUAL = request(5, 200, 0xFF00)
AUTO = request(5, 200, 0x0000)
TOKEN = "3f9c2a7d41e86b05c1d2e3f4a5b6c7d8e9f00112233445566778899aabbccdd"

# The unit's scaling, as k40tool's decoder does it: the single-precision
# factor nearest 1/32767, the result rounded to single precision and shown
# with one decimal.
_K = struct.unpack("f", struct.pack("f", 1 / 32767))[0]


def analog(raw):
    value = struct.unpack("f", struct.pack("f", (raw * _K - 1.0) * 500.0))[0]
    return float("%.1f" % value)


def analog_values(frame):
    """The nine measurements a 03 reply frame (hex) carries."""
    data = bytes.fromhex(frame)
    assert data[1] == 3 and data[2] == 18, frame
    return [analog(int.from_bytes(data[3 + 2 * i:5 + 2 * i], "big")) for i in range(9)]


def bit_values(frame):
    """The fifteen status bits a 01 reply frame (hex) carries."""
    data = bytes.fromhex(frame)
    assert data[1] == 1 and data[2] == 2, frame
    return [(data[3 + i // 8] >> (i % 8)) & 1 for i in range(15)]


def trace(path):
    """k40sim's trace: (REQUEST, OUTCOME, FRAME) a line, FRAME None for no reply."""
    if not os.path.exists(path):
        return []
    with open(path) as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    return [(r[2], r[3], None if r[6] == "-" else r[6]) for r in rows if len(r) == 9]


def unhex(text):
    return text.replace(" ", "")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def promtool(text):
    """What promtool check metrics says of a text: nothing when it is clean."""
    r = subprocess.run([PROMTOOL, "check", "metrics"], input=text, capture_output=True,
                       text=True, timeout=30)
    return r.returncode, (r.stdout + r.stderr).strip()


def families(text):
    return {fam.name: fam for fam in text_string_to_metric_families(text)}


class DriftingSim(Sim):
    """k40sim whose measurements drift: each reply of the measurements
    differs from the one before, so a run of frames that serve shows can be
    found in the trace, in its place."""

    def start(self):
        self.proc = subprocess.Popen([K40SIM, "--link", self.link, "--quiet", "--trace",
                                      self.trace] + self.args, stdout=subprocess.PIPE, text=True)
        assert self.proc.stdout.readline().strip()
        return self


class ListenSim:
    """k40sim as a serial device server on a loopback port of its choosing."""

    def __init__(self, workdir, *args):
        os.makedirs(workdir, exist_ok=True)
        self.trace = os.path.join(workdir, "sim.trace")
        self.proc = subprocess.Popen([K40SIM, "--listen", "127.0.0.1:0", "--quiet", "--static",
                                      "--trace", self.trace] + list(args),
                                     stdout=subprocess.PIPE, text=True)
        self.url = self.proc.stdout.readline().strip()  # tcp://127.0.0.1:PORT
        assert re.match(r"^tcp://127\.0\.0\.1:\d+$", self.url), self.url
        self.address = self.url[len("tcp://"):]

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)
        self.proc.stdout.close()

    def requests(self):
        return [t[0] for t in trace(self.trace)]


class Answer:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers  # names in lower case
        self.body = body

    def text(self):
        return self.body.decode("utf-8")

    def json(self):
        return json.loads(self.body)


class Serve:
    """k40ctl serve; the address it listens on is read from its own words,
    "k40ctl: serving http://HOST:PORT/". Standard error is kept line by line."""

    def __init__(self, *options, serve=(), listen="127.0.0.1:0"):
        self.proc = subprocess.Popen([K40CTL] + list(options) + ["serve", "--listen", listen]
                                     + list(serve), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     env=CLEAN_ENV)
        self.lines = []
        self.out = b""
        self.lock = threading.Lock()
        self.address = None
        self.told = threading.Event()
        self.readers = [threading.Thread(target=self._errors, daemon=True),
                        threading.Thread(target=self._output, daemon=True)]
        for t in self.readers:
            t.start()

    def _errors(self):
        for raw in self.proc.stderr:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            with self.lock:
                self.lines.append(line)
            m = re.match(r"^k40ctl: serving http://(\S+)/$", line)
            if m and self.address is None:
                self.address = m.group(1)
                self.told.set()
        self.told.set()  # it ended without listening

    def _output(self):
        for raw in self.proc.stdout:
            with self.lock:
                self.out += raw

    def stderr(self):
        with self.lock:
            return "\n".join(self.lines)

    def listening(self):
        """Waits for the line that says where it listens; the port."""
        if not self.told.wait(20) or self.address is None:
            raise AssertionError("serve did not listen (exit %s):\n%s" %
                                 (self.proc.poll(), self.stderr()))
        host, port = self.address.rsplit(":", 1)
        self.host, self.port = host.strip("[]"), int(port)
        return self

    def ended(self, timeout=10):
        """The exit status of a serve that ends by itself, with its words."""
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            return "still running after %d s" % timeout, self.stderr()
        self._reap()
        return self.proc.returncode, self.stderr()

    def _reap(self):
        for t in self.readers:
            t.join(5)
        self.proc.stdout.close()
        self.proc.stderr.close()

    def stop(self):
        """SIGTERM, as systemd stops it; the exit status."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(5)
            self._reap()
            return "still running 15 s after SIGTERM"
        self._reap()
        return self.proc.returncode

    def http(self, method, path, body=None, headers=None, timeout=15):
        conn = http.client.HTTPConnection(self.host, self.port, timeout=timeout)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            r = conn.getresponse()
            return Answer(r.status, {k.lower(): v for k, v in r.getheaders()}, r.read())
        finally:
            conn.close()

    def get(self, path, **headers):
        return self.http("GET", path, headers=headers)

    def command(self, body, headers=None):
        h = {"Content-Type": "application/json"}
        h.update(headers or {})
        return self.http("POST", "/api/v1/command",
                         body=body if isinstance(body, (bytes, str)) else json.dumps(body),
                         headers=h)

    def readings(self):
        r = self.get("/api/v1/readings")
        assert r.status == 200, (r.status, r.body)
        assert r.headers["content-type"].startswith("application/json"), r.headers
        return r.json()

    def metrics(self):
        r = self.get("/metrics")
        assert r.status == 200, (r.status, r.body)
        return r.text()


def scans(readings):
    return readings["counters"]["scans"]


class ServeCase(unittest.TestCase):
    """A folder of its own for each case; every serve started is stopped with
    SIGTERM at the end and must exit 0."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, *names):
        return os.path.join(self.dir.name, *names)

    def sim(self, name="unit", *args, kind=Sim):
        os.makedirs(self.path(name), exist_ok=True)
        sim = kind(self.path(name), *args).start()
        self.addCleanup(lambda: sim.proc.poll() is None and sim.kill())
        return sim

    def listen_sim(self, name, *args):
        sim = ListenSim(self.path(name), *args)
        self.addCleanup(sim.kill)
        return sim

    def serve(self, *options, serve=(), listen="127.0.0.1:0"):
        s = Serve(*options, serve=serve, listen=listen)
        self.addCleanup(self.assert_stops, s)
        return s.listening()

    def assert_stops(self, s):
        self.assertEqual(s.stop(), 0, s.stderr())

    def assert_sent(self, sim, expected):
        """The requests other than the scans' reads that the unit got. The
        trace's line may be written as the reply goes out: awaited."""
        sent = lambda: [x for x in sim.requests() if x not in (READ_ANALOG, READ_BITS)]
        await_true(lambda: sent() == expected, 5)
        self.assertEqual(sent(), expected)

    def await_scans(self, s, count, timeout=15):
        self.assertTrue(await_true(lambda: scans(s.readings()) >= count, timeout),
                        s.readings())


class EventReader:
    """/api/v1/events read as a browser's EventSource reads it: line by line,
    "event:" and "data:" fields, an empty line ending each event."""

    def __init__(self, serve):
        self.conn = http.client.HTTPConnection("127.0.0.1", serve.port, timeout=60)
        self.conn.request("GET", "/api/v1/events", headers={"Accept": "text/event-stream"})
        self.sock = self.conn.sock  # the connection lets go of it for a closing answer
        self.response = self.conn.getresponse()
        self.status = self.response.status
        self.headers = {k.lower(): v for k, v in self.response.getheaders()}
        self.events = []  # (name, data) in order of arrival
        self.fields = []  # every field line, for the retry and the comments
        self.lock = threading.Lock()
        self.ended = False
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        name, data = None, []
        try:
            while True:
                line = self.response.readline()
                if not line:
                    break
                line = line.decode("utf-8").rstrip("\n").rstrip("\r")
                if line == "":
                    if data:
                        with self.lock:
                            self.events.append((name or "message", "\n".join(data)))
                    name, data = None, []
                    continue
                with self.lock:
                    self.fields.append(line)
                field, _, value = line.partition(":")
                value = value[1:] if value.startswith(" ") else value
                if field == "event":
                    name = value
                elif field == "data":
                    data.append(value)
        except (OSError, ValueError, http.client.HTTPException):
            pass
        self.ended = True

    def all(self):
        with self.lock:
            return list(self.events)

    def of(self, name):
        return [json.loads(d) for n, d in self.all() if n == name]

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.thread.join(5)
        self.conn.close()


class CommandTest(ServeCase):
    """POST /api/v1/command: who may send what, and the bytes that reach the unit."""

    def reads_only(self, sim):
        return set(sim.requests()) <= {READ_ANALOG, READ_BITS}

    def test_an_exception_answer_is_named_in_english_too(self):
        sim = self.sim("busy", "--fault", "exception")
        s = self.serve("--port", sim.link, "--wait", "200",
                       serve=["--interval", "0.2", "--allow-commands"])
        r = s.command({"command": "module", "module": 0, "action": "on"})
        self.assertEqual(r.json()["outcome"], "exception", r.body)
        self.assertEqual(r.json()["exception"],
                         {"code": 6, "name": "从站设备忙", "name_en": "server device busy"})

    def test_refused_without_allow_commands(self):
        sim = self.sim()
        s = self.serve("--port", sim.link, serve=["--interval", "0.2"])
        self.await_scans(s, 1)
        self.assertEqual(s.readings()["commands"]["allowed"], False)
        for body in [{"command": "manual"},
                     {"command": "module", "module": 3, "action": "voltage", "value": 234.1}]:
            r = s.command(body)
            self.assertEqual(r.status, 403, r.body)
            self.assertIn("--allow-commands", r.text())
        self.assertEqual(s.get("/api/v1/command").status, 405)
        # Two more scans: had anything been queued it would have gone out by then.
        self.await_scans(s, scans(s.readings()) + 2)
        self.assertTrue(self.reads_only(sim), sim.requests())
        refused = {x.labels["reason"]: x.value
                   for x in families(s.metrics())["k40_http_refused"].samples
                   if x.name == "k40_http_refused_total"}
        self.assertEqual(refused.get("commands-off"), 2, refused)

    def test_commands_on_loopback(self):
        sim = self.sim()
        s = self.serve("--port", sim.link, serve=["--interval", "0.2", "--allow-commands"])
        self.await_scans(s, 1)
        readings = s.readings()
        self.assertEqual(readings["commands"]["allowed"], True)
        self.assertEqual(readings["values"][9]["name"], BIT_NAMES[0])
        self.assertEqual(readings["values"][9]["value"], 0)  # automatic operation
        events = EventReader(s)
        self.addCleanup(events.close)
        self.assertEqual(events.status, 200)

        # Refused before anything is sent: another site's page, a name this
        # server does not go by (DNS rebinding), a body that is not JSON, a
        # setpoint out of range.
        # (null: a sandboxed page or a file; a name that merely starts as ours)
        for origin in ["http://evil.example", "null",
                       "http://127.0.0.1:%d.evil.example" % s.port]:
            r = s.command({"command": "manual"}, {"Origin": origin})
            self.assertEqual(r.status, 403, (origin, r.body))
        r = s.command({"command": "manual"}, {"Host": "evil.example:%d" % s.port})
        self.assertEqual(r.status, 403, r.body)
        r = s.get("/api/v1/readings", Host="evil.example:%d" % s.port)
        self.assertEqual(r.status, 403, r.body)
        r = s.get("/metrics", Host="evil.example")
        self.assertEqual(r.status, 403, r.body)
        r = s.http("POST", "/api/v1/command", body='{"command":"manual"}',
                   headers={"Content-Type": "text/plain"})
        self.assertEqual(r.status, 415, r.body)
        r = s.command({"command": "module", "module": 3, "action": "voltage", "value": 300.001})
        self.assertEqual(r.status, 400, r.body)
        refused = r.json()
        self.assertEqual(refused["outcome"], "refused")
        self.assertTrue(refused["reason"])
        self.assertEqual(refused["range"], {"min": 0, "max": 300})
        for body in ['{"command":"manual"', '{"command":"manual","extra":1}',
                     '{"command":"module","module":21,"action":"on"}',
                     '{"command":"module","module":3,"action":"voltage","value":"234.1"}']:
            r = s.command(body)
            self.assertEqual(r.status, 400, (body, r.body))
            self.assertEqual(r.json()["outcome"], "refused", body)
        self.await_scans(s, scans(s.readings()) + 2)
        self.assertTrue(self.reads_only(sim), sim.requests())

        # Allowed: the byte-for-byte frame, the read-back, the status bit.
        r = s.command({"command": "manual"})
        self.assertEqual(r.status, 200, r.body)
        outcome = r.json()
        self.assertEqual((outcome["command"], outcome["outcome"], outcome["confirmation"]),
                         ("manual", "confirmed", "read-back"), outcome)
        self.assert_sent(sim, [MANUAL])
        self.assertTrue(await_true(lambda: s.readings()["values"][9]["value"] == 1),
                        s.readings())
        # The page that serve itself would serve sends its own origin: allowed.
        r = s.command({"command": "auto"}, {"Origin": "http://127.0.0.1:%d" % s.port})
        self.assertEqual(r.status, 200, r.body)
        self.assertEqual(r.json()["outcome"], "confirmed")
        r = s.command({"command": "module", "module": 0, "action": "voltage", "value": 234.1})
        self.assertEqual(r.status, 200, r.body)
        self.assertEqual((r.json()["outcome"], r.json()["confirmation"]),
                         ("confirmed", "reply"), r.json())
        self.assert_sent(sim, [MANUAL, AUTO, request(6, 310, 48109)])
        self.assertTrue(await_true(lambda: len(events.of("command")) == 3), events.all())
        self.assertEqual([e["command"] for e in events.of("command")],
                         ["manual", "auto", "module 0 voltage 234.1"])
        self.assertTrue(all(e["outcome"] == "confirmed" for e in events.of("command")))
        refused = {x.labels["reason"]: x.value
                   for x in families(s.metrics())["k40_http_refused"].samples}
        self.assertEqual((refused["origin"], refused["host"]), (3, 3), refused)

    def test_token(self):
        sim = self.sim()
        token_file = self.path("token")
        with open(token_file, "w") as f:
            f.write(TOKEN + "\n")
        os.chmod(token_file, 0o600)
        s = self.serve("--port", sim.link, serve=["--interval", "0.2", "--allow-commands",
                                                   "--token-file", token_file,
                                                   "--host-name", "k40.example"])
        self.await_scans(s, 1)
        # The names it goes by: its address, localhost on loopback, --host-name.
        for host, status in [("k40.example:%d", 200), ("K40.Example:%d", 200),
                             ("localhost:%d", 200), ("k40.example.evil.example:%d", 403),
                             ("k40.example:%d1", 403), ("evil.example:%d", 403)]:
            r = s.get("/api/v1/readings", Host=host % s.port)
            self.assertEqual(r.status, status, (host, r.body))
        readings = s.readings()
        self.assertTrue(readings["commands"]["token"])
        for answer in (s.get("/api/v1/readings"), s.get("/metrics"), s.get("/api/v1/frames")):
            self.assertNotIn(TOKEN[:16].encode(), answer.body)  # the secret stays secret
        for auth in [None, "Bearer " + TOKEN[:-1] + "0", "Bearer", "Basic " + TOKEN,
                     "Bearer " + TOKEN + "00"]:
            r = s.command({"command": "manual"}, {"Authorization": auth} if auth else {})
            self.assertEqual(r.status, 401, (auth, r.body))
            self.assertEqual(r.headers.get("www-authenticate"), "Bearer", auth)
        self.await_scans(s, scans(s.readings()) + 2)
        self.assertTrue(self.reads_only(sim), sim.requests())
        r = s.command({"command": "manual"}, {"Authorization": "Bearer " + TOKEN})
        self.assertEqual(r.status, 200, r.body)
        self.assertEqual(r.json()["outcome"], "confirmed")
        self.assert_sent(sim, [MANUAL])

    def test_one_command_at_a_time(self):
        # Replies come late, so the first command is still out on the line
        # when the second arrives.
        sim = self.sim("unit", "--reply-delay", "800")
        s = self.serve("--port", sim.link, "--wait", "3000",
                       serve=["--interval", "0.2", "--allow-commands"])
        answers = {}
        first = threading.Thread(target=lambda: answers.update(
            first=s.command({"command": "manual"})))
        first.start()
        self.addCleanup(first.join, 30)
        on_the_line = lambda: any(f["direction"] == "request" and unhex(f["hex"]) == MANUAL
                                  for f in s.get("/api/v1/frames").json())
        self.assertTrue(await_true(on_the_line, 15), s.get("/api/v1/frames").body)
        r = s.command({"command": "auto"})
        self.assertEqual(r.status, 409, r.body)
        first.join(30)
        self.assertEqual(answers["first"].status, 200, answers["first"].body)
        self.assertEqual(answers["first"].json()["outcome"], "confirmed")
        self.await_scans(s, scans(s.readings()) + 1)
        self.assertNotIn(AUTO, sim.requests())


class EventsTest(ServeCase):
    """/api/v1/events and /api/v1/frames against the trace of a unit whose
    measurements drift, so that every reply is unlike the others."""

    def on_the_wire(self, sim, pairs, anchor):
        """The trace's (request, reply) run where pairs should stand, found by
        pairs[anchor], a reply of the measurements, unique. The trace's last
        line may come a moment after serve has the reply: awaited."""
        def run():
            wire = [(req, frame) for req, _, frame in trace(sim.trace)]
            if pairs[anchor] not in wire:
                return []
            start = wire.index(pairs[anchor]) - anchor
            return wire[max(start, 0):start + len(pairs)]
        await_true(lambda: run() == pairs, 5)
        return run()

    def test_scan_and_frame_events_are_the_wire(self):
        sim = self.sim(kind=DriftingSim)
        # A wait far above the unit's time: a loaded machine must not turn a
        # scan into a time-out, which would make it other than whole.
        s = self.serve("--port", sim.link, "--wait", "2000",
                       serve=["--interval", "0.2", "--allow-commands"])
        events = EventReader(s)
        self.addCleanup(events.close)
        self.assertEqual(events.status, 200)
        self.assertTrue(events.headers["content-type"].startswith("text/event-stream"))
        self.assertTrue(await_true(lambda: len(events.of("scan")) >= 8, 20), events.all())
        self.assertIn("retry: 1000", events.fields[:2])
        # Whole scans only: from the first scan event to the last.
        seen = events.all()
        names = [n for n, _ in seen]
        first = names.index("scan")
        last = len(names) - 1 - names[::-1].index("scan")
        window = seen[first + 1:last + 1]
        groups = [window[i:i + 5] for i in range(0, len(window), 5)]
        self.assertGreaterEqual(len(groups), 6)
        pairs = []
        for group in groups:
            # Each scan: its two requests, each followed by what came back, then the scan.
            self.assertEqual([n for n, _ in group], ["frame"] * 4 + ["scan"], group)
            frames = [json.loads(d) for _, d in group[:4]]
            self.assertEqual([f["direction"] for f in frames],
                             ["request", "reply", "request", "reply"], frames)
            for f in frames:
                datetime.datetime.fromisoformat(f["time"])
                self.assertRegex(f["hex"], r"^[0-9A-F]{2}( [0-9A-F]{2})*$")
            self.assertEqual([unhex(frames[0]["hex"]), unhex(frames[2]["hex"])],
                             [READ_ANALOG, READ_BITS])
            scan = json.loads(group[4][1])
            self.assertEqual(scan["outcome"], "reply")
            self.assertEqual(scan["link"]["state"], "answering")
            values = [v["value"] for v in scan["values"]]
            self.assertEqual(values[:9], analog_values(unhex(frames[1]["hex"])), scan)
            self.assertEqual(values[9:], bit_values(unhex(frames[3]["hex"])), scan)
            pairs += [(unhex(frames[0]["hex"]), unhex(frames[1]["hex"])),
                      (unhex(frames[2]["hex"]), unhex(frames[3]["hex"]))]
        # The frames are the trace's lines, in order, none left out: and so
        # there was one scan event for each 03 request the unit got.
        wire = self.on_the_wire(sim, pairs, 0)
        self.assertEqual(wire, pairs)
        self.assertEqual([req for req, _ in wire].count(READ_ANALOG), len(groups))

        # The port vanishes and comes back: lost, then back, then scans again.
        before = len(events.all())
        sim.crash()
        lost = lambda: [e for e in events.of("link") if e["kind"] == "lost"]
        self.assertTrue(await_true(lambda: lost(), 10), events.all()[before:])
        self.assertEqual(lost()[0]["port"], sim.link)
        datetime.datetime.fromisoformat(lost()[0]["time"])
        with self.subTest("the state as the loss is told"):
            self.assertEqual(s.readings()["link"]["state"], "port-lost")
        # It stays lost while the reopening fails, the failed scans counting on.
        failed = lambda: families(s.metrics())["k40_scans_failed"].samples[0].value
        first_failed = failed()
        self.assertTrue(await_true(lambda: failed() >= first_failed + 2, 10))
        readings = s.readings()
        with self.subTest("the state during the outage"):
            self.assertEqual((readings["link"]["state"], readings["link"]["finding"]),
                             ("port-lost", "port-lost"), readings["link"])
        self.assertIsNotNone(readings["last_good_scan"])
        down = families(s.metrics())
        self.assertEqual(down["k40_up"].samples[0].value, 0)
        self.assertEqual(down["k40_analog_value"].samples, [])
        self.assertEqual(down["k40_status_bit"].samples, [])
        # A command meanwhile is answered at once, and never sent later.
        r = s.command({"command": "manual"})
        self.assertEqual(r.status, 200, r.body)
        self.assertEqual(r.json()["outcome"], "port-lost", r.json())
        sim.start()
        back = lambda: [e for e in events.of("link") if e["kind"] == "back"]
        self.assertTrue(await_true(lambda: back(), 15), events.all()[before:])
        self.assertEqual([e["kind"] for e in events.of("link")], ["lost", "back"])
        after = lambda: [json.loads(d) for n, d in events.all()[before:] if n == "scan"]
        self.assertTrue(await_true(lambda: after() and after()[-1]["outcome"] == "reply"),
                        events.all()[before:])
        self.assertTrue(await_true(lambda: s.readings()["link"]["state"] == "answering"))
        self.await_scans(s, scans(s.readings()) + 2)
        self.assertNotIn(MANUAL, sim.requests())
        self.assertEqual([e["outcome"] for e in events.of("command")], ["port-lost"])

        # The history gives back every scan the stream told, the failed one
        # at the loss among them, field for field (its values kept in tenths).
        history = {h["time"]: h for h in
                   map(json.loads, s.get("/api/v1/history").text().splitlines())}
        told = events.of("scan")
        self.assertIn("timeout", [e["outcome"] for e in told])
        for event in told:
            self.assertIn(event["time"], history)
            kept = history[event["time"]]
            self.assertEqual(kept, {k: event[k] for k in kept}, event["time"])

        # SIGTERM with a client on the stream: serve ends, and so does the stream.
        self.assertEqual(s.stop(), 0, s.stderr())
        self.assertTrue(await_true(lambda: events.ended, 5))

    def test_frames_are_the_last_200_on_the_wire(self):
        sim = self.sim(kind=DriftingSim)
        s = self.serve("--port", sim.link, serve=["--interval", "0"])
        self.await_scans(s, 60, 30)
        frames = s.get("/api/v1/frames").json()
        self.assertEqual(len(frames), 200)
        # Cut to whole exchanges: a reply whose request is gone, a request
        # whose reply had not come when the list was copied.
        if frames[0]["direction"] == "reply":
            frames = frames[1:]
        if frames[-1]["direction"] == "request":
            frames = frames[:-1]
        self.assertEqual([f["direction"] for f in frames],
                         ["request", "reply"] * (len(frames) // 2))
        pairs = [(unhex(frames[i]["hex"]), unhex(frames[i + 1]["hex"]))
                 for i in range(0, len(frames), 2)]
        first = next(i for i, p in enumerate(pairs) if p[0] == READ_ANALOG)
        self.assertEqual(self.on_the_wire(sim, pairs, first), pairs)
        times = [datetime.datetime.fromisoformat(f["time"]) for f in frames]
        self.assertEqual(times, sorted(times))


class HistoryTest(ServeCase):
    """/api/v1/history read back as CSV and as JSON Lines."""

    def test_csv_and_json_lines(self):
        sim = self.sim()
        s = self.serve("--port", sim.link, serve=["--interval", "0.1"])
        # watch all's layout, from a watch of another unit.
        other = self.sim("other")
        watched = subprocess.run([K40CTL, "--port", other.link, "--format", "csv", "watch",
                                  "all", "--count", "1"], capture_output=True, timeout=30,
                                 env=CLEAN_ENV)
        self.assertEqual(watched.returncode, 0, watched.stderr)
        watch_rows = list(csv.reader(io.StringIO(watched.stdout.decode("utf-8"), newline="")))
        self.assertEqual(watch_rows[0],
                         ["time", "outcome", "exception"] + ANALOG_NAMES + BIT_NAMES)
        self.await_scans(s, 5)

        before = scans(s.readings())
        r = s.get("/api/v1/history?format=csv")
        after = scans(s.readings())
        self.assertEqual(r.status, 200, r.body)
        self.assertTrue(r.headers["content-type"].startswith("text/csv"), r.headers)
        self.assertEqual(r.headers.get("transfer-encoding"), "chunked", r.headers)
        # The same bytes as the watch's header, line ending and all.
        self.assertEqual(r.body.split(b"\n", 1)[0], watched.stdout.split(b"\n", 1)[0])
        rows = list(csv.reader(io.StringIO(r.body.decode("utf-8"), newline="")))
        self.assertEqual(rows[0], watch_rows[0])
        self.assertTrue(before <= len(rows) - 1 <= after, (before, len(rows) - 1, after))
        for row in rows[1:]:
            self.assertEqual(row[1:], watch_rows[1][1:])  # the same unit, the same text
        times = [datetime.datetime.fromisoformat(row[0]) for row in rows[1:]]
        self.assertEqual(times, sorted(times))
        self.assertEqual(len(set(times)), len(times))

        accepted = s.get("/api/v1/history", Accept="text/csv")
        self.assertEqual(accepted.status, 200)
        self.assertEqual(list(csv.reader(io.StringIO(accepted.text(), newline="")))[0],
                         rows[0])

        # since: the scans from that time on (an offset's '+' percent-encoded).
        since = rows[3][0]
        r = s.get("/api/v1/history?format=csv&since=" + urllib.parse.quote(since, safe=""))
        later = list(csv.reader(io.StringIO(r.text(), newline="")))
        self.assertEqual(later[0], rows[0])
        self.assertEqual(later[1:1 + len(rows) - 3], rows[3:])

        before = scans(s.readings())
        r = s.get("/api/v1/history")
        after = scans(s.readings())
        self.assertEqual(r.status, 200)
        lines = r.text().splitlines()
        self.assertTrue(before <= len(lines) <= after, (before, len(lines), after))
        records = [json.loads(line) for line in lines]
        for record in records:
            self.assertEqual(record["outcome"], "reply")
            self.assertEqual([v["name"] for v in record["values"]], ANALOG_NAMES + BIT_NAMES)
            self.assertEqual([v["value"] for v in record["values"][:9]], NOMINAL)
            self.assertEqual([v["register"] for v in record["values"][:9]],
                             list(range(100, 109)))
        self.assertEqual([r["time"] for r in records[:len(rows) - 1]], [row[0] for row in rows[1:]])

        self.assertEqual(s.get("/api/v1/history?since=yesterday").status, 400)

    def test_scans_without_a_reply(self):
        # A unit silent at the address asked, and one that answers busy.
        for name, sim_args, options, finding in [
                ("silent", [], ["--slave", "9", "--wait", "200"], "nothing"),
                ("busy", ["--fault", "exception"], ["--wait", "200"], "exception")]:
            with self.subTest(name):
                sim = self.sim(name, *sim_args)
                other = self.sim(name + "-watched", *sim_args)
                s = self.serve("--port", sim.link, *options, serve=["--interval", "0.2"])
                watched = subprocess.run(
                    [K40CTL, "--port", other.link] + options + ["--format", "csv", "watch",
                                                                "all", "--count", "1"],
                    capture_output=True, timeout=30, env=CLEAN_ENV)
                watch_rows = list(csv.reader(io.StringIO(watched.stdout.decode("utf-8"),
                                                         newline="")))
                self.assertEqual(len(watch_rows), 2, watched)
                self.await_scans(s, 2)
                readings = s.readings()
                self.assertEqual(readings["outcome"], watch_rows[1][1])
                self.assertEqual((readings["link"]["state"], readings["link"]["finding"]),
                                 ("no-reply", finding), readings["link"])
                self.assertTrue(readings["link"]["diagnosis"])
                self.assertIsNone(readings["last_good_scan"])
                fams = families(s.metrics())
                self.assertEqual(fams["k40_up"].samples[0].value, 0)
                self.assertEqual(fams["k40_analog_value"].samples, [])
                self.assertEqual(fams["k40_last_scan_timestamp_seconds"].samples, [])
                self.assertEqual(promtool(s.metrics()), (0, ""))
                rows = list(csv.reader(io.StringIO(s.get("/api/v1/history?format=csv").text(),
                                                   newline="")))
                self.assertEqual(rows[0], watch_rows[0])
                self.assertGreaterEqual(len(rows), 3)
                for row in rows[1:]:
                    self.assertEqual(row[1:], watch_rows[1][1:])


def closed_by_peer(s):
    """Whether the server has closed this connection (whatever it said first)."""
    try:
        while True:
            if s.recv(65536, socket.MSG_DONTWAIT) == b"":
                return True
    except BlockingIOError:
        return False
    except OSError:
        return True  # reset


def read_answer(f):
    """One answer of known length from a connection's file: (status, body)."""
    status = int(f.readline().split()[1])
    length = 0
    for line in iter(f.readline, b"\r\n"):
        name, _, value = line.decode("latin-1").partition(":")
        if name.lower() == "content-length":
            length = int(value)
        if not line:
            break
    return status, f.read(length)


def raw_exchange(port, payload, timeout=15):
    """Sends payload (while reading, so that an answer given before the end is
    not lost) and returns what came back up to the end of its header."""
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)

    def send():
        try:
            s.sendall(payload)
        except OSError:
            pass
    sender = threading.Thread(target=send, daemon=True)
    sender.start()
    got = b""
    try:
        while b"\r\n\r\n" not in got:
            chunk = s.recv(65536)
            if not chunk:
                break
            got += chunk
    except OSError:
        pass
    s.close()
    sender.join(5)
    return got


class HostileClientsTest(ServeCase):
    """Clients that misbehave must neither stop the polling nor keep the others out."""

    def test_slow_many_huge_and_malformed(self):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if soft < 4096 and (hard == resource.RLIM_INFINITY or hard >= 4096):
            resource.setrlimit(resource.RLIMIT_NOFILE, (4096, hard))
            self.addCleanup(resource.setrlimit, resource.RLIMIT_NOFILE, (soft, hard))
        sim = self.sim()
        s = self.serve("--port", sim.link, serve=["--interval", "0.2"])
        self.await_scans(s, 1)
        polled = lambda: sim.requests().count(READ_ANALOG)

        # Two requests in one write: both answered, in order, on one connection.
        with socket.create_connection(("127.0.0.1", s.port), timeout=10) as c:
            host = b"Host: 127.0.0.1:%d\r\n" % s.port
            c.sendall(b"GET /api/v1/readings HTTP/1.1\r\n" + host + b"\r\n"
                      b"GET /api/v1/frames HTTP/1.1\r\n" + host + b"Connection: close\r\n\r\n")
            with c.makefile("rb") as f:
                first, second = read_answer(f), read_answer(f)
                self.assertEqual(f.read(), b"")  # closed as asked
        self.assertEqual(first[0], 200)
        self.assertIn("counters", json.loads(first[1]))
        self.assertEqual(second[0], 200)
        self.assertIsInstance(json.loads(second[1]), list)

        def keeps_polling():
            # At least half the rate asked for: 10 scans in twice their time.
            start = polled()
            self.assertTrue(await_true(lambda: polled() >= start + 10, 10 * 0.2 * 2),
                            (start, polled()))

        # A client that sends its header a byte every 0.1 s, for ever.
        slow = socket.create_connection(("127.0.0.1", s.port), timeout=5)
        self.addCleanup(slow.close)
        stop_slow = threading.Event()

        def trickle():
            head = b"GET /api/v1/readings HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "
            i = 0
            while not stop_slow.is_set():
                try:
                    slow.send(head[i:i + 1] if i < len(head) else b"a")
                except OSError:
                    break
                i += 1
                stop_slow.wait(0.1)
        slow_thread = threading.Thread(target=trickle, daemon=True)
        slow_thread.start()
        self.addCleanup(stop_slow.set)

        # A thousand connections at once, each sending nothing.
        many = []
        self.addCleanup(lambda: [c.close() for c in many])
        for _ in range(1000):
            many.append(socket.create_connection(("127.0.0.1", s.port), timeout=10))
        # Those beyond the server's bound are closed at once; serve does not
        # hold a descriptor for each.
        self.assertTrue(await_true(lambda: sum(map(closed_by_peer, many)) >= 600, 10),
                        sum(map(closed_by_peer, many)))
        held = len(os.listdir("/proc/%d/fd" % s.proc.pid))
        self.assertLess(held, 400)
        keeps_polling()

        # A header of 1 MB, and a request line that is no HTTP.
        huge = (b"GET /api/v1/readings HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nX-Big: " % s.port
                + b"a" * (1 << 20) + b"\r\n\r\n")
        answer = raw_exchange(s.port, huge)
        self.assertTrue(answer.startswith(b"HTTP/1.1 431 "), answer[:200])
        answer = raw_exchange(s.port, b"THIS IS NOT HTTP\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), answer[:200])
        answer = raw_exchange(s.port, b"GET /api/v1/readings HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n"
                                      b"Content-Length: -5\r\n\r\n" % s.port)
        self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), answer[:200])

        for c in many:
            c.close()

        def good():
            try:
                return s.get("/api/v1/readings").status == 200
            except OSError:
                return False
        self.assertTrue(await_true(good, 10))
        self.assertEqual(s.readings()["outcome"], "reply")
        keeps_polling()
        # What the server refused by itself shows in its metrics: the
        # connections beyond its bound, the 431, the two 400s.
        refused = [x for x in families(s.metrics())["k40_http_refused"].samples]
        with self.subTest("the server's own refusals counted"):
            self.assertGreaterEqual(sum(x.value for x in refused), 600 + 3, refused)

        # The slow client is cut off once its header is overdue (10 s).
        self.assertTrue(await_true(lambda: closed_by_peer(slow), 15))
        stop_slow.set()
        slow_thread.join(5)


def probe_url(target, slave=1):
    return "/probe?" + urllib.parse.urlencode({"target": target, "slave": slave})


class Rig:
    """What the Prometheus cases share, started as the module loads so that
    Prometheus has its first samples by the time they run: a unit on a
    pseudo-terminal polled by serve, two device servers it probes, and the
    Prometheus server that scrapes both ways."""

    def start(self):
        self.dir = tempfile.TemporaryDirectory()
        path = lambda *n: os.path.join(self.dir.name, *n)
        os.makedirs(path("unit"))
        self.sim = Sim(path("unit")).start()
        self.targets = [ListenSim(path("t1")), ListenSim(path("t2"))]
        # A unit that never answers, behind a device server that accepts:
        # each exchange would wait the full --wait of 1500 ms, longer than
        # Prometheus waits for the scrape (1 s), so the probe must keep
        # within the time Prometheus gives it.
        self.silent = ListenSim(path("t3"), "--fault", "silent")
        probed = self.targets + [self.silent]
        self.alerting = AlertPeers(path)  # its own units, probed as a fleet
        self.serve = Serve("--port", self.sim.link, "--wait", "1500",
                           serve=["--interval", "0.5", "--probe"]
                           + sum((["--probe-target", t.address]
                                  for t in probed + self.alerting.units), []))
        self.serve.listening()
        # A fleet exporter whose reads need a token: scraped with it and without.
        self.read_token = path("read.token")
        make_token(self.read_token)
        self.guarded = Serve(serve=["--probe", "--read-token-file", self.read_token]).listening()
        self.prom_port = free_port()
        with open(path("prometheus.yml"), "w") as f:
            f.write("""global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
  external_labels:
    k40_runbooks: http://127.0.0.1:%(port)d/runbooks
scrape_configs:
  - job_name: serve
    static_configs:
      - targets: ["127.0.0.1:%(port)d"]
  - job_name: probe
    metrics_path: /probe
    params:
      slave: ["1"]
    static_configs:
      - targets: [%(targets)s]
    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: 127.0.0.1:%(port)d
  - job_name: guarded
    authorization:
      credentials_file: %(token)s
    static_configs:
      - targets: ["127.0.0.1:%(guarded)d"]
  - job_name: guarded-without-token
    static_configs:
      - targets: ["127.0.0.1:%(guarded)d"]
""" % {"port": self.serve.port, "guarded": self.guarded.port, "token": self.read_token,
       "targets": ", ".join('"%s"' % t.url for t in probed)}
                    + self.alerting.prometheus_config(self.serve.port))
        self.prom_log = open(path("prometheus.log"), "w")
        self.prometheus = subprocess.Popen(
            [PROMETHEUS, "--config.file=" + path("prometheus.yml"),
             "--storage.tsdb.path=" + path("tsdb"),
             "--web.listen-address=127.0.0.1:%d" % self.prom_port],
            stdout=self.prom_log, stderr=subprocess.STDOUT, cwd=self.dir.name)

    def stop(self):
        if getattr(self, "alerting", None) is not None:
            self.alerting.stop()
        if getattr(self, "prometheus", None) is not None:
            self.prometheus.terminate()
            try:
                self.prometheus.wait(15)
            except subprocess.TimeoutExpired:
                self.prometheus.kill()
                self.prometheus.wait(5)
            self.prom_log.close()
        self.serve_exit = self.serve.stop() if hasattr(self, "serve") else None
        if hasattr(self, "guarded"):
            self.guarded.stop()
        for t in getattr(self, "targets", []) + [getattr(self, "silent", None)]:
            if t is not None:
                t.kill()
        if getattr(self, "sim", None) is not None and self.sim.proc.poll() is None:
            self.sim.kill()
        self.dir.cleanup()

    def query(self, promql):
        """Prometheus's instant query: [(labels, value)]."""
        conn = http.client.HTTPConnection("127.0.0.1", self.prom_port, timeout=10)
        try:
            conn.request("GET", "/api/v1/query?" + urllib.parse.urlencode({"query": promql}))
            r = conn.getresponse()
            answer = json.loads(r.read())
        finally:
            conn.close()
        assert answer["status"] == "success", answer
        return [(x["metric"], float(x["value"][1])) for x in answer["data"]["result"]]

    def ready(self):
        try:
            conn = http.client.HTTPConnection("127.0.0.1", self.prom_port, timeout=2)
            conn.request("GET", "/-/ready")
            ok = conn.getresponse().status == 200
            conn.close()
            return ok
        except OSError:
            return False


RIG = Rig()


def setUpModule():
    try:
        RIG.start()
    except BaseException:
        RIG.stop()
        raise


def tearDownModule():
    RIG.stop()
    if RIG.serve_exit != 0:
        raise AssertionError("serve under Prometheus exited %r:\n%s" %
                             (RIG.serve_exit, RIG.serve.stderr()))


class PrometheusTest(ServeCase):
    """A real Prometheus server scraping serve, and promtool on its texts."""

    @classmethod
    def setUpClass(cls):
        if not await_true(RIG.ready, 60):
            with open(os.path.join(RIG.dir.name, "prometheus.log")) as f:
                raise AssertionError("Prometheus not ready:\n" + f.read()[-3000:])

    def await_query(self, promql, condition, timeout=30):
        found = []

        def check():
            found[:] = RIG.query(promql)
            return condition(found)
        self.assertTrue(await_true(check, timeout), (promql, found))
        return found

    def test_exporter_values_are_what_the_unit_sent(self):
        s = RIG.serve
        found = self.await_query('k40_analog_value{job="serve",register="106"}',
                                 lambda r: len(r) == 1)
        labels, value = found[0]
        self.assertEqual((labels["port"], labels["slave"], labels["name"], labels["unit"]),
                         (RIG.sim.link, "1", ANALOG_NAMES[6], "V"))
        # The last measurements the unit sent, decoded from its trace.
        replies = [frame for req, _, frame in trace(RIG.sim.trace) if req == READ_ANALOG]
        sent = analog_values(replies[-1])
        raw = int(replies[-1][6 + 4 * 6:6 + 4 * 7], 16)
        self.assertEqual(round((raw - 32767) * 500 / 32767, 1), NOMINAL[6])
        self.assertEqual(sent, NOMINAL)
        self.assertEqual(value, sent[6])
        every = {int(l["register"]): v for l, v in
                 RIG.query('k40_analog_value{job="serve"}')}
        self.assertEqual([every[r] for r in range(100, 109)], sent)
        self.assertEqual(RIG.query('k40_up{job="serve"}')[0][1], 1)
        self.assertEqual(RIG.query('count(k40_status_bit{job="serve"})')[0][1], 15)
        self.assertEqual(RIG.query('up{job="serve"}')[0][1], 1)
        self.await_query('k40_scans_total{job="serve"}', lambda r: r and r[0][1] >= 2)

        text = s.metrics()
        self.assertEqual(promtool(text), (0, ""))
        fams = families(text)
        self.assertEqual(fams["k40_up"].samples[0].value, 1)
        self.assertEqual(fams["k40_up"].samples[0].labels, {"port": RIG.sim.link, "slave": "1"})
        self.assertEqual([x.value for x in fams["k40_analog_value"].samples], NOMINAL)
        bits = fams["k40_status_bit"].samples
        self.assertEqual([x.labels["name"] for x in bits], BIT_NAMES)
        self.assertEqual([x.labels["bit"] for x in bits], [str(i) for i in range(15)])
        self.assertEqual([x.value for x in bits], [0, 1] + [0] * 13)
        self.assertEqual(fams["k40_response_seconds"].type, "histogram")
        count = [x for x in fams["k40_response_seconds"].samples
                 if x.name == "k40_response_seconds_count"][0].value
        self.assertGreater(count, 0)
        self.assertTrue(fams["k40_build_info"].samples[0].labels["version"])
        self.assertGreater(fams["k40_last_scan_timestamp_seconds"].samples[0].value,
                           time.time() - 3600)

    def test_probes_up_then_down(self):
        s = RIG.serve
        urls = sorted(t.url for t in RIG.targets)
        expected = sorted([(u, 1) for u in urls] + [(RIG.silent.url, 0)])
        self.await_query('k40_up{job="probe"}',
                         lambda r: sorted((l["instance"], v) for l, v in r) == expected)
        # The silent unit's probe was answered within the scrape's time.
        self.assertEqual(RIG.query('up{job="probe",instance="%s"}' % RIG.silent.url)[0][1], 1)
        self.assertEqual(RIG.query('k40_analog_value{job="probe",instance="%s"}'
                                   % RIG.silent.url), [])
        for t in RIG.targets:
            found = RIG.query('k40_analog_value{job="probe",instance="%s",register="106"}'
                              % t.url)
            self.assertEqual([v for _, v in found], [NOMINAL[6]])

        probed = s.get(probe_url(RIG.targets[0].url))
        self.assertEqual(probed.status, 200, probed.body)
        self.assertEqual(promtool(probed.text()), (0, ""))
        fams = families(probed.text())
        self.assertEqual(fams["k40_up"].samples[0].value, 1)
        self.assertEqual([x.value for x in fams["k40_analog_value"].samples], NOMINAL)
        # Only the targets given with --probe-target: another loopback port is refused.
        self.assertEqual(s.get(probe_url("tcp://127.0.0.1:%d" % free_port())).status, 400)
        self.assertEqual(s.get("/probe").status, 400)

        gone = RIG.targets[0]
        gone.kill()
        self.await_query('k40_up{job="probe",instance="%s"}' % gone.url,
                         lambda r: len(r) == 1 and r[0][1] == 0)
        # No values for a unit that did not answer: the series go stale.
        self.await_query('k40_analog_value{job="probe",instance="%s"}' % gone.url,
                         lambda r: r == [], 10)
        self.assertEqual(RIG.query('k40_up{job="probe",instance="%s"}' % RIG.targets[1].url)
                         [0][1], 1)
        down = s.get(probe_url(gone.url))
        self.assertEqual(promtool(down.text()), (0, ""))
        self.assertEqual(families(down.text())["k40_up"].samples[0].value, 0)

    def test_fleet_exporter(self):
        unit = self.listen_sim("fleet-unit")
        s = self.serve(serve=["--probe"])
        self.assertEqual(s.get("/api/v1/readings").status, 404)
        self.assertEqual(s.get("/runbooks/en.html").status, 200)  # an alert's runbook_url
        probed = s.get(probe_url(unit.url))
        self.assertEqual(probed.status, 200, probed.body)
        self.assertEqual(promtool(probed.text()), (0, ""))
        fams = families(probed.text())
        self.assertEqual(fams["k40_up"].samples[0].value, 1)
        self.assertEqual([x.value for x in fams["k40_analog_value"].samples], NOMINAL)
        self.assertEqual(len(fams["k40_status_bit"].samples), 15)
        # One scan: the measurements, then the status bits.
        await_true(lambda: len(unit.requests()) >= 2, 5)
        self.assertEqual(unit.requests(), [READ_ANALOG, READ_BITS])
        metrics = s.metrics()
        self.assertEqual(promtool(metrics), (0, ""))
        self.assertNotIn("k40_analog_value", metrics)
        r = s.command({"command": "manual"})
        self.assertEqual(r.status, 403, r.body)


def ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


class StartupTest(ServeCase):
    """Where serve listens, and the settings refused before serving, with the
    reason and the exit status."""

    @unittest.skipUnless(ipv6_loopback(), "this system has no IPv6 loopback")
    def test_ipv6_loopback(self):
        sim = self.sim()
        s = self.serve("--port", sim.link, listen="[::1]:0")
        self.assertRegex(s.address, r"^\[::1\]:\d+$")
        self.await_scans(s, 1)  # http.client names it [::1]:PORT in the Host field
        self.assertEqual(s.get("/api/v1/readings", Host="localhost:%d" % s.port).status, 200)
        self.assertEqual(s.get("/api/v1/readings", Host="127.0.0.1:%d" % s.port).status, 403)
        self.assertEqual(promtool(s.metrics()), (0, ""))

    def test_refusals(self):
        sim = self.sim()
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            code, err = Serve("--port", sim.link, listen="127.0.0.1:%d" % port).ended()
        self.assertEqual(code, 5, err)
        self.assertIn("127.0.0.1:%d" % port, err)
        self.assertIn("address already in use", err.lower())

        code, err = Serve("--port", sim.link, serve=["--allow-commands"],
                          listen="0.0.0.0:0").ended()
        self.assertEqual(code, 2, err)
        self.assertIn("--token-file", err)

        token_file = self.path("token")
        with open(token_file, "w") as f:
            f.write(TOKEN + "\n")
        os.chmod(token_file, 0o644)
        code, err = Serve("--port", sim.link,
                          serve=["--allow-commands", "--token-file", token_file]).ended()
        self.assertEqual(code, 2, err)
        self.assertIn(token_file, err)
        with open(token_file, "w") as f:
            f.write(TOKEN[:16] + "\n")  # 64 bits: too few
        os.chmod(token_file, 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(token_file).st_mode), 0o600)
        code, err = Serve("--port", sim.link,
                          serve=["--allow-commands", "--token-file", token_file]).ended()
        self.assertEqual(code, 2, err)
        self.assertIn(token_file, err)
        self.assertEqual(sim.requests(), [])  # refused before any request


class HistoryFileTest(ServeCase):
    """serve --history-file: the scans outlive serve, a line a crash cut short
    is cut off, log rotation's SIGHUP reopens the file, another layout is
    refused."""

    @staticmethod
    def lines(path):
        with open(path, "rb") as f:
            return f.read().decode("utf-8").splitlines(keepends=True)

    @staticmethod
    def summary(err):
        return int(re.search(r"k40ctl: (\d+) scans, \d+ failed", err).group(1))

    def test_restart_keeps_the_scans(self):
        sim = self.sim(kind=DriftingSim)
        kept = self.path("unit.jsonl")
        options = ["--interval", "0.05", "--history-file", kept]
        first = Serve("--port", sim.link, serve=options).listening()
        self.await_scans(first, 10)
        shown = first.get("/api/v1/history").text().splitlines(keepends=True)
        self.assertEqual(first.stop(), 0, first.stderr())
        written = self.lines(kept)
        # The API's records, the very bytes, and then the scans made after it.
        self.assertEqual(written[:len(shown)], shown)
        self.assertEqual(len(written), self.summary(first.stderr()))
        self.assertGreater(len({json.dumps(json.loads(r)["values"]) for r in written}), 1)

        cut = b'{"time":"2026-12-08T23:5'  # a write a crash cut short
        with open(kept, "ab") as f:
            f.write(cut)
        again = self.serve("--port", sim.link, serve=options)
        self.assertIn("the last line of %s was cut short (%d bytes" % (kept, len(cut)),
                      again.stderr())
        self.assertIn("%d scans read back from %s" % (len(written), kept), again.stderr())
        self.await_scans(again, 3)
        restored = again.get("/api/v1/history").text().splitlines(keepends=True)
        self.assertEqual(restored[:len(written)], written)  # count, times and values

        os.rename(kept, kept + ".1")  # what logrotate does, then it signals
        again.proc.send_signal(signal.SIGHUP)
        self.assertTrue(await_true(lambda: os.path.exists(kept) and len(self.lines(kept)) > 2))
        self.assertIsNone(again.proc.poll(), again.stderr())
        self.assertEqual(again.stop(), 0, again.stderr())
        rotated, reopened = self.lines(kept + ".1"), self.lines(kept)
        self.assertEqual(rotated[:len(written)], written)
        records = [json.loads(r) for r in rotated + reopened]  # not one glued to the cut
        self.assertEqual(len(rotated) - len(written) + len(reopened),
                         self.summary(again.stderr()))
        times = [datetime.datetime.fromisoformat(r["time"]) for r in records]
        self.assertEqual(times, sorted(times))

    def test_another_layout_is_refused_and_sighup_ends_serve_without_a_file(self):
        sim = self.sim()
        other = self.path("unit.csv")
        watched = subprocess.run([K40CTL, "--port", sim.link, "--format", "csv", "watch", "all",
                                  "--count", "2", "--output", other], capture_output=True,
                                 timeout=30, env=CLEAN_ENV)
        self.assertEqual(watched.returncode, 0, watched.stderr)
        with open(other, "rb") as f:
            csv_bytes = f.read()
        code, err = Serve("--port", sim.link, serve=["--history-file", other]).ended()
        self.assertEqual(code, 2, err)
        self.assertRegex(err, r"k40ctl: serve: %s holds another layout \(its line at byte \d+: "
                         r".*\); serve writes the records of watch all --format json: not "
                         r"appended, name another file" % re.escape(other))
        with open(other, "rb") as f:
            self.assertEqual(f.read(), csv_bytes)

        s = Serve("--port", sim.link).listening()
        s.proc.send_signal(signal.SIGHUP)
        self.assertEqual(s.ended(), (0, s.stderr()))


class BannerListener:
    """A service that is no unit, as SSH or a database: it answers whatever
    comes with its banner, and counts the connections it took."""
    BANNER = b"SSH-2.0-OpenSSH_9.6 k40-banner\r\n"

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.accepted = 0
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while True:
            try:
                c, _ = self.sock.accept()
            except OSError:
                return
            self.accepted += 1
            with c:
                try:
                    c.settimeout(10)
                    c.recv(256)
                    c.sendall(self.BANNER)
                    c.recv(256)  # until the prober gives up and closes
                except OSError:
                    pass

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self.thread.join(15)


def make_token(path):
    """k40ctl token PATH: (exit status, standard output, the token written)."""
    run = subprocess.run([K40CTL, "token", path], capture_output=True, timeout=30, env=CLEAN_ENV)
    token = ""
    if os.path.exists(path):
        with open(path) as f:
            token = f.read().strip()
    return run.returncode, run.stdout + run.stderr, token


class GuardTest(ServeCase):
    """What a client on the network or another site's page must not get: a
    command smuggled past the checks, a banner read through the probe, a
    flood of refusal lines in the journal."""

    def test_smuggled_commands_reach_no_unit_and_refusals_are_bounded(self):
        sim = self.sim()
        s = self.serve("--port", sim.link, serve=["--interval", "0.2", "--allow-commands"])
        self.await_scans(s, 1)
        host = b"Host: 127.0.0.1:%d\r\n" % s.port
        manual = b'{"command":"manual"}'
        json_type = b"Content-Type: application/json\r\n"
        post = b"POST /api/v1/command HTTP/1.1\r\n"
        cases = [
            (post + b"Host:\r\n" + host + json_type + b"Content-Length: 20\r\n\r\n" + manual,
             b"400"),
            (post + b"Transfer-Encoding: chunked\r\n\r\n14\r\n" + manual + b"\r\n0\r\n" + host
             + json_type + b"\r\n", b"400"),
            (post + host + b"Transfer-Encoding: xchunked\r\n\r\n" + post + host + json_type
             + b"Content-Length: 20\r\n\r\n" + manual, b"501"),
            (b"POST /api/v1/command HTTP/1.0\r\n" + host + json_type
             + b"Transfer-Encoding: chunked\r\n\r\n14\r\n" + manual + b"\r\n0\r\n\r\n", b"400"),
            (post + host + json_type + b"X-A: 1\r\n Content-Length: 20\r\n\r\n" + manual, b"400"),
        ]
        for payload, status in cases:
            answer = raw_exchange(s.port, payload)
            self.assertTrue(answer.startswith(b"HTTP/1.1 " + status), (payload, answer[:200]))
        # A thousand refusals by the routes on one connection: a bounded few
        # lines, the client's bytes escaped.
        with socket.create_connection(("127.0.0.1", s.port), timeout=10) as c:
            bad = b"GET /metrics HTTP/1.1\r\nHost: \x80\xff:1\r\n\r\n"
            c.sendall(bad * 999 + bad.replace(b"\r\n\r\n", b"\r\nConnection: close\r\n\r\n"))
            with c.makefile("rb") as f:
                self.assertEqual([read_answer(f)[0] for _ in range(1000)], [403] * 1000)
        self.await_scans(s, 3)
        self.assertEqual(set(sim.requests()) - {READ_ANALOG, READ_BITS}, set())
        logged = s.stderr()
        self.assertLess(logged.count(" 403 from "), 25, logged[-2000:])
        self.assertIn("\\x80\\xff", logged)
        self.assertNotIn("\ufffd", logged)
        # The command that was let through is audited: client, no token, outcome.
        self.assertEqual(s.command({"command": "manual"}).status, 200)
        self.assertRegex(s.stderr(), r"k40ctl: audit \S+Z 127\.0\.0\.1 token=no command manual: "
                                     r"[a-z-]+")

    def test_the_probe_reads_no_banner_and_needs_targets_off_loopback(self):
        banner = BannerListener()
        self.addCleanup(banner.close)
        s = self.serve(serve=["--probe"], listen="127.0.0.1:0")
        r = s.get(probe_url("tcp://127.0.0.1:%d" % banner.port))
        self.assertEqual(r.status, 200, r.body)
        self.assertIn(b"k40_up", r.body)
        self.assertEqual(banner.accepted, 1)
        for said in [b"SSH", b"53 53 48", b"OpenSSH", b"k40-banner"]:
            self.assertNotIn(said, r.body)
        # As an <img> on another page on this host sends it: refused unopened.
        r = s.get(probe_url("tcp://127.0.0.1:%d" % banner.port), **{
            "Sec-Fetch-Site": "same-site", "Sec-Fetch-Mode": "no-cors", "Sec-Fetch-Dest": "image"})
        self.assertEqual(r.status, 403)
        self.assertEqual(banner.accepted, 1)
        code, err = Serve(serve=["--probe"], listen="0.0.0.0:0").ended()
        self.assertEqual(code, 2, err)
        self.assertIn("--probe-target", err)

    def test_token_command_and_read_token(self):
        path = self.path("read.token")
        code, said, token = make_token(path)
        self.assertEqual(code, 0, said)
        self.assertRegex(token, r"^[0-9a-f]{64}$")
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        self.assertNotIn(token[:8].encode(), said)
        code, said, again = make_token(path)
        self.assertNotEqual(code, 0)
        self.assertEqual(again, token)  # never replaced
        sim = self.sim()
        s = self.serve("--port", sim.link, serve=["--read-token-file", path])
        self.assertEqual(s.get("/").status, 200)
        self.assertEqual(s.get("/api/v1/readings").status, 401)
        self.assertEqual(s.get("/metrics", Authorization="Bearer " + token).status, 200)



class ReadTokenScrapeTest(ServeCase):
    """Prometheus reads a serve whose reads need a token, with the token from
    a file (authorization: credentials_file:), and not without it."""

    def test_scraped_with_the_token_only(self):
        def up(job):
            return [v for _, v in RIG.query('up{job="%s"}' % job)]
        self.assertTrue(await_true(lambda: up("guarded") == [1.0], 30), up("guarded"))
        self.assertTrue(await_true(lambda: up("guarded-without-token") == [0.0], 30))
        info = RIG.query('k40_build_info{job="guarded"}')
        self.assertEqual(len(info), 1, info)


class Webhook:
    """The engineer's pager: every notification Alertmanager posts, kept in
    order as (receiver path, payload)."""

    def __init__(self):
        self.lock = threading.Lock()
        self.notes = []
        hook = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers["Content-Length"]))
                with hook.lock:
                    hook.notes.append((self.path, json.loads(body)))
                self.send_response(200)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def received(self):
        with self.lock:
            return list(self.notes)

    def alerts(self, instance, alertname=None, status=None):
        """(index of the notification, receiver path, alert) of one unit."""
        return [(i, path, a) for i, (path, note) in enumerate(self.received())
                for a in note["alerts"] if a["labels"].get("instance") == instance
                and alertname in (None, a["labels"]["alertname"])
                and status in (None, a["status"])]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class AlertPeers:
    """What the alerting case adds to the rig: two units with alarms, probed
    by serve as a fleet (job k40-fleet); the rule pack for Prometheus with
    every for: and keep_firing_for: in seconds instead of minutes; a real
    Alertmanager on the example's routes and inhibitions with group timings of
    a second, no cluster and its own data folder, notifying the webhook."""

    def __init__(self, path):
        self.proc, self.webhook, self.units = None, None, []
        try:
            self._start(path)
        except BaseException:
            self.stop()
            raise

    def _start(self, path):
        os.makedirs(path("alerting"))
        self.rules = path("alerting", "k40-alerts.rules.yml")
        with open(os.path.join(ALERTING, "k40-alerts.rules.yml"), encoding="utf-8") as f:
            rules = f.read()
        with open(self.rules, "w", encoding="utf-8") as f:
            f.write(re.sub(r"^(\s+(?:for|keep_firing_for): \d+)m$", r"\1s", rules, flags=re.M))
        self.webhook = Webhook()
        with open(os.path.join(ALERTING, "alertmanager-example.yml"), encoding="utf-8") as f:
            config = yaml.safe_load(f)
        for route in [config["route"]] + config["route"]["routes"]:
            # A repeat every second too: each flush of a unit's group notifies.
            route.update(group_wait="1s", group_interval="1s", repeat_interval="1s")
        for receiver in config["receivers"]:
            for hook in receiver["webhook_configs"]:
                hook["url"] = self.webhook.url + "/" + receiver["name"]
        with open(path("alerting", "alertmanager.yml"), "w") as f:
            yaml.safe_dump(config, f)
        self.port = free_port()
        self.log = open(path("alerting", "alertmanager.log"), "w")
        self.proc = subprocess.Popen(
            [ALERTMANAGER, "--config.file=" + path("alerting", "alertmanager.yml"),
             "--storage.path=" + path("alerting", "data"),
             "--web.listen-address=127.0.0.1:%d" % self.port, "--cluster.listen-address="],
            stdout=self.log, stderr=subprocess.STDOUT)
        # An AC failure that comes and goes; one that stays, with the modules'
        # communication lost with it, on a unit that will be killed.
        self.passing = ListenSim(path("a1"), "--event", "ac_power_failure@5s+20s")
        self.units.append(self.passing)
        self.lost = ListenSim(path("a2"), "--event", "ac_power_failure@2s",
                              "--event", "module_comm_offline@2s")
        self.units.append(self.lost)

    def prometheus_config(self, serve_port):
        return """  - job_name: k40-fleet
    metrics_path: /probe
    static_configs:
      - targets: [%(targets)s]
    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: 127.0.0.1:%(serve)d
rule_files: [%(rules)s]
alerting:
  alertmanagers:
    - static_configs:
        - targets: ["127.0.0.1:%(am)d"]
""" % {"targets": ", ".join('"%s"' % u.url for u in self.units), "serve": serve_port,
       "rules": json.dumps(self.rules), "am": self.port}

    def alertmanager_alerts(self, instance):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            conn.request("GET", "/api/v2/alerts?" + urllib.parse.urlencode(
                {"filter": 'instance="%s"' % instance}))
            return json.loads(conn.getresponse().read())
        finally:
            conn.close()

    def stop(self):
        if self.proc is not None:
            self.proc.terminate()
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
            self.log.close()
        if self.webhook is not None:
            self.webhook.stop()
        for u in self.units:
            u.kill()


class PrometheusAlertsTest(ServeCase):
    """The rule pack on the rig's Prometheus and the Alertmanager example on a
    real Alertmanager: what the engineer on call receives from k40sim's alarms."""

    def await_alert(self, unit, alertname, status, timeout=60):
        hook = RIG.alerting.webhook
        self.assertTrue(await_true(lambda: hook.alerts(unit.url, alertname, status), timeout),
                        (alertname, status, hook.received()))
        return hook.alerts(unit.url, alertname, status)[0]

    def test_an_alarm_fires_with_the_unit_labels_then_resolves(self):
        unit = RIG.alerting.passing
        _, receiver, alert = self.await_alert(unit, "K40AcPowerFailure", "firing")
        self.assertEqual(receiver, "/k40-critical")
        labels = alert["labels"]
        self.assertEqual({k: labels[k] for k in ("job", "port", "slave", "alarm", "severity",
                                                 "name")},
                         {"job": "k40-fleet", "port": unit.url, "slave": "1",
                          "alarm": "ac_power_failure", "severity": "critical", "name": "交流停电"})
        # The runbook's address from the site's one setting, on the serve it names.
        for key, page in (("runbook_url", "en.html"), ("runbook_url_zh", "zh.html")):
            url = alert["annotations"][key]
            self.assertEqual(url, "http://127.0.0.1:%d/runbooks/%s#K40AcPowerFailure"
                             % (RIG.serve.port, page))
            answer = RIG.serve.get(urllib.parse.urlsplit(url).path)
            self.assertEqual(answer.status, 200)
            self.assertIn('id="K40AcPowerFailure"', answer.text())
        self.await_alert(unit, "K40AcPowerFailure", "resolved")
        self.assertEqual(RIG.alerting.webhook.alerts(unit.url, "K40Down"), [])

        # Every alarm the unit's table publishes has its rule, of its severity.
        with open(os.path.join(ALERTING, "k40-alerts.rules.yml"), encoding="utf-8") as f:
            rules = [r for g in yaml.safe_load(f)["groups"] for r in g["rules"]]
        ruled = {(r["labels"]["alarm"], r["labels"]["severity"]) for r in rules
                 if "alarm" in r["labels"]}
        published = {(x.labels["alarm"], x.labels["severity"]) for x in
                     families(RIG.serve.get(probe_url(unit.url)).text())["k40_alarm"].samples}
        self.assertEqual(published, ruled)

    def test_a_unit_lost_during_an_alarm_is_down_and_its_alerts_inhibited(self):
        unit, hook = RIG.alerting.lost, RIG.alerting.webhook
        self.await_alert(unit, "K40AcPowerFailure", "firing")

        # The modules' communication, lost with the mains, fires too but is
        # held back by the AC failure.
        def inhibited(alertname):
            return [a for a in RIG.alerting.alertmanager_alerts(unit.url)
                    if a["labels"]["alertname"] == alertname and a["status"]["inhibitedBy"]]
        self.assertTrue(await_true(lambda: inhibited("K40ModuleCommOffline"), 30))
        unit.kill()
        down, receiver, _ = self.await_alert(unit, "K40Down", "firing")
        self.assertEqual(receiver, "/k40-critical")
        # The unit's notification says K40Down alone: its alarm, still firing
        # (keep_firing_for), is inhibited, as the modules' loss is by the AC failure.
        path, note = hook.received()[down]
        self.assertEqual([a["labels"]["alertname"] for a in note["alerts"]], ["K40Down"])
        # Once the alarm's series has been gone longer than keep_firing_for,
        # Prometheus resolves it; two later notifications of the unit show that
        # Alertmanager has had that since, and still sent no "resolved".
        self.assertTrue(await_true(lambda: RIG.query(
            'ALERTS{alertname="K40AcPowerFailure",instance="%s"}' % unit.url) == [], 30))
        seen = len(hook.received())
        self.assertTrue(await_true(lambda: len([i for i, _, _ in hook.alerts(unit.url, "K40Down")
                                                if i >= seen]) >= 2, 30), hook.received())
        self.assertEqual(hook.alerts(unit.url, "K40AcPowerFailure", "resolved"), [])
        self.assertEqual(hook.alerts(unit.url, "K40ModuleCommOffline"), [])


if __name__ == "__main__":
    unittest.main()
