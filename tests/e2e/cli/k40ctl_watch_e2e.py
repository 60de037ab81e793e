"""k40ctl's watch against k40sim when things go wrong on a site: the live view
in a default 80x24 terminal (tmux), a unit that vanishes and comes back, a CSV
log of another layout, log rotation's SIGHUP, and the units and labels of the
outputs, read back with Python's csv and json and the Prometheus client's
parser. Run by ctest with K40CTL and K40SIM set; shares the helpers of
k40ctl_e2e.
"""
import csv
import datetime
import json
import os
import re
import signal
import subprocess
import sys
import unicodedata
import unittest

from prometheus_client.parser import text_string_to_metric_families

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import ANALOG_NAMES, K40CTL, SimTestCase, Terminal, await_true, ctl  # noqa: E402

BIT_NAMES = ["系统运行方式", "电池均浮充状态", "系统绝缘下降", "电池单体电压异常", "充电模块通讯离线",
             "绝缘仪通讯离线", "电池仪通讯离线", "母线电压异常", "电池组电压异常", "电池组充电过流",
             "电池组熔芯熔断", "馈出支路跳闸", "交流输入空开跳闸", "防雷器故障", "交流停电"]
# The physical units of registers 100..108: three AC voltages, two bus
# voltages, the load current, the battery's voltage and current, the room's
# temperature (the signal table says A, V, V, V for 104, 105, 107, 108).
UNITS = ["V", "V", "V", "V", "V", "A", "V", "A", "°C"]


def columns(line):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in line)


def prometheus(path):
    with open(path) as f:
        return {fam.name: fam for fam in text_string_to_metric_families(f.read())}


class WatchTest(SimTestCase):
    def live(self, what):
        term = Terminal("%s --port %s --wait 200 watch %s --interval 0.2" %
                        (K40CTL, self.sim.link, what))
        self.addCleanup(term.close)
        return term

    def assert_fits(self, term):
        shown = term.screen()
        lines = shown.splitlines()
        self.assertTrue(lines[0].startswith("k40ctl watch"), shown)
        self.assertTrue(all(columns(line) < 80 for line in lines), shown)
        # tmux joins the lines the terminal wrapped: none were.
        self.assertEqual(len(term.screen(joined=True).splitlines()), len(lines), shown)
        return shown

    def test_live_view_fits_80x24(self):
        term = self.live("all")
        everything = ANALOG_NAMES + BIT_NAMES + ["scans", "(min/mean/max)"]
        self.assertTrue(await_true(lambda: all(n in term.screen() for n in everything)),
                        term.screen())
        shown = self.assert_fits(term)
        for name, unit in zip(ANALOG_NAMES, UNITS):
            line = next(l for l in shown.splitlines() if name in l)
            self.assertIn(" %s " % unit, line)
        term.close()

        term = self.live("ai")
        self.assertTrue(await_true(lambda: "(min/mean/max)" in term.screen()), term.screen())
        self.assert_fits(term)

    def test_live_view_shows_the_outage(self):
        term = self.live("all")
        self.assertTrue(await_true(lambda: "380.0" in term.screen()), term.screen())
        self.sim.crash()
        lost = re.compile(r"port lost since (\d\d:\d\d:\d\d), reopening")
        self.assertTrue(await_true(lambda: lost.search(term.screen())), term.screen())
        since = datetime.datetime.strptime(lost.search(term.screen()).group(1), "%H:%M:%S")
        now = datetime.datetime.now()
        ago = (now - now.replace(hour=since.hour, minute=since.minute,
                                 second=since.second)).total_seconds() % 86400  # past midnight
        self.assertLess(ago, 5)  # the real time of the loss
        # The time without data goes on counting, and so do the failed scans.
        stale = re.compile(r"stale: no data for (\d+) s")
        self.assertTrue(await_true(lambda: int((stale.search(term.screen()) or [0, 0])[1]) >= 2),
                        term.screen())
        failures = int(re.search(r"failures (\d+)", term.screen()).group(1))
        self.assertGreaterEqual(failures, 2, term.screen())
        shown = self.assert_fits(term)
        self.assertIn("380.0", shown)  # the last values, shown as stale

        self.sim.start()
        back = re.compile(r"port lost \d\d:\d\d:\d\d to \d\d:\d\d:\d\d")
        self.assertTrue(await_true(lambda: back.search(term.screen()) and
                                   "stale" not in term.screen()), term.screen())
        self.assert_fits(term)

    def test_outage_publishes_down_and_no_values(self):
        out = self.path("k40.prom")
        w = subprocess.Popen([K40CTL, "--port", self.sim.link, "--wait", "200", "watch", "all",
                              "--interval", "0.2", "--format", "prometheus", "--output", out],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(lambda p=w: p.poll() is None and p.kill())
        up = lambda: os.path.exists(out) and prometheus(out)["k40_up"].samples[0].value
        self.assertTrue(await_true(lambda: up() == 1))
        target = {"port": self.sim.link, "slave": "1"}
        families = prometheus(out)
        self.assertEqual(families["k40_up"].samples[0].labels, target)
        analog = families["k40_analog_value"].samples
        self.assertEqual([s.labels["unit"] for s in analog], UNITS)
        self.assertTrue(all(s.labels.items() >= target.items() for s in analog))
        self.sim.crash()
        self.assertTrue(await_true(lambda: up() == 0))
        failed = lambda: prometheus(out)["k40_scans_failed"].samples[0].value
        first = failed()
        self.assertTrue(await_true(lambda: failed() >= first + 2))  # the outage counts on
        self.assertEqual(prometheus(out)["k40_analog_value"].samples, [])
        self.assertEqual(prometheus(out)["k40_status_bit"].samples, [])
        w.send_signal(signal.SIGTERM)
        _, err = w.communicate(timeout=10)
        self.assertEqual(w.returncode, 0, err)
        self.assertIn("while the port was lost", err)

    def test_csv_of_another_layout_is_refused(self):
        out = self.path("m.csv")
        r = ctl("--port", self.sim.link, "watch", "ai", "--count", "1", "--format", "csv",
                "--output", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        sent = len(self.sim.requests())
        r = ctl("--port", self.sim.link, "watch", "all", "--count", "1", "--format", "csv",
                "--output", out)
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("watch ai (12 columns)", r.stderr)
        self.assertIn("watch all (27 columns)", r.stderr)
        self.assertEqual(len(self.sim.requests()), sent)  # refused before any request
        with open(out, newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual([len(row) for row in rows], [12, 12])

    def test_sighup_reopens_the_output_and_loses_nothing(self):
        out = self.path("m.csv")
        w = subprocess.Popen([K40CTL, "--port", self.sim.link, "watch", "ai", "--interval",
                              "0.02", "--format", "csv", "--output", out],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(lambda p=w: p.poll() is None and p.kill())

        def rows(name):
            if not os.path.exists(self.path(name)):
                return []
            with open(self.path(name), newline="") as f:
                return list(csv.reader(f))
        self.assertTrue(await_true(lambda: len(rows("m.csv")) > 3))
        os.rename(out, self.path("m.csv.1"))  # what logrotate does, then it signals
        w.send_signal(signal.SIGHUP)
        self.assertTrue(await_true(lambda: len(rows("m.csv")) > 3))
        w.send_signal(signal.SIGINT)
        _, err = w.communicate(timeout=10)
        self.assertEqual(w.returncode, 0, err)
        old, new = rows("m.csv.1"), rows("m.csv")
        for log in (old, new):
            self.assertEqual(log[0], ["time", "outcome", "exception"] + ANALOG_NAMES)
            self.assertTrue(all(len(r) == 12 and r[1] == "reply" for r in log[1:]))
        scans = int(re.search(r"(\d+) scans", err).group(1))
        self.assertEqual(len(old) - 1 + len(new) - 1, scans, err)

        # Without --output, SIGHUP (a closed terminal) ends the watch as SIGTERM does.
        w = subprocess.Popen([K40CTL, "--port", self.sim.link, "watch", "ai", "--interval",
                              "0.02", "--format", "json"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(lambda p=w: p.poll() is None and p.kill())
        self.assertTrue(await_true(lambda: len(self.sim.requests()) > scans + 5))
        w.send_signal(signal.SIGHUP)
        text, err = w.communicate(timeout=10)
        self.assertEqual(w.returncode, 0, err)
        records = [json.loads(line) for line in text.splitlines()]
        self.assertIn("%d scans, 0 failed" % len(records), err)
        # Each record carries its response time.
        # (a pseudo-terminal may answer within the 0.1 ms the time is given in)
        self.assertTrue(all(0 <= r["response_ms"] < 1500 for r in records), records)

    def test_units_of_every_output(self):
        record = json.loads(ctl("--port", self.sim.link, "--format", "json", "ai").stdout)
        self.assertEqual([v["unit"] for v in record["values"]], UNITS)
        self.assertGreaterEqual(record["response_ms"], 0)
        table = ctl("--port", self.sim.link, "ai").stdout.splitlines()
        self.assertEqual([line.split()[-1] for line in table], UNITS)
        r = ctl("--port", self.sim.link, "--wait", "200", "--slave", "9", "--format", "json",
                "ai")
        self.assertIsNone(json.loads(r.stdout)["response_ms"])


if __name__ == "__main__":
    unittest.main()
