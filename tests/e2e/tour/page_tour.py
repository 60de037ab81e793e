#!/usr/bin/env python3
"""The demo's tour of serve's page without a display: k40sim (unpaced, its
measurements drifting) polled by `k40ctl serve --interval 0.1`, so that a few
minutes' worth of trend builds up in seconds; midway the unit goes away and
comes back (a gap in the trends) and 手 动 is sent through serve (a change in
the journal). Five seconds after each start k40sim has the AC supply fail for
ten (--event): the alarm comes and goes, and the trends show the AC inputs
falling to nothing and the battery carrying the load. Headless Chromium then saves the page, wide and at a phone's
width. Every step waits for what it needs (scans counted by serve), never for
a set time.

Usage: page_tour.py K40CTL K40SIM OUT_DIR [SCANS]
"""
import os
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))


def await_true(condition, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.05)
    raise SystemExit("page_tour: gave up waiting for %s" % condition.__code__.co_firstlineno)


def main():
    os.environ["K40CTL"], os.environ["K40SIM"] = sys.argv[1], sys.argv[2]
    out = sys.argv[3]
    scans = int(sys.argv[4]) if len(sys.argv) > 4 else 600
    from k40ctl_page_e2e import browser  # the tests' helpers read K40CTL and K40SIM
    from k40ctl_serve_e2e import DriftingSim, Serve
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp()
    sim = DriftingSim(work, "--event", "ac_power_failure@5s+10s").start()
    serve = Serve("--port", sim.link, serve=["--interval", "0.1", "--allow-commands"]).listening()
    count = lambda: serve.readings()["counters"]["scans"]
    driver = None
    try:
        await_true(lambda: count() >= scans // 2, scans)
        sim.crash()
        await_true(lambda: serve.readings()["link"]["state"] == "port-lost", 30)
        sim.start()
        await_true(lambda: serve.readings()["link"]["state"] == "answering", 30)
        serve.command({"command": "manual"})
        await_true(lambda: count() >= scans, scans)
        driver = browser(os.environ.get("K40_TOUR_LANG", "zh-CN"), os.path.join(work, "chromium"))
        url = "http://127.0.0.1:%d/" % serve.port
        for name, width, height in [("page", 1280, 2600), ("page-phone", 360, 4200)]:
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 1,
                "mobile": width < 500})
            driver.get(url)
            await_true(lambda: driver.execute_script(
                "return document.body.dataset.ready === '1'"), 30)
            path = os.path.join(out, name + ".png")
            driver.save_screenshot(path)
            print("page_tour: saved", path)
    finally:
        if driver:
            driver.quit()
        serve.stop()
        if sim.proc.poll() is None:
            sim.kill()


if __name__ == "__main__":
    main()
