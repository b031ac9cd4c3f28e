#!/usr/bin/env python3
"""Every text in the plug-in's table of messages appears once in src/: in the
table. A copy elsewhere (the same words in another literal, however it is
split into pieces) is reported with its place.

  check_messages.py SOURCE_DIR
"""
import glob
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows"))
from check_release import ENTRY, LITERAL, MESSAGES, joined  # noqa: E402

RUN = re.compile(r"(?:%s(?:\s|\\\n)*)+" % LITERAL)
COMMENT = re.compile(r"//[^\n]*|/\*.*?\*/|" + LITERAL, re.S)


def literal_runs(code):
    """Each run of adjacent literals (one text to the compiler), comments left out."""
    code = COMMENT.sub(lambda m: m.group(0) if m.group(0).startswith('"') else " ", code)
    for m in RUN.finditer(code):
        yield code.count("\n", 0, m.start()) + 1, joined(m.group(0))


def main():
    source = sys.argv[1]
    with open(os.path.join(source, MESSAGES), encoding="utf-8") as f:
        table = {joined(m.group(2)): m.group(1) for m in ENTRY.finditer(f.read())}
    seen = {text: [] for text in table}
    for path in sorted(glob.glob(os.path.join(source, "src", "**", "*.[ch]*"), recursive=True)):
        with open(path, encoding="utf-8") as f:
            for line, text in literal_runs(f.read()):
                if text in seen:
                    seen[text].append("%s:%d" % (os.path.relpath(path, source), line))
    problems = ["%s appears %d times: %s" % (table[t], len(places), ", ".join(places))
                for t, places in seen.items() if len(places) != 1]
    for p in problems:
        print(p)
    print("messages: %d in the table, %s" % (len(table), "%d not once" % len(problems) if problems else "each once"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
