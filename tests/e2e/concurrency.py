#!/usr/bin/env python3
"""Several copies of the program on one working folder at once.

Offices share one data folder among workstations, and users open two copies
of the program on one machine. Here eight `welkor export` processes at a time
share one folder — the database, FAKTURY, TMP, OUTBOX and the settings files:
mixed formats, the same and different invoices, each answering the mail
dialog with an address of its own, the mail going into OUTBOX or to a slow
SMTP server on 127.0.0.1. Afterwards every process said what a lone export
says, every mail went exactly once and carries the invoice of the customer
it went to, every file is whole, and every stored address and setting was
kept. Then exports are killed at random moments, and every file they touch
must be its earlier or its new whole self (a killed writer's own temporary
file may stay, but never under a real file's name).

  concurrency.py --welkor build/welkor [--seed N]
  concurrency.py --welkor build/welkor --wine build-win/welkor.exe
      the exports run under wine, fewer of them, mail into OUTBOX only (the
      Windows build has no SMTP); the native build gives the expected files
"""
import argparse
import copy
import email
import email.policy
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time

import e2e

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "..", "..", "examples", "sample.json")
SMTP_SINK = os.path.join(HERE, "..", "mail", "smtp_sink.py")

ENV = {"WELKOR_NOW": "2024-03-05 10:30"}
PROCESSES = 8
FORMATS = ["F1", "F2", "F3", "F4"]
CUSTOMERS = range(101, 109)  # one invoice each, 2001 ... 2008
SELLER_ILN = "5901234123457"
SMTP_DELAY = 0.3  # seconds the server takes to accept each message

KWITOM_INI = b"[KSeF]\r\nEksport=1\r\n"
KWITOM_AFTER = KWITOM_INI + b"[kwitom]\r\nPytaj=1\r\n"
WELKOR_INI = b"[Inne]\r\nKlucz=staly\r\n"
NOTICE = "Zainstalowano wtyczkę do programu:\nEksport faktur. Rejestr faktur sprzedazy - Ctrl+F3\n"
EXPORT_FAILED = "Nie udało się zapisać pliku eksportu faktury"
SETTLED = {"db.json", "kwitom.ini", "WELKOR.INI", "FAKTURY", "TMP", "OUTBOX",
           "db.json.lock", "kwitom.ini.lock", "WELKOR.INI.lock"}
TEMPORARY = re.compile(r".*\.tmp$")


class Problems(list):
    def expect(self, condition, message):
        if not condition:
            self.append(message)
        return condition


# ---- the database and the exports -----------------------------------------------

def test_database():
    """The sample database with eight more customers, each with an invoice."""
    with open(SAMPLE, encoding="utf-8") as f:
        db = json.load(f)
    model_customer = next(c for c in db["customers"] if c["Id"] == 51)
    model_invoice = next(i for i in db["invoices"] if i["IdDokumentu"] == 1235)
    for cid in CUSTOMERS:
        customer = dict(model_customer, Id=cid, Symbol="K%d" % cid, Nazwa="Klient %d" % cid)
        customer.pop("Email")
        db["customers"].append(customer)
        invoice = copy.deepcopy(model_invoice)
        invoice.update(IdDokumentu=invoice_of(cid), NrFaktury="FV/%d/2024" % invoice_of(cid), IdKontrahenta=cid,
                       SymbolOdbiorcy=customer["Symbol"], NazwaOdbiorcy=customer["Nazwa"])
        db["invoices"].append(invoice)
    return db


def invoice_of(cid):
    return 2001 + cid - CUSTOMERS[0]


def buyer_iln(cid):
    return "59098765%05d" % invoice_of(cid)


def write_json(path, value):
    with open(path, "w", encoding="utf-8") as f:
        json.dump(value, f, ensure_ascii=False, indent=2)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, content):
    with open(path, "wb") as f:
        f.write(content)


class Export:
    """One export: invoice, format, the address typed into the mail dialog."""

    def __init__(self, cid, fmt, address):
        self.cid, self.fmt, self.address = cid, fmt, address

    def command(self, welkor, wine):
        answers = ["1001=" + self.fmt, "1002=1=%s,F12" % self.address]
        if self.fmt == "F3":
            answers.append("1003=1=%s,2=%s,F12" % (SELLER_ILN, buyer_iln(self.cid)))
        command = (["wine", welkor] if wine else [welkor]) + ["--db", "db.json"]
        for answer in answers:
            command += ["--answer", answer]
        return command + ["export", str(invoice_of(self.cid))]


def start(export, welkor, wine, workdir):
    return subprocess.Popen(export.command(welkor, wine), cwd=workdir, env=dict(os.environ, **ENV),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def shown(stdout):
    """What an export said, without the install notice, which only the first
    of the processes that start together shows."""
    return e2e.normalise(stdout).decode("utf-8", errors="replace").replace(NOTICE, "")


# ---- what a lone export writes ------------------------------------------------------

class Expected:
    """Each invoice and format exported alone, in a folder of its own: what it
    says, the data file and the printout it writes. Data files are compared
    byte for byte; a printout natively passes `qpdf --check` (its time stamp
    differs), under wine it is the build's plain record, compared whole."""

    REFERENCE_ADDRESS = "ref@example.com"

    def __init__(self, native, wine_welkor, db):
        self.native, self.wine_welkor, self.db = native, wine_welkor, db
        self.said = {}       # (cid, fmt) -> stdout with the reference address
        self.names = {}      # (cid, fmt) -> (data file name, printout name)
        self.data = {}       # data file name -> set of whole contents
        self.printouts = {}  # printout name -> one lone export's print record (wine only)

    def learn(self, cid, fmt):
        if (cid, fmt) in self.said:
            return
        with tempfile.TemporaryDirectory(prefix="kw-conc-ref-") as workdir:
            prepare_folder(workdir, self.db)
            export = Export(cid, fmt, self.REFERENCE_ADDRESS)
            result = subprocess.run(export.command(self.native, False), cwd=workdir, env=dict(os.environ, **ENV),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    timeout=120)
            if result.returncode != 0:
                raise RuntimeError("a lone export of %s failed: %s" % (export.command(self.native, False),
                                                                      result.stdout.decode(errors="replace")))
            files = sorted(os.listdir(os.path.join(workdir, "FAKTURY")))
            data = [n for n in files if not n.endswith(".pdf")]
            pdf = [n for n in files if n.endswith(".pdf")]
            assert len(data) == 1 and len(pdf) == 1, files
            self.said[cid, fmt] = shown(result.stdout)
            self.names[cid, fmt] = (data[0], pdf[0])
            self.data.setdefault(data[0], set()).add(read(os.path.join(workdir, "FAKTURY", data[0])))
            if pdf[0] not in self.printouts:
                self.printouts[pdf[0]] = self.wine_printout(export) if self.wine_welkor else None

    def wine_printout(self, export):
        for attempt in range(3):
            with tempfile.TemporaryDirectory(prefix="kw-conc-ref-") as workdir:
                prepare_folder(workdir, self.db)
                try:
                    subprocess.run(export.command(self.wine_welkor, True), cwd=workdir, env=dict(os.environ, **ENV),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   timeout=e2e.WINE_TIMEOUT)
                except subprocess.TimeoutExpired:
                    continue
                name = self.names[export.cid, export.fmt][1]
                return read(os.path.join(workdir, "FAKTURY", name))
        raise RuntimeError("a lone export under wine did not finish")

    def said_by(self, export):
        return self.said[export.cid, export.fmt].replace(self.REFERENCE_ADDRESS, export.address)

    def whole_data(self, name, content):
        return content in self.data.get(name, ())

    def whole_data_size(self, name, size):
        return size in {len(content) for content in self.data.get(name, ())}

    def whole_printout(self, name, content):
        if not self.wine_welkor:
            return pdf_checks(content)
        # The calls that the record lists first differ between the formats;
        # the printout that ends it is the invoice's.
        printout = self.printouts[name].split(b"\r\n\r\n", 1)[1]
        return content.startswith(b"WELKOR print record") and content.endswith(b"\r\n\r\n" + printout)


def pdf_checks(content):
    with tempfile.NamedTemporaryFile(suffix=".pdf") as f:
        f.write(content)
        f.flush()
        return subprocess.run(["qpdf", "--check", f.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0


def prepare_folder(workdir, db):
    write_json(os.path.join(workdir, "db.json"), db)
    write(os.path.join(workdir, "kwitom.ini"), KWITOM_INI)
    write(os.path.join(workdir, "WELKOR.INI"), WELKOR_INI)


# ---- mails ---------------------------------------------------------------------------

class Mail:
    """A mail file: its recipient, subject and attachments (name, bytes, size;
    under wine the plain record gives only the names and sizes)."""

    def __init__(self, content, wine):
        self.attachments = []
        if wine:
            text = content.decode("utf-8", errors="replace")
            self.to = header(text, "To")
            self.subject = header(text, "Subject")
            self.attachments = [(m.group(1), None, int(m.group(2)))
                                for m in re.finditer(r"^Attachment: (\S+) \(.*, (\d+) bytes\)\r?$", text, re.M)]
            self.defects = [] if text.endswith("bytes)\r\n") else ["the record is cut"]
            return
        message = email.message_from_bytes(content, policy=email.policy.default)
        self.to = str(message["To"] or "")
        self.subject = str(message["Subject"] or "")
        self.defects = [type(d).__name__ for part in message.walk() for d in part.defects]
        if message.get_content_type() != "multipart/mixed":
            self.defects.append("not multipart/mixed")
        for part in message.iter_attachments():
            payload = part.get_payload(decode=True)
            self.attachments.append((part.get_filename(), payload, len(payload)))


def header(text, name):
    m = re.search(r"^%s: (.*?)\r?$" % name, text, re.M)
    return m.group(1) if m else ""


def check_mail(where, mail, exports, expected, problems):
    """The mail went to an address one of `exports` typed and carries that
    export's invoice; returns the address."""
    problems.expect(not mail.defects, "%s: %s" % (where, mail.defects))
    export = next((e for e in exports if e.address == mail.to), None)
    if not problems.expect(export is not None, "%s went to %r, which no export typed" % (where, mail.to)):
        return None
    number = "FV/%d/2024" % invoice_of(export.cid)
    problems.expect(mail.subject == "Faktura nr " + number,
                    "%s to customer %d has the subject %r, expected %s" % (where, export.cid, mail.subject, number))
    data_name, pdf_name = expected.names[export.cid, export.fmt]
    names = [name for name, _, _ in mail.attachments]
    if problems.expect(names == [pdf_name, data_name],
                       "%s to customer %d attaches %s, expected %s" % (where, export.cid, names,
                                                                      [pdf_name, data_name])):
        (_, pdf, _), (_, data, data_size) = mail.attachments
        if pdf is not None:
            problems.expect(pdf_checks(pdf), "%s: the attached %s is no whole PDF" % (where, pdf_name))
        whole = expected.whole_data(data_name, data) if data is not None else \
            expected.whole_data_size(data_name, data_size)
        problems.expect(whole, "%s: the attached %s is not what a lone export writes" % (where, data_name))
    return mail.to


# ---- the folder's state --------------------------------------------------------------

def check_files(workdir, expected, problems, leftovers_allowed):
    """Every real file in the folder is whole; what else is there is a killed
    writer's temporary file (allowed only after kills)."""
    for entry in sorted(os.listdir(workdir)):
        if entry in SETTLED:
            continue
        problems.expect(leftovers_allowed and TEMPORARY.match(entry), "stray file %s in the folder" % entry)
    faktury = os.path.join(workdir, "FAKTURY")
    for name in sorted(os.listdir(faktury)) if os.path.isdir(faktury) else []:
        content = read(os.path.join(faktury, name))
        if name in expected.data:
            problems.expect(expected.whole_data(name, content), "FAKTURY/%s is not whole" % name)
        elif name in expected.printouts:
            problems.expect(expected.whole_printout(name, content), "FAKTURY/%s is no whole printout" % name)
        else:
            problems.expect(leftovers_allowed and TEMPORARY.match(name), "stray file FAKTURY/%s" % name)
    outbox = os.path.join(workdir, "OUTBOX")
    for name in sorted(os.listdir(outbox)) if os.path.isdir(outbox) else []:
        problems.expect(re.match(r"^\d{6}\.eml$", name) or (leftovers_allowed and TEMPORARY.match(name)),
                        "stray file OUTBOX/%s" % name)
    if not leftovers_allowed:
        tmp = os.path.join(workdir, "TMP")
        left = sorted(os.listdir(tmp)) if os.path.isdir(tmp) else []
        problems.expect(not left, "TMP holds %s" % left)


def check_database(workdir, before, exports, problems, finished):
    """db.json is whole and holds, for every customer that an export typed an
    address for, one of those addresses — or, where the exports may have
    been killed (`finished` false), the address it had; nothing else
    changed."""
    try:
        with open(os.path.join(workdir, "db.json"), encoding="utf-8") as f:
            now = json.load(f)
    except ValueError as e:
        problems.append("db.json is not whole: %s" % e)
        return
    typed = {}
    for e in exports:
        typed.setdefault(e.cid, set()).add(e.address)
    expected = copy.deepcopy(before)
    for customer in expected["customers"]:
        got = next((c for c in now.get("customers", []) if c.get("Id") == customer["Id"]), {})
        if got.get("Email") in typed.get(customer["Id"], ()):
            customer["Email"] = got["Email"]
        elif finished and customer["Id"] in typed:
            customer["Email"] = "one of " + ", ".join(sorted(typed[customer["Id"]]))
    problems.expect(now == expected, "db.json lost or mixed changes: %s" % database_difference(expected, now))


def database_difference(expected, now):
    if set(expected) != set(now):
        return "sections %s, expected %s" % (sorted(now), sorted(expected))
    for key in expected:
        if key != "customers" and expected[key] != now[key]:
            return "section %s differs" % key
    wanted = {c["Id"]: c for c in expected["customers"]}
    got = {c.get("Id"): c for c in now["customers"]}
    differ = ["%s: %s, expected %s" % (cid, got.get(cid, {}).get("Email"), wanted[cid].get("Email"))
              for cid in wanted if got.get(cid) != wanted[cid]]
    return "; ".join(differ) or "customers %s" % sorted(got)


def welkor_ini_states(buyers):
    """Every whole state of WELKOR.INI: the section the test put there, then
    the ILNs, each as one of the exports wrote it."""
    states = {WELKOR_INI, WELKOR_INI + b"[EOCD]\r\nSeller=%s\r\n" % SELLER_ILN.encode()}
    for buyer in buyers:
        states.add(WELKOR_INI + b"[EOCD]\r\nSeller=%s\r\nBuyer=%s\r\n" % (SELLER_ILN.encode(), buyer.encode()))
    return states


def check_settings(workdir, kwitom_states, welkor_states, problems):
    for name, states in (("kwitom.ini", kwitom_states), ("WELKOR.INI", welkor_states)):
        path = os.path.join(workdir, name)
        content = read(path) if os.path.exists(path) else None
        problems.expect(content in states, "%s is %r" % (name, content))


def database_now(workdir, last_whole):
    """db.json as it is; one that is not whole (already reported) is put back
    as it last was, so that the next exports have a database to work on."""
    path = os.path.join(workdir, "db.json")
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except ValueError:
        write_json(path, last_whole)
        return copy.deepcopy(last_whole)


def set_mail_server(workdir, port, last_whole):
    db = database_now(workdir, last_whole)
    db["mail"].update(server="127.0.0.1" if port else "", port=port or 25)
    write_json(os.path.join(workdir, "db.json"), db)
    return db


# ---- the cases -----------------------------------------------------------------------

class Run:
    def __init__(self, args):
        self.native = os.path.abspath(args.welkor)
        self.welkor = os.path.abspath(args.wine) if args.wine else self.native
        self.wine = bool(args.wine)
        self.random = random.Random(args.seed)
        self.db = test_database()
        self.expected = Expected(self.native, self.welkor if self.wine else None, self.db)
        self.buyers = set()  # every buyer ILN typed so far
        self.timeout = e2e.WINE_TIMEOUT if self.wine else 60

    def exports(self, count, round_number):
        """`count` exports, the first ones in pairs on the same invoice."""
        customers = self.random.sample(list(CUSTOMERS), count - count // 4)
        customers = customers[:count // 4] * 2 + customers[count // 4:]
        exports = []
        for n, cid in enumerate(customers):
            fmt = self.random.choice(FORMATS)
            exports.append(Export(cid, fmt, "c%d.r%d.p%d@example.com" % (cid, round_number, n)))
            self.expected.learn(cid, fmt)
            if fmt == "F3":
                self.buyers.add(buyer_iln(cid))
        return exports

    def rounds(self, workdir, count, smtp):
        problems = Problems()
        for number in range(1, count + 1):
            port = smtp.port if smtp and number % 2 == 0 else None
            label = "round %d (%s)" % (number, "SMTP" if port else "OUTBOX")
            before = set_mail_server(workdir, port, self.db)
            write(os.path.join(workdir, "kwitom.ini"), KWITOM_INI)
            exports = self.exports(PROCESSES, number)
            outbox = os.path.join(workdir, "OUTBOX")
            seen = set(os.listdir(outbox)) if os.path.isdir(outbox) else set()
            sent = smtp.received() if smtp else set()
            processes = [start(e, self.welkor, self.wine, workdir) for e in exports]
            round_problems = Problems()
            for export, process in zip(exports, processes):
                try:
                    out, err = process.communicate(timeout=self.timeout)
                except subprocess.TimeoutExpired:
                    process.kill()
                    out, err = process.communicate()
                    round_problems.append("%s did not finish" % export.address)
                    continue
                said = shown(out)
                round_problems.expect(EXPORT_FAILED not in said, "%s: %s" % (export.address, EXPORT_FAILED))
                round_problems.expect(process.returncode == 0 and said == self.expected.said_by(export),
                                      "%s (%s of %d) exited %d and said:\n%s\n--- where a lone export says:\n%s%s" % (
                                          export.address, export.fmt, invoice_of(export.cid), process.returncode,
                                          said, self.expected.said_by(export), err.decode(errors="replace")))
            if port:
                mails = [("SMTP %s" % name, content, rcpt) for name, content, rcpt in smtp.messages(sent)]
            else:
                new = sorted(set(os.listdir(outbox)) - seen)
                mails = [("OUTBOX/" + n, read(os.path.join(outbox, n)), None) for n in new if n.endswith(".eml")]
            addresses = []
            for where, content, rcpt in mails:
                mail = Mail(content, self.wine)
                if rcpt is not None:
                    round_problems.expect(rcpt == [mail.to], "%s: envelope %s, header %r" % (where, rcpt, mail.to))
                addresses.append(check_mail(where, mail, exports, self.expected, round_problems))
            for export in exports:
                count = addresses.count(export.address)
                round_problems.expect(count == 1, "the mail to %s arrived %d times" % (export.address, count))
            check_files(workdir, self.expected, round_problems, leftovers_allowed=False)
            check_database(workdir, before, exports, round_problems, finished=True)
            self.db = database_now(workdir, before)
            check_settings(workdir, {KWITOM_AFTER}, welkor_ini_states(self.buyers), round_problems)
            print("%s %s: %s" % ("FAIL" if round_problems else "ok  ", label,
                                 ", ".join("%d %s" % (invoice_of(e.cid), e.fmt) for e in exports)), flush=True)
            problems += ["%s: %s" % (label, p) for p in round_problems]
        return problems

    def kills(self, workdir, count, batch):
        """Exports in batches of `batch` at once, each killed at a random
        moment of its run, until `count` were killed; after each batch every
        file is whole."""
        problems = Problems()
        self.db = set_mail_server(workdir, None, self.db)
        duration = self.lone_duration(workdir)
        killed = finished = 0
        number = 0
        while killed < count and number < 3 * count:
            number += 1
            before = database_now(workdir, self.db)
            write(os.path.join(workdir, "kwitom.ini"), KWITOM_INI)
            exports = self.exports(batch, 100 + number)
            outbox = os.path.join(workdir, "OUTBOX")
            seen = set(os.listdir(outbox)) if os.path.isdir(outbox) else set()
            moments = sorted((self.random.uniform(0, duration * 1.5), n) for n in range(batch))
            started = time.monotonic()
            processes = [start(e, self.welkor, self.wine, workdir) for e in exports]
            for moment, n in moments:
                time.sleep(max(0.0, started + moment - time.monotonic()))
                if processes[n].poll() is None:
                    processes[n].send_signal(signal.SIGKILL)
                    killed += 1
                else:
                    finished += 1
            for process in processes:
                process.communicate(timeout=self.timeout)
            batch_problems = Problems()
            new = sorted(n for n in set(os.listdir(outbox)) - seen if n.endswith(".eml"))
            addresses = [check_mail("OUTBOX/" + n, Mail(read(os.path.join(outbox, n)), self.wine), exports,
                                    self.expected, batch_problems) for n in new]
            for export in exports:
                batch_problems.expect(addresses.count(export.address) <= 1,
                                      "the mail to %s arrived more than once" % export.address)
            check_files(workdir, self.expected, batch_problems, leftovers_allowed=True)
            check_database(workdir, before, exports, batch_problems, finished=False)
            self.db = database_now(workdir, before)
            check_settings(workdir, {KWITOM_INI, KWITOM_AFTER}, welkor_ini_states(self.buyers), batch_problems)
            problems += ["kill batch %d: %s" % (number, p) for p in batch_problems]
        print("%s kills: %d killed, %d finished first, in batches of %d" % (
            "FAIL" if problems else "ok  ", killed, finished, batch), flush=True)
        return problems

    def lone_duration(self, workdir):
        """How long one export takes here, alone; kills fall within it."""
        with tempfile.TemporaryDirectory(prefix="kw-conc-time-") as other:
            prepare_folder(other, self.db)
            export = Export(CUSTOMERS[0], "F2", "c0.r0.p0@example.com")
            started = time.monotonic()
            subprocess.run(export.command(self.welkor, self.wine), cwd=other, env=dict(os.environ, **ENV),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=self.timeout)
            return time.monotonic() - started


class SlowSmtp:
    """tests/mail/smtp_sink.py on 127.0.0.1, answering each message late."""

    def __init__(self, folder):
        self.folder = os.path.join(folder, "received")
        ready = os.path.join(folder, "port")
        python = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable
        self.process = subprocess.Popen([python, SMTP_SINK, self.folder, ready, "--delay", str(SMTP_DELAY)])
        deadline = time.monotonic() + 20
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the SMTP sink did not start")
            time.sleep(0.05)
        self.port = int(read(ready))

    def received(self):
        return set(n for n in os.listdir(self.folder) if n.endswith(".eml"))

    def messages(self, before):
        for name in sorted(self.received() - before):
            base = os.path.join(self.folder, name[:-4])
            yield name, read(base + ".eml"), read(base + ".rcpt").decode().split()

    def close(self):
        self.process.kill()
        self.process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--welkor", required=True, help="the native front end (also gives the expected files)")
    parser.add_argument("--wine", help="a Windows build's welkor.exe: run the exports under wine")
    parser.add_argument("--seed", type=int, default=int(time.time()))
    args = parser.parse_args()
    print("seed %d" % args.seed, flush=True)
    run = Run(args)
    rounds, kills, batch = (6, 24, 4) if run.wine else (10, 100, 4)
    if os.environ.get("KW_LOOP"):  # the developer's loop (check.sh): a fifth of the volume
        rounds, kills = 2, kills // 5
    with tempfile.TemporaryDirectory(prefix="kw-conc-") as workdir, \
            tempfile.TemporaryDirectory(prefix="kw-conc-smtp-") as mailroom:
        prepare_folder(workdir, run.db)
        smtp = None if run.wine else SlowSmtp(mailroom)
        try:
            problems = run.rounds(workdir, rounds, smtp) + run.kills(workdir, kills, batch)
        finally:
            if smtp:
                smtp.close()
    for problem in problems:
        print("  " + problem)
    print("concurrency: %s" % ("%d problems" % len(problems) if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
