#!/usr/bin/env python3
"""vardel-flash's options are defined once, in the program: its --help lists
them, the completion asks the program for them, and the manual page and the
README's table must name exactly those. Fails with what drifted.
Usage: options_agree_test.py VARDEL_FLASH MAN_PAGE_IN README"""
import re
import subprocess
import sys

program, man_page, readme = sys.argv[1:4]
OPTION = re.compile(r"(?<![\w-])--?[a-z][a-z-]*")

helped = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
defined = {o for line in helped.splitlines() if re.match(r"^ +-", line)
           for o in OPTION.findall(line.split("  ", 2)[1] if line.startswith("  ") else line)}

with open(man_page, encoding="utf-8") as page:
    text = page.read().replace("\\-", "-")
section = text.split(".SH OPTIONS", 1)[1].split("\n.SH ", 1)[0]
in_man = {o for line in section.splitlines() if line.startswith((".B ", ".BI ", ".BR "))
          for o in OPTION.findall(line)}

with open(readme, encoding="utf-8") as doc:
    rows = [line for line in doc if line.startswith("| `-")]
in_readme = {o for row in rows for o in OPTION.findall(row.split("|")[1])}

failed = False
for name, listed in (("the manual page", in_man), ("the README", in_readme)):
    if listed != defined:
        print(f"FAIL {name}: missing {sorted(defined - listed)}, "
              f"not an option {sorted(listed - defined)}")
        failed = True
if not defined or failed:
    sys.exit(1)
print(f"vardel-flash options: {len(defined)} agree in --help, the manual page and the README")
