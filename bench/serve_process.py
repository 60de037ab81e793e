"""Starting and stopping `k40ctl serve` and k40sim for the serve benchmarks.

serve listens on 127.0.0.1:0 and says the port it got on standard error
("k40ctl: serving http://127.0.0.1:PORT/"); its standard error goes to a file
of the work directory, read here for that line and shown when it fails. Both
programs get SIGTERM from the system should the benchmark end without
stopping them (start them from the main thread: the signal comes when the
thread that started them ends).
"""
import ctypes
import http.client
import os
import re
import signal
import subprocess
import time

SERVING = re.compile(r"serving http://127\.0\.0\.1:(\d+)/")
PR_SET_PDEATHSIG = 1


def end_with_parent():
    """In the child before exec: SIGTERM when the benchmark is gone."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class BenchError(Exception):
    """The benchmark could not run (not a missed goal)."""


def start_sim(k40sim, work, name, *args):
    """k40sim on a pseudo-terminal linked at WORK/NAME, or on TCP with --listen;
    the process and the line it printed (the path, or tcp://HOST:PORT)."""
    command = [k40sim, "--quiet", "--static"]
    if "--listen" not in args:
        command += ["--link", os.path.join(work, name)]
    sim = subprocess.Popen(command + list(args), stdout=subprocess.PIPE, text=True,
                           preexec_fn=end_with_parent)
    line = sim.stdout.readline().strip()
    if not line:
        sim.kill()
        sim.wait()
        raise BenchError("k40sim did not start: " + " ".join(command + list(args)))
    return sim, line


def stop(process, timeout=5.0):
    """SIGTERM, and SIGKILL if it has not ended within timeout; the exit status."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    for stream in (process.stdout, process.stderr):
        if stream is not None:
            stream.close()
    return process.returncode


class Serve:
    """`k40ctl [GLOBAL...] serve --listen 127.0.0.1:0 [ARGS...]`, stopped on exit."""

    def __init__(self, k40ctl, work, global_args, serve_args, timeout=10.0):
        self.log_path = os.path.join(work, "serve-%d.log" % time.monotonic_ns())
        self.log = open(self.log_path, "w")
        command = [k40ctl] + list(global_args) + ["serve", "--listen", "127.0.0.1:0"] + \
            list(serve_args)
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=self.log,
                                        preexec_fn=end_with_parent)
        deadline = time.monotonic() + timeout
        self.port = None
        while self.port is None:
            with open(self.log_path) as log:
                found = SERVING.search(log.read())
            if found:
                self.port = int(found.group(1))
            elif self.process.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise BenchError("k40ctl serve did not start (%s): %s" %
                                 (" ".join(command), self.stderr_text()))
            else:
                time.sleep(0.02)
        self.host = "127.0.0.1:%d" % self.port

    def get(self, path, headers=None, timeout=10.0):
        """One GET on a connection of its own: (status, body as bytes)."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            connection.request("GET", path, headers=headers or {})
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def cpu_seconds(self):
        """serve's processor time so far, user and system, from /proc."""
        with open("/proc/%d/stat" % self.process.pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stderr_text(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()[-2000:]

    def close(self):
        status = stop(self.process)
        self.log.close()
        return status

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
