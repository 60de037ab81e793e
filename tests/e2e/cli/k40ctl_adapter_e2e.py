"""k40ctl when the unit does not answer as it should, against k40sim on a
pseudo-terminal: commands confirmed by the read-back, the diagnosis of a
failed exchange, the watch's counters, doctor and scan. Run by ctest with
K40CTL and K40SIM set; shares the simulator helper of k40ctl_e2e.
"""
import json
import os
import select
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import K40CTL, Sim, await_true, crc16, ctl, request  # noqa: E402


def trace_rows(sim):
    """The simulator's trace as lists of fields (see k40sim --help)."""
    if not os.path.exists(sim.trace):
        return []
    with open(sim.trace) as f:
        return [line.split() for line in f if line.strip() and not line.startswith("#")]


class AdapterTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.sim = None

    def tearDown(self):
        if self.sim is not None and self.sim.proc.poll() is None:
            self.sim.kill()
        self.dir.cleanup()

    def start(self, *args):
        if self.sim is not None:
            self.sim.kill()
            os.remove(self.sim.trace) if os.path.exists(self.sim.trace) else None
        self.sim = Sim(self.dir.name, *args).start()
        return self.sim.link

    def test_system_commands_are_confirmed(self):
        port = self.start()  # automatic operation, float charge
        for command, bit, value in [("manual", 0, 1), ("equalize", 1, 0), ("auto", 0, 0),
                                    ("float", 1, 1)]:
            r = ctl("--port", port, command)
            self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
            bits = json.loads(ctl("--port", port, "--format", "json", "di").stdout)["values"]
            self.assertEqual(bits[bit]["value"], value, command)

        port = self.start("--fault", "ignore")  # writes acknowledged, nothing changes
        r = ctl("--port", port, "--wait", "300", "manual")
        self.assertEqual(r.returncode, 6, r.stderr)
        self.assertIn("not confirmed", r.stderr)
        self.assertEqual(r.stdout, "")
        reads = [row for row in trace_rows(self.sim) if row[2] == request(1, 0, 15)]
        self.assertGreaterEqual(len(reads), 2)  # read again within --wait
        before = len(trace_rows(self.sim))
        r = ctl("--port", port, "--no-confirm", "manual")
        self.assertEqual(r.returncode, 0, r.stderr)
        r = ctl("--port", port, "module", "1", "off")  # no read-back for modules
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([row[2] for row in trace_rows(self.sim)[before:]],
                         [request(3, 0, 1), request(5, 200, 0xFF00),
                          request(3, 0, 1), request(6, 315, 0xFF00)])

    def test_silent_unit_behind_an_echoing_adapter_is_no_success(self):
        # In auto a command on the freshly opened port first reads register 0:
        # the copy of that read shows that the line echoes, so the lone copy
        # of the command is no reply.
        port = self.start("--adapter-echo", "--fault", "silent")
        for args in (["float"], ["module", "1", "off"]):
            r = ctl("--port", port, "--wait", "200", "--format", "json", *args)
            self.assertEqual(r.returncode, 3, r.stderr)
            self.assertEqual(json.loads(r.stdout)["diagnosis"]["finding"], "echo-only", args)
        # K40_ECHO as for k40tool, --echo before it; off sends the command
        # alone and cannot tell its echo from a reply.
        before = len(trace_rows(self.sim))
        r = ctl("--port", port, "--wait", "200", "--no-confirm", "manual",
                env={"K40_ECHO": "off"})
        self.assertEqual((r.returncode, r.stdout), (0, "ok\n"), r.stderr)
        self.assertEqual([row[2] for row in trace_rows(self.sim)[before:]],
                         [request(5, 200, 0xFF00)])
        off, settle = request(6, 315, 0xFF00), request(3, 0, 1)
        for env, args, wire in [({"K40_ECHO": "on"}, [], [off]),
                                ({"K40_ECHO": "off"}, ["--echo", "auto"], [settle, off]),
                                ({"K40_ECHO": "loud"}, [], [settle, off])]:
            before = len(trace_rows(self.sim))
            r = ctl("--port", port, "--wait", "200", *args, "module", "1", "off", env=env)
            self.assertEqual((r.returncode, r.stdout), (3, ""), (env, args, r.stderr))
            self.assertEqual([row[2] for row in trace_rows(self.sim)[before:]], wire, env)
        self.assertIn("K40_ECHO=loud is not on, off or auto; auto is used", r.stderr)

    def test_each_failure_is_diagnosed(self):
        def hexed(text):
            return bytes.fromhex(text).hex(" ").upper()

        def frame(rows):
            return hexed(rows[-1][6])

        # (k40sim's options, k40ctl's options and command, the finding, what
        # the words must say given the simulator's trace, what they must not)
        cases = [
            (["--fault", "silent"], ["ai"], "nothing", lambda rows: "nothing arrived", None),
            (["--adapter-echo", "--fault", "silent"], ["ai"], "echo-only",
             lambda rows: "only the echo of the request", None),
            # Address, function and length right, the CRC wrong: the whole frame.
            (["--fault", "corrupt"], ["ai"], "crc-error",
             lambda rows: "wrong CRC (" + frame(rows) + ")", "baud rate"),
            (["--fault", "wrong-slave"], ["ai"], "other-slave",
             lambda rows: "another master on the bus", "try --slave"),
            # A line that does not echo, with --echo on: the write's one copy
            # is the reply taken for the echo.
            ([], ["--echo", "on", "module", "1", "off"], "lone-copy",
             lambda rows: "try --echo auto", "only the echo"),
            # The copy one byte short, the whole reply after it: one cause.
            (["--fault", "partial-echo"], ["--echo", "on", "ai"], "echo-altered",
             lambda rows: "came back altered (%s): " % hexed(rows[-1][2])[:20], "valid frame"),
        ]
        for sim_args, ctl_args, finding, words, wrong in cases:
            port = self.start(*sim_args)
            r = ctl("--port", port, "--wait", "200", *ctl_args)
            self.assertEqual(r.returncode, 3, (sim_args, r.stderr))
            self.assertIn(words(trace_rows(self.sim)), r.stderr, sim_args)
            if wrong:
                self.assertNotIn(wrong, r.stderr, sim_args)
            record = json.loads(ctl("--port", port, "--wait", "200", "--format", "json",
                                    *ctl_args).stdout)
            self.assertEqual((record["outcome"], record["diagnosis"]["finding"]),
                             ("timeout", finding), sim_args)

    def test_reply_to_an_earlier_request(self):
        # A peer that answers the status read with a register read's reply, as
        # a late unit's answer to the read before it arrives.
        master, slave = os.openpty()
        path = os.ttyname(slave)
        body = bytes([1, 3, 2, 0, 2])
        stale = body + crc16(body)

        def serve():
            ready, _, _ = select.select([master], [], [], 10)
            if ready:
                os.read(master, 64)
                os.write(master, stale)

        peer = threading.Thread(target=serve)
        peer.start()
        try:
            r = ctl("--port", path, "--wait", "200", "di")
        finally:
            peer.join()
            os.close(master)
            os.close(slave)
        self.assertEqual(r.returncode, 3)
        self.assertIn("reply to an earlier request (function 03)", r.stderr)
        self.assertIn("raise --wait (now 200 ms)", r.stderr)

    def test_watch_counts_every_kind(self):
        self.start("--fault", "silent:50", "--fault", "wrong-slave:30")
        out = os.path.join(self.dir.name, "w.jsonl")
        r = ctl("--port", self.sim.link, "watch", "--count", "12", "--interval", "0",
                "--wait", "150", "--format", "json", "--output", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(out) as f:
            records = [json.loads(line) for line in f]
        summary = dict(line.strip().split(": ", 1) for line in r.stderr.splitlines()
                       if line.startswith("  "))
        findings = [rec.get("diagnosis", {}).get("finding") for rec in records]
        self.assertEqual(int(summary["sent"]), len(records))
        self.assertEqual(int(summary["replies"]), findings.count(None))
        self.assertEqual(int(summary["nothing"]), findings.count("nothing"))
        self.assertEqual(int(summary["other-slave"]), findings.count("other-slave"))
        self.assertGreater(findings.count("nothing") * findings.count(None), 0)
        low, mean, high = (float(v) for v in summary["response min/mean/max"][:-3].split("/"))
        self.assertTrue(0 <= low <= mean <= high < 150, summary)

    def test_watch_hears_a_late_reply_out_before_the_next_request(self):
        # Every other reply comes after 800 ms, the wait is 500 ms: the watch
        # listens for it before the next read, so it never passes for that
        # read's reply and is counted as a reply to an earlier request.
        self.start("--fault", "late:50", "--reply-delay", "800")
        r = ctl("--port", self.sim.link, "--wait", "500", "watch", "ai", "--interval", "0.2",
                "--count", "8", "--format", "json")
        self.assertEqual(r.returncode, 0, r.stderr)
        records = [json.loads(line) for line in r.stdout.splitlines()]
        rows = trace_rows(self.sim)
        self.assertEqual((len(records), len(rows)), (8, 8))
        late = ["late" in row[5].split(",") for row in rows]
        self.assertEqual([rec["outcome"] == "timeout" for rec in records], late)
        summary = dict(line.strip().split(": ", 1) for line in r.stderr.splitlines()
                       if line.startswith("  "))
        # The last late reply comes after the watch has ended.
        self.assertGreater(sum(late[:-1]), 0)
        self.assertEqual(int(summary["earlier-reply"]), sum(late[:-1]))
        self.assertEqual(int(summary["replies"]), late.count(False))
        # The replies counted are the prompt ones: none waited for a late one.
        high = float(summary["response min/mean/max"][:-3].split("/")[2])
        self.assertLess(high, 250, summary)

    def test_doctor(self):
        port = self.start()
        r = ctl("--port", port, "doctor")
        self.assertEqual(r.returncode, 0, r.stdout)
        passed = [line for line in r.stdout.splitlines() if line.startswith("pass")]
        for check in ["port exists", "nobody else holds it", "the unit answered"]:
            self.assertTrue(any(check in line for line in passed), (check, r.stdout))
        self.assertNotIn("fail", r.stdout)

        r = ctl("--port", os.path.join(self.dir.name, "missing"), "doctor")
        self.assertEqual(r.returncode, 1)
        lines = r.stdout.splitlines()
        self.assertTrue(lines[0].startswith("fail") and "does not exist" in lines[0], lines)
        self.assertTrue(lines[1].strip().startswith("fix:"), lines)

        port = self.start("--fault", "silent")
        r = ctl("--port", port, "--wait", "200", "doctor")
        self.assertEqual(r.returncode, 1)
        self.assertIn("nothing arrived", r.stdout)

    def test_scan_hears_even_parity_only_with_all_lines(self):
        # A device at 57600 baud 8E1, the protocol's default frame: without
        # parity every try is noise to it; --all-lines tries even parity next.
        port = self.start("--baud", "57600", "--parity", "even")
        scan = [K40CTL, "--port", port, "--baud", "57600", "scan"]
        r = subprocess.run(scan, capture_output=True, text=True, timeout=60)
        self.assertEqual((r.returncode, r.stdout), (3, ""), r.stderr)
        self.assertIn("no unit answered", r.stderr)
        # Requests that arrive together are heard as one garbled chunk, so
        # how many rows the 254 tries leave depends on timing: some, every
        # one garbled, none answered.
        rows = trace_rows(self.sim)
        self.assertTrue(rows)
        self.assertTrue(all(row[3] == "garbled" for row in rows), rows[:3])
        r = subprocess.run(scan + ["--all-lines"], capture_output=True, text=True, timeout=60)
        self.assertEqual((r.returncode, r.stdout), (0, "found: 57600 baud 8E1, address 1\n"),
                         r.stderr)

    def test_scan_finds_the_unit_and_stops_on_ctrl_c(self):
        # --fast: 9600 and 19200, then from the highest rate down, so a unit
        # at 115200 is found in the third pass (the first, without --fast,
        # would be 600 baud's two minutes).
        port = self.start("--baud", "115200", "--slave", "37")
        r = subprocess.run([K40CTL, "--port", port, "scan", "--fast"], capture_output=True,
                           text=True, timeout=60)
        self.assertEqual((r.returncode, r.stdout), (0, "found: 115200 baud 8N1, address 37\n"),
                         r.stderr)
        answered = [row for row in trace_rows(self.sim) if row[3] == "reply"]
        self.assertEqual([row[2] for row in answered], [request(3, 0, 1, slave=37)])

        port = self.start("--fault", "silent")
        scan = subprocess.Popen([K40CTL, "--port", port, "scan"], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        self.assertTrue(await_true(lambda: len(trace_rows(self.sim)) >= 3))
        scan.send_signal(signal.SIGINT)
        out, err = scan.communicate(timeout=5)
        self.assertEqual((scan.returncode, out), (3, ""))
        self.assertIn("scan stopped at 600 baud", err)


if __name__ == "__main__":
    unittest.main()
