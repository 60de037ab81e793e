"""k40ctl.exe serve under Wine: the HTTP server on Winsock, polling COM ports
mapped to the Linux k40sim's pseudo-terminals in a copy of the build's Wine
prefix, read from Linux over loopback.

/metrics is read back with the Prometheus client's parser and linted by
promtool, the readings with Python's json module; a real Prometheus scrapes
the server. The request checks (a foreign Host, a command while commands are
off) answer 403, and Ctrl+C (Wine turns SIGINT into CTRL_C_EVENT) ends serve
with its summary. Commands go through with a token file as Windows' own
editors write it. The live page served by k40ctl.exe loads in Linux's
Chromium without an error and shows the unit's values. No COM port but the mapped ones is opened; every other COM
number leads nowhere (wine_prefix.py). Run by ctest with K40CTL_EXE, K40SIM
and K40CTL (Linux) and K40_WINE_PREFIX set.
"""
import http.client
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

# No __pycache__ in the source tree for the modules imported below.
sys.dont_write_bytecode = True
import wine_prefix
from linux_sim import LinuxSim as Sim
from prometheus_client.parser import text_string_to_metric_families

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e", "cli"))
from k40ctl_e2e import NOMINAL  # noqa: E402
from k40ctl_page_e2e import browser  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

K40CTL_EXE = os.environ["K40CTL_EXE"]
BASE_PREFIX = os.environ["K40_WINE_PREFIX"]
PROMETHEUS = "/usr/bin/prometheus"
PROMTOOL = "/usr/bin/promtool"
SERVING = re.compile(r"^k40ctl: serving http://127\.0\.0\.1:(\d+)/$", re.M)


def await_true(condition, timeout):
    """Polls condition until it holds or timeout seconds have passed. Every
    tenth of a second: each look is a request that Wine's server answers, on
    processors that other builds share."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.1)
    return False


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def free_port():
    """A loopback port nothing listens on now, for a program that cannot
    report the one it was given."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch(port, method, path, headers=None, body=None):
    """(status, body as text) of one request to 127.0.0.1:port. http.client
    rather than urllib: no proxy of the environment comes between."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    try:
        conn.request(method, path, body=body, headers=headers or {})
        response = conn.getresponse()
        return response.status, response.read().decode("utf-8")
    finally:
        conn.close()


def metrics(port):
    status, text = fetch(port, "GET", "/metrics")
    assert status == 200, (status, text)
    return text


def samples(text, name):
    """{labels as a sorted tuple: value} of the samples called name."""
    return {tuple(sorted(s.labels.items())): s.value
            for family in text_string_to_metric_families(text)
            for s in family.samples if s.name == name}


def up(port):
    return list(samples(metrics(port), "k40_up").values()) == [1.0]


class Serve:
    """k40ctl.exe --port COMn serve on a free loopback port. Its output goes
    through files, not pipes, which a process that Wine starts on the way
    could inherit and hold open."""

    def __init__(self, prefix, folder, com, *args):
        self.err = os.path.join(folder, "serve-%s.err" % com)
        with open(self.err, "w") as err, open(os.devnull, "w") as out:
            self.proc = subprocess.Popen(
                [wine_prefix.WINE_RUN, prefix, K40CTL_EXE, "--port", com, "serve",
                 "--listen", "127.0.0.1:0", "--interval", "0.2", *args],
                env=wine_prefix.wine_env(prefix), stdin=subprocess.DEVNULL, stdout=out,
                stderr=err)
        await_true(lambda: SERVING.search(self.stderr()) or self.proc.poll() is not None,
                   timeout=60)
        match = SERVING.search(self.stderr())
        if not match:
            self.stop()
            raise RuntimeError("k40ctl.exe serve did not start: " + self.stderr())
        self.port = int(match.group(1))

    def stderr(self):
        return read(self.err)

    def stop(self):
        """Ctrl+C, then the exit status."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)
        return self.proc.returncode


class Prometheus:
    """Prometheus scraping one target every second, on a free loopback port
    with a data folder of its own."""

    def __init__(self, folder, target):
        config = os.path.join(folder, "prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                    "scrape_configs:\n  - job_name: k40\n    static_configs:\n"
                    "      - targets: ['%s']\n" % target)
        self.port = free_port()
        self.log = os.path.join(folder, "prometheus.log")
        with open(self.log, "w") as log:
            self.proc = subprocess.Popen(
                [PROMETHEUS, "--config.file=" + config,
                 "--storage.tsdb.path=" + os.path.join(folder, "prometheus-data"),
                 "--web.listen-address=127.0.0.1:%d" % self.port],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log)

    def query(self, expression):
        """The instant vector's [(labels, value text)], or None while
        Prometheus does not answer yet."""
        try:
            status, text = fetch(self.port, "GET",
                                "/api/v1/query?" + urllib.parse.urlencode({"query": expression}))
        except OSError:
            return None
        if status != 200:
            return None
        return [(r["metric"], r["value"][1]) for r in json.loads(text)["data"]["result"]]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(30)


class K40ctlServeUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Each piece is cleaned up (in reverse) even when a later one fails.
        cls.dir = tempfile.mkdtemp(prefix="k40-wine-serve-")
        cls.addClassCleanup(shutil.rmtree, cls.dir, ignore_errors=True)
        cls.sims = {}
        for com in ("COM1", "COM2"):
            cls.sims[com] = Sim(cls.dir, com.lower())
            cls.addClassCleanup(cls.sims[com].kill)
        cls.prefix = wine_prefix.copy(BASE_PREFIX, cls.dir)
        cls.addClassCleanup(wine_prefix.stop, cls.prefix)
        wine_prefix.map_ports(cls.prefix, {c: s.device for c, s in cls.sims.items()})
        cls.serve = Serve(cls.prefix, cls.dir, "COM1")
        cls.addClassCleanup(cls.serve.stop)
        # Started at once: its first scrape comes some seconds later, while
        # the other cases run.
        cls.prometheus = Prometheus(cls.dir, "127.0.0.1:%d" % cls.serve.port)
        cls.addClassCleanup(cls.prometheus.stop)

    def setUp(self):
        self.assertTrue(await_true(lambda: up(self.serve.port), timeout=30),
                        "no scan got a reply: " + self.serve.stderr())

    def test_metrics(self):
        text = metrics(self.serve.port)
        self.assertEqual(samples(text, "k40_up"), {(("port", "COM1"), ("slave", "1")): 1.0})
        analog = {dict(labels)["register"]: value
                  for labels, value in samples(text, "k40_analog_value").items()}
        self.assertEqual([analog[str(r)] for r in range(100, 109)], NOMINAL)
        self.assertEqual(len(analog), 9)
        lint = subprocess.run([PROMTOOL, "check", "metrics"], input=text, capture_output=True,
                              text=True, timeout=60)
        self.assertEqual((lint.returncode, lint.stdout + lint.stderr), (0, ""))

    def test_readings(self):
        status, text = fetch(self.serve.port, "GET", "/api/v1/readings")
        self.assertEqual(status, 200, text)
        readings = json.loads(text)
        self.assertEqual((readings["outcome"], readings["port"]), ("reply", "COM1"))
        analog = [v for v in readings["values"] if "unit" in v]
        self.assertEqual([v["register"] for v in analog], list(range(100, 109)))
        self.assertEqual([v["value"] for v in analog], NOMINAL)

    def test_the_page_in_a_browser(self):
        driver = browser("zh-CN", os.path.join(self.dir, "chromium"))
        self.addCleanup(driver.quit)
        driver.get("http://127.0.0.1:%d/" % self.serve.port)
        wait = WebDriverWait(driver, 30, poll_frequency=0.05)
        wait.until(lambda d: d.execute_script("return document.body.dataset.ready === '1'"))
        values = ("return [...document.querySelectorAll('#values-body td[data-value]')]"
                  ".map(td => Number(td.dataset.value))")
        wait.until(lambda d: d.execute_script(values) == NOMINAL)
        self.assertEqual(driver.execute_script(
            "return document.getElementById('link-state').dataset.state"), "answering")
        severe = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(severe, [])

    def test_refusals(self):
        before = samples(metrics(self.serve.port), "k40_http_refused_total")
        status, text = fetch(self.serve.port, "GET", "/metrics", {"Host": "evil.example"})
        self.assertEqual(status, 403, text)
        self.assertIn('Host "evil.example"', text)
        status, text = fetch(self.serve.port, "POST", "/api/v1/command",
                            {"Content-Type": "application/json"}, b'{"command":"manual"}')
        self.assertEqual(status, 403, text)
        self.assertIn("without --allow-commands", text)
        after = samples(metrics(self.serve.port), "k40_http_refused_total")
        counted = {dict(labels)["reason"]: after[labels] - before[labels] for labels in after}
        self.assertEqual(counted, {"host": 1, "origin": 0, "token": 0, "commands-off": 1, "request": 0})
        # Only reads reached the unit: no write (function 05).
        functions = {r[2:4] for r in self.sims["COM1"].requests()}
        self.assertEqual(functions, {"01", "03"})

    def test_prometheus_scrapes_it(self):
        def scraped():
            result = self.prometheus.query("k40_up")
            return result is not None and [value for _, value in result] == ["1"]
        self.assertTrue(await_true(scraped, timeout=60), read(self.prometheus.log)[-2000:])
        self.assertEqual([v for _, v in self.prometheus.query('up{job="k40"}')], ["1"])
        values = self.prometheus.query('k40_analog_value{register="105"}')
        self.assertEqual([(labels["port"], float(v)) for labels, v in values], [("COM1", 6.4)])

    def test_commands_with_a_token_file_then_ctrl_c(self):
        # The token file as Notepad saves it (a UTF-8 byte-order mark, CRLF),
        # under a Chinese name: it is opened by its UTF-16 name.
        token = "9e07c4b1a65d2f83e0b7d9c4a1f65e28c3b0a7d94f1e62b85a0c3d7e9f14b26a"
        token_file = os.path.join(self.dir, "令牌.txt")
        with open(token_file, "wb") as f:
            f.write(b"\xef\xbb\xbf" + token.encode() + b"\r\n")
        serve = Serve(self.prefix, self.dir, "COM2", "--allow-commands", "--token-file",
                      token_file)
        sim = self.sims["COM2"]
        try:
            self.assertTrue(await_true(lambda: up(serve.port), timeout=30), serve.stderr())
            command = b'{"command":"manual"}'
            status, text = fetch(serve.port, "POST", "/api/v1/command",
                                 {"Content-Type": "application/json"}, command)
            self.assertEqual(status, 401, text)
            self.assertNotIn("05", {r[2:4] for r in sim.requests()})
            status, text = fetch(serve.port, "POST", "/api/v1/command",
                                 {"Content-Type": "application/json",
                                  "Authorization": "Bearer " + token}, command)
            self.assertEqual(status, 200, text)
            self.assertEqual(json.loads(text)["outcome"], "confirmed", text)
            self.assertIn("05", {r[2:4] for r in sim.requests()})
        finally:
            status = serve.stop()
        self.assertEqual(status, 0, serve.stderr())
        # Ended by the handler, which lets serve say what it did.
        self.assertRegex(serve.stderr(), r"\nk40ctl: [1-9]\d* scans, 0 failed\n")
        # And its port is free again.
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", serve.port), timeout=10).close()

    def test_a_utf16_token_file_is_named(self):
        # As Windows PowerShell's ">" writes it.
        token_file = os.path.join(self.dir, "token-utf16.txt")
        with open(token_file, "wb") as f:
            f.write(("0123456789abcdef" * 4 + "\r\n").encode("utf-16"))
        err = os.path.join(self.dir, "utf16.err")
        with open(err, "w") as f:
            r = wine_prefix.run(self.prefix, K40CTL_EXE, "--port", "COM3", "serve",
                                "--allow-commands", "--token-file", token_file,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=f,
                                timeout=60)
        self.assertEqual(r.returncode, 2, read(err))
        self.assertIn(token_file + ": the file is UTF-16", read(err))

if __name__ == "__main__":
    unittest.main()
