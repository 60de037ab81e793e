#!/usr/bin/env python3
"""scripts/demo interrupted with Ctrl+C: the terminal sends SIGINT to the whole
foreground process group. The demo must clean up (k40sim ended, its run folder
gone) and end right there with status 130, saying nothing more.

The demo runs as on a desktop: it opens k40tool (here on Qt's offscreen
platform, so no display is needed), which waits for the user until Ctrl+C.

usage: demo_interrupt_test.py SOURCE_DIR BUILD_DIR
"""
import os
import re
import signal
import subprocess
import sys
import time

source, build = sys.argv[1], sys.argv[2]
env = dict(os.environ, K40_BUILD_DIR=build, K40_DEMO_PREBUILT="1", DISPLAY=":k40-test",
           QT_QPA_PLATFORM="offscreen")
env.pop("K40_DEMO_HEADLESS", None)
demo = subprocess.Popen(["bash", os.path.join(source, "scripts", "demo")], cwd=source, env=env,
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                        start_new_session=True)
link = None
deadline = time.monotonic() + 60
for line in demo.stdout:
    m = re.search(r"\(COM1 = (.+)\)$", line.strip())
    if m:
        link = m.group(1)
    if link and line.startswith("Opening k40tool"):
        break
    if time.monotonic() > deadline:
        break
if link is None:
    demo.kill()
    sys.exit("the demo never started k40sim:\n" + demo.stderr.read())
run = os.path.dirname(link)
assert os.path.isdir(run), run
# The interrupt is to find k40tool running: a process of the demo's session.
def k40tool_running():
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if open(f"/proc/{pid}/comm").read().strip() == "k40tool" and \
                    os.getsid(int(pid)) == demo.pid:
                return True
        except OSError:
            continue
    return False


while not k40tool_running():
    if time.monotonic() > deadline or demo.poll() is not None:
        sys.exit("k40tool never started")
    time.sleep(0.02)

os.killpg(demo.pid, signal.SIGINT)  # Ctrl+C
try:
    rest, err = demo.communicate(timeout=30)
except subprocess.TimeoutExpired:
    os.killpg(demo.pid, signal.SIGKILL)
    sys.exit("the demo did not end after Ctrl+C")

failures = []
if demo.returncode != 130:
    failures.append(f"exit status {demo.returncode}, not 130")
if os.path.exists(run):
    failures.append(f"{run} is still there")
# Nothing after the interrupt: no complaint about the log it just removed, no
# "What the simulated unit saw".
if "sim.log" in err or "No such file" in err:
    failures.append("an error after the cleanup: " + err.strip())
if "What the simulated unit saw" in rest:
    failures.append("the demo carried on after the cleanup")
if failures:
    sys.exit("\n".join(failures) + "\nstdout:\n" + rest + "\nstderr:\n" + err)
print("Ctrl+C: cleaned up, status 130")
