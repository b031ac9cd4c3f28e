#!/usr/bin/env python3
"""Checks the exported files of the PC Market and Optima cases with outside readers.

For every case named pcmarket_* or optima_* that expects a data file, the
export runs again in a scratch folder, and then:
  - an Optima file must parse with `xmllint --noout` and its root must be in
    the namespace http://www.cdn.com.pl/optima/dokument;
  - a PC Market file must be Mazovia text (ASCII and the 18 Polish letters)
    with CR LF line ends only, named fakt<number>.txt after the invoice number
    with every character but ASCII letters and digits made "_";
  - the PDF must stand beside the data file and OUTBOX must hold one mail
    with both files attached.

  check_formats.py --welkor build/welkor [case ...]
"""
import email
import email.policy
import json
import os
import re
import subprocess
import sys
import tempfile

import e2e

NAMESPACE = "http://www.cdn.com.pl/optima/dokument"
MAZOVIA_LETTERS = {0x86, 0x8D, 0x8F, 0x90, 0x91, 0x92, 0x95, 0x98, 0x9C, 0x9E, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4,
                   0xA5, 0xA6, 0xA7}


def invoice_number(spec, case_dir):
    with open(os.path.join(case_dir, spec.get("db", "db.json")), encoding="utf-8") as f:
        db = json.load(f)
    wanted = spec["args"][1]
    for invoice in db["invoices"]:
        if str(invoice.get("IdDokumentu")) == wanted or invoice.get("NrFaktury") == wanted:
            return invoice.get("NrFaktury", "")
    raise KeyError(wanted)


def check_optima(path):
    problems = []
    lint = subprocess.run(["xmllint", "--noout", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if lint.returncode != 0:
        problems.append("xmllint: " + lint.stdout.decode(errors="replace"))
    namespace = subprocess.run(["xmllint", "--xpath", "namespace-uri(/*)", path], stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT)
    if namespace.stdout.decode().strip() != NAMESPACE:
        problems.append("root namespace is %r" % namespace.stdout.decode().strip())
    return problems


def check_pc_market(path, number):
    problems = []
    with open(path, "rb") as f:
        data = f.read()
    for i, byte in enumerate(data):
        if byte >= 0x80 and byte not in MAZOVIA_LETTERS:
            problems.append("byte 0x%02X at %d is not a Polish letter of Mazovia" % (byte, i))
            break
        if byte == 0x0A and (i == 0 or data[i - 1] != 0x0D):
            problems.append("a line ends without CR at byte %d" % i)
            break
        if byte == 0x0D and data[i + 1:i + 2] != b"\n":
            problems.append("a lone CR at byte %d" % i)
            break
    if not data.endswith(b"\r\n"):
        problems.append("the last line has no CR LF")
    safe = re.sub(r"[^A-Za-z0-9]", "_", number)
    if os.path.basename(path) != "fakt%s.txt" % safe:
        problems.append("file name %s does not follow the number %r" % (os.path.basename(path), number))
    return problems


def check_delivery(workdir, data_rel):
    problems = []
    base = os.path.splitext(data_rel)[0]
    if not os.path.isfile(os.path.join(workdir, base + ".pdf")):
        problems.append("no PDF beside %s" % data_rel)
    outbox = os.path.join(workdir, "OUTBOX")
    mails = sorted(os.listdir(outbox)) if os.path.isdir(outbox) else []
    if len(mails) != 1:
        return problems + ["OUTBOX holds %d mails, expected 1" % len(mails)]
    with open(os.path.join(outbox, mails[0]), "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    names = sorted(part.get_filename() or "" for part in message.iter_attachments())
    wanted = sorted(os.path.basename(p).replace("/", "\\").split("\\")[-1]
                    for p in (base + ".pdf", data_rel))
    if [n.split("\\")[-1] for n in names] != wanted:
        problems.append("mail attachments %s, expected %s" % (names, wanted))
    return problems


def check_case(name, welkor):
    case_dir = os.path.join(e2e.CASES, name)
    with open(os.path.join(case_dir, "case.json")) as f:
        spec = json.load(f)
    if not spec.get("files"):
        return None
    problems = []
    with tempfile.TemporaryDirectory(prefix="kw-formats-") as workdir:
        result = e2e.run_case(case_dir, spec, welkor, False, workdir)
        if result.returncode != 0:
            problems.append("exit status %d" % result.returncode)
        for data_rel in spec["files"]:
            path = os.path.join(workdir, data_rel)
            if not os.path.isfile(path):
                problems.append("%s was not written" % data_rel)
                continue
            if data_rel.endswith(".xml"):
                problems += check_optima(path)
            else:
                problems += check_pc_market(path, invoice_number(spec, case_dir))
            problems += check_delivery(workdir, data_rel)
        if "Dokument zosta\u0142 zapisany" not in result.stdout.decode("utf-8", errors="replace"):
            problems.append("no confirmation")
    return problems


def main():
    args = e2e.checker_arguments()
    welkor = args.welkor
    names = args.cases or e2e.cases_starting(("pcmarket_", "optima_"))
    return e2e.report(names, lambda name: check_case(name, welkor), "formats")


if __name__ == "__main__":
    sys.exit(main())
