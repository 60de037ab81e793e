"""k40ctl.exe under Wine against the Linux k40sim, on COM ports mapped to its
pseudo-terminals in a copy of the build's Wine prefix, and over TCP; and
k40sim.exe --listen under Wine answering the Linux k40ctl.

The Win32 serial device is what is under test here: a read, a command, a
time-out, a hang-up (the simulator killed under a running watch), and the
exit statuses. Outputs are read back with Python's csv and json modules; the
bytes on the wire come from the simulator's own trace. No COM port but the
mapped ones is opened; every other COM number leads nowhere (wine_prefix.py).
Run by ctest with K40CTL_EXE, K40SIM_EXE, K40SIM and K40CTL (Linux) and
K40_WINE_PREFIX set.
"""
import csv
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

# No __pycache__ in the source tree for the modules imported below.
sys.dont_write_bytecode = True
import wine_prefix
from linux_sim import LinuxSim as Sim
from prometheus_client.parser import text_string_to_metric_families

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e", "cli"))
from k40ctl_e2e import NOMINAL, await_true, request  # noqa: E402
from k40ctl_raw_e2e import accepts, free_port  # noqa: E402

PYMODBUS_PEER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e", "cli",
                             "pymodbus_peer.py")

K40CTL_EXE = os.environ["K40CTL_EXE"]
K40SIM_EXE = os.environ["K40SIM_EXE"]
K40CTL = os.environ["K40CTL"]
BASE_PREFIX = os.environ["K40_WINE_PREFIX"]


def read(path):
    with open(path, newline="") as f:
        return f.read()


class K40ctlUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="k40-wine-e2e-")
        cls.sims = {
            "COM5": Sim(cls.dir, "com5"),
            "COM7": Sim(cls.dir, "com7", "--fault", "silent"),
            "COM8": Sim(cls.dir, "com8", "--fault", "exception"),
            "COM9": Sim(cls.dir, "com9"),  # killed by the hang-up case
            "COM12": Sim(cls.dir, "com12"),
            "COM13": Sim(cls.dir, "com13", "--parity", "even"),
        }
        cls.prefix = wine_prefix.copy(BASE_PREFIX, cls.dir)
        wine_prefix.map_ports(cls.prefix, {c: s.device for c, s in cls.sims.items()})

    @classmethod
    def tearDownClass(cls):
        for sim in cls.sims.values():
            sim.kill()
        wine_prefix.stop(cls.prefix)
        shutil.rmtree(cls.dir, ignore_errors=True)

    def ctl(self, *args):
        return wine_prefix.run(self.prefix, K40CTL_EXE, *args, capture_output=True,
                               timeout=60, encoding="utf-8")

    def test_reads_in_each_format(self):
        r = self.ctl("--port", "COM5", "--format", "csv", "ai")
        self.assertEqual(r.returncode, 0, r.stderr)
        rows = list(csv.reader(io.StringIO(r.stdout, newline="")))
        self.assertEqual(len(rows), 2, rows)
        self.assertEqual([float(v) for v in rows[1][-9:]], NOMINAL)
        r = self.ctl("--port", "COM5", "--format", "json", "di")
        self.assertEqual(r.returncode, 0, r.stderr)
        record = json.loads(r.stdout)
        self.assertEqual(record["outcome"], "reply")
        self.assertEqual(len(record["values"]), 15)
        # COM10 and above open through the \\.\ prefix.
        r = self.ctl("--port", "COM12", "--format", "json", "ai")
        self.assertEqual([v["value"] for v in json.loads(r.stdout)["values"]], NOMINAL)

    def test_confirmed_command(self):
        before = len(self.sims["COM5"].requests())
        r = self.ctl("--port", "COM5", "manual")
        self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
        # In auto a fresh opening settles the echo with one read before the write.
        self.assertEqual(self.sims["COM5"].requests()[before:],
                         [request(3, 0, 1), request(5, 200, 0xFF00), request(1, 0, 15)])

    def test_exit_statuses(self):
        r = self.ctl("--port", "COM7", "--wait", "300", "ai")
        self.assertEqual(r.returncode, 3, r.stderr)
        r = self.ctl("--port", "COM8", "ai")
        self.assertEqual(r.returncode, 4, r.stderr)
        r = self.ctl("--port", "COM6", "ai")  # mapped to a path that does not exist
        self.assertEqual(r.returncode, 5, r.stderr)
        self.assertIn("cannot open COM6: no such device", r.stderr)

    def test_parity_on_the_line(self):
        # k40sim at 8E1 hears a master at no parity as noise.
        r = self.ctl("--port", "COM13", "--wait", "300", "ai")
        self.assertEqual(r.returncode, 3, r.stderr)
        # Even parity either reaches the line and gets the reply, or the port
        # refuses it, and then the refusal names the settings. Wine cannot set
        # a parity on the pseudo-terminal behind COM13 (the kernel drops PARENB
        # there), so here it is the refusal.
        r = self.ctl("--port", "COM13", "--parity", "even", "ai")
        if r.returncode != 0:
            self.assertEqual(r.returncode, 5, r.stderr)
            self.assertIn("COM13: not a serial line, or one that does not take 9600 baud 8E1",
                          r.stderr)

    def test_files_named_in_chinese(self):
        # Arguments come in as UTF-16 and files open by their UTF-16 names: a
        # Chinese name arrives whole, not as "????". The Prometheus file is
        # replaced with MoveFileExW.
        out = os.path.join(self.dir, "读数.csv")
        r = self.ctl("--port", "COM5", "watch", "--count", "2", "--interval", "0",
                     "--format", "csv", "--output", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        rows = list(csv.reader(io.StringIO(read(out), newline="")))
        self.assertEqual([row[1] for row in rows], ["outcome", "reply", "reply"])
        prom = os.path.join(self.dir, "监视.prom")
        for _ in range(2):  # the second replaces the first
            r = self.ctl("--port", "COM5", "watch", "--count", "1", "--format", "prometheus",
                         "--output", prom)
            self.assertEqual(r.returncode, 0, r.stderr)
        values = {s.labels["register"]: s.value
                  for family in text_string_to_metric_families(read(prom))
                  for s in family.samples if s.name == "k40_analog_value"}
        self.assertEqual([values[str(r)] for r in range(100, 109)], NOMINAL)
        self.assertEqual([f for f in os.listdir(self.dir) if f.startswith(".")], [])
        # The layout check reads the same file by the same name: another
        # layout is refused before any request, not appended under its header.
        sent = len(self.sims["COM5"].requests())
        r = self.ctl("--port", "COM5", "watch", "all", "--count", "1", "--format", "csv",
                     "--output", out)
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("watch ai (12 columns)", r.stderr)
        self.assertEqual(len(self.sims["COM5"].requests()), sent)
        self.assertEqual(len(list(csv.reader(io.StringIO(read(out), newline="")))), 3)

    def test_ports_and_doctor(self):
        r = self.ctl("--format", "json", "ports")
        self.assertEqual(r.returncode, 0, r.stderr)
        listed = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertTrue(any(p.get("device") == "COM5" for p in listed), listed)
        r = self.ctl("--port", "COM5", "doctor")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("pass  port exists: COM5", r.stdout)
        self.assertIn("pass  the unit answered at 9600 baud", r.stdout)
        r = self.ctl("--port", "COM6", "doctor")
        self.assertEqual(r.returncode, 1)
        self.assertIn("fail  COM6 does not exist", r.stdout)

    def test_tcp_read(self):
        sim = Sim(self.dir, "tcp", "--listen", "127.0.0.1:0")
        try:
            r = self.ctl("--port", sim.name, "--format", "json", "ai")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual([v["value"] for v in json.loads(r.stdout)["values"]], NOMINAL)
            # A name's addresses share the wait: ::1, where nothing listens,
            # leaves time for 127.0.0.1.
            tcp = sim.name.rsplit(":", 1)[1]
            r = self.ctl("--port", "tcp://localhost:" + tcp, "--format", "json", "ai")
            self.assertEqual(r.returncode, 0, r.stderr)
            # A port nobody listens on is refused, not silent.
            r = self.ctl("--port", "tcp://127.0.0.1:%d" % free_port(), "ai")
            self.assertEqual(r.returncode, 5, r.stderr)
            self.assertIn("refused", r.stderr)
        finally:
            sim.kill()

    def test_help_and_file_errors_speak_of_windows(self):
        r = self.ctl("--help")
        self.assertEqual(r.returncode, 0, r.stderr)
        for gone in ("SIGHUP", "SIGTERM", "/dev/tty"):
            self.assertNotIn(gone, r.stdout)
        self.assertIn("Ctrl+Break", r.stdout)
        # A file in a folder that does not exist is no missing device.
        prom = os.path.join(self.dir, "no-such-folder", "k40.prom")
        r = self.ctl("--port", "COM5", "watch", "--count", "1", "--format", "prometheus",
                     "--output", prom)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("k40.prom", r.stderr)
        self.assertNotIn("device", r.stderr)

    def test_hang_up_then_stop_leaves_a_complete_csv(self):
        # The watch reads COM9 until its simulator is killed (the line hangs
        # up under the open handle), goes on failing, and Ctrl+C (Wine turns
        # SIGINT into CTRL_C_EVENT) ends it after the exchange under way.
        out = os.path.join(self.dir, "watch.csv")
        sim = self.sims["COM9"]
        watch = wine_prefix.spawn(self.prefix, K40CTL_EXE, "--port", "COM9", "--wait", "300",
                                  "watch", "--interval", "0", "--format", "csv", "--output", out)
        try:
            self.assertTrue(await_true(lambda: len(sim.requests()) >= 5), "no reads")
            sim.kill()
            failed = await_true(lambda: "timeout" in read(out), timeout=60)
            watch.send_signal(signal.SIGINT)
            _, err = watch.communicate(timeout=30)
        finally:
            if watch.poll() is None:
                watch.kill()
        self.assertTrue(failed, "no failure in the CSV: " + err)
        text = read(out)
        self.assertNotIn("\r\r", text)
        rows = list(csv.reader(io.StringIO(text, newline="")))
        self.assertGreater(len(rows), 5)
        self.assertTrue(all(len(row) == len(rows[0]) for row in rows), rows)
        self.assertIn("reply", [row[1] for row in rows[1:]])
        self.assertEqual(rows[-1][1], "timeout", err)
        # Ended by the handler, which lets the watch say what it did.
        self.assertRegex(err, r"\b%d scans, [1-9]\d* failed" % (len(rows) - 1))


class K40simUnderWine(unittest.TestCase):
    def test_listen_answers_the_linux_k40ctl(self):
        work = tempfile.mkdtemp(prefix="k40-wine-sim-")
        prefix = wine_prefix.copy(BASE_PREFIX, work)
        trace = os.path.join(work, "跟踪.trace")  # opened by its UTF-16 name
        sim = wine_prefix.spawn(prefix, K40SIM_EXE, "--listen", "127.0.0.1:0", "--static",
                                "--quiet", "--trace", trace)
        try:
            name = sim.stdout.readline().strip()
            self.assertRegex(name, r"^tcp://127\.0\.0\.1:\d+$")
            r = subprocess.run([K40CTL, "--port", name, "--format", "json", "ai"],
                               capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual([v["value"] for v in json.loads(r.stdout)["values"]], NOMINAL)
            r = subprocess.run([K40CTL, "--port", name, "float"], capture_output=True,
                               text=True, timeout=30)
            self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
            sim.send_signal(signal.SIGINT)  # Ctrl+C under Wine
            sim.communicate(timeout=30)
            self.assertEqual(sim.returncode, 0)
            with open(trace) as f:
                frames = [line.split()[2] for line in f if line.strip() and line[0] != "#"]
            # Each k40ctl opens afresh: its command is preceded by the echo's settling read.
            self.assertEqual(frames, [request(3, 100, 9), request(3, 0, 1),
                                      request(5, 201, 0xFF00), request(1, 0, 15)])
        finally:
            if sim.poll() is None:
                sim.kill()
            wine_prefix.stop(prefix)
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
