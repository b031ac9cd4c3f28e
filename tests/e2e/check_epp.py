#!/usr/bin/env python3
"""Checks the exported files of the Comarch EDI and EDI++ cases with outside readers.

For every case named edi_* or epp_* that expects a data file, the export runs
again in a scratch folder, and then:
  - a Comarch EDI file (.xml) must parse with `xmllint --noout`;
  - an EDI++ file (.epp) must decode as Windows-1250 and read with Python's
    strict csv reader record by record: [INFO] 24 fields, the invoice header
    62, each line 22, each goods record 42, the buyer 31 (goods and buyer
    records end with a comma), as many goods records as lines, CR LF line
    ends, and the file ends with "PL", and no line break;
  - the PDF must stand beside the data file.

  check_epp.py --welkor build/welkor [case ...]
"""
import csv
import json
import os
import subprocess
import sys
import tempfile

import e2e


def fields(line, count, trailing_comma):
    """The record's fields, or a problem text."""
    try:
        rows = list(csv.reader([line], strict=True))
    except csv.Error as error:
        return None, "not a CSV record (%s): %s" % (error, line)
    if len(rows) != 1:
        return None, "not one record: %s" % line
    row = rows[0]
    if trailing_comma:
        if not line.endswith(",") or row[-1] != "":
            return None, "record does not end with a comma: %s" % line
        row = row[:-1]
    if len(row) != count:
        return None, "%d fields, expected %d: %s" % (len(row), count, line)
    return row, None


class Reader:
    def __init__(self, lines):
        self.lines = lines
        self.at = 0

    def take(self):
        line = self.lines[self.at] if self.at < len(self.lines) else None
        self.at += 1
        return line

    def expect(self, *wanted):
        for w in wanted:
            got = self.take()
            if got != w:
                raise ValueError("line %d is %r, expected %r" % (self.at, got, w))

    def record(self, count, trailing_comma):
        line = self.take()
        if line is None:
            raise ValueError("the file ends before a record of %d fields" % count)
        row, problem = fields(line, count, trailing_comma)
        if problem:
            raise ValueError("line %d: %s" % (self.at, problem))
        return row

    def records_until_blank(self, count, trailing_comma):
        n = 0
        while self.at < len(self.lines) and self.lines[self.at] != "":
            self.record(count, trailing_comma)
            n += 1
        self.expect("")
        return n


def check_epp(path):
    with open(path, "rb") as f:
        data = f.read()
    problems = []
    if not data.endswith(b'"PL",'):
        problems.append('the file does not end with "PL", and no line break')
    if data.replace(b"\r\n", b"").count(b"\n") or data.replace(b"\r\n", b"").count(b"\r"):
        problems.append("a line break other than CR LF")
    try:
        text = data.decode("cp1250")
    except UnicodeDecodeError as error:
        return problems + ["not Windows-1250: %s" % error]
    r = Reader(text.split("\r\n"))
    try:
        r.expect("[INFO]")
        info = r.record(24, False)
        if info[0] != "1.08" or info[2] != "1250":
            raise ValueError("[INFO] names version %r, code page %r" % (info[0], info[2]))
        r.expect("[NAGLOWEK]")
        header = r.record(62, False)
        if r.lines[r.at] == "[ZAWARTOSC]":
            r.expect("[ZAWARTOSC]")
            lines = r.records_until_blank(22, False)
            if lines != int(header[24]):
                raise ValueError("%d line records, the header says %s" % (lines, header[24]))
            r.expect("[NAGLOWEK]", "", '"TOWARY"', "", "[ZAWARTOSC]")
            goods = r.records_until_blank(42, True)
            if goods != lines:
                raise ValueError("%d goods records for %d lines" % (goods, lines))
        else:
            r.expect("")  # no line table: straight on to the buyer
        r.expect("[NAGLOWEK]", "", '"KONTRAHENCI"', "", "[ZAWARTOSC]")
        r.record(31, True)
        if r.at != len(r.lines):
            raise ValueError("%d lines after the buyer record" % (len(r.lines) - r.at))
    except ValueError as error:
        problems.append(str(error))
    return problems


def check_edi(path):
    lint = subprocess.run(["xmllint", "--noout", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return [] if lint.returncode == 0 else ["xmllint: " + lint.stdout.decode(errors="replace")]


def check_case(name, welkor):
    case_dir = os.path.join(e2e.CASES, name)
    with open(os.path.join(case_dir, "case.json")) as f:
        spec = json.load(f)
    data_files = [p for p in spec.get("files", {}) if p.endswith((".xml", ".epp"))]
    if not data_files:
        return None
    problems = []
    with tempfile.TemporaryDirectory(prefix="kw-edi-epp-") as workdir:
        result = e2e.run_case(case_dir, spec, welkor, False, workdir)
        if result.returncode != 0:
            problems.append("exit status %d" % result.returncode)
        for rel in data_files:
            path = os.path.join(workdir, rel)
            if not os.path.isfile(path):
                problems.append("%s was not written" % rel)
                continue
            problems += check_edi(path) if rel.endswith(".xml") else check_epp(path)
            if not os.path.isfile(os.path.splitext(path)[0] + ".pdf"):
                problems.append("no PDF beside %s" % rel)
    return problems


def main():
    args = e2e.checker_arguments()
    welkor = args.welkor
    names = args.cases or e2e.cases_starting(("edi_", "epp_"))
    return e2e.report(names, lambda name: check_case(name, welkor), "edi/epp")


if __name__ == "__main__":
    sys.exit(main())
