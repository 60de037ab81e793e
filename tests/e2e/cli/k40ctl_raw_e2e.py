"""k40ctl read and write against independent Modbus peers.

A pymodbus server (pymodbus_peer.py, its known values listed there) over
Modbus TCP and over RTU on a pseudo-terminal pair from socat; mbpoll -m tcp
against k40sim --listen-mbtcp; a fake gateway that answers with another
transaction id; and command lines beyond the protocol's limits. Outputs are
read back with Python's json and csv modules. Run by ctest with K40CTL and
K40SIM set, under Debian's /usr/bin/python3 (python3-pymodbus).
"""
import csv
import io
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import K40CTL, K40SIM, NOMINAL, await_true  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
CLEAN_ENV = {k: v for k, v in os.environ.items() if not k.startswith("K40_")}


def ctl(*args):
    return subprocess.run([K40CTL, "--wait", "300"] + list(args), capture_output=True, text=True,
                          timeout=30, env=CLEAN_ENV)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    try:
        socket.create_connection(("127.0.0.1", port), 0.1).close()
        return True
    except OSError:
        return False


def json_values(result):
    return [v["value"] for v in json.loads(result.stdout)["values"]]


# What every table of the peer holds: the read, then the values as JSON gives them.
READS = [
    (["read", "coils", "0", "9"], [1, 0, 1, 1, 0, 0, 0, 1, 1]),
    (["read", "discrete", "0", "5"], [0, 1, 1, 0, 1]),
    (["read", "holding", "0", "2"], [0x1234, 0xFFFE]),
    (["read", "holding", "0", "2", "--type", "s16"], [4660, -2]),
    (["read", "holding", "0", "1", "--type", "hex"], ["0x1234"]),
    (["read", "holding", "10", "1", "--type", "f32"], [3.25]),
    (["read", "holding", "0xA", "1", "--type", "f32"], [3.25]),
    (["read", "holding", "20", "1", "--type", "f32", "--word-order", "little"], [3.25]),
    (["read", "holding", "30", "1", "--type", "u32"], [74565]),
    (["read", "holding", "30", "1", "--type", "u32", "--word-order", "little"], [0x23450001]),
    (["read", "input", "0", "3"], [7, 8, 9]),
    (["read", "input", "5", "1", "--type", "f32"], [-1.5]),
    # Reference numbers count from 1 and name the table: 40011 is holding 10.
    (["read", "40011", "--type", "f32"], [3.25]),
    (["read", "400001", "2"], [0x1234, 0xFFFE]),
    (["read", "30001", "3"], [7, 8, 9]),
    (["read", "10002", "2"], [1, 1]),
    (["read", "00001", "3"], [1, 0, 1]),
    # Every byte order, 64-bit values (exact in JSON) and text.
    (["read", "holding", "70", "1", "--type", "f32", "--byte-order", "abcd"], [-1234.5]),
    (["read", "holding", "72", "1", "--type", "f32", "--byte-order", "cdab"], [-1234.5]),
    (["read", "holding", "74", "1", "--type", "f32", "--byte-order", "badc"], [-1234.5]),
    (["read", "holding", "76", "1", "--type", "f32", "--byte-order", "dcba"], [-1234.5]),
    (["read", "holding", "80", "1", "--type", "u64"], [2 ** 53 + 1]),
    (["read", "holding", "84", "1", "--type", "s64"], [-2]),
    (["read", "holding", "88", "1", "--type", "f64"], [3.25]),
    (["read", "holding", "92", "1", "--type", "u64", "--byte-order", "dcba"], [2 ** 53 + 1]),
    (["read", "holding", "96", "4", "--type", "ascii"], ["K40 ok\\x00\\x00"]),
    (["read", "holding", "96", "2", "--type", "ascii", "--byte-order", "badc"], ["4K 0"]),
]


class PeerReads:
    """The cases for a pymodbus peer; port is set by the subclass."""
    port = None

    def run_ctl(self, *args):
        return ctl("--port", self.port, *args)

    def test_every_table(self):
        for args, expected in READS:
            with self.subTest(args=args):
                r = self.run_ctl("--format", "json", *args)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(json_values(r), expected)
        r = self.run_ctl("--format", "csv", "read", "holding", "10", "2", "--type", "s16")
        self.assertEqual(list(csv.reader(io.StringIO(r.stdout))),
                         [["address", "value"], ["10", "16464"], ["11", "0"]])

    def test_writes_read_back(self):
        r = self.run_ctl("write", "registers", "40", "-7.5", "2e6", "--type", "f32",
                         "--word-order", "little")
        self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
        r = self.run_ctl("--format", "json", "read", "holding", "40", "4", "--type", "hex")
        self.assertEqual(json_values(r), ["0x0000", "0xC0F0", "0x2400", "0x49F4"])
        for args in (["write", "register", "50", "-3", "--type", "s16"],
                     ["write", "coil", "0", "off"], ["write", "coil", "1", "on"],
                     ["write", "coil", "2", "0"], ["write", "coil", "4", "TRUE"],
                     ["write", "coil", "5", "1"], ["write", "coil", "7", "False"]):
            r = self.run_ctl(*args)
            self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
        r = self.run_ctl("--format", "json", "read", "holding", "50", "1", "--type", "s16")
        self.assertEqual(json_values(r), [-3])
        r = self.run_ctl("--format", "json", "read", "coils", "0", "8")
        self.assertEqual(json_values(r), [0, 1, 0, 1, 1, 1, 0, 0])
        # Several coils at once (15), and writes by reference: 40051 is holding 50.
        for args in (["write", "coils", "10", "on", "off", "1", "1", "0", "0", "0", "0", "TRUE"],
                     ["write", "40051", "9"], ["write", "40052", "5", "6"],
                     ["write", "00021", "on"], ["write", "00022", "1", "0", "1"]):
            r = self.run_ctl(*args)
            self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
        r = self.run_ctl("--format", "json", "read", "coils", "10", "15")
        self.assertEqual(json_values(r), [1, 0, 1, 1, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1, 0])
        r = self.run_ctl("--format", "json", "read", "holding", "50", "3")
        self.assertEqual(json_values(r), [9, 5, 6])

    def test_writes_in_every_byte_order_read_back(self):
        for order, expected in (("abcd", ["0xC049", "0x0000", "0x0000", "0x0000"]),
                                ("cdab", ["0x0000", "0x0000", "0x0000", "0xC049"]),
                                ("badc", ["0x49C0", "0x0000", "0x0000", "0x0000"]),
                                ("dcba", ["0x0000", "0x0000", "0x0000", "0x49C0"])):
            with self.subTest(order=order):
                r = self.run_ctl("write", "registers", "40", "-50", "--type", "f64",
                                 "--byte-order", order)
                self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
                r = self.run_ctl("--format", "json", "read", "holding", "40", "4", "--type", "hex")
                self.assertEqual(json_values(r), expected)
                r = self.run_ctl("--format", "json", "read", "holding", "40", "--type", "f64",
                                 "--byte-order", order)
                self.assertEqual((json_values(r), json.loads(r.stdout)["byte_order"]),
                                 ([-50], order))
        r = self.run_ctl("write", "registers", "40", "18446744073709551615", "-1", "--type",
                         "u64")
        self.assertEqual(r.returncode, 2)
        self.assertIn("-1 does not fit u64", r.stderr)
        r = self.run_ctl("write", "registers", "40", "18446744073709551615", "--type", "u64")
        self.assertEqual(r.returncode, 0, r.stderr)
        r = self.run_ctl("--format", "json", "read", "holding", "40", "--type", "u64")
        self.assertEqual(json_values(r), [2 ** 64 - 1])

    def test_floats_that_are_no_number(self):
        # Spelt alike in table and CSV; null in JSON with the registers beside it.
        r = self.run_ctl("read", "holding", "60", "3", "--type", "f32")
        self.assertEqual([line.split()[1] for line in r.stdout.splitlines()],
                         ["NaN", "Inf", "-Inf"], r.stderr)
        r = self.run_ctl("--format", "csv", "read", "holding", "60", "3", "--type", "f32")
        self.assertEqual([row[1] for row in csv.reader(io.StringIO(r.stdout))][1:],
                         ["NaN", "Inf", "-Inf"])
        r = self.run_ctl("--format", "json", "read", "holding", "60", "3", "--type", "f32")
        values = json.loads(r.stdout, parse_constant=self.fail)["values"]
        self.assertEqual([(v["value"], v["registers"]) for v in values],
                         [(None, ["0x7FC0", "0x0000"]), (None, ["0x7F80", "0x0000"]),
                          (None, ["0xFF80", "0x0000"])])

    def test_refused_write_is_an_exception(self):
        r = self.run_ctl("--format", "json", "write", "registers", "100", "1", "2")
        self.assertEqual(r.returncode, 4, r.stderr)
        self.assertEqual(json.loads(r.stdout)["exception"],
                         {"code": 2, "name": "非法数据地址", "name_en": "illegal data address"})
        self.assertIn("exception reply 02 illegal data address (非法数据地址)", r.stderr)
        # An address that looks like a reference number gets a word on it.
        for args, status, said in (
                (["read", "holding", "40101"], 4, "it is holding 100 (read 40101)"),
                (["watch", "read", "holding", "40101", "--count", "1"], 0,
                 "it is holding 100 (read 40101)"),
                (["write", "register", "40101", "7"], 4, "it is holding 100 (write 40101 VALUE"),
                (["write", "registers", "30101", "7", "8"], 4,
                 "it is input 100, which cannot be written")):
            with self.subTest(args=args):
                r = self.run_ctl(*args)
                self.assertEqual(r.returncode, status, r.stderr)
                self.assertIn("if %s is a reference from the device's manual, "
                              % next(a for a in args if len(a) == 5 and a.isdigit()), r.stderr)
                self.assertIn(said, r.stderr)


class PymodbusTcpTest(PeerReads, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tcp = free_port()
        cls.peer = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "pymodbus_peer.py"),
                                     "tcp", str(tcp)], stdout=subprocess.PIPE, text=True)
        assert await_true(lambda: accepts(tcp))
        cls.port = "mbtcp://127.0.0.1:%d" % tcp

    @classmethod
    def tearDownClass(cls):
        cls.peer.kill()
        cls.peer.wait(5)
        cls.peer.stdout.close()

    def test_unit_ids_of_network_devices(self):
        for unit in ("0", "255"):
            r = self.run_ctl("--slave", unit, "--format", "json", "read", "input", "0", "1")
            self.assertEqual((r.returncode, json_values(r)), (0, [7]), r.stderr)


    def test_watch_read(self):
        with tempfile.TemporaryDirectory() as d:
            log = os.path.join(d, "log.csv")
            r = self.run_ctl("--format", "csv", "watch", "read", "holding", "10", "2", "--type",
                             "f32", "--count", "2", "--interval", "0", "--output", log)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(log, newline="") as f:
                rows = list(csv.DictReader(f))
        self.assertEqual([(row["outcome"], row["holding 10"], row["holding 12"]) for row in rows],
                         [("reply", "3.25", "0")] * 2)
        r = self.run_ctl("--format", "json", "watch", "read", "coils", "0", "70", "--count", "1")
        self.assertEqual(json_values(r)[:9], [1, 0, 1, 1, 0, 0, 0, 1, 1])
        self.assertEqual(len(json_values(r)), 70)

    def test_mbpoll_reads_the_same_floats(self):
        # mbpoll's float is word swapped (cdab) unless -B (abcd).
        tcp = self.port.rsplit(":", 1)[1]
        for mbpoll_args, address in ((["-B"], "70"), ([], "72")):
            r = subprocess.run(["mbpoll", "-m", "tcp", "-p", tcp, "-a", "1", "-0", "-1", "-t",
                                "4:float", "-r", address] + mbpoll_args + ["127.0.0.1"],
                               capture_output=True, text=True, timeout=30)
            self.assertIn("[%s]: \t-1234.5" % address, r.stdout.replace("  ", " "), r.stdout)

    def test_watch_read_writes_the_records_of_read(self):
        for args in (["holding", "0", "2", "--type", "hex"], ["coils", "0", "3"],
                     ["40097", "4", "--type", "ascii"]):
            with self.subTest(args=args):
                once = json.loads(self.run_ctl("--format", "json", "read", *args).stdout)
                r = self.run_ctl("--format", "json", "watch", "read", *args, "--count", "1")
                watched = json.loads(r.stdout)
                self.assertEqual(list(watched), list(once))
                for key in ("outcome", "table", "type", "values"):
                    self.assertEqual(watched[key], once[key])


def start_rtu_line(cls, units=(), log=None, peer_args=()):
    """A pymodbus RTU slave (or slaves with units) on one end of a socat
    pseudo-terminal pair, k40ctl's port (cls.port) the other end; with log,
    socat writes the line's bytes there; peer_args go to pymodbus_peer.py."""
    cls.dir = tempfile.TemporaryDirectory()
    ours, theirs = (os.path.join(cls.dir.name, n) for n in ("ctl", "peer"))
    dump = ["-x"] if log else []
    cls.socat = subprocess.Popen(["socat", *dump, "pty,raw,echo=0,link=" + ours,
                                  "pty,raw,echo=0,link=" + theirs], stderr=log)
    assert await_true(lambda: os.path.exists(ours) and os.path.exists(theirs))
    unit_ids = [",".join(map(str, units))] if units else []
    cls.peer = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "pymodbus_peer.py"),
                                 "rtu", theirs, *unit_ids, *peer_args], stdout=subprocess.PIPE,
                                text=True)
    assert cls.peer.stdout.readline().strip() == "ready"
    cls.port = ours
    first = ["--slave", str(units[0])] if units else []
    assert await_true(lambda: ctl("--port", ours, *first, "read", "input", "0").returncode == 0)


def stop_rtu_line(cls):
    for p in (cls.peer, cls.socat):
        p.kill()
        p.wait(5)
    cls.peer.stdout.close()
    cls.dir.cleanup()


class PymodbusRtuTest(PeerReads, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        start_rtu_line(cls)

    @classmethod
    def tearDownClass(cls):
        stop_rtu_line(cls)


BROADCAST_SAID = "sent to all units (broadcast); no reply is expected"


class PymodbusBroadcastTest(unittest.TestCase):
    """Broadcasts (--slave 0) on an RTU line of three pymodbus slaves, units 1, 2
    and 3: every slave carries each write out and none answers, as socat's log
    of the line shows (bytes from the slaves' side are the reads' replies only)."""
    UNITS = (1, 2, 3)

    @classmethod
    def setUpClass(cls):
        cls.log_dir = tempfile.TemporaryDirectory()
        cls.log_path = os.path.join(cls.log_dir.name, "line.log")
        cls.log = open(cls.log_path, "w")
        start_rtu_line(cls, cls.UNITS, cls.log)

    @classmethod
    def tearDownClass(cls):
        stop_rtu_line(cls)
        cls.log.close()
        cls.log_dir.cleanup()

    def slave_bytes(self):
        """Bytes the slaves have sent so far: socat -x marks them "<"."""
        with open(self.log_path) as f:
            return sum(int(line.split("length=")[1].split()[0])
                       for line in f if line.startswith("< "))

    def test_a_broadcast_is_carried_out_by_every_slave_and_answered_by_none(self):
        before = self.slave_bytes()
        for args in (["write", "register", "50", "77"], ["write", "registers", "51", "1", "2"],
                     ["write", "coil", "20", "on"], ["write", "coils", "10", "on", "off", "on"],
                     ["write", "40054", "9"]):
            r = ctl("--port", self.port, "--slave", "0", "--turnaround", "50", *args)
            self.assertEqual((r.returncode, r.stdout), (0, BROADCAST_SAID + "\n"), r.stderr)
        r = ctl("--port", self.port, "--slave", "0", "--format", "json", "write", "coil", "21", "1")
        self.assertEqual((r.returncode, json.loads(r.stdout)["outcome"]), (0, "broadcast"))
        r = ctl("--port", self.port, "--slave", "0", "--format", "csv", "write", "coil", "22", "1")
        self.assertEqual([row[1] for row in csv.reader(io.StringIO(r.stdout))],
                         ["outcome", "broadcast"])
        replies = 0
        for unit in self.UNITS:
            for args, values, length in ((["holding", "50", "4"], [77, 1, 2, 9], 13),
                                         (["coils", "10", "3"], [1, 0, 1], 6),
                                         (["coils", "20", "3"], [1, 1, 1], 6)):
                r = ctl("--port", self.port, "--slave", str(unit), "--format", "json", "read",
                        *args)
                self.assertEqual((r.returncode, json_values(r)), (0, values), (unit, r.stderr))
                replies += length
        # The replies to the reads passed socat before k40ctl took them.
        self.assertEqual(self.slave_bytes() - before, replies)


class PymodbusTcpBroadcastTest(unittest.TestCase):
    """Unit id 0 over Modbus TCP to a pymodbus server that passes it to its
    slaves (1 and 2) as a broadcast: no reply, said to be expected."""

    def test_unit_0_is_carried_out_without_a_reply(self):
        tcp = free_port()
        peer = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "pymodbus_peer.py"),
                                 "tcp", str(tcp), "1,2"], stdout=subprocess.PIPE, text=True)
        try:
            self.assertTrue(await_true(lambda: accepts(tcp)))
            port = "mbtcp://127.0.0.1:%d" % tcp
            r = ctl("--port", port, "--slave", "0", "write", "register", "50", "5")
            self.assertEqual(r.returncode, 3, r.stderr)
            self.assertIn("unit id 0 is the broadcast address", r.stderr)
            self.assertIn("no reply is expected", r.stderr)
            for unit in ("1", "2"):
                r = ctl("--port", port, "--slave", unit, "--format", "json", "read", "holding",
                        "50")
                self.assertEqual((r.returncode, json_values(r)), (0, [5]), r.stderr)
        finally:
            peer.kill()
            peer.wait(5)
            peer.stdout.close()


class FakeGateway(threading.Thread):
    """Answers every MBAP request once per entry of tid_offsets, with the
    request's transaction id plus that offset, from the unit id asked (or
    unit): the PDU pdu, by default a holding register of 42. One client after
    the other, until the listener is closed."""

    def __init__(self, tid_offsets, unit=None, pdu=b"\x03\x02\x00\x2a"):
        super().__init__(daemon=True)
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.offsets = tid_offsets
        self.unit = unit
        self.pdu = pdu

    def run(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            with conn:
                while True:
                    header = conn.recv(7, socket.MSG_WAITALL)
                    if len(header) < 7:
                        break
                    tid, _, length, unit = struct.unpack(">HHHB", header)
                    conn.recv(length - 1, socket.MSG_WAITALL)
                    for offset in self.offsets:
                        conn.sendall(struct.pack(">HHHB", (tid + offset) & 0xFFFF, 0,
                                                 len(self.pdu) + 1,
                                                 unit if self.unit is None else self.unit)
                                     + self.pdu)


class GatewayTest(unittest.TestCase):
    def gateway(self, offsets, **reply):
        gw = FakeGateway(offsets, **reply)
        gw.start()
        self.addCleanup(gw.server.close)
        return "mbtcp://127.0.0.1:%d" % gw.port

    def test_a_reply_with_another_transaction_id_is_no_reply(self):
        r = ctl("--port", self.gateway([1]), "--format", "json", "read", "holding", "7")
        self.assertEqual(r.returncode, 3, r.stderr)
        self.assertEqual(json.loads(r.stdout)["diagnosis"]["finding"], "earlier-reply")
        self.assertIn("1 reply(s) with another transaction id discarded", r.stderr)

    def test_the_right_reply_after_a_stale_one_is_taken_and_the_stale_one_counted(self):
        port = self.gateway([-1, 0])
        r = ctl("--port", port, "--format", "json", "read", "holding", "7")
        self.assertEqual((r.returncode, json_values(r)), (0, [42]), r.stderr)
        r = ctl("--port", port, "--format", "json", "watch", "read", "holding", "7", "--count", "2")
        self.assertEqual([json.loads(line)["values"][0]["value"] for line in r.stdout.splitlines()],
                         [42, 42])
        self.assertIn("  other-transaction: 2\n", r.stderr)

    def test_a_reply_from_another_unit_id_is_taken_by_its_transaction_id(self):
        port = self.gateway([0], unit=0)
        r = ctl("--port", port, "--trace", "--format", "json", "read", "holding", "7")
        self.assertEqual((r.returncode, json_values(r)), (0, [42]), r.stderr)
        self.assertIn("answers with unit id 0, not 1", r.stderr)
        r = ctl("--port", port, "--format", "json", "watch", "read", "holding", "7", "--count", "2")
        self.assertIn("  other-unit: 2\n", r.stderr)

    def test_a_frame_that_does_not_answer_is_named_with_its_reason(self):
        cases = [(b"\x03\x04\x00\x2a\x00\x00", "byte count 4, expected 2"),
                 (b"\x04\x02\x00\x2a", "function 04, expected 03")]
        for pdu, reason in cases:
            with self.subTest(reason=reason):
                r = ctl("--port", self.gateway([0], pdu=pdu), "read", "holding", "7")
                self.assertEqual(r.returncode, 3, r.stderr)
                self.assertIn(reason, r.stderr)

    def test_gateway_exceptions_say_what_to_check(self):
        for pdu, name, check in [(b"\x83\x0a", "0A gateway path unavailable (不可用网关路径)",
                                  "routing"),
                                 (b"\x83\x0b", "0B gateway target device failed to respond "
                                  "(网关目标设备响应失败)", "the gateway's serial settings")]:
            r = ctl("--port", self.gateway([0], pdu=pdu), "--format", "json", "read", "holding",
                    "7")
            self.assertEqual(r.returncode, 4, r.stderr)
            self.assertIn(name, r.stderr)
            self.assertIn("check the unit id (--slave)", r.stderr)
            self.assertIn(check, r.stderr)
            self.assertEqual(json.loads(r.stdout)["exception"]["name_en"], name[3:name.index(" (")])


class LimitsTest(unittest.TestCase):
    def test_refused_command_lines(self):
        port = ["--port", "mbtcp://127.0.0.1:9"]
        cases = [
            (["read", "coils", "0", "2001"], "count 2001 is not in 1..2000"),
            (["read", "holding", "0", "126"], "count 126 is not in 1..125"),
            (["read", "holding", "0", "63", "--type", "f32"], "count 63 is not in 1..62"),
            (["read", "holding", "0", "2000000000", "--type", "f32"],
             "count 2000000000 is not in 1..62"),
            (["watch", "read", "holding", "0", "2000000000", "--type", "f32"],
             "count 2000000000 is not in 1..62"),
            (["read", "coils", "0", "--type", "u16"], "--type applies to registers"),
            (["read", "coils", "0", "--byte-order", "badc"], "--byte-order applies to registers"),
            (["watch", "read", "discrete", "0", "--word-order", "little"],
             "--word-order applies to registers"),
            (["write", "coils", "0", "on", "off", "--byte-order", "dcba"],
             "--byte-order applies to registers"),
            (["write", "00001", "on", "--word-order", "big"], "--word-order applies to registers"),
            (["write", "coil", "0", "on", "--type", "s16"], "--type applies to registers"),
            (["read", "input", "0x0x10"], 'address "0x0x10" is no number'),
            (["read", "input", "0x 1F"], 'address "0x 1F" is no number'),
            (["read", "input", " 7"], 'address " 7" is no number'),
            (["read", "input", "65536"], "address 65536 is not in 0..65535"),
            (["read", "input", "1e3"], 'address "1e3" is no number'),
            (["write", "coil", "1.5", "on"], 'address "1.5" is no number'),
            (["read", "holding", "65535", "2"], "addresses 65535..65536 run past 65535"),
            (["read", "holding", "0", "0"], "count 0 is not in 1..125"),
            (["write", "register", "0", "70000"], "70000 does not fit u16"),
            (["write", "register", "0", "-1"], "-1 does not fit u16"),
            (["write", "register", "0", "40000", "--type", "s16"], "40000 does not fit s16"),
            (["write", "registers", "0", "1e39", "--type", "f32"], "not a finite 32-bit float"),
            (["write", "registers", "0", "abc", "--type", "u32"], "abc does not fit u32"),
            (["write", "register", "0", "1.5", "--type", "f32"], "use write registers"),
            (["write", "registers", "65535", "1", "2"], "run past 65535"),
            (["write", "registers", "0"] + ["1"] * 124, "at most 123"),
            (["write", "coil", "0", "2"], "on or off"),
            (["read", "holding", "0", "--word-order", "big", "--byte-order", "abcd"],
             "give one"),
            (["read", "holding", "0", "32", "--type", "u64"], "count 32 is not in 1..31"),
            (["write", "registers", "0", "x", "--type", "ascii"], "ascii is for reads only"),
            (["write", "registers", "0", "1e999", "--type", "f64"], "not a finite 64-bit float"),
            (["--format", "prometheus", "watch", "read", "holding", "0", "2", "--type", "ascii",
              "--output", "/dev/null"], "Prometheus samples cannot hold"),
            (["read", "40000"], "references count from 1 (40001 is holding 0)"),
            (["read", "300000"], "references count from 1"),
            (["read", "465537"], "past the last register"),
            (["read", "20001"], "names no table"),
            (["read", "4001"], "neither a table"),
            (["read", "40101", "4", "5"], "a reference stands for TABLE ADDRESS"),
            (["read", "holding", "400101"], "it is holding 100 (read 400101)"),
            (["write", "30001", "5"], "an input register, which cannot be written"),
            (["write", "10001", "on"], "a discrete input, which cannot be written"),
            (["write", "coils", "0"] + ["on"] * 1969, "at most 1968"),
            (["write", "coils", "65535", "on", "on"], "coils 65535..65536 run past 65535"),
            (["write", "coils", "0", "on", "maybe"], '"maybe" is no coil state'),
            (["write", "coil", "0", "on", "off"], "several are write coils"),
            (["write", "register", "0"], "needs a value"),
            (["write", "coil", "0", "yes"], "on or off"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                r = ctl(*(port + args))
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertIn(message, r.stderr)
        r = ctl("--port", "tcp://127.0.0.1:9", "--slave", "255", "read", "coils", "0")
        self.assertEqual(r.returncode, 2)
        self.assertIn("only with --port mbtcp://", r.stderr)
        # The broadcast address on a serial line: only a write can use it.
        for args in (["read", "coils", "0"], ["watch", "read", "holding", "0"], ["ai"],
                     ["manual"], ["module", "1", "on"]):
            with self.subTest(args=args):
                r = ctl("--port", "tcp://127.0.0.1:9", "--slave", "0", *args)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertIn("--slave 0 is the broadcast address", r.stderr)
                self.assertIn("no reply is expected", r.stderr)
        r = ctl("--port", "tcp://127.0.0.1:9", "--turnaround", "10001", "write", "coil", "0", "1")
        self.assertEqual(r.returncode, 2, r.stderr)


class EchoingAdapterTest(unittest.TestCase):
    """Raw writes on a line that echoes (k40sim --adapter-echo): the copy of the
    request, 8 bytes or a 16's longer one, is never taken for the reply."""

    def sim(self, *args):
        proc = subprocess.Popen([K40SIM, "--quiet", "--static", "--adapter-echo"] + list(args),
                                stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (proc.kill(), proc.wait(5), proc.stdout.close()))
        return proc.stdout.readline().strip()

    def test_writes_behind_an_echoing_adapter(self):
        path = self.sim()
        r = ctl("--port", path, "write", "register", "311", "777")
        self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
        r = ctl("--port", path, "--format", "json", "read", "holding", "311")
        self.assertEqual(json_values(r), [777])
        # The unit serves no 16: its exception comes after the 11-byte copy.
        r = ctl("--port", path, "--format", "json", "write", "registers", "311", "1")
        self.assertEqual((r.returncode, json.loads(r.stdout)["exception"]["code"]), (4, 1))
        silent = self.sim("--fault", "silent")
        for args in (["write", "register", "311", "1"], ["write", "registers", "311", "1"]):
            r = ctl("--port", silent, "--format", "json", *args)
            self.assertEqual(r.returncode, 3, r.stderr)
            self.assertEqual(json.loads(r.stdout)["diagnosis"]["finding"], "echo-only")


class MbpollTest(unittest.TestCase):
    def setUp(self):
        self.sim = subprocess.Popen([K40SIM, "--quiet", "--static", "--listen-mbtcp",
                                     "127.0.0.1:0"], stdout=subprocess.PIPE, text=True)
        self.name = self.sim.stdout.readline().strip()
        self.assertRegex(self.name, r"^mbtcp://127\.0\.0\.1:\d+$")
        self.tcp = self.name.rsplit(":", 1)[1]

    def tearDown(self):
        self.sim.kill()
        self.sim.wait(5)
        self.sim.stdout.close()

    def mbpoll(self, *args, write=()):
        # Values to write come after the host.
        return subprocess.run(["mbpoll", "-m", "tcp", "-p", self.tcp, "-a", "1", "-0", "-1"]
                              + list(args) + ["127.0.0.1"] + list(write), capture_output=True,
                              text=True, timeout=30)

    def test_mbpoll_reads_and_writes_the_unit(self):
        r = self.mbpoll("-r", "100", "-c", "9")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        raw = [int(line.split()[1]) for line in r.stdout.splitlines() if line.startswith("[1")]
        self.assertEqual(raw, [round((v / 500 + 1) * 32767) for v in NOMINAL])
        r = self.mbpoll("-t", "0", "-r", "0", "-c", "2")
        self.assertEqual([line.split()[1] for line in r.stdout.splitlines()
                          if line.startswith("[")], ["0", "1"])
        # mbpoll counts from 1 unless -0: its register 101 is reference 40101.
        one_based = subprocess.run(["mbpoll", "-m", "tcp", "-p", self.tcp, "-a", "1", "-1", "-r",
                                    "101", "-c", "9", "127.0.0.1"], capture_output=True,
                                   text=True, timeout=30)
        self.assertEqual([int(line.split()[1]) for line in one_based.stdout.splitlines()
                          if line.startswith("[1")], raw)
        r = ctl("--port", self.name, "--format", "json", "read", "40101", "9")
        self.assertEqual(json_values(r), raw)
        r = self.mbpoll("-r", "311", write=["12345"])
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        r = ctl("--port", self.name, "--format", "json", "read", "holding", "311")
        self.assertEqual(json_values(r), [12345])
        # The unit serves 01, 03, 05 and 06 only: input registers (04) are refused.
        r = self.mbpoll("-t", "3", "-r", "0")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("Illegal function", r.stdout + r.stderr)


if __name__ == "__main__":
    unittest.main()
