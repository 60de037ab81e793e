"""The Windows installer and the demo launcher under Wine, in a copy of the
build's prefix.

The installer: a silent installation for the current user (the files, the
Start-menu entries read back with liblnk's lnkinfo, the Add/Remove Programs
entry with Wine's own reg), the installed programs run, a second
installation goes over the first in place, and the uninstaller, as
Add/Remove Programs starts it, leaves nothing behind. While an installed
k40sim.exe or k40tool.exe runs, neither a silent installation nor a silent
uninstall touches a file; an uninstall that could not remove a file keeps
the entry. Wine runs every program as administrator, which makes the
installer's default all users; /CurrentUser asks for what a locked-down
laptop gets.

With a display, the installed k40tool.exe is driven through the tour of
k40tool_wine_e2e.py by window messages (k40drive.exe), on COM1 mapped to the
Linux k40sim's pseudo-terminal; every other COM number leads nowhere.

The launcher (k40demo.exe): k40sim.exe started, k40tool.exe missing, a
message box (none appears without a display) and a failure status with k40sim
ended; and with a display, k40tool.exe opens k40sim.exe's address and reads
the measurements from it (k40sim's trace), and k40sim ends with k40tool.
Run by ctest with K40_SETUP_EXE, K40_VERSION, K40DEMO_EXE, K40SIM_EXE,
K40_WINE_PREFIX and, with the window, K40TOOL_EXE, K40DRIVE_EXE,
K40_WINE_WINDOW_STATE and the Linux K40SIM and K40CTL set.
"""
import functools
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

# No __pycache__ in the source tree for the modules imported below.
sys.dont_write_bytecode = True
import wine_prefix
import wine_window
from k40tool_wine_e2e import IDC_LIST, IDC_READ03AI, IDC_SET, check_window, drive

SETUP_EXE = os.environ["K40_SETUP_EXE"]
VERSION = os.environ["K40_VERSION"]
K40DEMO_EXE = os.environ["K40DEMO_EXE"]
K40SIM_EXE = os.environ["K40SIM_EXE"]
K40TOOL_EXE = os.environ.get("K40TOOL_EXE", "")
BASE_PREFIX = os.environ["K40_WINE_PREFIX"]
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\k40tool"
PROGRAMS = ["k40ctl.exe", "k40sim.exe", "k40demo.exe"] + (["k40tool.exe"] if K40TOOL_EXE else [])
TEXTS = ["README-Windows.txt", "LICENSE.txt"]

work = prefix = None


def setUpModule():
    global work, prefix
    work = tempfile.mkdtemp(prefix="k40-wine-setup-")
    prefix = wine_prefix.copy(BASE_PREFIX, work)
    keep_wine_running()


def keep_wine_running(display=True):
    """A fresh Wine for the prefix that stays until the end (each start takes
    seconds), its desktop and services up before the programs under test
    start; the desktop has the run's X display, or none (display False)."""
    wine_prefix.stop(prefix)
    wine_prefix.start_session(prefix, display)


def tearDownModule():
    wine_prefix.stop(prefix)
    shutil.rmtree(work, ignore_errors=True)


def wine(*args, timeout=120):
    """Runs a program in the prefix. Its output goes through files, not
    pipes: a process that Wine starts for the prefix on the way (its desktop,
    its services) inherits them and outlives the program."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        r = wine_prefix.run(prefix, *args, stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(r.args, r.returncode, out.read(), err.read())


def await_processes(name, running):
    """Waits until programs whose path has name in it run (or none does)."""
    end = time.monotonic() + 60
    while bool(wine_processes(name)) != running and time.monotonic() < end:
        time.sleep(0.1)
    return bool(wine_processes(name)) == running


def unix_path(windows_path):
    drive, rest = windows_path.split(":", 1)
    root = os.path.realpath(os.path.join(prefix, "dosdevices", drive.lower() + ":"))
    return os.path.join(root, *rest.strip("\\").split("\\"))


def registry_values(hive):
    """The uninstall entry under hive (HKCU or HKLM) as {name: (type, value)},
    or None when there is none."""
    r = wine("reg", "query", hive + "\\" + UNINSTALL_KEY)
    if r.returncode != 0:
        return None
    values = {}
    for line in r.stdout.splitlines():
        fields = re.split(r" {4}", line.strip())
        if line.startswith(" ") and len(fields) == 3:
            values[fields[0]] = (fields[1], fields[2])
    return values


@functools.lru_cache
def user_folder(name):
    """A shell folder of the prefix's user (Wine's own answer) as a Unix path."""
    r = wine("reg", "query", r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer"
             r"\User Shell Folders", "/v", name)
    value = re.search(r"REG_\w+ {4}(.*)", r.stdout).group(1).strip()
    profile = wine("cmd", "/c", "echo %USERPROFILE%").stdout.strip()
    return unix_path(value.replace("%USERPROFILE%", profile))


def shortcut(path):
    """The fields of a shortcut as liblnk's lnkinfo reads them."""
    r = subprocess.run(["lnkinfo", path], capture_output=True, text=True, check=True)
    return dict(re.findall(r"^\t(\w[\w ]*?)\t+: (.*)$", r.stdout, re.M))


def snapshot():
    """Every file and folder of drive C outside Windows itself and the temporary files."""
    drive = os.path.join(prefix, "drive_c")
    paths = set()
    for folder, dirs, files in os.walk(drive):
        dirs[:] = [d for d in dirs if d not in ("windows", "Temp")]
        paths.update(os.path.relpath(os.path.join(folder, f), drive) for f in dirs + files)
    return paths


def wine_processes(name):
    """The running Windows programs in the prefix whose path has name in it."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if b"WINEPREFIX=" + prefix.encode() not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if name.encode() in f.read().split(b"\0")[0]:
                    found.append(int(pid))
        except OSError:
            continue
    return found


class Installer(unittest.TestCase):
    def install(self, *args):
        r = wine(SETUP_EXE, "/S", *args)
        # The status says little (a setup that cannot start under Wine also
        # ends with 0): what it left is checked.
        self.assertEqual(r.returncode, 0, r.stderr)
        values = registry_values("HKCU")
        self.assertIsNotNone(values, "no uninstall entry under HKCU")
        self.assertIsNone(registry_values("HKLM"), "an entry for all users as well")
        return values

    def check_installed(self, values):
        self.assertEqual(values["DisplayVersion"], ("REG_SZ", VERSION))
        self.assertEqual(values["DisplayName"], ("REG_SZ", "k40tool"))
        self.assertEqual(values["NoModify"], ("REG_DWORD", "0x1"))
        folder = values["InstallLocation"][1]
        here = unix_path(folder)
        self.assertEqual(sorted(os.listdir(here)), sorted(PROGRAMS + TEXTS + ["uninstall.exe"]))
        size_kb = sum(os.path.getsize(os.path.join(here, f)) for f in os.listdir(here)) // 1024
        self.assertAlmostEqual(int(values["EstimatedSize"][1], 16), size_kb, delta=8)
        self.assertEqual(values["QuietUninstallString"][1],
                         '"%s\\uninstall.exe" /CurrentUser /S' % folder)
        menu = user_folder("Programs")
        links = {"k40tool demo.lnk": "k40demo.exe", "k40tool demo in the browser.lnk": "k40demo.exe"}
        if K40TOOL_EXE:
            links["k40tool.lnk"] = "k40tool.exe"
        for link, exe in links.items():
            self.assertEqual(shortcut(os.path.join(menu, link))["Local path"], folder + "\\" + exe)
        return here

    def test_install_over_itself_then_uninstall(self):
        before = snapshot()
        here = self.check_installed(self.install("/CurrentUser"))
        self.assertTrue(here.startswith(user_folder("Local AppData")), here)
        r = wine(os.path.join(here, "k40ctl.exe"), "--version")
        self.assertEqual((r.returncode, r.stdout.strip()), (0, "k40ctl " + VERSION), r.stderr)
        r = wine(os.path.join(here, "k40sim.exe"), "--help")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(r.stdout.startswith("Usage: k40sim"), r.stdout)
        if can_drive():
            # The installed window, driven on COM1 mapped to the Linux k40sim.
            check_window(self, prefix, os.path.join(here, "k40tool.exe"))
            keep_wine_running()

        # An older installation: another version in the entry, a damaged
        # program. The next one, run with no mode (as administrator, under
        # Wine), finds it and goes over it.
        wine("reg", "add", "HKCU\\" + UNINSTALL_KEY, "/v", "DisplayVersion", "/d", "0.9.0", "/f")
        sim = os.path.join(here, "k40sim.exe")
        with open(sim, "r+b") as f:
            f.truncate(100)
        values = self.install()
        self.assertEqual(self.check_installed(values), here)
        r = wine(sim, "--help")
        self.assertEqual(r.returncode, 0, r.stderr)

        # As Add/Remove Programs starts it.
        command = re.match(r'"([^"]+)" (.*)', values["QuietUninstallString"][1])
        r = wine(command.group(1), *command.group(2).split())
        self.assertEqual(r.returncode, 0, r.stderr)
        # It returns at once and goes on from a copy of itself in %TEMP%\~nsuN.tmp.
        self.assertTrue(await_processes("\\~nsu", False), "the uninstaller still runs")
        self.assertIsNone(registry_values("HKCU"))
        self.assertFalse(os.path.exists(here))
        # At most the per-user programs folder is left, which Windows keeps
        # for every program of the user (a new Wine prefix does not have it).
        self.assertLessEqual(snapshot() - before, {os.path.relpath(
            os.path.dirname(here), os.path.join(prefix, "drive_c"))})

    def test_running_programs_hold_the_installation(self):
        values = self.install("/CurrentUser")
        here = self.check_installed(values)
        folder = values["InstallLocation"][1]
        # In place (_?=), the uninstaller's status is its own, not its starter's.
        uninstall = [folder + "\\uninstall.exe", "/CurrentUser", "/S", "_?=" + folder]
        wine("reg", "add", "HKCU\\" + UNINSTALL_KEY, "/v", "DisplayVersion", "/d", "0.9.0", "/f")
        before = {f: os.stat(os.path.join(here, f)).st_mtime_ns for f in os.listdir(here)}
        programs = [["k40sim.exe", "--listen", "127.0.0.1:0", "--static", "--quiet"]]
        if can_drive():
            programs.append(["k40tool.exe"])
        for exe, *args in programs:
            with self.subTest(running=exe):
                running = wine_prefix.spawn(prefix, os.path.join(here, exe), *args)
                try:
                    if exe == "k40sim.exe":
                        self.assertRegex(running.stdout.readline(), r"^tcp://")
                    else:
                        drive(prefix, "info")
                    # A silent run has nobody to ask to close it: it stops, status 2.
                    self.assertEqual(wine(SETUP_EXE, "/S").returncode, 2)
                    self.assertEqual(wine(*uninstall).returncode, 2)
                    self.assertEqual(registry_values("HKCU")["DisplayVersion"], ("REG_SZ", "0.9.0"))
                    self.assertEqual({f: os.stat(os.path.join(here, f)).st_mtime_ns
                                      for f in os.listdir(here)}, before)
                finally:
                    running.kill()
                    running.communicate()
                self.assertTrue(await_processes(exe, False))

        # A file that something else holds (k40sim of the build writing its
        # trace into it): the programs go, the entry and the uninstaller stay.
        held = wine_prefix.spawn(prefix, K40SIM_EXE, "--listen", "127.0.0.1:0", "--static",
                                 "--quiet", "--trace", folder + "\\LICENSE.txt")
        try:
            self.assertRegex(held.stdout.readline(), r"^tcp://")
            self.assertEqual(wine(*uninstall).returncode, 2)
            self.assertEqual(sorted(os.listdir(here)), ["LICENSE.txt", "uninstall.exe"])
            self.assertIsNotNone(registry_values("HKCU"))
        finally:
            held.kill()
            held.communicate()
        self.assertEqual(wine(*uninstall).returncode, 0)
        self.assertIsNone(registry_values("HKCU"))
        # In place the uninstaller cannot remove itself: Windows holds its file.
        self.assertEqual(os.listdir(here), ["uninstall.exe"])
        shutil.rmtree(here)


def can_drive():
    """Whether the window can be shown and driven: k40tool.exe, its driver
    k40drive.exe, the Linux k40sim and an X display, K40_WINE_DISPLAY or the
    window tests' Xvfb (K40_WINE_WINDOW_STATE, the fixture wine_window), which
    then becomes K40_WINE_DISPLAY for every program of the test."""
    return wine_window.adopt_display() and all(
        os.environ.get(v) for v in ("K40TOOL_EXE", "K40DRIVE_EXE", "K40SIM"))


class DemoLauncher(unittest.TestCase):
    def launch(self, programs, on_display=False, *args):
        """Starts k40demo.exe in a folder of its own with programs beside it;
        k40sim writes a trace. No display unless asked for: a message box
        then returns at once instead of waiting for a click."""
        here = tempfile.mkdtemp(prefix="demo-", dir=work)
        for exe in [K40DEMO_EXE] + programs:
            shutil.copy(exe, here)
        env = wine_prefix.wine_env(prefix, on_display)
        self.trace = os.path.join(here, "sim.trace")
        # Into a file, not a pipe (see wine()).
        self.log = os.path.join(here, "demo.log")
        with open(self.log, "w") as log:
            return subprocess.Popen([wine_prefix.WINE_RUN, prefix, os.path.join(here, "k40demo.exe"),
                                     "--trace", "Z:" + self.trace, *args], env=env,
                                    stdout=subprocess.DEVNULL, stderr=log)

    def wait(self, demo, timeout):
        demo.wait(timeout)
        with open(self.log) as f:
            return f.read()

    def test_fails_without_its_programs(self):
        keep_wine_running(display=False)
        # The launcher names what it could not start, on stderr as in its box.
        for programs, missing in (([K40SIM_EXE], "k40tool.exe"), ([], "k40sim.exe")):
            with self.subTest(programs=[os.path.basename(p) for p in programs]):
                demo = self.launch(programs)
                err = self.wait(demo, 60)
                self.assertEqual(demo.returncode, 1, err)
                self.assertRegex(err, r"k40demo: Cannot start .*[\\/]" + re.escape(missing) + ":")
                started = missing != "k40sim.exe"
                # k40sim wrote its trace, so it was listening; it ended with the launcher.
                self.assertEqual(os.path.exists(self.trace), started)
                self.assertEqual(wine_processes("k40sim.exe"), [])

    @unittest.skipUnless(can_drive(), "needs k40tool.exe, k40drive.exe and an X display")
    def test_k40tool_reads_the_demos_k40sim(self):
        keep_wine_running(display=True)
        demo = self.launch([K40SIM_EXE, K40TOOL_EXE], True, "--static")
        try:
            self.assertTrue(await_processes("k40tool.exe", True))
            # "设  置" opens COM1, which K40_COM1 points at k40sim; "03读AI" reads it.
            _, opened, _, _, rows, closed = drive(
                prefix, "click:%d" % IDC_SET, "box", "page:1", "click:%d" % IDC_READ03AI,
                "list:%d" % IDC_LIST, "close", timeout_ms=20000)
            self.assertEqual(opened["text"], "串口初始化成功!")
            self.assertTrue(closed["exited"])
            err = self.wait(demo, 30)
        finally:
            if demo.poll() is None:
                demo.kill()
        self.assertEqual(demo.returncode, 0, err)
        self.assertEqual(wine_processes("k40sim.exe"), [])
        with open(self.trace) as f:
            exchanges = [line.split() for line in f if line.strip() and line[0] != "#"]
        # Slave 1, function 03, the nine measurements from register 100.
        self.assertEqual([(e[2][:12], e[3]) for e in exchanges], [("010300640009", "reply")])
        self.assertEqual([float(r[2]) for r in rows["rows"]],
                         [380.0, 381.0, 379.0, 232.0, 220.0, 6.4, 229.5, 1.8, 25.0])


if __name__ == "__main__":
    unittest.main()
