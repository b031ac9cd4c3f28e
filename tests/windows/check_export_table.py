#!/usr/bin/env python3
"""Reads the export table of the built kwitomat.dll: base 30001, ten entries,
exactly 30001, 30008, 30009 and 30010 filled, no names."""
import re
import subprocess
import sys

dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", sys.argv[1]], check=True, stdout=subprocess.PIPE,
                      text=True).stdout
problems = []
base = re.search(r"Export Address Table -- Ordinal Base (\d+)", dump)
if not base or base.group(1) != "30001":
    problems.append("ordinal base is %s, expected 30001" % (base.group(1) if base else "missing"))
count = re.search(r"Export Address Table\s+([0-9a-fA-F]+)\n\s*\[Name Pointer/Ordinal\] Table\s+([0-9a-fA-F]+)", dump)
if not count or int(count.group(1), 16) != 10:
    problems.append("export table has %s entries, expected 10" % (int(count.group(1), 16) if count else "no"))
if not count or int(count.group(2), 16) != 0:
    problems.append("the export table has names")
filled = sorted(int(m) for m in re.findall(r"\+base\[\s*(\d+)\]", dump))
if filled != [30001, 30008, 30009, 30010]:
    problems.append("filled entries are %s, expected [30001, 30008, 30009, 30010]" % filled)
for p in problems:
    print("export table:", p)
print("export table: %d passed, %d failed" % (0 if problems else 1, 1 if problems else 0))
sys.exit(1 if problems else 0)
