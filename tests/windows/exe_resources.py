#!/usr/bin/env python3
"""The resources in the Windows programs, read back from the .exe files by
binutils' own resource reader (windres -i EXE -O rc), not by our build:

    exe_resources.py WINDRES VERSION [--window] EXE [[--window] EXE ...]

Each EXE must carry the version block with VERSION (numbers and texts), the
makers and its own file name, and a manifest that runs it as the user; an EXE
after --window also icon 128, bitmap 130, the common controls of version 6
and per-monitor DPI awareness.
"""
import re
import subprocess
import sys
import unittest

WINDRES = VERSION = None
PROGRAMS = []  # (path, has a window)


def decompile(exe):
    return subprocess.run([WINDRES, "-i", exe, "-O", "rc"], check=True, capture_output=True,
                          text=True).stdout


def manifest_text(rc):
    """The manifest's XML from windres's listing of resource 1, type 24."""
    block = re.search(r"^1 24 /\* RT_MANIFEST \*/\nBEGIN\n(.*?)^END", rc, re.M | re.S)
    if not block:
        return ""
    lines = re.findall(r'^\s*"(.*)"$', block.group(1), re.M)
    return "".join(line.replace('""', '"').replace("\\n", "\n") for line in lines)


class ExeResources(unittest.TestCase):
    def test_programs(self):
        numbers = (VERSION.split(".") + ["0"] * 4)[:4]
        for exe, window in PROGRAMS:
            name = exe.replace("\\", "/").rsplit("/", 1)[-1]
            with self.subTest(exe=name):
                rc = decompile(exe)
                for key in ("FILEVERSION", "PRODUCTVERSION"):
                    found = re.search(r"^ %s (.*)$" % key, rc, re.M)
                    self.assertIsNotNone(found, key)
                    self.assertEqual([n.strip() for n in found.group(1).split(",")], numbers)
                values = dict(re.findall(r'VALUE "(\w+)", L?"(.*)"', rc))
                self.assertEqual(values.get("FileVersion"), VERSION)
                self.assertEqual(values.get("ProductVersion"), VERSION)
                self.assertEqual(values.get("ProductName"), "k40tool")
                self.assertEqual(values.get("OriginalFilename"), name)
                self.assertEqual(values.get("CompanyName"), "k40tool maintainers")
                self.assertIn("k40tool maintainers", values.get("LegalCopyright", ""))
                self.assertTrue(values.get("FileDescription"))
                manifest = manifest_text(rc)
                self.assertIn('level="asInvoker"', manifest)
                self.assertIn("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a", manifest)  # 10 and 11
                self.assertEqual("Common-Controls" in manifest, window)
                self.assertEqual("PerMonitorV2" in manifest, window)
                images = set(re.findall(r"^(\d+) \d+ /\* RT_(GROUP_ICON|BITMAP) \*/", rc, re.M))
                self.assertEqual(images, {("128", "GROUP_ICON"), ("130", "BITMAP")} if window
                                 else set())


def main():
    global WINDRES, VERSION
    args = sys.argv[1:]
    if len(args) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    WINDRES, VERSION = args[0], args[1]
    window = False
    for arg in args[2:]:
        if arg == "--window":
            window = True
            continue
        PROGRAMS.append((arg, window))
        window = False
    result = unittest.TextTestRunner(verbosity=2).run(
        unittest.defaultTestLoader.loadTestsFromTestCase(ExeResources))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
