#!/usr/bin/env python3
"""Validates the KSeF FA(3) documents against the Ministry's schema set.

Every expected ksef*.xml of the ksef_* cases, and every FAKTURY/ksef*.xml that
those cases write when run again in a scratch folder, must validate with
xmllint offline against ../shared/ksef (relative to the repository root),
which is kept out of the repository. Without it the check is skipped (exit 77).

  check_ksef.py --welkor build/welkor [case ...]
"""
import glob
import json
import os
import subprocess
import sys
import tempfile

import e2e

ROOT = os.path.dirname(os.path.dirname(e2e.HERE))
KSEF = os.path.normpath(os.path.join(ROOT, "..", "shared", "ksef"))
SKIP = 77


def validate(path):
    """None when the document validates, else xmllint's complaint."""
    env = dict(os.environ, XML_CATALOG_FILES=os.path.join(KSEF, "schemas", "catalog.xml"))
    result = subprocess.run(["xmllint", "--nonet", "--noout", "--schema", os.path.join(KSEF, "schemas", "schemat.xsd"),
                             path], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        return result.stdout.decode(errors="replace").strip()
    return None


def main():
    args = e2e.checker_arguments()
    if not os.path.isfile(os.path.join(KSEF, "schemas", "schemat.xsd")):
        print("SKIP: %s not found; the KSeF FA(3) schema check did not run" % KSEF)
        return SKIP
    welkor = args.welkor
    names = args.cases or e2e.cases_starting("ksef_")
    # The schema check itself must be able to fail: the Ministry's example
    # validates, and the same with a wrong country code does not.
    example = os.path.join(KSEF, "examples", "FA_3_Przykład_1.xml")
    failed = 0
    with tempfile.TemporaryDirectory(prefix="kw-ksef-") as scratch:
        broken = os.path.join(scratch, "broken.xml")
        with open(example, encoding="utf-8") as f:
            text = f.read()
        with open(broken, "w", encoding="utf-8") as f:
            f.write(text.replace("<KodKraju>PL</KodKraju>", "<KodKraju>XX</KodKraju>", 1))
        if validate(example) is not None or validate(broken) is None:
            print("FAIL the schema set does not tell a valid example from a broken one")
            return 1
    checked = 0
    for name in names:
        case_dir = os.path.join(e2e.CASES, name)
        with open(os.path.join(case_dir, "case.json")) as f:
            spec = json.load(f)
        documents = sorted(glob.glob(os.path.join(case_dir, "ksef*.xml")))
        with tempfile.TemporaryDirectory(prefix="kw-ksef-") as workdir:
            e2e.run_case(case_dir, spec, welkor, False, workdir)
            documents += sorted(glob.glob(os.path.join(workdir, "FAKTURY", "ksef*.xml")))
            for path in documents:
                problem = validate(path)
                label = "%s %s" % (name, os.path.relpath(path, case_dir if path.startswith(case_dir) else workdir))
                checked += 1
                if problem:
                    failed += 1
                    print("FAIL %s\n  %s" % (label, problem.replace("\n", "\n  ")))
                else:
                    print("ok   %s" % label)
    print("ksef: %d documents, %d failed" % (checked, failed))
    return 1 if failed or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
