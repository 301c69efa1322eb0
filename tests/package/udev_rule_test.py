#!/usr/bin/env python3
"""The udev rule as udev 252 reads it: each line's keys, operators and quoted
values, matches before assignments; what it grants; and no adapter twice.
    udev_rule_test.py RULES"""
import re
import sys

MATCH_ONLY = {"ACTION", "SUBSYSTEM", "DRIVER", "ATTRS", "KERNEL", "SUBSYSTEMS", "DRIVERS"}
ASSIGN_ONLY = {"TAG", "MODE", "GROUP"}
BOTH = {"ATTR"}
PAIR = re.compile(r'\s*([A-Z]+)(\{[A-Za-z_]+\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$)')

rules = [line for line in open(sys.argv[1], encoding="utf-8").read().splitlines()
         if line.strip() and not line.lstrip().startswith("#")]
adapters = set()
for line in rules:
    at, pairs = 0, []
    while at < len(line):
        found = PAIR.match(line, at)
        if not found:
            sys.exit(f"FAIL: cannot read {line[at:]!r} in {line!r}")
        pairs.append(found.groups()[:4])
        at = found.end()
    matching = True
    for key, attribute, op, value in pairs:
        is_match = op in ("==", "!=")
        if (key in MATCH_ONLY and not is_match) or (key in ASSIGN_ONLY and is_match) or \
                key not in MATCH_ONLY | ASSIGN_ONLY | BOTH:
            sys.exit(f"FAIL: {key}{attribute or ''}{op} in {line!r}")
        if key.startswith("ATTR") and not attribute:
            sys.exit(f"FAIL: {key} without an attribute in {line!r}")
        if is_match and not matching:
            sys.exit(f"FAIL: a match after an assignment in {line!r}")
        matching = matching and is_match
    keys = {(k, a): v for k, a, op, v in pairs}
    if keys.get(("TAG", None)) == "uaccess":
        ids = (keys[("ATTRS", "{idVendor}")], keys[("ATTRS", "{idProduct}")])
        if keys[("SUBSYSTEM", None)] != "tty" or not all(re.fullmatch("[0-9a-f]{4}", i) for i in ids):
            sys.exit(f"FAIL: {line!r}")
        if ids in adapters:
            sys.exit(f"FAIL: {ids} twice")
        adapters.add(ids)
    elif keys.get(("ATTR", "{latency_timer}")) != "1":
        sys.exit(f"FAIL: a rule that grants nothing known: {line!r}")
vendors = {vendor for vendor, _ in adapters}
if vendors != {"0403", "1a86", "10c4", "067b"}:
    sys.exit(f"FAIL: vendors {vendors}")
print("PASS")
