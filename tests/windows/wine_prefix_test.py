"""The COM-link check and prune of wine_prefix.py on made-up prefixes, no Wine:
a link to something that exists fails the check unless the test mapped it
there, and the prune removes only what no registry can map."""
import os
import shutil
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
import wine_prefix


class ComLinks(unittest.TestCase):
    def setUp(self):
        self.fresh()

    def fresh(self):
        """A prefix as cmake/wine-run leaves it."""
        self.prefix = tempfile.mkdtemp(prefix="k40-prefix-test-")
        self.addCleanup(shutil.rmtree, self.prefix)
        self.dev = os.path.join(self.prefix, "dosdevices")
        os.makedirs(os.path.join(self.dev, "com256"))
        for n in wine_prefix.COM_NUMBERS:
            os.symlink("/nonexistent/k40-com%d" % n, os.path.join(self.dev, "com%d" % n))
        # What stands for a real serial port, and for a test's pseudo-terminal.
        self.device = os.path.join(self.prefix, "ttyS0")
        self.pty = os.path.join(self.prefix, "pts7")
        for path in (self.device, self.pty):
            open(path, "w").close()

    def link(self, name, target):
        entry = os.path.join(self.dev, name)
        if os.path.isdir(entry) and not os.path.islink(entry):
            os.rmdir(entry)
        elif os.path.lexists(entry):
            os.remove(entry)
        os.symlink(target, entry)

    def test_check(self):
        cases = [  # (what, links to set, test's own mapping, fails naming)
            ("mapped nowhere", {}, None, None),
            ("the test's own port", {"com3": "pty"}, {"COM3": "pty"}, None),
            ("a port within the mapped numbers", {"com33": "dev"}, None, "COM33 -> "),
            ("a test's port, to another place", {"com3": "dev"}, {"COM3": "pty"}, "COM3 -> "),
            ("the held number linked", {"com256": "dev"}, None, "COM256 -> "),
            ("beyond every number", {"com300": "dev"}, None, "COM300 -> "),
        ]
        paths = {"dev": self.device, "pty": self.pty}
        for what, links, mapped, fails in cases:
            with self.subTest(what):
                self.fresh()
                for name, target in links.items():
                    self.link(name, paths[target])
                mapped = {k: paths[v] for k, v in (mapped or {}).items()}
                if fails is None:
                    wine_prefix.check_ports(self.prefix, mapped)
                else:
                    with self.assertRaisesRegex(RuntimeError, fails):
                        wine_prefix.check_ports(self.prefix, mapped)

    def test_unmapped_number_fails(self):
        os.remove(os.path.join(self.dev, "com7"))
        with self.assertRaisesRegex(RuntimeError, "COM7 unmapped"):
            wine_prefix.check_ports(self.prefix)

    def test_held_folder_must_stay_empty(self):
        open(os.path.join(self.dev, "com256", "x"), "w").close()
        with self.assertRaisesRegex(RuntimeError, "COM256 -> a file"):
            wine_prefix.check_ports(self.prefix)

    def test_prune_removes_what_no_registry_maps(self):
        self.link("com256", self.device)
        self.link("com257", self.device)
        self.link("com33", self.device)  # a mapping that did not take: left to the check
        self.link("com3", self.pty)
        wine_prefix.prune(self.prefix, {"COM3": self.pty})
        self.assertTrue(os.path.isdir(os.path.join(self.dev, "com256")))
        self.assertFalse(os.path.lexists(os.path.join(self.dev, "com257")))
        self.assertEqual(os.readlink(os.path.join(self.dev, "com3")), self.pty)
        with self.assertRaisesRegex(RuntimeError, r"COM33 -> [^,]*ttyS0$"):
            wine_prefix.check_ports(self.prefix, {"COM3": self.pty})


if __name__ == "__main__":
    unittest.main()
