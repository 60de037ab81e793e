"""The page that k40ctl serve gives at "/", in a real browser.

Debian's Chromium, headless, driven through its chromedriver by Selenium,
with the browser's language pinned, against serve on k40sim (a pseudo-
terminal). What the page shows is read from the page itself and compared with
k40sim's trace and with serve's own answers. One browser for the whole file,
two units: one whose serve allows commands, one whose serve does not; a second
short session in Chinese. All traffic stays on loopback: every name but the
loopback address fails to resolve in the browser. Run by ctest with K40CTL and
K40SIM set; shares the helpers of k40ctl_e2e and k40ctl_serve_e2e.
"""
import datetime
import json
import os
import shutil
import sys
import tempfile
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import NOMINAL, Sim, request  # noqa: E402
from k40ctl_serve_e2e import (READ_ANALOG, TOKEN, DriftingSim, Serve,  # noqa: E402
                              analog_values, trace)
from k40ctl_watch_e2e import BIT_NAMES, UNITS  # noqa: E402

CHROMIUM = os.environ.get("CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("CHROMEDRIVER", "/usr/bin/chromedriver")
EQUALIZE = request(5, 201, 0x0000)


def browser(lang, workdir):
    """Headless Chromium in lang; names other than loopback do not resolve."""
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
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=o)


def epoch_ms(iso):
    return round(datetime.datetime.fromisoformat(iso).timestamp() * 1000)


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp()
        os.makedirs(os.path.join(cls.dir, "a"))
        os.makedirs(os.path.join(cls.dir, "b"))
        cls.sim = DriftingSim(os.path.join(cls.dir, "a")).start()
        cls.quiet_sim = Sim(os.path.join(cls.dir, "b")).start()
        cls.serve = Serve("--port", cls.sim.link,
                          serve=["--interval", "0.1", "--allow-commands"]).listening()
        cls.closed = Serve("--port", cls.quiet_sim.link, serve=["--interval", "0.1"]).listening()
        cls.url = "http://127.0.0.1:%d/" % cls.serve.port
        cls.driver = browser("en-US", os.path.join(cls.dir, "chromium"))

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        codes = [cls.serve.stop(), cls.closed.stop()]
        for sim in (cls.sim, cls.quiet_sim):
            if sim.proc.poll() is None:
                sim.kill()
        shutil.rmtree(cls.dir, ignore_errors=True)
        assert codes == [0, 0], codes

    # The page's side.
    def open(self, url=None, driver=None):
        d = driver or self.driver
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
        errors = [e for e in d.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
        self.assertEqual(errors, [])

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

    def test_c_one_point_per_scan(self):
        self.open()
        self.until(lambda d: len(self.chart_rows(2)) >= 20)
        charts = [self.chart_rows(c) for c in range(3)]
        times = self.good_scan_times()
        for rows, width in zip(charts, [6, 2, 1]):
            drawn = [r[0] for r in rows if r[1] is not None]
            self.assertEqual(len(rows[0]), 1 + width)
            first, last = drawn[0], drawn[-1]
            self.assertEqual(drawn, [t for t in times if first <= t <= last])
            self.assertEqual(first, times[0])
            for c in range(1, width + 1):
                self.assertEqual(sum(r[c] is not None for r in rows), len(drawn))

    def test_d_manual_in_the_journal(self):
        self.open()
        send = self.click_command("manual")
        self.assertEqual(self.driver.find_element(By.ID, "confirm-text").text,
                         "Send 手 动 to slave 1 on %s?" % self.sim.link)
        send.click()
        self.until(lambda d: self.outcome().get_attribute("data-outcome") == "confirmed")
        self.assertEqual(self.outcome().text, "confirmed")
        row = self.until(lambda d: [r.text for r in d.find_elements(
            By.CSS_SELECTOR, "#journal-body tr.recent") if BIT_NAMES[0] in r.text])[0]
        self.assertRegex(row, r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d · new %s 0 1$" % BIT_NAMES[0])
        self.assertIn(request(5, 200, 0xFF00), self.commands_sent(self.sim))

    def test_e_equalize_puts_one_frame_on_the_wire(self):
        self.open()
        # The journal of a page opened later comes from the history, names and all.
        journal = [r.text for r in self.driver.find_elements(By.CSS_SELECTOR, "#journal-body tr")]
        self.assertRegex(journal[-1], r" %s 0 1$" % BIT_NAMES[0])
        before = len(trace(self.sim.trace))
        self.click_command("equalize").click()
        self.until(lambda d: self.outcome().get_attribute("data-outcome") == "confirmed")
        self.assertEqual(self.outcome().text, "confirmed")
        new = [r for r, _, _ in trace(self.sim.trace)[before:]]
        self.assertEqual([r for r in new if r[2:4] not in ("01", "03")], [EQUALIZE])

    def test_f_out_of_range_sends_nothing(self):
        self.open()
        sent = self.commands_sent(self.sim)
        self.driver.find_element(By.ID, "module-number").send_keys("1")
        self.driver.find_element(By.ID, "module-voltage").send_keys("300.001")
        self.driver.find_element(By.ID, "cmd-set-voltage").click()
        error = self.driver.find_element(By.ID, "command-error")
        self.assertEqual(error.text, "Enter a number between 0 and 300.")
        self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, "dialog[open]"), [])
        posts = self.js("return performance.getEntriesByType('resource')"
                        ".filter(e => e.name.endsWith('/api/v1/command')).length")
        self.assertEqual(posts, 0)
        self.assertEqual(self.commands_sent(self.sim), sent)

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
            "button", "textbox", "link", "checkbox", "combobox", "spinbutton", "slider")]
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
        self.assertEqual(len(tables), 4)
        for t in tables:
            self.assertIn("columnheader", roles_under(t), name(t))
        live = self.js("const e = document.getElementById('link-state');"
                       "return [e.getAttribute('role'), e.getAttribute('aria-live')]")
        self.assertEqual(live, ["status", "polite"])

    def test_i_phone_width(self):
        cdp = self.driver.execute_cdp_cmd
        cdp("Emulation.setDeviceMetricsOverride",
            {"width": 360, "height": 740, "deviceScaleFactor": 1, "mobile": True})
        try:
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
        finally:
            cdp("Emulation.clearDeviceMetricsOverride", {})

    def test_j_chinese_page(self):
        d = browser("zh-CN", os.path.join(self.dir, "chromium-zh"))
        try:
            self.open(driver=d)
            self.assertEqual(d.find_element(By.ID, "values-h").text, "读数据")
            self.assertEqual([b.text for b in d.find_elements(By.CSS_SELECTOR, "#commands button")][:4],
                             ["手 动", "自 动", "浮 充", "均 充"])
            sent = self.commands_sent(self.sim)
            d.find_element(By.ID, "module-number").send_keys("1")
            d.find_element(By.ID, "module-voltage").send_keys("300.001")
            d.find_element(By.ID, "cmd-set-voltage").click()
            self.assertEqual(d.find_element(By.ID, "command-error").text,
                             "“请填入一个在0和300之间的数字。”")
            d.find_element(By.ID, "module-voltage").clear()
            d.find_element(By.ID, "module-voltage").send_keys("220")
            d.find_element(By.ID, "cmd-set-voltage").click()
            self.assertEqual(d.find_element(By.ID, "confirm-text").text,
                             "向 %s 的子站 1 发送“模块 1 调压设置 220 V”?" % self.sim.link)
            d.find_element(By.ID, "confirm-send").click()
            self.until(lambda d: d.find_element(By.ID, "command-outcome").text == "操作成功!", d)
            new = self.commands_sent(self.sim)[len(sent):]
            self.assertEqual(len(new), 1)
            self.assertEqual(new[0][:8], "01060139")  # module 1's voltage: register 313
        finally:
            d.quit()

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
        self.click_command("manual").click()
        self.until(lambda d: d.find_element(By.ID, "token-input")).send_keys(TOKEN)
        self.driver.find_element(By.CSS_SELECTOR, "#token button.primary").click()
        self.until(lambda d: self.outcome().get_attribute("data-outcome") == "confirmed")
        self.click_command("auto").click()  # no second question
        self.until(lambda d: self.outcome().text == "confirmed" and
                   self.outcome().get_attribute("data-outcome") == "confirmed" and
                   self.commands_sent(sim) == [request(5, 200, 0xFF00), request(5, 200, 0)])
        self.assertFalse(self.js("return document.getElementById('token').open"))
        self.assertEqual(self.js("return sessionStorage.getItem('k40-token')"), TOKEN)
        self.assertIsNone(self.js("return localStorage.getItem('k40-token')"))

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
        self.sim.start()
        self.until(lambda d: self.link_state() == "answering" and set(self.stale()) == {"0"},
                   timeout=15)
        after = [t for t in self.good_scan_times() if t > before][0]
        self.until(lambda d: any(r[0] > after for r in self.chart_rows(0)))
        rows = self.chart_rows(0)
        breaks = [r[0] for r in rows if all(v is None for v in r[1:])]
        self.assertEqual(len([b for b in breaks if before < b < after]), 1, (before, after, rows))
        drawn = [r[0] for r in rows if r[1] is not None]
        self.assertNotIn(True, [before < x < after for x in drawn])



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
        driver = browser("en-US", os.path.join(workdir, "chromium"))
        self.addCleanup(driver.quit)
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
