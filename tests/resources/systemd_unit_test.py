"""The packaged unit template k40ctl-serve@.service as systemd reads it:
systemd-analyze verify on a copy whose ExecStart names the built k40ctl,
as shipped and with the token drop-in its comments describe. verify exits 0
on unknown keys and only says so, so any output fails the test.
Arguments: the unit file, the built k40ctl."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

UNIT, K40CTL = sys.argv[1], os.path.abspath(sys.argv[2])
del sys.argv[1:3]


def verify(folder, text, instance="ttyUSB0"):
    path = os.path.join(folder, "k40ctl-serve@.service")
    with open(path, "w") as f:
        f.write(text)
    run = subprocess.run(["systemd-analyze", "verify", "--man=no",
                          os.path.join(folder, "k40ctl-serve@%s.service" % instance)],
                         capture_output=True, text=True, timeout=60)
    return run.returncode, (run.stdout + run.stderr).strip()


class UnitTest(unittest.TestCase):
    def setUp(self):
        with open(UNIT) as f:
            self.text = f.read().replace("/usr/bin/k40ctl", K40CTL)
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

    def test_as_shipped(self):
        self.assertIn("ExecStart=%s --port /dev/%%I serve --history-file "
                      "/var/lib/k40ctl/%%i.jsonl $SERVE_OPTIONS" % K40CTL, self.text)
        self.assertIn("StateDirectory=k40ctl\n", self.text)
        self.assertEqual(verify(self.folder, self.text), (0, ""))

    def test_with_the_token_drop_in(self):
        token = os.path.join(self.folder, "serve.token")
        with open(token, "w") as f:
            f.write("3f9c2a7d41e86b05c1d2e3f4a5b6c7d8\n")
        os.chmod(token, 0o600)
        drop_in = ("LoadCredential=token:%s\nExecStart=\nExecStart=%s --port /dev/%%I serve "
                   "--history-file /var/lib/k40ctl/%%i.jsonl --token-file %%d/token "
                   "$SERVE_OPTIONS\n" % (token, K40CTL))
        text = self.text.replace("[Install]", drop_in + "\n[Install]")
        self.assertEqual(verify(self.folder, text), (0, ""))

    def test_k40ctl_takes_the_credential_the_drop_in_hands_over(self):
        # The drop-in as the comments give it, run as systemd runs it: %d is
        # the credentials folder, whose copy of the token belongs to root
        # (read by the dynamic user through an ACL, or handed over as its own).
        start = [line[len("#   ExecStart="):] for line in self.text.splitlines()
                 if line.startswith("#   ExecStart=/")]
        self.assertEqual(len(start), 1, start)
        credentials = os.path.join(self.folder, "credentials")
        os.makedirs(credentials)
        token = os.path.join(credentials, "token")
        with open(os.open(token, os.O_WRONLY | os.O_CREAT, 0o400), "w") as f:
            f.write("3f9c2a7d41e86b05c1d2e3f4a5b6c7d8e9f00112233445566778899aabbccdd\n")
        argv = (start[0].replace("%d", credentials).replace("/dev/%I", "/dev/k40-absent")
                .replace("$SERVE_OPTIONS", "--listen 127.0.0.1:0 --allow-commands").split())

        def run():
            r = subprocess.run(argv, capture_output=True, text=True, timeout=30)
            return r.returncode, r.stderr
        code, said = run()
        self.assertEqual(code, 5, said)  # the token taken; the absent port refused
        if os.geteuid() == 0:  # another user's file is refused before any port
            os.chown(token, 65534, 65534)
            code, said = run()
            self.assertEqual(code, 2, said)
            self.assertIn("belongs to user 65534", said)

    def test_a_fault_is_caught(self):
        # The check itself: an unknown key is reported, so it would fail.
        code, said = verify(self.folder, self.text.replace("[Service]", "[Service]\nBogusKey=1"))
        self.assertIn("BogusKey", said)

    def test_k40ctl_takes_the_command_line(self):
        run = subprocess.run([K40CTL, "--port", "/dev/ttyUSB0", "serve", "--listen",
                              "127.0.0.1:9040", "--history", "24h", "--history-file",
                              "/var/lib/k40ctl/ttyUSB0.jsonl", "--help"],
                             capture_output=True, text=True, timeout=30)
        self.assertEqual(run.returncode, 0, run.stderr)


if __name__ == "__main__":
    unittest.main()
