"""The alert rule pack and the Alertmanager example, checked by their own
tools: promtool checks the rules and runs them in virtual time over series
that stand for a unit's scrapes; amtool checks the example and its routing.
The runbooks have a section, in each language, for every alert.

Run by ctest with PROMTOOL, AMTOOL and K40_ALERTING (the pack's folder) set.
"""
import html.parser
import os
import re
import subprocess
import tempfile
import unittest

import yaml

PROMTOOL = os.environ.get("PROMTOOL", "promtool")
AMTOOL = os.environ.get("AMTOOL", "amtool")
PACK = os.environ.get("K40_ALERTING", os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "alerting"))
RULES = os.path.join(PACK, "k40-alerts.rules.yml")
ALERTMANAGER = os.path.join(PACK, "alertmanager-example.yml")

# The unit's alarms: id, alert, default severity, the unit's name.
ALARMS = [
    ("ac_power_failure", "K40AcPowerFailure", "critical", "交流停电"),
    ("ac_input_breaker_trip", "K40AcInputBreakerTrip", "critical", "交流输入空开跳闸"),
    ("battery_fuse_blown", "K40BatteryFuseBlown", "critical", "电池组熔芯熔断"),
    ("bus_voltage_abnormal", "K40BusVoltageAbnormal", "critical", "母线电压异常"),
    ("battery_voltage_abnormal", "K40BatteryVoltageAbnormal", "critical", "电池组电压异常"),
    ("feeder_trip", "K40FeederTrip", "critical", "馈出支路跳闸"),
    ("insulation_drop", "K40InsulationDrop", "warning", "系统绝缘下降"),
    ("cell_voltage_abnormal", "K40CellVoltageAbnormal", "warning", "电池单体电压异常"),
    ("module_comm_offline", "K40ModuleCommOffline", "warning", "充电模块通讯离线"),
    ("insulation_meter_offline", "K40InsulationMeterOffline", "warning", "绝缘仪通讯离线"),
    ("battery_meter_offline", "K40BatteryMeterOffline", "warning", "电池仪通讯离线"),
    ("charge_overcurrent", "K40ChargeOvercurrent", "warning", "电池组充电过流"),
    ("surge_protector_fault", "K40SurgeProtectorFault", "warning", "防雷器故障"),
]
UNIT_ALERTS = ["K40Down", "K40ScrapeFailing", "K40Stale", "K40ManualModeLeft",
               "K40EqualizeTooLong"]
FOR = {"critical": 1, "warning": 5}  # an alarm's for:, in minutes
KEEP = 5                             # its keep_firing_for, longer than K40Down's 2
STEP = 15                            # seconds between scrapes and evaluations
UNIT = {"job": "k40", "instance": "hv1:9040", "port": "/dev/ttyUSB0", "slave": "1"}
RUNBOOKS = "https://noc.example/k40/runbooks"  # the site's external label k40_runbooks


def load_rules():
    with open(RULES, encoding="utf-8") as f:
        return {r["alert"]: r for g in yaml.safe_load(f)["groups"] for r in g["rules"]}


RULE = load_rules()


def expand(text, labels):
    """The annotation as Prometheus should render it: the runbooks' base from
    the site's external label, the unit's labels (a label the alert lacks is a
    KeyError here, where Prometheus would write an empty string)."""
    text = re.sub(r"\{\{ with \$externalLabels\.k40_runbooks \}\}.*?\{\{ end \}\}",
                  RUNBOOKS, text)
    return re.sub(r"\{\{ \$labels\.(\w+) \}\}", lambda m: labels[m.group(1)], text)


def fired(alert, labels):
    return [{"exp_labels": labels,
             "exp_annotations": {k: expand(v, labels)
                                 for k, v in RULE[alert]["annotations"].items()}}]


def series(name, labels, values):
    inner = ",".join('%s="%s"' % kv for kv in sorted(labels.items()))
    return {"series": "%s{%s}" % (name, inner), "values": values}


def at(seconds):
    return "%ds" % seconds


def alarm_labels(alarm_id, severity, name, **unit):
    return dict(UNIT, **unit, alarm=alarm_id, severity=severity, name=name)


def minutes(n):
    return n * 60 // STEP  # samples in n minutes


def alarm_case(alarm_id, alert, severity, name):
    """Raised at 2 m, cleared at 20 m, on a unit that answers throughout:
    firing from 2 m + for: to 20 m + keep_firing_for, then resolved."""
    labels = alarm_labels(alarm_id, severity, name)
    raised, cleared = 2 * 60, 20 * 60
    fire = raised + FOR[severity] * 60
    end = cleared + KEEP * 60
    firing = fired(alert, labels)
    return {
        "interval": at(STEP),
        "input_series": [
            series("k40_up", UNIT, "1x%d" % minutes(40)),
            series("k40_alarm", labels, "0x%d 1x%d 0x%d" % (
                minutes(2) - 1, minutes(18) - 1, minutes(20))),
        ],
        "alert_rule_test": [
            {"eval_time": at(fire - STEP), "alertname": alert, "exp_alerts": []},
            {"eval_time": at(fire), "alertname": alert, "exp_alerts": firing},
            {"eval_time": at(end - STEP), "alertname": alert, "exp_alerts": firing},
            {"eval_time": at(end + STEP), "alertname": alert, "exp_alerts": []},
            {"eval_time": at(end + STEP), "alertname": "K40Down", "exp_alerts": []},
        ],
    }


def lost_during_alarm_case():
    """The unit stops answering at 10 m during an alarm: its alarm series end
    (stale), k40_up turns 0. K40Down fires at 12 m, and the alarm alert fires
    at every evaluation until then: no "resolved" goes out before K40Down."""
    labels = alarm_labels("ac_power_failure", "critical", "交流停电")
    lost, down = 10 * 60, 12 * 60
    tests = [{"eval_time": at(t), "alertname": "K40AcPowerFailure",
              "exp_alerts": fired("K40AcPowerFailure", labels)}
             for t in range(lost - STEP, down + 2 * STEP, STEP)]
    tests += [
        {"eval_time": at(down - STEP), "alertname": "K40Down", "exp_alerts": []},
        {"eval_time": at(down), "alertname": "K40Down",
         "exp_alerts": fired("K40Down", dict(UNIT, severity="critical"))},
    ]
    return {
        "interval": at(STEP),
        "input_series": [
            series("k40_up", UNIT, "1x%d 0x%d" % (minutes(10) - 1, minutes(10))),
            series("k40_alarm", labels, "0x3 1x%d stale" % (minutes(10) - 5)),
        ],
        "alert_rule_test": tests,
    }


def stale_case():
    """Three units of serve scanning every second: one answering, one whose
    polling froze at 5 m (k40_up still 1), one not answering since 5 m.
    Only the frozen one is K40Stale, from 5 m + 3 s + 2 m on."""
    def unit(port):
        return dict(UNIT, port=port)
    ok, frozen, down = unit("/dev/ttyS0"), unit("/dev/ttyS1"), unit("/dev/ttyS2")
    n = minutes(15)
    stamps = "0.5+%dx%d" % (STEP, n)                      # a scan half a second ago
    stuck = "0.5+%dx%d %gx%d" % (STEP, minutes(5), 0.5 + STEP * minutes(5), n - minutes(5))
    inputs = [series("k40_up", ok, "1x%d" % n),
              series("k40_up", frozen, "1x%d" % n),
              series("k40_up", down, "1x%d 0x%d" % (minutes(5), n - minutes(5)))]
    for u, last in ((ok, stamps), (frozen, stuck), (down, stuck)):
        inputs.append(series("k40_scan_interval_seconds", u, "1x%d" % n))
        inputs.append(series("k40_last_scan_timestamp_seconds", u, last))
    fires = 5 * 60 + STEP + 2 * 60  # the first scrape 3 s late, then for: 2m
    return {
        "interval": at(STEP),
        "input_series": inputs,
        "alert_rule_test": [
            {"eval_time": at(fires - STEP), "alertname": "K40Stale", "exp_alerts": []},
            {"eval_time": at(fires), "alertname": "K40Stale",
             "exp_alerts": fired("K40Stale", dict(frozen, severity="critical"))},
            {"eval_time": at(14 * 60), "alertname": "K40Stale",
             "exp_alerts": fired("K40Stale", dict(frozen, severity="critical"))},
        ],
    }


def mode_case(alert, bit, active, hours):
    """A mode bit in its watched state from 1 h on, with one failed scan
    (stale) an hour later: the alert fires after `hours` all the same."""
    step = 5 * 60
    per_hour = 3600 // step
    labels = dict(UNIT, bit=str(bit), name="mode", legend="0/1")
    other = 1 - active
    values = "%dx%d %dx%d stale %dx%d" % (other, per_hour - 1, active, per_hour,
                                          active, (hours + 1) * per_hour)
    fire = (1 + hours) * 3600
    firing = fired(alert, dict(labels, severity="warning"))
    return {
        "interval": at(step),
        "input_series": [series("k40_status_bit", labels, values)],
        "alert_rule_test": [
            {"eval_time": at(fire - step), "alertname": alert, "exp_alerts": []},
            {"eval_time": at(fire), "alertname": alert, "exp_alerts": firing},
        ],
    }


def scrape_case():
    """serve's fleet job cannot be scraped for one target from 1 m on; another
    job's failure is none of this pack's business."""
    fleet = {"job": "k40-fleet", "instance": "tcp://192.0.2.20:4001"}
    return {
        "interval": at(STEP),
        "input_series": [
            series("up", fleet, "1x%d 0x%d" % (minutes(1) - 1, minutes(5))),
            series("up", {"job": "k40", "instance": "hv1:9040"}, "1x%d" % minutes(6)),
            series("up", {"job": "node", "instance": "hv1:9100"}, "0x%d" % minutes(6)),
        ],
        "alert_rule_test": [
            {"eval_time": "2m45s", "alertname": "K40ScrapeFailing", "exp_alerts": []},
            {"eval_time": "3m", "alertname": "K40ScrapeFailing",
             "exp_alerts": fired("K40ScrapeFailing", dict(fleet, severity="critical"))},
        ],
    }


def never_scraped_case():
    """A unit that was never scraped has no series at all: nothing may fire for
    it, however long (the absent() trap). Only another job's series exist."""
    every = [a[1] for a in ALARMS] + UNIT_ALERTS
    return {
        "interval": "5m",
        "input_series": [series("up", {"job": "node", "instance": "hv1:9100"}, "1x300")],
        "alert_rule_test": [{"eval_time": "25h", "alertname": a, "exp_alerts": []}
                            for a in every],
    }


def run(*command):
    p = subprocess.run(command, capture_output=True, text=True, timeout=120)
    return p.returncode, p.stdout + p.stderr


class RulesTest(unittest.TestCase):
    def test_promtool_checks_the_rules(self):
        code, out = run(PROMTOOL, "check", "rules", RULES)
        self.assertEqual(code, 0, out)
        self.assertIn("SUCCESS: %d rules found" % (len(ALARMS) + len(UNIT_ALERTS)), out)

    def test_in_virtual_time(self):
        # Two files: the hours-long cases are evaluated every 5 minutes.
        minutes_scale = [alarm_case(*a) for a in ALARMS]
        minutes_scale += [lost_during_alarm_case(), stale_case(), scrape_case()]
        hours_scale = [never_scraped_case(), mode_case("K40ManualModeLeft", 0, 1, 2),
                       mode_case("K40EqualizeTooLong", 1, 0, 24)]
        with tempfile.TemporaryDirectory() as d:
            files = []
            for name, interval, groups in (("minutes", at(STEP), minutes_scale),
                                           ("hours", "5m", hours_scale)):
                for g in groups:
                    g["external_labels"] = {"k40_runbooks": RUNBOOKS}
                files.append(os.path.join(d, name + ".test.yml"))
                with open(files[-1], "w", encoding="utf-8") as f:
                    yaml.safe_dump({"rule_files": [os.path.abspath(RULES)],
                                    "evaluation_interval": interval, "tests": groups},
                                   f, allow_unicode=True)
            code, out = run(PROMTOOL, "test", "rules", *files)
        self.assertEqual(code, 0, out)

    def test_every_alert_has_its_for_and_runbook_sections(self):
        rules = list(RULE.values())
        names = [r["alert"] for r in rules]
        self.assertEqual(sorted(names), sorted([a[1] for a in ALARMS] + UNIT_ALERTS))
        anchors = {lang: runbook_anchors(lang) for lang in ("en", "zh")}
        for r in rules:
            self.assertIn("for", r, r["alert"])
            a = r["annotations"]
            self.assertEqual(set(a), {"summary", "description", "summary_zh",
                                      "description_zh", "runbook_url", "runbook_url_zh"})
            for key, lang in (("runbook_url", "en"), ("runbook_url_zh", "zh")):
                self.assertRegex(a[key], r"^\{\{ with \$externalLabels\.k40_runbooks \}\}.*"
                                 r"\{\{ end \}\}/%s\.html#%s$" % (lang, r["alert"]))
                self.assertIn(r["alert"], anchors[lang], (lang, r["alert"]))
            if r["alert"] not in UNIT_ALERTS:
                self.assertEqual(r["keep_firing_for"], "%dm" % KEEP)


    def test_the_readme_configuration_is_valid(self):
        """The prometheus.yml of the read-me's "Alerting", with the rule file
        where this tree has it, as Prometheus would load it."""
        with open(os.path.join(PACK, "..", "..", "README.md"), encoding="utf-8") as f:
            readme = f.read()
        section = readme[readme.index("#### Alerting"):]
        config = re.search(r"```yaml\n(.*?)```", section, re.S).group(1)
        self.assertIn("/usr/share/k40ctl/k40-alerts.rules.yml", config)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "prometheus.yml")
            with open(path, "w", encoding="utf-8") as f:
                f.write(config.replace("/usr/share/k40ctl/k40-alerts.rules.yml",
                                       os.path.abspath(RULES)))
            code, out = run(PROMTOOL, "check", "config", path)
        self.assertEqual(code, 0, out)
        self.assertIn("SUCCESS: %d rules found" % (len(ALARMS) + len(UNIT_ALERTS)), out)


class Anchors(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids = []

    def handle_starttag(self, tag, attrs):
        self.ids += [v for k, v in attrs if k == "id"]


def runbook_anchors(lang):
    p = Anchors()
    with open(os.path.join(PACK, "runbooks", lang + ".html"), encoding="utf-8") as f:
        p.feed(f.read())
    return p.ids


class AlertmanagerTest(unittest.TestCase):
    def test_checked_by_amtool(self):
        code, out = run(AMTOOL, "check-config", ALERTMANAGER)
        self.assertEqual(code, 0, out)
        self.assertIn("3 inhibit rules", out)

    def test_routes(self):
        cases = [  # labels, receiver
            (["alertname=K40AcPowerFailure", "severity=critical", "alarm=ac_power_failure"],
             "k40-critical"),
            (["alertname=K40Down", "severity=critical"], "k40-critical"),
            (["alertname=K40InsulationDrop", "severity=warning", "alarm=insulation_drop"],
             "k40-warning"),
            (["alertname=SomethingElse"], "k40-warning"),  # still reaches a person
        ]
        for labels, receiver in cases:
            code, out = run(AMTOOL, "config", "routes", "test", "--config.file=" + ALERTMANAGER,
                            "--verify.receivers=" + receiver, *labels)
            self.assertEqual(code, 0, (labels, out))


if __name__ == "__main__":
    unittest.main()
