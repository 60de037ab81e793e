#!/usr/bin/env python3
"""The X display and the Wine prefix of the window tests under Wine.

    wine_window.py start STATE PREFIX   one Xvfb for the test run, its display
                                        in STATE/display; PREFIX links a CJK
                                        font to the dialog fonts
    wine_window.py stop STATE PREFIX    ends PREFIX's Wine and that Xvfb

The window tests run through wine-window-run, which hands the display in
STATE/display to Wine as K40_WINE_DISPLAY (one set by the caller wins).

Under Wine, dialogs show Chinese as empty boxes: the prefix has no Chinese
font behind the faces the dialogs ask for, and Wine's own fonts have no Chinese
glyphs. Windows links a CJK font to its UI faces itself (FontLink\\SystemLink);
here the prefix links WenQuanYi Micro Hei (fonts-wqy-microhei, which Wine finds
through fontconfig) to the faces the window and Wine's substitutes use. The
program does not rely on it: on Windows its face has Chinese glyphs.
"""
import os
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True
import wine_prefix

CJK_FONT = "wqy-microhei.ttc,WenQuanYi Micro Hei"
# The faces a dialog may end up with: the window's own face, the faces Windows
# gives dialogs (MS Shell Dlg and its substitutes) and Wine's stand-ins.
DIALOG_FACES = ["Microsoft YaHei UI", "Microsoft YaHei", "SimSun", "NSimSun", "Fixedsys",
                "MS Shell Dlg", "MS Shell Dlg 2", "Tahoma", "Microsoft Sans Serif",
                "Segoe UI", "Courier New", "Lucida Console", "System"]
# Faces that Windows has and Wine lacks, stood in for by the CJK font itself:
# the window's NSimSun (for the layouts' Fixedsys) by the monospaced cut, which
# keeps its cells of one width for Latin and two for Chinese.
SUBSTITUTES = {"NSimSun": "WenQuanYi Micro Hei Mono", "SimSun": "WenQuanYi Micro Hei",
               "Microsoft YaHei": "WenQuanYi Micro Hei", "Microsoft YaHei UI": "WenQuanYi Micro Hei"}
SCREEN = "1280x1024x24"


def display_file(state):
    return os.path.join(state, "display")


def pid_file(state):
    return os.path.join(state, "xvfb.pid")


def is_xvfb(pid):
    try:
        with open("/proc/%d/comm" % pid) as f:
            return f.read().strip() == "Xvfb"
    except OSError:
        return False


def start_xvfb(state):
    """Starts Xvfb detached from this process (it outlives the set-up test),
    on a free display that it chooses itself and reports when it is ready."""
    read_end, write_end = os.pipe()
    log = open(os.path.join(state, "xvfb.log"), "w")
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                             "-nolisten", "tcp", "-noreset"],
                            stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                            pass_fds=[write_end], start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        raise RuntimeError("Xvfb did not start: see %s" % log.name)
    with open(pid_file(state), "w") as f:
        f.write("%d\n" % proc.pid)
    with open(display_file(state), "w") as f:
        f.write(":%s\n" % number)
    return ":" + number


def adopt_display():
    """The run's X display for the Windows programs of a test: K40_WINE_DISPLAY
    when the caller set it, else the window tests' Xvfb (the fixture's state
    in K40_WINE_WINDOW_STATE), which then becomes K40_WINE_DISPLAY. Whether
    there is one."""
    state = os.environ.get("K40_WINE_WINDOW_STATE")
    if not os.environ.get("K40_WINE_DISPLAY") and state and os.path.exists(display_file(state)):
        with open(display_file(state)) as f:
            os.environ["K40_WINE_DISPLAY"] = f.read().strip()
    return bool(os.environ.get("K40_WINE_DISPLAY"))


def stop_xvfb(state):
    try:
        with open(pid_file(state)) as f:
            pid = int(f.read())
    except (OSError, ValueError):
        pid = None
    for path in (display_file(state), pid_file(state)):
        if os.path.exists(path):
            os.remove(path)
    if pid is None or not is_xvfb(pid):
        return
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + 5
    while is_xvfb(pid) and time.monotonic() < deadline:
        time.sleep(0.05)


def set_up_registry(state, prefix):
    """One registry file for all settings: one Wine start instead of one a value."""
    key = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion"
    # REG_MULTI_SZ as regedit writes it: UTF-16LE, each string and the list
    # ended by a NUL, in a file of UTF-16 text (regedit reads the hex bytes of
    # an 8-bit file as 8-bit characters).
    multi = ",".join("%02x" % b for b in (CJK_FONT + "\0\0").encode("utf-16-le"))
    lines = ["Windows Registry Editor Version 5.00", "", "[%s\\FontLink\\SystemLink]" % key]
    lines += ['"%s"=hex(7):%s' % (face, multi) for face in DIALOG_FACES]
    lines += ["", "[%s\\FontSubstitutes]" % key]
    lines += ['"%s"="%s"' % face for face in SUBSTITUTES.items()]
    # A test program that crashes is reported on stderr (winedbg --auto) and
    # ends; on a display Wine's debugger would show a dialog and wait.
    lines += ["", r"[HKEY_CURRENT_USER\Software\Wine\WineDbg]", '"ShowCrashDialog"=dword:00000000']
    # Xvfb has no window manager: Wine places the windows itself instead of
    # waiting for a manager (2 s for each window it hides or destroys).
    lines += ["", r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]", '"Managed"="N"']
    reg = os.path.join(state, "window.reg")
    with open(reg, "w", encoding="utf-16", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    wine_prefix.run(prefix, "regedit", "/S", reg, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL, check=True)


def start(state, prefix):
    os.makedirs(state, exist_ok=True)
    stop_xvfb(state)
    # Wine programs that ran without a display (the tests' discovery) leave a
    # desktop without one behind: a fresh start takes the display.
    wine_prefix.stop(prefix)
    display = start_xvfb(state)
    os.environ["K40_WINE_DISPLAY"] = display
    set_up_registry(state, prefix)
    # The registry takes effect for programs started after Wine saved it.
    wine_prefix.stop(prefix)
    wine_prefix.start_session(prefix)
    print("Xvfb on %s; %s links %s to the dialog fonts" % (display, prefix, CJK_FONT))


def stop(state, prefix):
    wine_prefix.stop(prefix)
    stop_xvfb(state)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    {"start": start, "stop": stop}[sys.argv[1]](*sys.argv[2:])
    return 0


if __name__ == "__main__":
    sys.exit(main())
