"""The Linux k40sim that the Windows programs talk to under Wine: on a
pseudo-terminal behind a link in the test's folder (which a COM port of the
prefix is mapped to), or listening on TCP (--listen, --listen-mbtcp); with its trace of frames. K40SIM
names the program."""
import os
import subprocess


class LinuxSim:
    def __init__(self, workdir, name, *args):
        self.trace = os.path.join(workdir, name + ".trace")
        listens = any(a.startswith("--listen") for a in args)
        link = [] if listens else ["--link", os.path.join(workdir, name)]
        self.proc = subprocess.Popen([os.environ["K40SIM"], "--quiet", "--static", "--trace",
                                      self.trace] + link + list(args),
                                     stdout=subprocess.PIPE, text=True)
        # The link's path, or with --listen the address.
        self.name = self.proc.stdout.readline().strip()
        # The pseudo-terminal itself, which Wine's registry entry must name.
        self.device = os.path.realpath(self.name) if link else self.name

    def kill(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(5)
        self.proc.stdout.close()

    def frames(self):
        """(request, reply) of each exchange so far, in order."""
        if not os.path.exists(self.trace):
            return []
        with open(self.trace) as f:
            return [(line.split()[2], line.split()[6]) for line in f
                    if line.strip() and not line.startswith("#")]

    def requests(self):
        return [request for request, _ in self.frames()]
