#!/usr/bin/env python3
"""Wine prefixes for the tests of the Windows programs.

One prefix a build (cmake/wine-run makes it: COM1..COM255 mapped to paths
that do not exist, COM256 held by an empty folder); a test that needs COM
ports of its own copies it and maps them to its pseudo-terminals. At every
start Wine links the machine's /dev/ttyS*, ttyUSB* and ttyACM* to the COM
numbers its registry leaves free, so after each start any such link beyond
the numbers a registry can name is removed and every COM link is checked: none
but the test's own may lead to something that exists.

    wine_prefix.py check PREFIX    makes PREFIX if need be, checks it and
                                   starts its Wine for the test run
    wine_prefix.py stop PREFIX     ends that Wine
"""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "cmake", "wine-run")
# The COM numbers Wine lets a registry map: every one is mapped in every
# prefix. COM256 cannot be: an empty folder holds its name instead.
COM_NUMBERS = range(1, 256)
HELD = "com256"
# Where an unused COM number leads (cmake/wine-run maps every one there).
NOWHERE = "/nonexistent/k40-com%d"


def wine_env(prefix, display=True):
    """The environment of a Windows program in prefix: the run's X display
    (K40_WINE_DISPLAY, an Xvfb of the test run) if it has one, for the window;
    none with display False, nor for the command-line programs, which need none."""
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    if not display:
        env.pop("K40_WINE_DISPLAY", None)  # cmake/wine-run would take it
    elif env.get("K40_WINE_DISPLAY"):
        env["DISPLAY"] = env["K40_WINE_DISPLAY"]
    return env


def run(prefix, *args, **kw):
    """Runs a Windows program in prefix through cmake/wine-run."""
    return subprocess.run([WINE_RUN, prefix, *args], env=wine_env(prefix), **kw)


def spawn(prefix, *args):
    """Starts a Windows program in prefix; the caller waits for it."""
    return subprocess.Popen([WINE_RUN, prefix, *args], env=wine_env(prefix),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def stop(prefix):
    """Ends the prefix's wineserver and waits for it (it saves the registry)."""
    env = wine_env(prefix)
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL, check=False)
    subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL, check=False)


def start_session(prefix, display=True, mapped=None):
    """Starts the prefix's Wine for the whole test run: a wineserver that stays
    (until stop) and the desktop and services that the first program starts.
    Otherwise the first test program would start them, they would hold its
    output open, and ctest would wait for that test until Wine ended. The
    desktop keeps the run's X display (K40_WINE_DISPLAY), or with display
    False none for good: a message box then returns at once. Then the COM
    links are pruned and checked (mapped: the test's own ports)."""
    env = wine_env(prefix, display)
    # wineserver goes to the background once it serves the prefix.
    subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   start_new_session=True, check=True)
    subprocess.run([WINE_RUN, prefix, "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    prune(prefix, mapped)
    check_ports(prefix, mapped)


def com_links(prefix):
    """The prefix's COM names (lower case, as in dosdevices) and their entries."""
    folder = os.path.join(prefix, "dosdevices")
    names = [n for n in os.listdir(folder) if re.fullmatch(r"com[0-9]+", n)]
    return {n: os.path.join(folder, n) for n in names}


def prune(prefix, mapped=None):
    """Removes each link that Wine made by itself to something that exists,
    under a number no registry can map, and holds COM256 for the next start."""
    mapped = {name.lower(): path for name, path in (mapped or {}).items()}
    for name, entry in com_links(prefix).items():
        if int(name[3:]) not in COM_NUMBERS and name not in mapped \
                and os.path.islink(entry) and os.path.exists(entry):
            os.remove(entry)
    os.makedirs(os.path.join(prefix, "dosdevices", HELD), exist_ok=True)


def check_ports(prefix, mapped=None):
    """Fails unless every COM link leads where it was mapped (a test's
    pseudo-terminal) or to nothing that exists, and each number a registry
    can name is mapped (an unmapped one gets a real port at the next start)."""
    mapped = {name.lower(): path for name, path in (mapped or {}).items()}
    links = com_links(prefix)
    bad = ["COM%d unmapped" % n for n in COM_NUMBERS if "com%d" % n not in links]
    for name, entry in sorted(links.items()):
        if not os.path.islink(entry):
            ok = name == HELD and os.path.isdir(entry) and not os.listdir(entry)
        elif name in mapped:
            ok = os.readlink(entry) == mapped[name]
        else:
            ok = not os.path.exists(entry)
        if not ok:
            target = os.readlink(entry) if os.path.islink(entry) else "a file"
            bad.append("%s -> %s" % (name.upper(), target))
    if bad:
        raise RuntimeError("COM ports of %s lead where no test may go: %s" % (prefix, ", ".join(bad)))


def copy(base, folder=None):
    """A copy of the base prefix for one test; the caller removes it. The
    base's wineserver is left alone: other tests run in the base meanwhile,
    and its registry files were saved when the fixture stopped it."""
    dest = os.path.join(folder or tempfile.mkdtemp(prefix="k40-wine-"), "prefix")
    subprocess.run(["cp", "-a", base, dest], check=True)
    return dest


def unmap_ports(prefix, names):
    """Sends each COMn of names nowhere again in the registry, while Wine runs;
    the link follows at the next start. A test's pseudo-terminal is gone when
    the test ends, and its number may then name another test's terminal."""
    for name in names:
        run(prefix, "reg", "add", r"HKLM\Software\Wine\Ports", "/v", name, "/d",
            NOWHERE % int(name[3:]), "/f",
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


def map_ports(prefix, ports):
    """Maps each COMn of ports to its device path in the prefix's registry,
    restarts Wine so that it takes them, and checks every COM link. Wine stays
    up until stop(prefix): a wineserver left to end by itself shuts down a
    few seconds after its last program, and a program that starts meanwhile
    (a slow start on a loaded machine) is killed with it, without a word."""
    for name, path in ports.items():
        run(prefix, "reg", "add", r"HKLM\Software\Wine\Ports", "/v", name, "/d", path, "/f",
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    stop(prefix)
    start_session(prefix, mapped=ports)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("check", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    prefix = sys.argv[2]
    if sys.argv[1] == "stop":
        stop(prefix)
        return 0
    run(prefix, "cmd", "/c", "exit", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Saved now: tests copy the prefix while it runs.
    stop(prefix)
    start_session(prefix)
    print("%s: COM%d..COM%d lead nowhere, COM%d is held" % (prefix, COM_NUMBERS[0],
                                                          COM_NUMBERS[-1], COM_NUMBERS[-1] + 1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
