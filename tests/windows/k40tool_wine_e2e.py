"""k40tool.exe under Wine, driven from outside its process by window messages
(k40drive.exe), on COM1 mapped to the pseudo-terminal of the Linux k40sim in
a copy of the build's Wine prefix.

What the engineer does on first contact with a unit: "设  置" opens COM1
("串口初始化成功!"); on the read page "01读DI" and "03读AI" fill the list, whose
names and values must be those the Linux k40ctl reads from the same simulator
(an independent path to the same registers), and the hex boxes show the bytes
of k40sim's own trace; on the control page "手 动" writes coil 200
("操作成功!"); a module number out of range keeps the page with the framework's
validation box; "退 出" ends the program. While a read waits for a silent
unit, the window answers messages and takes no second command. No COM port
but COM1 leads anywhere (wine_prefix.py checks it).

check_window() is the tour on its own, for any prefix and k40tool.exe (the
installer test gives it the installed one). Run by ctest with K40TOOL_EXE
(default: the build's), K40DRIVE_EXE, K40SIM and K40CTL (Linux) and
K40_WINE_PREFIX set; K40_WINE_DISPLAY names an X server, or an Xvfb of the
test's own is started.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

# No __pycache__ in the source tree for the modules imported below.
sys.dont_write_bytecode = True
import wine_prefix  # noqa: E402
import wine_window  # noqa: E402
from linux_sim import LinuxSim  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e", "cli"))

TITLE = "K40-MODBUS规约调试软件"
# Control IDs of resources/resource.h.
IDC_COM1, IDC_BAUD9600, IDC_ADDR, IDC_WAITTIME, IDC_SET = 1000, 1028, 1005, 1006, 1030
IDC_READ01DI, IDC_READ03AI, IDC_LIST = 1006, 1008, 1010
IDC_RECVEDIT, IDC_SENDEDIT = 1011, 1012
IDC_MANUAL, IDC_MODULE = 1015, 1037


def hex_text(frame, lines):
    """The hex echo of a frame of the trace: "%02X " a byte, CR LF after
    every tenth in the receive box."""
    data = bytes.fromhex(frame)
    return "".join("%02X " % b + ("\r\n" if lines and i % 10 == 9 else "")
                   for i, b in enumerate(data))


def drive(prefix, *steps, timeout_ms=10000):
    """Runs k40drive.exe in prefix with steps; returns their records, in order."""
    began = time.monotonic()
    r = wine_prefix.run(prefix, os.environ["K40DRIVE_EXE"], "--timeout", str(timeout_ms),
                        *steps, capture_output=True, encoding="utf-8", timeout=120)
    records = [json.loads(line) for line in r.stdout.splitlines()]
    if r.returncode != 0:
        raise AssertionError("k40drive failed (status %d after %.1f s): %s %s" %
                             (r.returncode, time.monotonic() - began, records, r.stderr))
    return records[1:]  # after the sheet's "find"


def analog_by_k40ctl(port):
    """The nine analog values as the Linux k40ctl reads them."""
    r = subprocess.run([os.environ["K40CTL"], "--port", port, "--format", "json", "ai"],
                       capture_output=True, text=True, timeout=30)
    assert r.returncode == 0, r.stderr
    return json.loads(r.stdout)["values"]


def check_window(test, prefix, exe):
    """k40tool.exe (exe, run in prefix) on COM1 mapped to a fresh k40sim,
    driven through the tour; test is the unittest.TestCase that asserts.
    Needs K40SIM, K40CTL, K40DRIVE_EXE and an X display (K40_WINE_DISPLAY,
    see wine_window.adopt_display())."""
    work = tempfile.mkdtemp(prefix="k40-wine-tool-")
    sim = LinuxSim(work, "com1")
    try:
        expected = analog_by_k40ctl(sim.name)  # before k40tool holds the port
        wine_prefix.map_ports(prefix, {"COM1": sim.device})
        tool = wine_prefix.spawn(prefix, exe)
        try:
            run_tour(test, prefix, sim, expected)
            tool.wait(30)  # its exit status means nothing
        finally:
            if tool.poll() is None:
                tool.kill()
            tool.communicate()
            wine_prefix.unmap_ports(prefix, ["COM1"])
    finally:
        sim.kill()
        shutil.rmtree(work, ignore_errors=True)


def run_tour(test, prefix, sim, expected):
    from k40ctl_e2e import request  # reads K40CTL and K40SIM when imported
    # The settings page starts from COM1, 9600 baud, slave 1, 1500 ms.
    info, com1, baud, addr, wait, click, box = drive(
        prefix, "info", "check:%d" % IDC_COM1, "check:%d" % IDC_BAUD9600, "text:%d" % IDC_ADDR,
        "text:%d" % IDC_WAITTIME, "click:%d" % IDC_SET, "box")
    test.assertTrue(info["visible"] and info["page"] == 0, info)
    test.assertEqual([com1["checked"], baud["checked"], addr["text"], wait["text"]],
                     [1, 1, "1", "1500"])
    test.assertEqual((click["box"], box["caption"], box["text"]), (True, TITLE, "串口初始化成功!"))

    # The read page: the bit read's reply in the receive box; the analog read
    # fills the list and shows its request, and (the quiet variant) leaves the
    # receive box to the bit read.
    page, di, ai, rows, sent, received = drive(
        prefix, "page:1", "click:%d" % IDC_READ01DI, "click:%d" % IDC_READ03AI,
        "list:%d" % IDC_LIST, "text:%d" % IDC_SENDEDIT, "text:%d" % IDC_RECVEDIT)
    # k40sim writes an exchange's trace line after its reply has gone out:
    # the window can hold the reply before the trace holds the line.
    wanted = [request(1, 0, 15), request(3, 100, 9)]
    deadline = time.monotonic() + 10
    while [f[0] for f in sim.frames()[-2:]] != wanted and time.monotonic() < deadline:
        time.sleep(0.05)
    frames = sim.frames()
    test.assertEqual([f[0] for f in frames[-2:]], wanted)
    test.assertEqual((page["current"], di["box"], ai["box"]), (1, False, False))
    test.assertEqual([r[0] for r in rows["rows"]], ["%03d" % i for i in range(9)])
    test.assertEqual([(r[1], float(r[2])) for r in rows["rows"]],
                     [(v["name"], v["value"]) for v in expected])
    test.assertEqual(sent["text"], hex_text(frames[-1][0], False))
    test.assertEqual(received["text"], hex_text(frames[-2][1], True))

    # The control page: "手 动" writes coil 200 on.
    page, click, box, sent, received = drive(
        prefix, "page:2", "click:%d" % IDC_MANUAL, "box", "text:%d" % IDC_SENDEDIT,
        "text:%d" % IDC_RECVEDIT)
    test.assertEqual((page["current"], click["box"], box["text"]), (2, True, "操作成功!"))
    manual = sim.frames()[-1]
    test.assertEqual(manual[0], request(5, 200, 0xFF00))
    test.assertEqual((sent["text"], received["text"]),
                     (hex_text(manual[0], False), hex_text(manual[1], True)))

    # Module 21 does not exist: leaving the page is refused with the range
    # message and the focus on the box; 20 lets the page go; "退 出" ends.
    _, refused, box, info, _, page, closed = drive(
        prefix, "set:%d=21" % IDC_MODULE, "page:3", "box", "info", "set:%d=20" % IDC_MODULE,
        "page:3", "close")
    test.assertEqual((refused["current"], refused["box"]), (2, True))
    test.assertEqual(box["text"], "“请填入一个在0和20之间的整数。”")
    test.assertEqual((info["page"], info["focus"]), (2, IDC_MODULE))
    test.assertEqual((page["current"], page["box"], closed["exited"]), (3, False, True))


class K40toolUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="k40-wine-tool-e2e-")
        cls.addClassCleanup(shutil.rmtree, cls.dir, ignore_errors=True)
        if not wine_window.adopt_display():  # run on its own: an Xvfb of its own
            os.environ["K40_WINE_DISPLAY"] = wine_window.start_xvfb(cls.dir)
            cls.addClassCleanup(wine_window.stop_xvfb, cls.dir)
        cls.prefix = wine_prefix.copy(os.environ["K40_WINE_PREFIX"], cls.dir)
        cls.addClassCleanup(wine_prefix.stop, cls.prefix)

    def test_tour_driven_by_window_messages(self):
        check_window(self, self.prefix, os.environ["K40TOOL_EXE"])

    def test_window_answers_while_it_waits(self):
        """A silent unit and a 3000 ms wait: the read's handler runs the whole
        wait, the window answers messages meanwhile, and a second press of the
        button during it sends nothing."""
        from k40ctl_e2e import request
        sim = LinuxSim(self.dir, "silent", "--fault", "silent")
        try:
            wine_prefix.map_ports(self.prefix, {"COM1": sim.device})
            tool = wine_prefix.spawn(self.prefix, os.environ["K40TOOL_EXE"])
            try:
                records = drive(
                    self.prefix, "set:%d=3000" % IDC_WAITTIME, "click:%d" % IDC_SET, "box",
                    "page:1", "busyclick:%d" % IDC_READ01DI, "box", "close", timeout_ms=20000)
            finally:
                if tool.poll() is None:
                    tool.kill()
                tool.communicate()
                wine_prefix.unmap_ports(self.prefix, ["COM1"])
            _, _, opened, page, waited, failed, closed = records
            self.assertEqual((opened["text"], page["current"]), ("串口初始化成功!", 1), records)
            self.assertEqual((waited["busy"], waited["answers"], waited["box"]), (True, True, True),
                             records)
            self.assertEqual(failed["text"], "RTU无应答!")
            self.assertTrue(closed["exited"])
            self.assertEqual(sim.requests(), [request(1, 0, 15)])
        finally:
            sim.kill()


if __name__ == "__main__":
    unittest.main()
