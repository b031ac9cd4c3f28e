#!/usr/bin/env python3
"""Makes the users' guide CZYTAJ.TXT from its UTF-8 source: @VERSION@ filled
in, Windows-1250, CR LF. A character that Windows-1250 lacks stops the build
instead of turning into a question mark."""
import sys

source, target, version = sys.argv[1:4]
with open(source, encoding="utf-8") as f:
    text = f.read()
text = text.replace("@VERSION@", version)
lines = [line.rstrip() for line in text.split("\n")]
while lines and not lines[-1]:
    lines.pop()
try:
    data = "\r\n".join(lines + [""]).encode("cp1250")
except UnicodeEncodeError as e:
    sys.exit("%s: %r at character %d is not in Windows-1250" % (source, text[e.start], e.start))
with open(target, "wb") as f:
    f.write(data)
