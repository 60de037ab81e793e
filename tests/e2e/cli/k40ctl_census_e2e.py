"""k40ctl census and identify against independent peers and the simulator.

Two RTU lines of pymodbus slaves on socat pseudo-terminal pairs (units 3 and
7 with an identity for 43/14, units 2 and 5 without one, where 17 answers),
pymodbus over Modbus TCP (units 1 and 4, a vendor name long enough that the
identification comes in two replies), and k40sim on a line of its own (one
pseudo-terminal is one master and one slave), recognised by its map. Outputs
are read back with Python's csv and json modules. Run by ctest with K40CTL and
K40SIM set, under Debian's /usr/bin/python3 (python3-pymodbus).
"""
import csv
import io
import json
import os
import signal
import subprocess
import sys
import types
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import K40CTL, K40SIM, await_true  # noqa: E402
from k40ctl_raw_e2e import (CLEAN_ENV, HERE, accepts, ctl, free_port,  # noqa: E402
                            start_rtu_line, stop_rtu_line)

IDENTITY = {"function": 43, "vendor": "Peer Works", "product": "PW-7", "revision": "3.1"}
# pymodbus without an identity: its name in the server id's place, then "on".
PYMODBUS_ID = " ".join("%02X" % b for b in b"Pymodbus")


def json_lines(text):
    return [json.loads(line) for line in text.splitlines()]


class RtuCensusTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.named = types.SimpleNamespace()
        start_rtu_line(cls.named, (3, 7), peer_args=("--identity", "short"))
        cls.anonymous = types.SimpleNamespace()
        start_rtu_line(cls.anonymous, (2, 5))

    @classmethod
    def tearDownClass(cls):
        stop_rtu_line(cls.named)
        stop_rtu_line(cls.anonymous)

    def test_census_finds_exactly_the_slaves_and_their_identity(self):
        r = ctl("--port", self.named.port, "--format", "json", "census", "--from", "1", "--to", "9")
        self.assertEqual(r.returncode, 0, r.stderr)
        devices = json_lines(r.stdout)
        self.assertEqual([d["address"] for d in devices], [3, 7])
        for d in devices:
            self.assertEqual((d["answer"], d["unit"], d["identification"]),
                             ("reply", False, IDENTITY))

    def test_without_an_identity_report_server_id_answers(self):
        r = ctl("--port", self.anonymous.port, "--format", "csv", "census", "--from", "1", "--to",
                "6")
        self.assertEqual(r.returncode, 0, r.stderr)
        rows = list(csv.DictReader(io.StringIO(r.stdout, newline="")))
        self.assertEqual([row["address"] for row in rows], ["2", "5"])
        for row in rows:
            self.assertEqual((row["function"], row["server_id"], row["run"], row["vendor"]),
                             ("17", PYMODBUS_ID, "on", ""))

    def test_identify_one_slave(self):
        r = ctl("--port", self.named.port, "--slave", "7", "--format", "json", "identify")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(json.loads(r.stdout)["identification"], IDENTITY)
        r = ctl("--port", self.named.port, "--slave", "7", "identify")
        self.assertEqual(r.stdout.splitlines()[1].split(),
                         ["7", "reply", "-", "Peer", "Works", "PW-7", "3.1"])
        # pymodbus answers an absent unit as a gateway would: 0B, no device.
        r = ctl("--port", self.named.port, "--slave", "4", "identify")
        self.assertEqual((r.returncode, r.stdout), (4, ""))
        self.assertIn("exception reply 0B", r.stderr)


class TcpCensusTest(unittest.TestCase):
    def test_census_over_modbus_tcp_follows_more_follows(self):
        tcp = free_port()
        peer = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "pymodbus_peer.py"),
                                 "tcp", str(tcp), "1,4", "--identity", "long"],
                                stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (peer.kill(), peer.wait(5), peer.stdout.close()))
        self.assertTrue(await_true(lambda: accepts(tcp)))
        r = ctl("--port", "mbtcp://127.0.0.1:%d" % tcp, "--format", "json", "census", "--from",
                "0", "--to", "6")
        self.assertEqual(r.returncode, 0, r.stderr)
        devices = json_lines(r.stdout)
        self.assertEqual([d["address"] for d in devices], [1, 4])
        self.assertEqual(devices[1]["identification"],
                         dict(IDENTITY, vendor="V" * 240))
        # The gateway's 0A/0B for the other unit ids prove no device: scan
        # passes over them as the census does.
        r = ctl("--port", "mbtcp://127.0.0.1:%d" % tcp, "scan", "--all")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([line.rsplit(" ", 1)[1] for line in r.stdout.splitlines()], ["1", "4"])


class SimCensusTest(unittest.TestCase):
    def sim(self, *args):
        proc = subprocess.Popen([K40SIM, "--quiet", "--static", *args], stdout=subprocess.PIPE,
                                text=True)
        self.addCleanup(lambda: (proc.kill(), proc.wait(5), proc.stdout.close()))
        return proc.stdout.readline().strip()

    def test_the_unit_is_recognised_by_its_map(self):
        path = self.sim("--slave", "9")
        r = ctl("--port", path, "--format", "json", "census", "--from", "7", "--to", "10")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(json_lines(r.stdout),
                         [{"address": 9, "answer": "reply", "unit": True, "identification": None}])
        r = ctl("--port", path, "--slave", "9", "identify")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("9       reply        HCU-K40 unit", r.stdout)

    def test_behind_an_adapter_that_echoes(self):
        # The copies of 43/14 (7 bytes) and 17 (4 bytes) come back before the
        # unit's exceptions and are taken off whole.
        r = ctl("--port", self.sim("--adapter-echo"), "--format", "json", "identify")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(json.loads(r.stdout)["unit"])

    def test_no_device_is_exit_3(self):
        r = ctl("--port", self.sim("--slave", "9"), "census", "--from", "1", "--to", "2")
        self.assertEqual(r.returncode, 3)
        self.assertIn("no device answered", r.stderr)

    def test_ctrl_c_keeps_what_was_found(self):
        path = self.sim()
        census = subprocess.Popen([K40CTL, "--wait", "300", "--port", path, "--format", "csv",
                                   "census"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  text=True, env=CLEAN_ENV)
        header, first = census.stdout.readline(), census.stdout.readline()
        census.send_signal(signal.SIGINT)
        out, err = census.communicate(timeout=10)
        self.assertEqual(census.returncode, 0, err)
        rows = list(csv.DictReader(io.StringIO(header + first + out, newline="")))
        self.assertEqual([(row["address"], row["unit"]) for row in rows], [("1", "yes")])
        self.assertIn("census stopped at address", err)

    def test_refused_ranges(self):
        for args in (["--from", "0"], ["--to", "255"], ["--from", "5", "--to", "4"]):
            with self.subTest(args=args):
                r = ctl("--port", "/nonexistent", "census", *args)
                self.assertEqual(r.returncode, 2)
                self.assertIn("census:", r.stderr)


if __name__ == "__main__":
    unittest.main()
