#!/usr/bin/env python3
"""Checks the udev rule file the package installs, by parsing it the way udev
reads rules: one rule a line, comma-separated KEY{attr}OP"value" pairs, each key
valid for its operator. The serial adapters must be tagged uaccess, and the
file must sort before 73-seat-late.rules, which acts on the tag."""
import os
import re
import sys

MATCH_KEYS = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "NAME", "SYMLINK", "SUBSYSTEM",
              "SUBSYSTEMS", "DRIVER", "DRIVERS", "ATTR", "ATTRS", "SYSCTL", "ENV", "CONST",
              "TAG", "TAGS", "TEST", "PROGRAM", "RESULT"}
ASSIGN_KEYS = {"NAME", "SYMLINK", "OWNER", "GROUP", "MODE", "TAG", "ENV", "RUN", "LABEL",
               "GOTO", "IMPORT", "OPTIONS", "SECLABEL", "ATTR", "SYSCTL", "WAIT_FOR"}
WITH_ATTR = {"ATTR", "ATTRS", "SYSCTL", "ENV", "CONST", "TEST", "RUN", "IMPORT", "SECLABEL"}
PAIR = re.compile(r'\s*([A-Z_]+)(?:\{([^}]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(?:,|$)')

ADAPTER_VENDORS = {"0403", "10c4", "1a86", "067b"}  # FTDI, CP210x, CH340/1, PL2303


def parse(path):
    rules = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            pairs, pos = [], 0
            while pos < len(line):
                m = PAIR.match(line, pos)
                if not m:
                    raise ValueError(f"line {number}: cannot parse at {line[pos:]!r}")
                key, attr, op, value = m.groups()
                keys = MATCH_KEYS if op in ("==", "!=") else ASSIGN_KEYS
                if key not in keys:
                    raise ValueError(f"line {number}: {key} cannot take {op}")
                if (attr is not None) != (key in WITH_ATTR) and key not in ("RUN", "IMPORT"):
                    raise ValueError(f"line {number}: {key} {{attribute}} misused")
                pairs.append((key, attr, op, value))
                pos = m.end()
            rules.append((number, pairs))
    return rules


def main(path):
    errors = []
    name = os.path.basename(path)
    if not name.endswith(".rules") or not name < "73-seat-late.rules":
        errors.append(f"{name} does not sort before 73-seat-late.rules")
    rules = parse(path)
    # All device rules sit after a guard that skips everything but tty nodes.
    guard = rules[0][1] if rules else []
    if ("SUBSYSTEM", None, "!=", "tty") not in guard or not any(k == "GOTO" for k, *_ in guard):
        errors.append("the first rule is not the tty subsystem guard")
    label = [p for _, pairs in rules for p in pairs if p[0] == "LABEL"]
    goto = [p for p in guard if p[0] == "GOTO"]
    if not goto or label != [("LABEL", None, "=", goto[0][3])] or rules[-1][1] != label:
        errors.append("the guard does not jump to a label closing the file")
    vendors, acm = set(), False
    for number, pairs in rules[1:-1]:
        if ("TAG", None, "+=", "uaccess") not in pairs:
            errors.append(f"line {number}: no TAG+=\"uaccess\"")
        for key, attr, op, value in pairs:
            if key == "ATTRS" and attr == "idVendor" and op == "==":
                vendors.add(value)
            if key == "DRIVERS" and op == "==" and value == "cdc_acm":
                acm = True
            if key in ("MODE", "GROUP", "OWNER"):
                errors.append(f"line {number}: {key} widens access beyond the seat")
    if vendors != ADAPTER_VENDORS:
        errors.append(f"vendor IDs {sorted(vendors)}, expected {sorted(ADAPTER_VENDORS)}")
    if not acm:
        errors.append('no rule for DRIVERS=="cdc_acm"')
    for e in errors:
        print(e, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
