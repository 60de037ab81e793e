"""The page that k40ctl serve gives at "/", in a real browser.

Debian's Chromium, headless, driven through its chromedriver by Selenium,
with the browser's language pinned, against serve on k40sim (a pseudo-
terminal). What the page shows is read from the page itself and compared with
k40sim's trace and with serve's own answers. One browser for the whole file
(Chinese, phone widths and the dark theme by the DevTools protocol), three
units: one whose serve allows commands, one whose serve does not, one that
never answers. The servers' zone (TZ) puts their date a day away from UTC's;
the browser runs in UTC with its clock ten minutes fast: every time, age and
"new" on the page must still be the server's. All traffic stays on loopback:
every name but the loopback address fails to resolve in the browser. Run by
ctest with K40CTL and K40SIM set; shares the helpers of k40ctl_e2e and
k40ctl_serve_e2e.
"""
import csv
import datetime
import io
import json
import os
import re
import shutil
import sys
import tempfile
import time
import unittest

# The servers' zone, before the helpers copy the environment: twelve hours
# behind UTC in the morning, thirteen ahead in the afternoon (UTC's time), so
# that the server's date is never UTC's.
os.environ["TZ"] = "KFT+12" if datetime.datetime.utcnow().hour < 11 else "KFT-13"

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import NOMINAL, Sim, request  # noqa: E402
from k40ctl_serve_e2e import (READ_ANALOG, TOKEN, DriftingSim, Serve,  # noqa: E402
                              analog_values, trace)
from k40ctl_watch_e2e import BIT_NAMES, UNITS  # noqa: E402

CHROMIUM = os.environ.get("CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("CHROMEDRIVER", "/usr/bin/chromedriver")
EQUALIZE = request(5, 201, 0x0000)
FAST_MS = 600e3
# The browser's clock ten minutes fast, from the first script of every page on.
FAST_CLOCK = """(() => {
  const real = Date, fast = %d;
  class FastDate extends real {
    constructor(...a) { if (a.length) super(...a); else super(real.now() + fast); }
    static now() { return real.now() + fast; }
  }
  globalThis.Date = FastDate;
})();""" % FAST_MS
CJK = re.compile(r"[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]")


def browser(lang, workdir):
    """Headless Chromium in lang, in UTC; names other than loopback do not resolve."""
    o = webdriver.ChromeOptions()
    o.binary_location = CHROMIUM
    for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--disable-extensions", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--lang=" + lang,
                "--window-size=1280,1000", "--user-data-dir=" + workdir,
                "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"]:
        o.add_argument(arg)
    o.add_experimental_option("prefs", {"intl.accept_languages": lang})
    o.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    env = dict(os.environ, TZ="UTC")
    return webdriver.Chrome(service=Service(CHROMEDRIVER, env=env), options=o)


# What the page saves, caught as [name, bytes] in window.saved.
CATCH_SAVES = """window.saved = [];
    const blobs = new Map(), make = URL.createObjectURL;
    URL.createObjectURL = (blob) => { const url = make(blob); blobs.set(url, blob); return url; };
    HTMLAnchorElement.prototype.click = function () {
      const name = this.download;
      blobs.get(this.href).arrayBuffer().then(b =>
        window.saved.push([name, [...new Uint8Array(b)]]));
    };"""


_browser = {}


def shared_browser():
    """The file's one browser (en-US, its clock ten minutes fast), made at first use."""
    if not _browser:
        _browser["dir"] = tempfile.mkdtemp()
        d = browser("en-US", _browser["dir"])
        d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": FAST_CLOCK})
        _browser["driver"] = d
    return _browser["driver"]


def tearDownModule():
    if _browser:
        _browser["driver"].quit()
        shutil.rmtree(_browser["dir"], ignore_errors=True)


# WCAG's contrast ratio of two computed colours, in the page: ratio(a, b).
CONTRAST = """
    const rgb = (c) => c.match(/\\d+(\\.\\d+)?/g).slice(0, 3).map(Number);
    const lum = (c) => { const v = rgb(c).map(x => { x /= 255;
        return x <= 0.03928 ? x / 12.92 : ((x + 0.055) / 1.055) ** 2.4; });
      return 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2]; };
    const ratio = (a, b) => { const [x, y] = [lum(a), lum(b)].sort((p, q) => q - p);
      return (x + 0.05) / (y + 0.05); };"""


def epoch_ms(iso):
    return round(datetime.datetime.fromisoformat(iso).timestamp() * 1000)


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp()
        for sub in "abs":
            os.makedirs(os.path.join(cls.dir, sub))
        cls.sim = DriftingSim(os.path.join(cls.dir, "a")).start()
        cls.quiet_sim = Sim(os.path.join(cls.dir, "b")).start()
        cls.silent_sim = Sim(os.path.join(cls.dir, "s"), "--fault", "silent").start()
        cls.serve = Serve("--port", cls.sim.link,
                          serve=["--interval", "0.1", "--allow-commands"]).listening()
        cls.closed = Serve("--port", cls.quiet_sim.link, serve=["--interval", "0.1"]).listening()
        cls.silent = Serve("--port", cls.silent_sim.link, "--wait", "100",
                           serve=["--interval", "0.1"]).listening()
        cls.url = "http://127.0.0.1:%d/" % cls.serve.port
        cls.driver = shared_browser()

    @classmethod
    def tearDownClass(cls):
        codes = [cls.serve.stop(), cls.closed.stop(), cls.silent.stop()]
        for sim in (cls.sim, cls.quiet_sim, cls.silent_sim):
            if sim.proc.poll() is None:
                sim.kill()
        shutil.rmtree(cls.dir, ignore_errors=True)
        assert codes == [0, 0, 0], codes

    # The page's side.
    def open(self, url=None, driver=None):
        d = driver or self.driver
        d.get_log("browser")  # what earlier pages logged
        d.get(url or self.url)
        self.until(lambda d: d.execute_script("return document.body.dataset.ready === '1'"), d)
        return d

    def until(self, condition, driver=None, timeout=10):
        return WebDriverWait(driver or self.driver, timeout, poll_frequency=0.05).until(condition)

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def page_values(self):
        return self.js("return [...document.querySelectorAll('#values-body td[data-value]')]"
                       ".map(td => Number(td.dataset.value))")

    def link_state(self):
        return self.js("return document.getElementById('link-state').dataset.state")

    def stale(self):
        return self.js("return [...document.querySelectorAll('#values-body tr')]"
                       ".map(tr => tr.dataset.stale)")

    def chart_rows(self, chart):
        """Each row of one chart as the page drew it: [ms, y...], None for a break."""
        return self.js("""
            const g = window.k40page.trends.charts[arguments[0]].g;
            const rows = [];
            for (let i = 0; i < g.numRows(); i++) {
              const row = [g.getValue(i, 0)];
              for (let c = 1; c < g.numColumns(); c++) row.push(g.getValue(i, c));
              rows.push(row);
            }
            return rows;""", chart)

    def language(self, lang):
        """The browser's preferred language from now on (navigator.languages)."""
        ua = self.js("return navigator.userAgent")
        self.driver.execute_cdp_cmd("Emulation.setUserAgentOverride",
                                    {"userAgent": ua, "acceptLanguage": lang})

    def viewport(self, width, height=900):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 500})

    def errors(self):
        return [e for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]

    def outcome_is(self, words, outcome):
        """The command's outcome: its server time, the command, the words."""
        o = self.outcome()
        return (o.get_attribute("data-outcome") == outcome and
                re.fullmatch(r"\d\d:\d\d:\d\d %s: %s" % (re.escape(words), re.escape(outcome)),
                             o.text) is not None)

    def click_command(self, name):
        self.driver.find_element(By.ID, "cmd-" + name).click()
        return self.until(lambda d: d.find_element(By.ID, "confirm-send"))

    def outcome(self):
        return self.driver.find_element(By.ID, "command-outcome")

    # The server's side.
    def good_scan_times(self):
        history = self.serve.get("/api/v1/history").text().splitlines()
        return [epoch_ms(r["time"]) for r in map(json.loads, history) if r["outcome"] == "reply"]

    def commands_sent(self, sim):
        return [r for r, _, _ in trace(sim.trace) if r[2:4] not in ("01", "03")]

    def test_a_loads_clean_from_the_server_alone(self):
        d = self.open()
        answer = self.serve.get("/")
        self.assertEqual(answer.status, 200)
        self.assertIn("default-src 'self'", answer.headers["content-security-policy"])
        icon = self.serve.get("/favicon.ico")
        self.assertEqual((icon.status, icon.headers["content-type"]),
                         (200, "image/vnd.microsoft.icon"))
        self.assertEqual(icon.body[:4], b"\0\0\1\0")
        self.assertEqual(d.find_element(By.CSS_SELECTOR, "link[rel=icon]").get_attribute("href"),
                         self.url + "favicon.ico")
        resources = self.js("return performance.getEntriesByType('resource').map(e => e.name)")
        self.assertTrue(resources)
        self.assertEqual([r for r in resources if not r.startswith(self.url)], [])
        self.assertIn(self.url + "page/dygraph.min.js", resources)
        self.assertEqual(self.js("return typeof Dygraph"), "function")
        self.assertEqual(self.errors(), [])
        # The server's zone, named once in the header; the server's clock.
        readings = self.serve.readings()
        offset = readings["server_time"][-6:]
        self.assertEqual(d.find_element(By.ID, "zone").text,
                         "Time zone UTC%s (%s)" % (offset, readings["zone"]))

    def test_b_values_are_the_last_reply_in_the_trace(self):
        self.open()
        last_reply = lambda: [f for r, _, f in trace(self.sim.trace) if r == READ_ANALOG and f][-1]
        self.until(lambda d: self.page_values() == analog_values(last_reply()))
        units = self.js("return [...document.querySelectorAll('#values-body tr')]"
                        ".map(tr => tr.cells[2].textContent)")
        self.assertEqual(units, UNITS)
        names = self.js("return [...document.querySelectorAll('#bits-body th')]"
                        ".map(th => th.textContent)")
        self.assertEqual(names, BIT_NAMES)
        # The traffic: exchanges newest first, each its request, then its
        # reply; the times in the server's zone, as its frames give them.
        self.until(lambda d: self.js("return document.querySelectorAll('#traffic-table tbody').length") > 4)
        self.js("document.getElementById('traffic-pause').click()")
        shown = self.js("""return [...document.querySelectorAll('#traffic-table tbody')].map(b =>
            [...b.rows].map(r => [r.className, r.cells[0].textContent, r.cells[2].textContent]))""")
        self.js("document.getElementById('traffic-pause').click()")
        frames = {(f["time"][11:23], f["hex"]) for f in self.serve.get("/api/v1/frames").json()}
        starts = [x[0][1] for x in shown]
        self.assertEqual(starts, sorted(starts, reverse=True))
        for exchange in shown[1:-1]:  # the newest may wait for its reply, the oldest lost its request
            self.assertEqual([k for k, _, _ in exchange], ["request", "reply"], exchange)
            self.assertLessEqual(exchange[0][1], exchange[1][1])
        held = min(t for t, _ in frames)  # the server's frames since
        self.assertTrue({(t, h) for x in shown for _, t, h in x if t >= held} <= frames)

    def test_c_one_point_per_scan(self):
        self.viewport(1280, 3000)  # every chart in sight: those out of it wait
        try:
            self.open()
            self.until(lambda d: len(self.chart_rows(3)) >= 20)
            charts = [self.chart_rows(c) for c in range(4)]
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
        times = self.good_scan_times()
        for rows, width in zip(charts, [3, 3, 2, 1]):
            drawn = [r[0] for r in rows if r[1] is not None]
            self.assertEqual(len(rows[0]), 1 + width)
            first, last = drawn[0], drawn[-1]
            self.assertEqual(drawn, [t for t in times if first <= t <= last])
            self.assertEqual(first, times[0])
            for c in range(1, width + 1):
                self.assertEqual(sum(r[c] is not None for r in rows), len(drawn))

    def test_d_manual_in_the_journal(self):
        self.open()
        self.assertEqual([b.text for b in self.driver.find_elements(
            By.CSS_SELECTOR, "#commands fieldset:first-of-type button")],
            ["Manual", "Auto", "Float charge", "Equalize"])
        send = self.click_command("manual")
        self.assertEqual(self.driver.find_element(By.ID, "confirm-text").text,
                         "Send Manual to slave 1 on %s?" % self.sim.link)
        send.click()
        self.until(lambda d: self.outcome_is("Manual", "confirmed"))
        self.assertEqual(self.outcome().get_attribute("data-good"), "true")
        # "new" by the server's clock, the browser's ten minutes ahead.
        row = self.until(lambda d: [r.text for r in d.find_elements(
            By.CSS_SELECTOR, "#journal-body tr.recent") if BIT_NAMES[0] in r.text])[0]
        self.assertRegex(row, r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d · new %s automatic → manual$" % BIT_NAMES[0])
        server_clock = self.serve.readings()["server_time"][:19].replace("T", " ")
        self.assertLess(abs(datetime.datetime.fromisoformat(row[:19]) -
                            datetime.datetime.fromisoformat(server_clock)).total_seconds(), 30)
        self.assertIn(request(5, 200, 0xFF00), self.commands_sent(self.sim))

    def test_e_equalize_puts_one_frame_on_the_wire(self):
        self.open()
        # The journal of a page opened later comes from the history, names and all.
        journal = [r.text for r in self.driver.find_elements(By.CSS_SELECTOR, "#journal-body tr")]
        self.assertRegex(journal[-1], r" %s automatic → manual$" % BIT_NAMES[0])
        before = len(trace(self.sim.trace))
        self.click_command("equalize").click()
        self.until(lambda d: self.outcome_is("Equalize", "confirmed"))
        new = [r for r, _, _ in trace(self.sim.trace)[before:]]
        self.assertEqual([r for r in new if r[2:4] not in ("01", "03")], [EQUALIZE])

    def test_f_what_the_boxes_take(self):
        self.open()
        sent = self.commands_sent(self.sim)
        self.click_command("auto").click()
        self.until(lambda d: self.outcome_is("Auto", "confirmed"))
        box = lambda i: self.driver.find_element(By.ID, i)
        error = box("command-error")
        # As the window's boxes: no hexadecimal, no exponent in a whole number,
        # an exponent in a real one; a range error replaces the last outcome.
        for number, voltage, shown in [("1", "0x10", "Enter a number between 0 and 300."),
                                       ("1e1", "220", "Enter a whole number between 0 and 20."),
                                       ("1", "300.001", "Enter a number between 0 and 300.")]:
            box("module-number").clear()
            box("module-number").send_keys(number)
            box("module-voltage").clear()
            box("module-voltage").send_keys(voltage)
            box("cmd-set-voltage").click()
            self.assertEqual((error.text, self.outcome().text), (shown, ""))
            self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, "dialog[open]"), [])
        box("module-voltage").clear()
        box("module-voltage").send_keys(" 2e2 ")
        box("cmd-set-voltage").click()
        self.assertEqual(self.until(lambda d: d.find_element(By.ID, "confirm-text")).text,
                         "Send module 1 Set voltage 200 V to slave 1 on %s?" % self.sim.link)
        self.driver.find_element(By.ID, "confirm-cancel").click()
        self.assertEqual(error.text, "")
        self.assertEqual(self.commands_sent(self.sim)[len(sent):], [request(5, 200, 0)])

    def test_g_no_commands_unless_allowed(self):
        url = "http://127.0.0.1:%d/" % self.closed.port
        self.open(url)
        self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, "#commands, [data-command]"),
                         [])
        status = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            fetch('/api/v1/command', {method: 'POST', body: '{"command":"manual"}',
                                      headers: {'Content-Type': 'application/json'}})
              .then(r => done(r.status), e => done(String(e)));""")
        self.assertEqual(status, 403)
        self.assertEqual(self.commands_sent(self.quiet_sim), [])

    def test_h_accessibility_tree(self):
        self.open()
        tree = self.driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"]
        nodes = {n["nodeId"]: n for n in tree}
        role = lambda n: n.get("role", {}).get("value")
        name = lambda n: (n.get("name") or {}).get("value", "")
        controls = [n for n in tree if not n.get("ignored") and role(n) in (
            "button", "textbox", "link", "checkbox", "combobox", "spinbutton", "slider", "radio")]
        self.assertGreater(len(controls), 15)
        self.assertEqual([(role(n), n.get("backendDOMNodeId")) for n in controls if not name(n)],
                         [])

        def roles_under(n):
            found = set()
            for c in n.get("childIds", []):
                if c in nodes:
                    found |= {role(nodes[c])} | roles_under(nodes[c])
            return found
        tables = [n for n in tree if role(n) == "table"]
        self.assertEqual(len(tables), 8)  # four of the page, a legend a chart
        for t in tables:
            self.assertIn("columnheader", roles_under(t), name(t))
            self.assertTrue(name(t))
        regions = [name(n) for n in tree if role(n) == "region"]
        self.assertIn("Frames", regions)
        live = self.js("const e = document.getElementById('link-state');"
                       "return [e.getAttribute('role'), e.getAttribute('aria-live')]")
        self.assertEqual(live, ["status", "polite"])

    def test_i_widths(self):
        try:
            self.viewport(360, 740)
            self.open()
            wide = self.js("""
                const w = document.documentElement.clientWidth;
                const out = [];
                if (document.documentElement.scrollWidth > w) out.push('page ' + document.documentElement.scrollWidth);
                for (const e of document.querySelectorAll('body *')) {
                  if (e.closest('.hex-scroll') || e.closest('dialog')) continue;
                  const r = e.getBoundingClientRect();
                  if (r.width && r.right > w + 0.5) out.push(e.tagName + '#' + e.id + '.' + e.className + ' ' + r.right);
                }
                return [w, out];""")
            self.assertEqual(wide, [360, []])
            # A bit's legend on a line of its own, not two characters a line.
            legend = self.js("const c = document.querySelector('#bits-body td:nth-child(4)');"
                             "return c.getBoundingClientRect().width")
            self.assertGreater(legend, 200)
            self.viewport(1920)
            self.open()
            # No third of the width left empty: the sections fill the rows.
            tops = self.js("return ['glance', 'values', 'bits'].map(i => "
                           "document.getElementById(i).getBoundingClientRect().top)")
            self.assertEqual(len(set(tops)), 1, tops)
            self.viewport(1280)
            self.open()
            self.until(lambda d: self.js("return document.querySelectorAll('#traffic-table tbody').length"))
            heights = self.js("return [...document.querySelectorAll('#traffic-table tr')].slice(0, 3)"
                              ".map(r => [r.cells[1].getBoundingClientRect().height, "
                              "r.cells[2].getBoundingClientRect().height])")
            for direction, frame in heights:
                self.assertLessEqual(direction, frame + 0.5)
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def test_j_chinese_page(self):
        self.language("zh-CN")
        try:
            d = self.open()
            self.assertEqual(d.find_element(By.ID, "values-h").text, "读数据")
            self.assertEqual([b.text for b in d.find_elements(By.CSS_SELECTOR, "#commands button")][:4],
                             ["手 动", "自 动", "浮 充", "均 充"])
            sent = self.commands_sent(self.sim)
            d.find_element(By.ID, "module-number").send_keys("1")
            d.find_element(By.ID, "module-voltage").send_keys("220")
            d.find_element(By.ID, "cmd-set-voltage").click()
            self.assertEqual(d.find_element(By.ID, "confirm-text").text,
                             "向 %s 的子站 1 发送“模块 1 调压设置 220 V”？" % self.sim.link)
            d.find_element(By.ID, "confirm-send").click()
            self.until(lambda d: self.outcome_is("模块 1 调压设置 220 V", "操作成功!") or
                       d.find_element(By.ID, "command-outcome").text.endswith("：操作成功!"))
            new = self.commands_sent(self.sim)[len(sent):]
            self.assertEqual(len(new), 1)
            self.assertEqual(new[0][:8], "01060139")  # module 1's voltage: register 313
            # A unit that never answers: its state and each diagnosis in Chinese.
            self.open("http://127.0.0.1:%d/" % self.silent.port)
            self.until(lambda d: self.link_state() == "no-reply" and self.js(
                "return document.querySelectorAll('#traffic-table tr.diagnosis').length") > 1)
            words = self.js("return [document.getElementById('link-state').textContent].concat("
                            "[...document.querySelectorAll('#traffic-table tr.diagnosis td')]"
                            ".map(c => c.textContent))")
            for text in words:
                # Options and commands to type stay as they are typed.
                bare = re.sub(r"--[a-z-]+|k40ctl \w+|\bA\b|\bB\b", "", text)
                self.assertIsNone(re.search(r"[A-Za-z]{2,}", bare), text)
            self.assertIn("未收到任何字节", words[0])
            self.assertEqual(self.errors(), [])
        finally:
            self.language("en-US")

    def test_k_stale_then_live_with_a_gap(self):
        self.open()
        self.until(lambda d: self.link_state() == "answering" and set(self.stale()) == {"0"})
        failed = self.serve.readings()["counters"]["failed"]
        self.sim.crash()
        self.until(lambda d: self.link_state() == "port-lost" and set(self.stale()) == {"1"})
        # Stale at the first failed scan or the loss, not later.
        self.assertLessEqual(self.serve.readings()["counters"]["failed"], failed + 2)
        before = self.good_scan_times()[-1]  # the last reply before the unit went
        self.assertRegex(self.js("return document.getElementById('link-state').textContent"),
                         r"^port lost since \d\d:\d\d:\d\d: %s failed" % self.sim.link)
        # Opened during the outage: the last good values, stale, their age by
        # the server's clock (the browser's is ten minutes ahead).
        self.open()
        self.assertEqual(set(self.stale()), {"1"})
        self.assertEqual(len(self.page_values()), 9)
        ages = self.js("return [...document.querySelectorAll('#values-body .age')].map(e => e.textContent)")
        self.assertRegex(ages[0], r"^stale, \d{1,2} s old$")
        # At 1280 px the value and its age stay in their cell, clear of the unit's.
        spilled = self.js("""return [...document.querySelectorAll('#values-body tr')].filter(tr => {
            const cell = tr.cells[1].getBoundingClientRect();
            return [...tr.cells[1].children].some(e => { const r = e.getBoundingClientRect();
              return r.left < cell.left - 0.5 || r.right > cell.right + 0.5; }) ||
              tr.cells[2].getBoundingClientRect().left < cell.right - 0.5;
          }).map(tr => tr.textContent)""")
        self.assertEqual((self.js("return innerWidth"), spilled), (1280, []))
        self.assertEqual(self.js("return document.getElementById('bits-body').className"), "stale")
        self.sim.start()
        self.until(lambda d: self.link_state() == "answering" and set(self.stale()) == {"0"},
                   timeout=15)
        after = [t for t in self.good_scan_times() if t > before][0]
        self.js("document.getElementById('charts').scrollIntoView()")
        self.until(lambda d: any(r[0] > after for r in self.chart_rows(0)))
        rows = self.chart_rows(0)
        breaks = [r[0] for r in rows if all(v is None for v in r[1:])]
        self.assertEqual(len([b for b in breaks if before < b < after]), 1, (before, after, rows))
        drawn = [r[0] for r in rows if r[1] is not None]
        self.assertNotIn(True, [before < x < after for x in drawn])

    def test_l_token_asked_once(self):
        workdir = os.path.join(self.dir, "c")
        os.makedirs(workdir)
        sim = Sim(workdir).start()
        self.addCleanup(lambda: sim.proc.poll() is None and sim.kill())
        token_file = os.path.join(workdir, "k40.token")
        with open(os.open(token_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write(TOKEN + "\n")
        s = Serve("--port", sim.link, serve=["--interval", "0.1", "--allow-commands",
                                             "--token-file", token_file]).listening()
        self.addCleanup(lambda: self.assertEqual(s.stop(), 0, s.stderr()))
        self.open("http://127.0.0.1:%d/" % s.port)
        # Enter in the token field means OK; a wrong token is said to be one.
        self.click_command("manual").click()
        self.until(lambda d: d.find_element(By.ID, "token-input")).send_keys("wrong" + Keys.ENTER)
        self.until(lambda d: self.outcome().get_attribute("data-outcome") == "401")
        self.assertRegex(self.outcome().text, r"^\d\d:\d\d:\d\d Manual: wrong token")
        self.assertEqual(self.outcome().get_attribute("data-good"), "false")
        self.click_command("manual").click()
        self.until(lambda d: d.find_element(By.ID, "token-input")).send_keys(TOKEN + Keys.ENTER)
        self.until(lambda d: self.outcome_is("Manual", "confirmed"))
        self.click_command("auto").click()  # no second question
        self.until(lambda d: self.outcome_is("Auto", "confirmed") and
                   self.commands_sent(sim) == [request(5, 200, 0xFF00), request(5, 200, 0)])
        self.assertFalse(self.js("return document.getElementById('token').open"))
        self.assertEqual(self.js("return sessionStorage.getItem('k40-token')"), TOKEN)
        self.assertIsNone(self.js("return localStorage.getItem('k40-token')"))

    def test_m_hover_readout_legend_and_hiding(self):
        self.viewport(1280, 3000)  # every chart and legend in sight
        self.addCleanup(lambda: self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {}))
        self.open()
        self.until(lambda d: len(self.chart_rows(0)) >= 20)
        plot = self.driver.find_elements(By.CSS_SELECTOR, ".chart")[0]
        ActionChains(self.driver).move_to_element(plot).move_by_offset(5, 0).perform()
        readout = self.until(lambda d: d.find_element(By.CSS_SELECTOR, ".readout[data-empty='0']"))
        m = re.fullmatch(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) · (.*)", readout.text)
        self.assertTrue(m, readout.text)
        shown = [float(part.rsplit(" ", 1)[1]) for part in m.group(2).split(" · ")]
        self.assertEqual(self.errors(), [])
        # The legend's statistics over the range shown, from every scan in it.
        stats = self.js("""
            const p = window.k40page, [a, b] = p.trends.window();
            p.trends.refresh();
            return [a, b, [...document.querySelectorAll('.stats')[1].tBodies[0].rows]
              .map(r => [...r.cells].slice(1).map(c => c.textContent))];""")
        a, b, table = stats
        history = [json.loads(r) for r in self.serve.get("/api/v1/history").text().splitlines()]
        at = [r for r in history if r["time"][:19].replace("T", " ") == m.group(1)
              and r["outcome"] == "reply"]
        self.assertIn(shown, [[v["value"] for v in r["values"][:3]] for r in at])
        inside = [r for r in history if r["outcome"] == "reply" and a <= epoch_ms(r["time"]) <= b]
        for k, col in enumerate([3, 4, 6]):
            v = [r["values"][col]["value"] for r in inside]
            self.assertEqual(table[k], ["%.1f" % x for x in
                                        (min(v), max(v), sum(v) / len(v), v[-1])])
        # A series hidden by a click, shown again by the keyboard.
        button = self.driver.find_elements(By.CSS_SELECTOR, "button.series")[1]
        visible = lambda: self.js("return window.k40page.trends.charts[0].g.visibility()")
        button.click()
        self.assertEqual((visible(), button.get_attribute("aria-pressed")),
                         ([True, False, True], "false"))
        button.send_keys(Keys.SPACE)
        self.assertEqual((visible(), button.get_attribute("aria-pressed")),
                         ([True, True, True], "true"))

    def test_n_range_in_the_address(self):
        d = self.open()
        self.until(lambda d: self.good_scan_times()[-1] - self.good_scan_times()[0] > 4000)
        state = lambda: (d.find_element(By.ID, "range-state").get_attribute("data-live"),
                         self.js("return location.hash"))
        # Earlier, when everything is shown already: still live, and said so.
        d.find_element(By.CSS_SELECTOR, "[data-pan='-0.5']").click()
        self.assertEqual(state(), ("true", ""))
        # A fixed range from the picker, in the server's zone; kept by the address.
        times = self.good_scan_times()
        a, b = times[len(times) // 4], times[len(times) // 2]
        self.js("""const [a, b] = arguments, c = window.k40page;
            document.getElementById('range-from').value = arguments[2];
            document.getElementById('range-to').value = arguments[3];
            document.querySelector('#range-form button').click();""", a, b,
                self.local(a), self.local(b))
        live, hash = state()
        self.assertEqual(live, "false")
        self.assertRegex(hash, r"^#from=.+&to=.+$")
        window = self.js("return window.k40page.trends.window()")
        self.assertEqual(window, [a // 1000 * 1000, b // 1000 * 1000])
        d.refresh()
        self.until(lambda d: self.js("return document.body.dataset.ready === '1'"))
        self.assertEqual(self.js("return window.k40page.trends.window()"), window)
        self.assertEqual(state(), ("false", hash))
        self.assertRegex(d.find_element(By.ID, "range-state").text, r"^fixed: ")
        d.find_element(By.ID, "live").click()
        self.assertEqual(state()[0], "true")

    def local(self, ms):
        """A time as the page's picker takes it: the server's wall clock."""
        offset = self.serve.readings()["server_time"][-6:]
        sign = -1 if offset[0] == "-" else 1
        delta = datetime.timedelta(hours=int(offset[1:3]), minutes=int(offset[4:6])) * sign
        utc = datetime.datetime.fromtimestamp(ms // 1000, datetime.timezone.utc)
        return (utc + delta).strftime("%Y-%m-%dT%H:%M:%S")

    def test_o_csv_named_by_the_servers_date(self):
        self.open("http://127.0.0.1:%d/" % self.closed.port)
        self.js(CATCH_SAVES)
        save = self.driver.find_element(By.ID, "csv-save")
        save.click()
        self.driver.find_element(By.ID, "csv-excel").click()
        save.click()
        saved = self.until(lambda d: len(self.js("return window.saved")) == 2 and
                           sorted(self.js("return window.saved"), key=lambda s: len(s[1])))
        server_date = self.closed.readings()["server_time"][:10]
        self.assertNotEqual(server_date, datetime.datetime.utcnow().strftime("%Y-%m-%d"))
        plain, excel = bytes(saved[0][1]), bytes(saved[1][1])
        self.assertEqual([s[0] for s in saved], ["k40-history-%s.csv" % server_date] * 2)
        later = self.closed.get("/api/v1/history?format=csv").body
        self.assertTrue(later.startswith(plain) and plain.endswith(b"\r\n"))
        self.assertTrue(excel.startswith(b"\xef\xbb\xbf" + plain[:200]))

    def test_p_dark_theme(self):
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        try:
            self.open()
            colours = self.js(CONTRAST + """
                const bg = (e) => getComputedStyle(e).backgroundColor;
                const fg = (e) => getComputedStyle(e).color;
                const section = document.getElementById('values');
                const state = document.getElementById('link-state');
                const label = document.querySelector('.dygraph-axis-label');
                const hint = document.getElementById('chart-hint');
                return [lum(bg(document.body.parentElement)), ratio(fg(section), bg(section)),
                        ratio(fg(state), bg(state)), ratio(fg(label), bg(section)),
                        ratio(fg(hint), bg(section))];""")
            self.assertLess(colours[0], 0.05)  # dark indeed
            for ratio in colours[1:]:
                self.assertGreaterEqual(ratio, 4.5)
        finally:
            self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

    def test_r_read_token(self):
        """A serve whose reads need a token: the page asks for it (again after
        a wrong one), then reads with it, the events by a streaming fetch, and
        downloads with it, waiting out a busy server's 503."""
        workdir = os.path.join(self.dir, "r")
        os.makedirs(workdir)
        sim = Sim(workdir).start()
        self.addCleanup(lambda: sim.proc.poll() is None and sim.kill())
        token_file = os.path.join(workdir, "read.token")
        with open(os.open(token_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write(TOKEN + "\n")
        s = Serve("--port", sim.link, serve=["--interval", "0.1",
                                             "--read-token-file", token_file]).listening()
        self.addCleanup(lambda: self.assertEqual(s.stop(), 0, s.stderr()))
        d = self.driver
        counted = d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
            window.eventSources = 0;
            window.EventSource = class extends EventSource {
              constructor(...a) { super(...a); window.eventSources++; }
            };"""})["identifier"]
        self.addCleanup(d.execute_cdp_cmd, "Page.removeScriptToEvaluateOnNewDocument",
                        {"identifier": counted})
        d.get_log("browser")
        d.get("http://127.0.0.1:%d/" % s.port)
        text = lambda: d.find_element(By.ID, "token-text").text
        self.until(lambda d: d.find_element(By.ID, "token-input")).send_keys("wrong" + Keys.ENTER)
        self.until(lambda d: text().startswith("Wrong token"))
        d.find_element(By.ID, "token-input").send_keys(TOKEN + Keys.ENTER)
        self.until(lambda d: self.js("return document.body.dataset.ready === '1'"))
        self.assertEqual(self.link_state(), "answering")
        self.assertTrue(all(v == v for v in self.page_values()) and len(self.page_values()) == 9)
        # Scans and frames keep coming, by fetch(): no EventSource was made.
        scans = self.js("return window.k40page.store.length")
        frames = self.js("return document.getElementById('traffic-table').textContent")
        self.until(lambda d: self.js("return window.k40page.store.length") > scans + 2 and
                   self.js("return document.getElementById('traffic-table').textContent") != frames)
        self.assertEqual(self.js("return window.eventSources"), 0)
        # The download: the first answer a busy server's 503, said and waited out.
        self.js(CATCH_SAVES + """
            const real = window.fetch;
            window.fetch = (path, init) => {
              if (!window.busyOnce && String(path).startsWith('/api/v1/history')) {
                window.busyOnce = true;
                return Promise.resolve(new Response('', {status: 503, headers: {'Retry-After': '1'}}));
              }
              return real(path, init);
            };""")
        d.find_element(By.ID, "csv-save").click()
        self.until(lambda d: "trying again in 1 s" in d.find_element(By.ID, "csv-error").text)
        saved = self.until(lambda d: self.js("return window.saved")[:1])
        self.assertEqual(d.find_element(By.ID, "csv-error").text, "")
        rows = list(csv.reader(io.StringIO(bytes(saved[0][1]).decode("utf-8"), newline="")))
        whole = s.get("/api/v1/history?format=csv", Authorization="Bearer " + TOKEN).body
        self.assertTrue(whole.startswith(bytes(saved[0][1])))
        self.assertGreater(len(rows), 3)
        self.assertEqual({len(r) for r in rows}, {len(rows[0])})
        refusals = [e for e in self.errors() if "status of 401" not in e["message"]]
        self.assertEqual(refusals, [])

    def test_s_focus_ring_on_the_header(self):
        """The keyboard's focus ring on the navy header: at least 3:1 against it."""
        self.open()
        for _ in range(6):  # the header's first focusable element, by the keyboard
            ActionChains(self.driver).send_keys(Keys.TAB).perform()
            if self.js("return !!document.activeElement.closest('.top')"):
                break
        ring = self.js(CONTRAST + """
            const e = document.activeElement, s = getComputedStyle(e);
            return [e.matches(':focus-visible'), s.outlineStyle,
                    ratio(s.outlineColor, getComputedStyle(e.closest('.top')).backgroundColor)];""")
        self.assertEqual(ring[:2], [True, "solid"])
        self.assertGreaterEqual(ring[2], 3)

    def test_q_the_pages_rules(self):
        """The page's pure rules, one table, run in the page's own modules."""
        self.open()
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "page_rules.js")) as f:
            failures = self.driver.execute_async_script(f.read())
        self.assertEqual(failures, [])

    def test_r_alarms_first(self):
        """The banner, the title, the bits, the journal and the charts of a unit
        whose alarms k40sim raises (one ends): in English, then in Chinese."""
        self.open()
        banner = lambda: self.js(  # noqa: E731
            "const b = document.getElementById('alarms');"
            "return [b.querySelector('h2').textContent, document.title,"
            " [...b.querySelectorAll('li')].map(li => [li.dataset.id,"
            " li.querySelector('.severity').textContent, li.querySelector('.name').textContent,"
            " li.querySelector('.runbook').getAttribute('href')])]")
        self.assertEqual(banner()[:2], ["✓ no active alarms", "no active alarms – HCU-K40 monitor"])
        os.makedirs(os.path.join(self.dir, "e"))
        sim = Sim(os.path.join(self.dir, "e"), "--event", "ac_power_failure@2s+3s",
                  "--event", "surge_protector_fault@2s").start()
        serve = Serve("--port", sim.link, serve=["--interval", "0.1"]).listening()
        try:
            self.open("http://127.0.0.1:%d/" % serve.port)
            two = [["ac_power_failure", "✖ critical", "AC power failure",
                    "/runbooks/en.html#K40AcPowerFailure"],
                   ["surge_protector_fault", "⚠ warning", "Surge protector fault",
                    "/runbooks/en.html#K40SurgeProtectorFault"]]
            self.until(lambda d: banner()[2] == two, timeout=20)
            self.assertEqual(banner()[:2], ["● active alarms: 2", "● alarms: 2 – HCU-K40 monitor"])
            self.until(lambda d: banner()[2] == two[1:], timeout=20)
            self.assertEqual(banner()[1], "● alarms: 1 – HCU-K40 monitor")
            # Rows stand out only for a raised alarm: not 浮充, not the one ended.
            self.assertEqual(self.js("return [...document.querySelectorAll('#bits-body tr')]"
                                     ".flatMap((tr, i) => tr.classList.contains('raised') ? [i] : [])"),
                             [13])
            journal = [r.text for r in self.driver.find_elements(By.CSS_SELECTOR, "#journal-body tr")]
            self.assertTrue(any(r.endswith(BIT_NAMES[14] + " normal → failure") for r in journal), journal)
            self.assertTrue(any(r.endswith(BIT_NAMES[14] + " failure → normal") for r in journal), journal)
            # The charts' marks: where bit 14 rose and fell between two good scans.
            history = [json.loads(l) for l in serve.get("/api/v1/history").text().splitlines()]
            good = [(epoch_ms(r["time"]), r["values"][9 + 14]["value"]) for r in history
                    if r["outcome"] == "reply"]
            edges = [[t, v == 1] for (_, u), (t, v) in zip(good, good[1:]) if u != v]
            marks = self.js("return window.k40page.bits.marks().filter(m => m.bit === 14)"
                            ".map(m => [m.time, m.start])")
            self.assertEqual(marks, edges)
            self.assertEqual([m[1] for m in marks], [True, False])
            self.language("zh-CN")
            try:
                self.open("http://127.0.0.1:%d/" % serve.port)
                zh = banner()
                names = [a["name"] for a in serve.readings()["alarms"]]
                self.assertEqual([x[2] for x in zh[2]], names)
                self.assertEqual(zh[:2], ["● 1 条告警", "● 1 告警 – HCU-K40 监控"])
                self.assertEqual(zh[2][0][1], "⚠ 警告")
                journal = [r.text for r in self.driver.find_elements(By.CSS_SELECTOR, "#journal-body tr")]
                self.assertTrue(any(r.endswith(BIT_NAMES[14] + " 正常 → 故障") for r in journal), journal)
                self.assertIn("浮充", self.driver.find_element(By.CSS_SELECTOR, ".modes").text)
            finally:
                self.language("en-US")
            self.assertEqual(self.errors(), [])
        finally:
            serve.stop()
            sim.kill()



# Another site's page, as a browser sees it: every port of loopback is one
# site, so a page on another port sends its requests "same-site".
import http.server  # noqa: E402
import threading  # noqa: E402
from k40ctl_serve_e2e import READ_BITS, BannerListener  # noqa: E402


class ForeignPageTest(unittest.TestCase):
    """A page served from another loopback port with an <img> and a fetch to
    serve's /probe and /api/v1/command: neither reaches the probe's target
    nor the unit; a link from that page still opens serve's page."""

    def test_another_sites_page_reaches_neither_probe_nor_unit(self):
        workdir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, workdir, ignore_errors=True)
        os.makedirs(os.path.join(workdir, "unit"))
        sim = Sim(os.path.join(workdir, "unit")).start()
        self.addCleanup(lambda: sim.proc.poll() is None and sim.kill())
        target = BannerListener()
        self.addCleanup(target.close)
        s = Serve("--port", sim.link,
                  serve=["--interval", "0.2", "--allow-commands", "--probe"]).listening()
        self.addCleanup(s.stop)
        own = "http://127.0.0.1:%d" % s.port
        probe = own + "/probe?target=tcp://127.0.0.1:%d" % target.port
        page = ("<!doctype html><title>elsewhere</title>"
                "<img src='%(probe)s' onerror='done(\"i\")' onload='done(\"i\")'>"
                "<a id='go' href='%(own)s/'>the unit</a><script>"
                "function done(x) { document.title += x; }"
                "fetch('%(probe)s', {mode: 'no-cors'}).finally(() => done('p'));"
                "fetch('%(own)s/api/v1/command', {method: 'POST', mode: 'no-cors',"
                " headers: {'Content-Type': 'text/plain'}, body: '{\"command\":\"manual\"}'})"
                ".finally(() => done('c'));</script>") % {"probe": probe, "own": own}

        class Foreign(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = page.encode()
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass
        foreign = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Foreign)
        threading.Thread(target=foreign.serve_forever, daemon=True).start()
        self.addCleanup(foreign.server_close)
        self.addCleanup(foreign.shutdown)
        driver = shared_browser()
        driver.get("http://127.0.0.1:%d/" % foreign.server_address[1])
        WebDriverWait(driver, 15, poll_frequency=0.05).until(
            lambda d: sorted(d.title[len("elsewhere"):]) == ["c", "i", "p"])
        self.assertEqual(target.accepted, 0)
        self.assertEqual(set(sim.requests()) - {READ_ANALOG, READ_BITS}, set())
        refused = [line for line in s.stderr().splitlines() if " 403 from 127.0.0.1" in line]
        self.assertGreaterEqual(len(refused), 3, s.stderr())
        driver.find_element(By.ID, "go").click()
        WebDriverWait(driver, 15).until(lambda d: d.current_url == own + "/")
        WebDriverWait(driver, 15).until(
            lambda d: d.execute_script("return document.readyState") == "complete")
        self.assertNotEqual(driver.title, "")
        self.assertNotIn("403", driver.page_source[:500])

if __name__ == "__main__":
    unittest.main()
