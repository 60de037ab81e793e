#!/usr/bin/env python3
"""The manual pages as man shows them: k40tool(1) and k40sim(1) render without
a groff warning, carry their own NAME line, and k40sim(1) documents every
option the simulator accepts and every fault kind it knows (both read from its
sources, so a new option or fault without help text fails here). k40tool
answers --help and --version without a display or a platform plugin.

usage: man_pages_test.py SOURCE_DIR BUILD_DIR K40TOOL
"""
import os
import re
import subprocess
import sys

source, build, k40tool = sys.argv[1:4]
failures = []


def render(page):
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
    done = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-P", "cat", "-l", page],
                          env=env, capture_output=True, text=True)
    if done.returncode != 0 or done.stderr.strip():
        failures.append(f"{page}: man says: {done.stderr.strip()}")
    # Plain text: no overstrike bold, and the hyphens as they are typed.
    text = re.sub(r".\x08", "", done.stdout).replace("\u2010", "-").replace("\u2212", "-")
    return text


def name_line(text):
    m = re.search(r"^NAME\n((?:[ \t]+\S.*\n)+)", text, re.M)
    if not m:
        return ""
    # One line, with the hyphenation of a long line undone.
    return " ".join(re.sub(r"-\n\s*", "", m.group(1)).split())


tool = render(os.path.join(build, "k40tool.1.gz"))
sim = render(os.path.join(build, "k40sim.1.gz"))
for page, text, prog in (("k40tool", tool, "k40tool"), ("k40sim", sim, "k40sim")):
    name = name_line(text)
    if not name.startswith(prog + " - ") or "manual page for" in name:
        failures.append(f"{page}(1): NAME line is {name!r}")
for option in ("--help", "--version", "K40_COM1"):
    if option not in tool:
        failures.append(f"k40tool(1) does not mention {option}")

# CLI11's add_option("--link", ...), add_flag("-h,--help", ...),
# add_option_function<std::string>("--fault", ...) and the like.
declared = re.findall(r'add_(?:option|flag)\w*(?:<[^>]*>)?\(\s*"(-[-a-z,]+)"',
                      open(os.path.join(source, "sim", "SimOptions.cpp")).read())
options = {name for names in declared for name in names.split(",")}
names = re.search(r"kNames\[kFaultKinds\]\s*=\s*\{([^}]*)\}",
                  open(os.path.join(source, "sim", "FaultInjector.cpp")).read())
faults = re.findall(r'"([a-z]+)"', names.group(1)) if names else []
if len(options) < 10 or len(faults) < 6:
    failures.append(f"could not read the simulator's options {options} or faults {faults}")
for option in sorted(options):
    if not re.search(r"(^|[\s,])" + re.escape(option) + r"\b", sim, re.M):
        failures.append(f"k40sim(1) does not document {option}")
for fault in faults:
    if not re.search(r"\b" + fault + r"\b", sim):
        failures.append(f"k40sim(1) does not document the fault {fault}")

# No display and no platform plugin: the application object must not exist.
env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
env["QT_QPA_PLATFORM"] = "no-such-platform"
for arg, want in (("--help", "Usage: k40tool"), ("--version", "k40tool ")):
    done = subprocess.run([k40tool, arg], env=env, capture_output=True, text=True, timeout=20)
    if done.returncode != 0 or not done.stdout.startswith(want) or done.stderr:
        failures.append(f"k40tool {arg}: status {done.returncode}, stdout {done.stdout[:60]!r}, "
                        f"stderr {done.stderr[:200]!r}")

if failures:
    sys.exit("\n".join(failures))
print(f"k40tool(1), k40sim(1): {len(options)} options and {len(faults)} faults documented")
