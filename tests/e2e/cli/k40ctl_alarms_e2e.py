"""The unit's alarms end to end: k40sim --event, k40ctl check, Nagios.

k40sim raises and clears alarms at set times; its own trace shows what each
reply carried and when. k40ctl check is run directly and, as a service check,
by a real Nagios (Debian's nagios4-core, a configuration of its own in a
temporary folder, checking every second) against k40ctl serve; the state
Nagios records in its status file is what is compared. The performance data
is read by the Monitoring Plugins guidelines' grammar, serve's /metrics by
the Prometheus client's parser. Run by ctest with K40CTL, K40SIM and NAGIOS.
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from prometheus_client.parser import text_string_to_metric_families

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from k40ctl_e2e import K40CTL, K40SIM, NOMINAL, await_true  # noqa: E402
from k40ctl_serve_e2e import Serve, analog_values, bit_values, free_port  # noqa: E402

NAGIOS = os.environ.get("NAGIOS", "/usr/sbin/nagios4")
CLEAN_ENV = {k: v for k, v in os.environ.items() if not k.startswith("K40_")}
AC_FAILURE = 14
INSULATION = 2

# One performance datum by the guidelines: 'label'=value[UOM];[warn];[crit];[min];[max]
PERF = re.compile(r"^('(?:[^'=]|'')+'|[^'= ]+)=(-?[0-9.]+)(s|us|ms|%|B|KB|MB|TB|c)?"
                  r"(?:;([-0-9.:~@]*)){0,4}$")
MEASUREMENTS = ["ac_voltage_ab", "ac_voltage_bc", "ac_voltage_ca", "closing_bus_voltage",
                "control_bus_voltage", "load_current", "battery_voltage", "battery_current",
                "battery_room_temperature"]


def ctl(*args, timeout=30):
    return subprocess.run([K40CTL] + list(args), capture_output=True, text=True,
                          timeout=timeout, env=CLEAN_ENV)


def perfdata(output):
    """The status line's performance data as {label: (value, fields)}."""
    line = output.splitlines()[0]
    assert " | " in line, line
    data = {}
    for datum in line.split(" | ", 1)[1].split(" "):
        m = PERF.match(datum)
        assert m, datum
        data[m.group(1)] = (float(m.group(2)), datum.split(";")[1:])
    return data


def sim_trace(path):
    """(T_MS, REQUEST, FRAME) of every reply in k40sim's trace."""
    with open(path) as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    return [(float(r[1]), r[2], r[6]) for r in rows if len(r) == 9 and r[3] == "reply"]


class ListenSim:
    def __init__(self, workdir, *args, port=0):
        self.trace = os.path.join(workdir, "sim.trace")
        self.proc = subprocess.Popen(
            [K40SIM, "--quiet", "--static", "--listen", "127.0.0.1:%d" % port,
             "--trace", self.trace] + list(args), stdout=subprocess.PIPE, text=True)
        self.name = self.proc.stdout.readline().strip()
        assert self.name.startswith("tcp://"), self.name

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)
        self.proc.stdout.close()


class AlarmCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.sims = []

    def tearDown(self):
        for s in self.sims:
            s.kill()
        self.dir.cleanup()

    def sim(self, *args, port=0):
        s = ListenSim(self.dir.name, *args, port=port)
        self.sims.append(s)
        return s


class SimEventTest(AlarmCase):
    def test_the_replies_carry_the_event_while_it_lasts(self):
        sim = self.sim("--event", "ac_power_failure@1s+1500ms", "--event", "insulation_drop@500ms")
        r = ctl("--port", sim.name, "watch", "all", "--interval", "0.1", "--count", "40",
                "--format", "json", timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        replies = sim_trace(sim.trace)
        during = after = 0
        for t, req, frame in replies:
            on = 1000 <= t < 2500
            during += on
            after += t >= 2500
            if frame[2:4] == "01":
                bits = bit_values(frame)
                self.assertEqual(bits[AC_FAILURE], int(on), t)
                self.assertEqual(bits[INSULATION], int(t >= 500), t)
                self.assertEqual(bits[1], 1, t)  # float charge, untouched
                continue
            v = analog_values(frame)
            if not on:
                self.assertEqual(v, NOMINAL, t)
                continue
            self.assertTrue(all(x < 1 for x in v[0:3]), (t, v))
            self.assertEqual(v[7], -NOMINAL[5], (t, v))  # the battery carries the load
            for i in (3, 4, 6):  # the buses and the battery sag slowly
                self.assertTrue(NOMINAL[i] - 1 < v[i] <= NOMINAL[i], (t, v))
        self.assertGreater(during, 4)
        self.assertGreater(after, 2)

    def test_bad_events_are_refused(self):
        for event in ["fire@1s", "ac_power_failure", "ac_power_failure@1x", "manual@1s+"]:
            r = subprocess.run([K40SIM, "--event", event], capture_output=True, text=True,
                               timeout=10)
            self.assertEqual(r.returncode, 2, event)
            self.assertIn("--event", r.stderr, event)


class CheckTest(AlarmCase):
    def test_alarms_and_thresholds_decide_the_state(self):
        sim = self.sim("--status", "0x4006")  # 交流停电 and 系统绝缘下降, float charge
        r = ctl("--port", sim.name, "check")
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertTrue(r.stdout.startswith(
            "K40 CRITICAL - 交流停电 ac_power_failure, 系统绝缘下降 insulation_drop | "), r.stdout)
        data = perfdata(r.stdout)
        self.assertEqual(list(data), MEASUREMENTS)
        self.assertEqual([v for v, _ in data.values()], NOMINAL)
        calm = self.sim("--status", "0x0002")
        cases = [([], 0, "K40 OK - no active alarms | "),
                 (["-w", "battery_voltage=230:"], 1,
                  "K40 WARNING - battery_voltage 229.5 (warning 230:) | "),
                 (["-w", "battery_voltage=230:", "--critical", "load_current=@6:7"], 2,
                  "K40 CRITICAL - load_current 6.4 (critical @6:7), battery_voltage"),
                 (["-c", "battery_room_temperature=~:40"], 0, "K40 OK - ")]
        for args, status, start in cases:
            r = ctl("--port", calm.name, "check", *args)
            self.assertEqual(r.returncode, status, (args, r.stdout, r.stderr))
            self.assertTrue(r.stdout.startswith(start), (args, r.stdout))
        data = perfdata(r.stdout)
        self.assertEqual(data["battery_room_temperature"][1], ["", "~:40"])

    def test_unknown_and_critical_without_a_unit(self):
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))
        refused = "tcp://127.0.0.1:%d" % closed.getsockname()[1]
        usage = [["check", "--warning", "battery=1"], ["check", "-w", "battery_voltage=20:10"],
                 ["check", "--bogus"], ["--slave", "300", "check"], ["check", "-t", "0"],
                 ["check", "--serve", "ftp://x"]]
        for args in usage:
            r = ctl("--port", refused, *args)
            self.assertEqual(r.returncode, 3, (args, r.stdout, r.stderr))
            self.assertTrue(r.stdout.startswith("K40 UNKNOWN - "), (args, r.stdout))
        self.assertEqual(ctl("--port", refused, "di", "--bogus").returncode, 2)  # not check's
        r = ctl("--port", refused, "check")
        self.assertEqual(r.returncode, 3, r.stdout)
        self.assertTrue(r.stdout.startswith("K40 UNKNOWN - "), r.stdout)
        r = ctl("check", "--serve", "http://127.0.0.1:%d" % closed.getsockname()[1])
        self.assertEqual(r.returncode, 3, r.stdout)
        self.assertTrue(r.stdout.startswith("K40 UNKNOWN - serve unreachable"), r.stdout)
        with socket.socket() as silent:
            silent.bind(("127.0.0.1", 0))
            silent.listen(1)
            start = time.monotonic()
            r = ctl("--port", "tcp://127.0.0.1:%d" % silent.getsockname()[1], "check", "-t", "1")
            self.assertLess(time.monotonic() - start, 3)
        self.assertEqual(r.returncode, 2, r.stdout)
        self.assertTrue(r.stdout.startswith("K40 CRITICAL - "), r.stdout)
        closed.close()


NAGIOS_CFG = """\
log_file={d}/nagios.log
cfg_file={d}/objects.cfg
object_cache_file={d}/objects.cache
precached_object_file={d}/objects.precache
status_file={d}/status.dat
status_update_interval=1
temp_file={d}/nagios.tmp
temp_path={d}
lock_file={d}/nagios.lock
check_result_path={d}/results
state_retention_file={d}/retention.dat
retain_state_information=0
use_retained_program_state=0
use_retained_scheduling_info=0
check_external_commands=0
command_file={d}/nagios.cmd
nagios_user={user}
nagios_group={group}
interval_length=1
max_service_check_spread=1
max_host_check_spread=1
service_inter_check_delay_method=n
host_inter_check_delay_method=n
check_result_reaper_frequency=1
execute_host_checks=0
enable_notifications=0
enable_flap_detection=0
service_check_timeout=20
"""

NAGIOS_OBJECTS = """\
define timeperiod {{
    timeperiod_name always
    alias always
    sunday 00:00-24:00
    monday 00:00-24:00
    tuesday 00:00-24:00
    wednesday 00:00-24:00
    thursday 00:00-24:00
    friday 00:00-24:00
    saturday 00:00-24:00
}}
define command {{
    command_name k40_check
    command_line {ctl} check --serve {url} -t 5
}}
define command {{
    command_name k40_check_bad
    command_line {ctl} check --warning no_such_value=1
}}
define command {{
    command_name none
    command_line /bin/true
}}
define contact {{
    contact_name engineer
    host_notification_period always
    service_notification_period always
    host_notification_options n
    service_notification_options n
    host_notification_commands none
    service_notification_commands none
}}
define host {{
    host_name dc-panel
    address 127.0.0.1
    check_command none
    max_check_attempts 1
    check_period always
    active_checks_enabled 0
    contacts engineer
    notification_period always
    notification_interval 0
}}
define service {{
    host_name dc-panel
    service_description k40
    check_command k40_check
    max_check_attempts 1
    check_interval 1
    retry_interval 1
    check_period always
    contacts engineer
    notification_period always
    notification_interval 0
}}
define service {{
    host_name dc-panel
    service_description k40-bad
    check_command k40_check_bad
    max_check_attempts 1
    check_interval 1
    retry_interval 1
    check_period always
    contacts engineer
    notification_period always
    notification_interval 0
}}
"""


def service_status(path):
    """The servicestatus blocks of Nagios' status file, by description."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except FileNotFoundError:
        return {}
    services = {}
    for block in re.findall(r"servicestatus \{\n(.*?)\n\t\}", text, re.S):
        fields = dict(line.strip().split("=", 1) for line in block.splitlines() if "=" in line)
        services[fields["service_description"]] = fields
    return services


class NagiosTest(AlarmCase):
    def start_nagios(self, url):
        d = self.dir.name
        os.mkdir(os.path.join(d, "results"))
        import grp
        import pwd
        user = pwd.getpwuid(os.getuid()).pw_name
        group = grp.getgrgid(os.getgid()).gr_name
        with open(os.path.join(d, "nagios.cfg"), "w") as f:
            f.write(NAGIOS_CFG.format(d=d, user=user, group=group))
        with open(os.path.join(d, "objects.cfg"), "w") as f:
            f.write(NAGIOS_OBJECTS.format(ctl=K40CTL, url=url))
        self.nagios = subprocess.Popen([NAGIOS, os.path.join(d, "nagios.cfg")],
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                       env=CLEAN_ENV)
        self.addCleanup(self.stop_nagios)

    def stop_nagios(self):
        if self.nagios.poll() is None:
            self.nagios.terminate()
            try:
                self.nagios.wait(10)
            except subprocess.TimeoutExpired:
                self.nagios.kill()
                self.nagios.wait(5)
        self.nagios.stdout.close()

    def await_state(self, service, state, start, timeout=20):
        """Waits for Nagios to record a check of service in state whose
        output starts with start; the record."""
        path = os.path.join(self.dir.name, "status.dat")
        seen = {}

        def reached():
            seen.update(service_status(path).get(service, {}))
            return (seen.get("has_been_checked") == "1" and seen.get("current_state") == state
                    and seen.get("plugin_output", "").startswith(start))
        if not await_true(reached, timeout):
            with open(os.path.join(self.dir.name, "nagios.log"), errors="replace") as f:
                alerts = [line for line in f if "SERVICE ALERT" in line]
            self.fail("%s: not state %s %r within %d s: %s\nnagios %s, its alerts:\n%s" %
                      (service, state, start, timeout, seen.get("plugin_output"),
                       self.nagios.poll(), "".join(alerts[-10:])))
        return dict(seen)

    def test_nagios_follows_the_alarm(self):
        port = free_port()
        url = "http://127.0.0.1:%d" % port
        self.start_nagios(url)
        # The bad argument first: Nagios is running and executing checks.
        self.await_state("k40-bad", "3", "K40 UNKNOWN - check: no_such_value is no measurement")
        sim = self.sim("--event", "ac_power_failure@1s+6s")
        serve = Serve("--port", sim.name, serve=["--interval", "0.5"],
                      listen="127.0.0.1:%d" % port).listening()
        self.addCleanup(serve.stop)
        raised = self.await_state("k40", "2", "K40 CRITICAL - 交流停电 ac_power_failure")
        self.assertEqual(raised["plugin_output"], "K40 CRITICAL - 交流停电 ac_power_failure")
        self.assertEqual(list(perfdata(raised["plugin_output"] + " | " +
                                       raised["performance_data"])), MEASUREMENTS)
        self.assertIn("ac_power_failure: AC power failure, critical, since ",
                      raised["long_plugin_output"].replace("\\n", "\n"))
        # The exporter says the same while it lasts (unless it cleared meanwhile).
        families = {f.name: f for f in text_string_to_metric_families(serve.metrics())}
        alarm = {s.labels["alarm"]: s for s in families["k40_alarm"].samples}
        self.assertEqual(len(alarm), 13)
        self.assertEqual(alarm["ac_power_failure"].labels["severity"], "critical")
        self.assertEqual(alarm["ac_power_failure"].labels["name"], "交流停电")
        self.assertEqual(families["k40_scan_interval_seconds"].samples[0].value, 0.5)
        self.await_state("k40", "0", "K40 OK - no active alarms")
        sim.kill()
        self.await_state("k40", "2", "K40 CRITICAL - ")


if __name__ == "__main__":
    unittest.main()
