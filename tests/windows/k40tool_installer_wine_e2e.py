"""The Windows installer and the demo launcher under Wine, in a copy of the
build's prefix.

The installer: a silent installation for the current user (the files, the
Start-menu entries read back with liblnk's lnkinfo, the Add/Remove Programs
entry with Wine's own reg), the installed programs run, a second installation goes over the first
in place, and the uninstaller, as Add/Remove Programs starts it, leaves
nothing behind. Wine runs every program as administrator, which makes the
installer's default all users; /CurrentUser asks for what a locked-down
laptop gets.

The launcher (k40demo.exe): k40sim.exe started, k40tool.exe missing, a
message box (none appears without a display) and a failure status with k40sim
ended; and with a display and k40tool.exe, k40sim running while k40tool runs
and ended after. Nothing here opens a COM port.
Run by ctest with K40_SETUP_EXE, K40_VERSION, K40DEMO_EXE, K40SIM_EXE,
K40_WINE_PREFIX and, once the window is built, K40TOOL_EXE and
K40_WINE_WINDOW_STATE set.
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
    # One Wine for the whole run (each start of a prefix takes seconds).
    subprocess.run(["wineserver", "-p"], env=wine_prefix.wine_env(prefix), check=True)


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


def await_uninstaller():
    """An NSIS uninstaller returns at once and goes on from a copy of itself
    in %TEMP%\\~nsuN.tmp: waits until that copy has ended."""
    end = time.monotonic() + 60
    while wine_processes("\\~nsu") and time.monotonic() < end:
        time.sleep(0.1)
    return not wine_processes("\\~nsu")


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
        links = {"k40tool demo.lnk": "k40demo.exe"}
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
        self.assertTrue(await_uninstaller(), "the uninstaller still runs")
        self.assertIsNone(registry_values("HKCU"))
        self.assertFalse(os.path.exists(here))
        # At most the per-user programs folder is left, which Windows keeps
        # for every program of the user (a new Wine prefix does not have it).
        self.assertLessEqual(snapshot() - before, {os.path.relpath(
            os.path.dirname(here), os.path.join(prefix, "drive_c"))})


def display():
    """The X display for the window: K40_WINE_DISPLAY, or the window tests'
    Xvfb (K40_WINE_WINDOW_STATE, the fixture wine_window); None without."""
    state = os.environ.get("K40_WINE_WINDOW_STATE", "")
    if not os.environ.get("K40_WINE_DISPLAY") and os.path.exists(wine_window.display_file(state)):
        with open(wine_window.display_file(state)) as f:
            return f.read().strip()
    return os.environ.get("K40_WINE_DISPLAY")


class DemoLauncher(unittest.TestCase):
    def launch(self, programs, on_display=None):
        """Starts k40demo.exe in a folder of its own with programs beside it;
        k40sim writes a trace. No display unless one is given: a message box
        then returns at once instead of waiting for a click."""
        here = tempfile.mkdtemp(prefix="demo-", dir=work)
        for exe in [K40DEMO_EXE] + programs:
            shutil.copy(exe, here)
        env = wine_prefix.wine_env(prefix)
        env.pop("DISPLAY", None)
        env.pop("K40_WINE_DISPLAY", None)
        if on_display:
            env["K40_WINE_DISPLAY"] = on_display
        self.trace = os.path.join(here, "sim.trace")
        # Into a file, not a pipe (see wine()).
        self.log = os.path.join(here, "demo.log")
        with open(self.log, "w") as log:
            return subprocess.Popen([wine_prefix.WINE_RUN, prefix, os.path.join(here, "k40demo.exe"),
                                     "--trace", "Z:" + self.trace], env=env,
                                    stdout=subprocess.DEVNULL, stderr=log)

    def wait(self, demo, timeout):
        demo.wait(timeout)
        with open(self.log) as f:
            return f.read()

    def test_fails_without_its_programs(self):
        for programs, started in (([K40SIM_EXE], True), ([], False)):
            with self.subTest(programs=[os.path.basename(p) for p in programs]):
                demo = self.launch(programs)
                err = self.wait(demo, 60)
                self.assertEqual(demo.returncode, 1, err)
                # k40sim wrote its trace, so it was listening; it ended with the launcher.
                self.assertEqual(os.path.exists(self.trace), started)
                self.assertEqual(wine_processes("k40sim.exe"), [])

    @unittest.skipUnless(K40TOOL_EXE and display(), "needs k40tool.exe and an X display")
    def test_k40sim_runs_while_k40tool_runs(self):
        demo = self.launch([K40SIM_EXE, K40TOOL_EXE], display())
        try:
            end = time.monotonic() + 30
            while not wine_processes("k40tool.exe") and time.monotonic() < end:
                time.sleep(0.1)
            self.assertNotEqual(wine_processes("k40tool.exe"), [])
            self.assertTrue(os.path.exists(self.trace))
            self.assertNotEqual(wine_processes("k40sim.exe"), [])
            # As the user closes the window (WM_CLOSE).
            wine("taskkill", "/IM", "k40tool.exe")
            err = self.wait(demo, 30)
        finally:
            if demo.poll() is None:
                demo.kill()
        self.assertEqual(demo.returncode, 0, err)
        self.assertEqual(wine_processes("k40sim.exe"), [])


if __name__ == "__main__":
    unittest.main()
