#!/usr/bin/env python3
"""Exports onto a full disk: FAKTURY is a 64 KB tmpfs in a private mount
namespace. For each format, an export of a short invoice is made first; then
the same invoice grown to 3000 lines cannot fit. The failure must be shown,
nothing must follow it, and the earlier file must stay whole under its name
with no cut or temporary file beside it.

Needs root (for the mount) and a kernel that grants a private mount
namespace; without them the check says why and is skipped.

  check_small_disk.py --welkor build/welkor
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "..", "..", "examples", "sample.json")
SKIPPED = 77
WRITE_FAILED = "Nie udało się zapisać pliku eksportu faktury"
SAVED = "Dokument został zapisany"

FORMATS = [("F1", "faktFV_12_2010.txt"), ("F2", "fakt1234.xml"), ("F3", "fakt1234.xml"), ("F4", "fakt1234.epp")]


def databases(workdir):
    with open(SAMPLE, encoding="utf-8") as f:
        db = json.load(f)
    invoice = next(i for i in db["invoices"] if i["IdDokumentu"] == 1234)
    with open(os.path.join(workdir, "short.json"), "w", encoding="utf-8") as f:
        json.dump(db, f)
    invoice["lines"] = [dict(invoice["lines"][n % len(invoice["lines"])]) for n in range(3000)]
    with open(os.path.join(workdir, "long.json"), "w", encoding="utf-8") as f:
        json.dump(db, f)


def small_disk_unavailable():
    """Why the small disk cannot be made on this machine (some containers
    refuse a private mount namespace), or None."""
    with tempfile.TemporaryDirectory(prefix="kw-small-probe-") as folder:
        probe = subprocess.run(["unshare", "-m", "sh", "-c", "mount -t tmpfs -o size=64k tmpfs \"$0\"", folder],
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    return probe.stdout.decode(errors="replace").strip() or "exit %d" % probe.returncode if probe.returncode else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--welkor", required=True)
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("skipped: mounting a small tmpfs for FAKTURY needs root")
        return SKIPPED
    reason = small_disk_unavailable()
    if reason:
        print("skipped: cannot mount a small tmpfs in a private mount namespace here: %s" % reason)
        return SKIPPED
    welkor = os.path.abspath(args.welkor)
    problems = []
    for key, name in FORMATS:
        with tempfile.TemporaryDirectory(prefix="kw-small-") as workdir:
            databases(workdir)
            os.mkdir(os.path.join(workdir, "FAKTURY"))
            export = "%s --db {db} --answer 1001=%s export 1234" % (welkor, key)
            script = ("mount -t tmpfs -o size=64k tmpfs FAKTURY && "
                      "%s > short.out && cp FAKTURY/%s earlier && %s > long.out; "
                      "status=$?; ls -A FAKTURY > listing; cp FAKTURY/%s kept 2>/dev/null; exit $status") % (
                          export.format(db="short.json"), name, export.format(db="long.json"), name)
            run = subprocess.run(["unshare", "-m", "sh", "-c", script], cwd=workdir, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)

            def read(file, mode="r"):
                path = os.path.join(workdir, file)
                if not os.path.exists(path):
                    return None
                with open(path, mode) as f:
                    return f.read()

            where = "%s (%s)" % (key, name)
            if run.returncode != 0:
                problems.append("%s: exit %d: %s" % (where, run.returncode, run.stderr.decode(errors="replace")))
                continue
            short_out, long_out = read("short.out"), read("long.out") or ""
            if not short_out or SAVED not in short_out:
                problems.append("%s: the short export was not saved:\n%s" % (where, short_out))
                continue
            if WRITE_FAILED not in long_out or SAVED in long_out:
                problems.append("%s: the failure was not shown, or the export was confirmed:\n%s" % (where, long_out))
            if read("kept", "rb") != read("earlier", "rb"):
                problems.append("%s: the earlier file was not kept whole" % where)
            listing = sorted((read("listing") or "").split())
            expected = sorted({name, name[:-4] + ".pdf"})
            if listing != expected:
                problems.append("%s: FAKTURY holds %s, expected %s" % (where, listing, expected))
    for problem in problems:
        print(problem)
    print("%d of %d formats kept the earlier file on a full disk" % (len(FORMATS) - len(problems), len(FORMATS))
          if not problems else "FAILED")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
