"""k40ctl through a serial device server and on discovered ports.

The device server is k40sim --listen on a loopback port of the system's
choosing; the bytes on the wire come from the simulator's own trace. The ports
listing runs on folders standing in for /dev and /sys (K40_DEV_DIR,
K40_SYS_DIR), laid out as the kernel and udev lay them out, and is read back
with Python's csv and json modules. Run by ctest with K40CTL and K40SIM set.
"""
import csv
import io
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import K40CTL, K40SIM, NOMINAL, await_true, request  # noqa: E402

CLEAN_ENV = {k: v for k, v in os.environ.items() if not k.startswith("K40_")}


def ctl(*args, env=None, timeout=30):
    return subprocess.run([K40CTL] + list(args), capture_output=True, text=True,
                          timeout=timeout, env=CLEAN_ENV if env is None else env)


class Sim:
    """k40sim serving over TCP, or on a pseudo-terminal behind a link."""

    def __init__(self, workdir, *where):
        self.trace = os.path.join(workdir, "sim.trace")
        self.where = list(where)
        self.proc = None
        self.name = None

    def start(self):
        self.proc = subprocess.Popen([K40SIM, "--quiet", "--static", "--trace", self.trace]
                                     + self.where, stdout=subprocess.PIPE, text=True)
        self.name = self.proc.stdout.readline().strip()
        assert self.name
        return self

    def kill(self):
        self.proc.kill()
        self.proc.wait(5)
        self.proc.stdout.close()

    def requests(self):
        if not os.path.exists(self.trace):
            return []
        with open(self.trace) as f:
            return [line.split()[2] for line in f if line.strip() and not line.startswith("#")]


class TcpTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.sim = Sim(self.dir.name, "--listen", "127.0.0.1:0").start()
        self.assertRegex(self.sim.name, r"^tcp://127\.0\.0\.1:\d+$")

    def tearDown(self):
        if self.sim.proc.poll() is None:
            self.sim.kill()
        self.dir.cleanup()

    def test_read_and_command_byte_for_byte(self):
        r = ctl("--port", self.sim.name, "--format", "json", "ai")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([v["value"] for v in json.loads(r.stdout)["values"]], NOMINAL)
        r = ctl("--trace", "--echo", "off", "--port", self.sim.name, "module", "0", "voltage",
                "234.1")
        self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
        self.assertEqual(self.sim.requests(), [request(3, 100, 9), request(6, 310, 48109)])
        traced = [line.split(" ", 2)[1:] for line in r.stderr.splitlines()]
        sent = request(6, 310, 48109)
        self.assertEqual(traced[0], [">", " ".join(sent[i:i + 2] for i in range(0, 16, 2))])
        self.assertEqual(traced[-1][0], "<")

    def test_ports_that_cannot_be_opened(self):
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))  # bound, never listening: refused
        refused = "tcp://127.0.0.1:%d" % closed.getsockname()[1]
        cases = [(refused, "Connection refused"),
                 ("tcp://127.0.0.1", "no port"),
                 ("tcp://127.0.0.1:0", "port 0 "),
                 ("tcp://127.0.0.1:70000", "port 70000 "),
                 ("tcp://[::1:502", "bracket"),
                 ("tcp://unit 7:502", "host name")]
        for name, fault in cases:
            for command in ["ai", "scan"]:  # every subcommand opens the same way
                start = time.monotonic()
                r = ctl("--port", name, "--wait", "5000", command, timeout=10)
                self.assertEqual(r.returncode, 5, (name, command, r.stderr))
                self.assertIn(fault, r.stderr, (name, command))
                self.assertIn("cannot open " + name, r.stderr, (name, command))
                self.assertLess(time.monotonic() - start, 2.5, name)  # not the 5 s wait
        closed.close()

    def test_the_connect_is_bounded_by_wait(self):
        # A listener whose backlog is full: the kernel drops further SYNs, so
        # a connect neither succeeds nor fails until it gives up.
        with socket.socket() as full:
            full.bind(("127.0.0.1", 0))
            full.listen(0)
            name = "tcp://127.0.0.1:%d" % full.getsockname()[1]
            pending = []
            for _ in range(3):
                s = socket.socket()
                s.setblocking(False)
                s.connect_ex(full.getsockname())
                pending.append(s)
            try:
                for command in ["ai", "scan", "doctor"]:
                    start = time.monotonic()
                    r = ctl("--port", name, "--wait", "300", command)
                    elapsed = time.monotonic() - start
                    out = r.stdout + r.stderr
                    self.assertIn("no answer within 300 ms", out, command)
                    self.assertLess(elapsed, 1.2, command)  # not the default 1500 ms
            finally:
                for s in pending:
                    s.close()

    def test_a_server_that_never_answers_is_a_time_out(self):
        with socket.socket() as silent:
            silent.bind(("127.0.0.1", 0))
            silent.listen(1)  # the kernel completes the connection; nobody answers
            r = ctl("--port", "tcp://127.0.0.1:%d" % silent.getsockname()[1],
                    "--wait", "200", "ai")
        self.assertEqual(r.returncode, 3, r.stderr)
        self.assertIn("no reply within 200 ms: nothing arrived through the device server",
                      r.stderr)
        for advice in ["wiring", "wires", "baud", "parity"]:
            self.assertNotIn(advice, r.stderr)  # the server's business, not k40ctl's

    def test_a_server_that_closes_after_the_request(self):
        # As a Modbus TCP gateway or a busy one-client server does: it takes
        # the request and hangs up.
        with socket.socket() as server:
            server.bind(("127.0.0.1", 0))
            server.listen(1)

            def hang_up():
                conn, _ = server.accept()
                with conn:
                    conn.recv(64)

            peer = threading.Thread(target=hang_up)
            peer.start()
            start = time.monotonic()
            r = ctl("--port", "tcp://127.0.0.1:%d" % server.getsockname()[1],
                    "--wait", "5000", "--format", "json", "ai")
            elapsed = time.monotonic() - start
            peer.join()
        self.assertEqual(r.returncode, 3, r.stderr)
        self.assertLess(elapsed, 2.5)  # not the 5 s wait
        diagnosis = json.loads(r.stdout)["diagnosis"]
        self.assertEqual(diagnosis["finding"], "peer-closed")
        self.assertEqual(diagnosis["text"],
                         "the device server closed the connection: it may expect Modbus TCP "
                         "rather than RTU over TCP, or serve one client at a time")
        self.assertIn("k40ctl: no reply: the device server closed", r.stderr)

    def test_doctor_names_no_baud_rate_over_tcp(self):
        # Through COM1 as well: $K40_COM1 names the device server.
        for port, env in [(self.sim.name, None), ("COM1", dict(CLEAN_ENV, K40_COM1=self.sim.name))]:
            r = ctl("--port", port, "doctor", env=env)
            self.assertEqual(r.returncode, 0, r.stdout)
            lines = r.stdout.splitlines()
            self.assertTrue(lines[0].startswith("skip") and "not a serial port" in lines[0],
                            lines)
            self.assertEqual(lines[-1], "pass  the unit answered at slave 1, wait 1500 ms")
            self.assertNotIn("baud", r.stdout)

    def records(self, path):
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return [json.loads(line) for line in f]

    def test_watch_reconnects_after_the_server_restarts(self):
        out = os.path.join(self.dir.name, "watch.jsonl")
        port = self.sim.name.rsplit(":", 1)[1]
        w = subprocess.Popen([K40CTL, "--port", self.sim.name, "--wait", "300", "watch",
                              "--interval", "0.1", "--format", "json", "--output", out],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                             env=CLEAN_ENV)
        try:
            self.assertTrue(await_true(lambda: len(self.records(out)) >= 2))
            self.sim.kill()
            seen = lambda: [r["outcome"] for r in self.records(out)]
            self.assertTrue(await_true(lambda: "timeout" in seen()))
            self.sim = Sim(self.dir.name, "--listen", "127.0.0.1:" + port).start()
            self.assertEqual(self.sim.name, "tcp://127.0.0.1:" + port)
            self.assertTrue(await_true(lambda: seen()[-1] == "reply"))
        finally:
            w.terminate()
            _, err = w.communicate(timeout=10)
        outcomes = seen()
        first = outcomes.index("timeout")
        self.assertEqual(outcomes[:first], ["reply"] * first)
        self.assertEqual(outcomes[-1], "reply")
        self.assertEqual(err.count("reopening it every second"), 1, err)
        self.assertIn("is back", err)


class FakeTree:
    """Folders standing in for /dev and /sys, as FakePortTree builds them."""

    def __init__(self, root):
        self.dev = os.path.join(root, "dev")
        self.sys = os.path.join(root, "sys")
        os.makedirs(os.path.join(self.sys, "class", "tty"))
        os.makedirs(self.dev)
        self.usb_devices = 0

    def env(self, **more):
        return dict(CLEAN_ENV, K40_DEV_DIR=self.dev, K40_SYS_DIR=self.sys, **more)

    @staticmethod
    def write(path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write((data.encode() if isinstance(data, str) else data) + b"\n")

    @staticmethod
    def link(target, at):
        os.makedirs(os.path.dirname(at), exist_ok=True)
        os.symlink(os.path.relpath(target, os.path.dirname(at)), at)

    def node(self, name, target=None):
        path = os.path.join(self.dev, name)
        if target:
            os.symlink(target, path)
        else:
            open(path, "w").close()

    def usb(self, name, vendor, product_id, maker, model, serial, driver):
        self.usb_devices += 1
        bus = "1-%d" % self.usb_devices
        device = os.path.join(self.sys, "devices/pci0000:00/0000:00:14.0/usb1", bus)
        for file, value in [("idVendor", vendor), ("idProduct", product_id),
                            ("manufacturer", maker), ("product", model), ("serial", serial)]:
            self.write(os.path.join(device, file), value)
        interface = os.path.join(device, bus + ":1.0")
        self.write(os.path.join(interface, "bInterfaceNumber"), "00")
        acm = name.startswith("ttyACM")
        port = interface if acm else os.path.join(interface, name)
        drivers = os.path.join(self.sys, "bus", "usb" if acm else "usb-serial", "drivers", driver)
        os.makedirs(drivers, exist_ok=True)
        self.link(drivers, os.path.join(port, "driver"))
        class_device = os.path.join(port, "tty", name)
        self.write(os.path.join(class_device, "dev"), "188:0")
        self.link(port, os.path.join(class_device, "device"))
        self.link(class_device, os.path.join(self.sys, "class", "tty", name))
        text = lambda v: v.decode("utf-8", "replace") if isinstance(v, bytes) else v
        by_id = ("usb-%s_%s_%s-if00" % (text(maker), model, serial)).replace(" ", "_")
        by_id = os.path.join(self.dev, "serial", "by-id", by_id if acm else by_id + "-port0")
        os.makedirs(os.path.dirname(by_id), exist_ok=True)
        os.symlink(os.path.join("..", "..", name), by_id)
        return by_id

    def uart(self, name, type_):
        self.node(name)
        class_device = os.path.join(self.sys, "devices/platform/serial8250/tty", name)
        self.write(os.path.join(class_device, "type"), str(type_))
        self.link(class_device, os.path.join(self.sys, "class", "tty", name))


class PortsTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.tree = FakeTree(self.dir.name)

    def tearDown(self):
        self.dir.cleanup()

    def test_listing_in_every_format(self):
        t = self.tree
        t.uart("ttyS0", 4)
        t.uart("ttyS1", 0)  # no UART behind it: not a port
        t.node("ttyACM0")
        acm = t.usb("ttyACM0", "2341", "0043", "Arduino, \"LLC\"", "Uno", "7523", "cdc_acm")
        t.node("ttyUSB10")
        t.node("ttyUSB2")
        ftdi = t.usb("ttyUSB2", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3XYZ", "ftdi_sio")
        t.node("ttyUSB0")  # a node without sysfs details still counts
        want = [("ttyUSB0", None), ("ttyUSB2", ftdi), ("ttyUSB10", None), ("ttyACM0", acm),
                ("ttyS0", None)]

        r = ctl("--format", "csv", "ports", env=t.env())
        self.assertEqual(r.returncode, 0, r.stderr)
        rows = list(csv.DictReader(io.StringIO(r.stdout, newline="")))
        self.assertEqual([row["device"] for row in rows],
                         [os.path.join(t.dev, n) for n, _ in want])
        self.assertEqual([row["com"] for row in rows], ["COM%d" % i for i in range(1, 6)])
        self.assertEqual([row["by_id"] or None for row in rows], [b for _, b in want])
        self.assertEqual([rows[1][k] for k in ["usb", "maker", "model", "serial", "driver"]],
                         ["0403:6001", "FTDI", "FT232R USB UART", "A10K3XYZ", "ftdi_sio"])
        self.assertEqual(rows[3]["maker"], "Arduino, \"LLC\"")  # quoted, read back whole

        r = ctl("ports", "--format", "json", env=t.env(K40_COM7=ftdi))
        self.assertEqual(r.returncode, 0, r.stderr)
        objects = [json.loads(line) for line in r.stdout.splitlines()]  # JSON Lines
        self.assertEqual([o["com"] for o in objects],
                         [["COM1"], ["COM2", "COM7"], ["COM3"], ["COM4"], ["COM5"]])
        self.assertEqual(objects[3]["usb"], "2341:0043")
        self.assertIsNone(objects[0]["usb"])
        self.assertIsNone(objects[4]["serial"])

        table = ctl("ports", env=t.env()).stdout.splitlines()
        self.assertEqual(len(table), 6)
        self.assertEqual(table[0].split()[:2], ["COM", "DEVICE"])
        # Aligned: every row's device column starts where the heading does.
        column = table[0].index("DEVICE")
        for line in table[1:]:
            self.assertTrue(line[column:].startswith(t.dev), line)

    def test_com10_and_overrides_that_discovery_does_not_list(self):
        # A pseudo-terminal and a device server named by K40_COMn are listed
        # with their COMn, after the ports found; COM10 opens like COM1.
        t = self.tree
        t.node("ttyUSB0")
        sim = Sim(self.dir.name, "--link", os.path.join(self.dir.name, "pty")).start()
        try:
            env = t.env(K40_COM10=sim.name, K40_COM12=sim.name,
                        K40_COM3="tcp://127.0.0.1:5020")
            r = ctl("ports", "--format", "json", env=env)
            self.assertEqual(r.returncode, 0, r.stderr)
            objects = [json.loads(line) for line in r.stdout.splitlines()]
            self.assertEqual([(o["com"], o["device"]) for o in objects],
                             [(["COM1"], os.path.join(t.dev, "ttyUSB0")),
                              (["COM3"], "tcp://127.0.0.1:5020"),
                              (["COM10", "COM12"], sim.name)])
            self.assertIsNone(objects[2]["driver"])  # nothing is made up
            r = ctl("--port", "COM10", "--format", "json", "ai", env=env)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual([v["value"] for v in json.loads(r.stdout)["values"]], NOMINAL)
        finally:
            sim.kill()

    def test_no_ports_and_bytes_that_are_not_utf8(self):
        r = ctl("ports", "--format", "json", env=self.tree.env())
        self.assertEqual((r.returncode, r.stdout), (0, ""))
        self.assertIn("no serial ports", r.stderr)
        r = ctl("ports", "--format", "csv", env=self.tree.env())
        self.assertEqual(list(csv.reader(io.StringIO(r.stdout, newline="")))[0][:2],
                         ["com", "device"])
        self.tree.node("ttyUSB0")
        self.tree.usb("ttyUSB0", "1a86", "7523", b"WCH\xff", "CH340", "1", "ch341")
        r = ctl("ports", "--format", "json", env=self.tree.env())
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(json.loads(r.stdout)["maker"], "WCH\ufffd")

    def test_com1_and_the_by_id_name_open_the_first_adapter(self):
        sim = Sim(self.dir.name, "--link", os.path.join(self.dir.name, "pty")).start()
        try:
            self.tree.node("ttyUSB0", sim.name)
            by_id = self.tree.usb("ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A1",
                                  "ftdi_sio")
            for port in ["COM1", by_id]:
                r = ctl("--port", port, "--format", "json", "ai", env=self.tree.env())
                self.assertEqual(r.returncode, 0, (port, r.stderr))
                self.assertEqual([v["value"] for v in json.loads(r.stdout)["values"]], NOMINAL)
            self.assertEqual(len(sim.requests()), 2)
            # COM2: fewer ports than that, so the fallback ttyS1, which is not there.
            r = ctl("--port", "COM2", "ai", env=self.tree.env())
            self.assertEqual(r.returncode, 5)
            self.assertIn("COM2 (%s): no such device" % os.path.join(self.tree.dev, "ttyS1"),
                          r.stderr)
        finally:
            sim.kill()


if __name__ == "__main__":
    unittest.main()
