#!/usr/bin/env python3
"""F5 with sending on, through the front end, against the stand-in KSeF
(tests/ksef/standin.py) started here: every ending leaves the invoice accepted
exactly once (the stand-in's own record says so) or not accepted, and the
journal FAKTURY/ksef-wysylka.txt says which; a second F5 always ends with it
accepted once.

  ksef_send.py --welkor build/welkor [CASE...]
  ksef_send.py --wine --welkor build-win/welkor.exe [CASE...]   the Windows
      build under wine (WINEPREFIX from the caller), CA= as a Windows path

Cases: each sample invoice; a fault of each kind at each step; the front end
killed at each step of a send while the stand-in holds that step's request,
before KSeF does the step and after (kill_before_send, kill_after_send...),
and at four random moments (kills_random, KW_SEED for the seed), each then
followed by F5: at most one copy and a journal true to KSeF's record at
once, one copy after, and the killed send's lock left to nobody; four F5s on
one invoice at once; a server certificate from another root, a wrong token
and settings without Srodowisko= (nothing sent); the token at rest (under
wine sealed into TokenChroniony= after its first use and sent with from a new
process, a sealed token that cannot be opened refused; natively left as
given). No token may appear in any file, journal or message. Exit 77 (skip)
without ../shared/ksef.
"""
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import e2e

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
STANDIN = os.path.join(ROOT, "tests", "ksef", "standin.py")
SCHEMAS = os.path.normpath(os.path.join(ROOT, "..", "shared", "ksef", "schemas"))
SAMPLE = os.path.join(ROOT, "examples", "sample.json")
SELLER_NIP = "7251801126"
TOKEN = "20261210-EC-ABCDEF0123-4567890ABC-DE|nip-7251801126|0123456789abcdef0123456789abcdef"
NOW = {1234: "2026-03-05 10:30", 1235: "2026-07-15 08:05", 1236: "2026-10-25 02:30"}
STEPS = ["challenge", "auth", "auth-status", "redeem", "open", "send", "invoice-status", "close", "upo"]
HOLD = 20  # seconds the stand-in keeps a held request; the front end is killed as it begins
ACCEPTED = "Numer KSeF: "
PYTHON = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable
WINE = "--wine" in sys.argv  # the same cases, the Windows build under wine
if WINE:
    sys.argv.remove("--wine")


class StandIn:
    def __init__(self, state, other_root=False, port=None):
        self.state = state
        for name in ("port", "base-url"):
            if os.path.exists(os.path.join(state, name)):
                os.remove(os.path.join(state, name))
        command = [PYTHON, STANDIN, state, "--token", "%s=%s" % (SELLER_NIP, TOKEN)]
        if other_root:
            command.append("--other-root")
        if port:
            command += ["--port", str(port)]
        self.log = open(os.path.join(state, "standin.log"), "ab")
        self.process = subprocess.Popen(command, stdout=self.log, stderr=self.log, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while not all(os.path.exists(os.path.join(state, n)) for n in ("port", "base-url")):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the stand-in KSeF did not start")
            time.sleep(0.05)
        # By name: Mbed TLS matches a certificate to a host name, not to an IP address.
        self.base = read_text(os.path.join(state, "base-url")).strip().replace("127.0.0.1", "localhost")
        self.port = int(read_text(os.path.join(state, "port")))

    def knobs(self, knobs):
        write_text(os.path.join(self.state, "knobs.json"), json.dumps(knobs))

    def accepted(self, number):
        path = os.path.join(self.state, "accepted.json")
        entries = json.loads(read_text(path)) if os.path.exists(path) else []
        if isinstance(entries, dict):
            entries = entries.get("invoices", [])
        return [e for e in entries if e.get("invoiceNumber") == number and e.get("sellerNip") == SELLER_NIP]

    def close(self):
        self.process.kill()
        self.process.wait()
        self.log.close()


def read_text(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def write_text(path, text):
    with open(path + ".new", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".new", path)


def invoice_number(invoice):
    with open(SAMPLE, encoding="utf-8") as f:
        return next(i["NrFaktury"] for i in json.load(f)["invoices"] if i["IdDokumentu"] == invoice)


def program_path(path):
    """A path as the program under test takes it: under wine on drive Z:."""
    return "Z:" + path.replace("/", "\\") if WINE else path


def prepare(workdir, standin, settings=None):
    shutil.copy(SAMPLE, os.path.join(workdir, "db.json"))
    keys = {"Eksport": "1", "Wysylka": "1", "Srodowisko": "TEST", "Token": TOKEN, "AdresAPI": standin.base,
            "CA": program_path(os.path.join(standin.state, "ca.pem"))}
    keys.update(settings or {})
    lines = ["[kwitom]", "Pytaj=1", "[KSeF]"] + ["%s=%s" % (k, v) for k, v in keys.items() if v is not None]
    write_text(os.path.join(workdir, "kwitom.ini"), "\r\n".join(lines) + "\r\n")


def command(welkor, invoice):
    return (["wine"] if WINE else []) + [welkor, "--db", "db.json", "--answer", "1001=F5", "export", str(invoice)]


def environment(invoice):
    return dict(os.environ, WELKOR_NOW=NOW[invoice])


def f5(welkor, workdir, invoice):
    # Wine now and then hangs a program before it starts (see e2e.py); such an
    # F5 is ended and pressed again, which the journal must survive anyway.
    attempts = e2e.WINE_ATTEMPTS if WINE else 1
    for attempt in range(1, attempts + 1):
        try:
            result = e2e.run_captured(command(welkor, invoice), e2e.WINE_TIMEOUT if WINE else 300, cwd=workdir,
                                      env=environment(invoice))
            return result.stdout.decode("utf-8", errors="replace"), result.returncode
        except subprocess.TimeoutExpired:
            if attempt == attempts:
                raise
            print("note: F5 of invoice %d hung under wine (attempt %d of %d); pressed again"
                  % (invoice, attempt, attempts), flush=True)


def journal(workdir):
    path = os.path.join(workdir, "FAKTURY", "ksef-wysylka.txt")
    return read_text(path) if os.path.exists(path) else ""


def token_leaks(workdir, outputs):
    """Every place outside kwitom.ini that holds the token."""
    places = ["output %d" % i for i, text in enumerate(outputs) if TOKEN in text]
    for root, _, names in os.walk(workdir):
        for name in names:
            path = os.path.join(root, name)
            if name == "kwitom.ini" or os.path.islink(path):
                continue
            with open(path, "rb") as f:
                if TOKEN.encode() in f.read():
                    places.append(os.path.relpath(path, workdir))
    return places


def accepted_once(problems, standin, workdir, invoice, said, label):
    """The ending of a second F5: the invoice accepted exactly once, its
    number shown, the receipt beside it and the journal saying so."""
    entries = standin.accepted(invoice_number(invoice))
    if len(entries) != 1:
        problems.append("%s: KSeF holds %d copies of invoice %d" % (label, len(entries), invoice))
        return
    number = entries[0]["ksefNumber"]
    if ACCEPTED + number not in said:
        problems.append("%s: the KSeF number %s was not shown:\n%s" % (label, number, said))
    upo = os.path.join(workdir, "FAKTURY", "ksef%d-upo.xml" % invoice)
    if not os.path.exists(upo) or b"<" not in open(upo, "rb").read(200):
        problems.append("%s: no receipt FAKTURY/ksef%d-upo.xml" % (label, invoice))
    lines = [line.split("\t") for line in journal(workdir).splitlines()]
    if not any(number in fields and "PRZYJETA" in fields for fields in lines):
        problems.append("%s: the journal does not record %s as accepted:\n%s" % (label, number, journal(workdir)))


def check_sample(welkor, state, invoice):
    standin = StandIn(state)
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-") as workdir:
            prepare(workdir, standin)
            said, status = f5(welkor, workdir, invoice)
            problems = [] if status == 0 else ["exit status %d" % status]
            accepted_once(problems, standin, workdir, invoice, said, "invoice %d" % invoice)
            again, _ = f5(welkor, workdir, invoice)
            if "już wcześniej przyjęta" not in again:
                problems.append("a second F5 did not say the invoice was accepted before:\n%s" % again)
            if len(standin.accepted(invoice_number(invoice))) != 1:
                problems.append("a second F5 sent the invoice again")
            problems += ["the token is in %s" % p for p in token_leaks(workdir, [said, again])]
            return problems
    finally:
        standin.close()


def check_fault(welkor, state, step, kind):
    standin = StandIn(state)
    invoice = 1235
    fault = {"step": step, "kind": kind}
    if kind == "429":
        fault["retryAfter"] = 1
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-") as workdir:
            prepare(workdir, standin)
            standin.knobs({"faults": [fault]})
            first, _ = f5(welkor, workdir, invoice)
            problems = []
            copies = len(standin.accepted(invoice_number(invoice)))
            if copies > 1:
                problems.append("the first F5 left %d copies" % copies)
            if copies == 1 and ACCEPTED not in first and "nie nadeszła" not in first:
                problems.append("accepted, but the first F5 said neither its number nor that the answer was lost:\n"
                                + first)
            if copies == 0 and ACCEPTED in first:
                problems.append("the first F5 showed a KSeF number that KSeF does not hold:\n" + first)
            standin.knobs({})
            second, _ = f5(welkor, workdir, invoice)
            accepted_once(problems, standin, workdir, invoice, second, "after %s at %s" % (kind, step))
            problems += ["the token is in %s" % p for p in token_leaks(workdir, [first, second])]
            return problems
    finally:
        standin.close()


def journal_untruths(standin, workdir, invoice):
    """What the journal says of the invoice that KSeF's own record denies: an
    acceptance under a KSeF number KSeF does not hold for it, or, while KSeF
    holds it, no line or a last word of "not sent" or "rejected"."""
    held = {e["ksefNumber"] for e in standin.accepted(invoice_number(invoice))}
    lines = [fields for fields in (line.split("\t") for line in journal(workdir).splitlines())
             if len(fields) > 7 and fields[1] == str(invoice)]
    untrue = ["the journal records %s as accepted, which KSeF does not hold" % fields[7]
              for fields in lines if fields[6] == "PRZYJETA" and fields[7] not in held]
    if held and not lines:
        untrue.append("KSeF holds the invoice, the journal has no line of it")
    elif held and lines[-1][6] in ("NIEWYSLANA", "ODRZUCONA"):
        untrue.append("the journal ends in %s while KSeF holds the invoice" % lines[-1][6])
    return untrue


def after_kill(problems, welkor, standin, workdir, invoice, label, killed_said):
    """What a killed F5 leaves, then a second F5: at most one copy and a true
    journal at once; one copy, its number and receipt after the second; the
    killed one's lock held by nobody."""
    copies = len(standin.accepted(invoice_number(invoice)))
    if copies > 1:
        problems.append("%s: %d copies" % (label, copies))
    problems += ["%s, before F5 again: %s:\n%s" % (label, p, journal(workdir))
                 for p in journal_untruths(standin, workdir, invoice)]
    said, _ = f5(welkor, workdir, invoice)
    if "jest właśnie wysyłana" in said:  # nobody holds the killed send's lock any more
        problems.append("%s: the killed send still blocks:\n%s" % (label, said))
    accepted_once(problems, standin, workdir, invoice, said, label)
    problems += ["%s, after F5 again: %s:\n%s" % (label, p, journal(workdir))
                 for p in journal_untruths(standin, workdir, invoice)]
    problems += ["%s: the token is in %s" % (label, p) for p in token_leaks(workdir, [killed_said, said])]


def wait_for_line(path, line, process, seconds):
    """Whether the line appears in the file before the process ends or the time is up."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and process.poll() is None:
        if os.path.exists(path) and line in read_text(path).splitlines():
            return True
        time.sleep(0.02)
    return os.path.exists(path) and line in read_text(path).splitlines()


def check_kill(welkor, state, step, when):
    """The front end killed while the stand-in holds one step's request:
    "before", KSeF never did the step; "after", it did and the answer never
    came. Then F5 again."""
    invoice = 1234
    label = "killed %s %s" % (when, step)
    standin = StandIn(state)
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-kill-") as workdir:
            prepare(workdir, standin)
            standin.knobs({"faults": [{"step": step, "kind": "hold", "when": when, "seconds": HOLD}]})
            # Output to a file, not a pipe: wine's helpers may hold a pipe open.
            with tempfile.TemporaryFile() as out:
                process = subprocess.Popen(command(welkor, invoice), cwd=workdir, env=environment(invoice),
                                           stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
                try:
                    held = wait_for_line(os.path.join(standin.state, "faults.log"), "%s hold-%s" % (step, when),
                                         process, 60)
                finally:
                    process.kill()
                    process.wait()
                out.seek(0)
                killed_said = out.read().decode("utf-8", errors="replace")
            standin.knobs({})
            if not held:
                return ["%s: the send never reached %s (exit status %s):\n%s"
                        % (label, step, process.returncode, killed_said)]
            problems = []
            after_kill(problems, welkor, standin, workdir, invoice, label, killed_said)
            return problems
    finally:
        standin.close()


def check_random_kills(welkor, state, kills):
    """The front end killed at moments spread over a whole send, between the
    server's calls as well (writing the file, the journal, the receipt), then
    F5 again. Each round has a stand-in of its own (the keys made once are
    reused), so that no round's invoice is another's duplicate."""
    invoice = 1234
    problems = []
    template = StandIn(state)
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-time-") as timing:
            prepare(timing, template)
            started = time.monotonic()
            f5(welkor, timing, invoice)
            whole = time.monotonic() - started
    finally:
        template.close()
    seed = int(os.environ.get("KW_SEED", time.time()))
    rng = random.Random(seed)
    for n in range(kills):
        with tempfile.TemporaryDirectory(prefix="kw-ksef-round-") as round_state, \
                tempfile.TemporaryDirectory(prefix="kw-ksef-kill-") as workdir:
            for name in os.listdir(state):
                if name.endswith(".pem"):
                    shutil.copy(os.path.join(state, name), round_state)
            standin = StandIn(round_state)
            try:
                prepare(workdir, standin)
                moment = rng.uniform(0, whole)
                process = subprocess.Popen(command(welkor, invoice), cwd=workdir, env=environment(invoice),
                                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
                time.sleep(moment)
                process.send_signal(signal.SIGKILL)
                process.wait()
                label = "kill %d at %.2f s of %.2f (seed %d)" % (n, moment, whole, seed)
                after_kill(problems, welkor, standin, workdir, invoice, label, "")
            finally:
                standin.close()
    return problems


def ini_keys(workdir):
    keys = {}
    for line in read_text(os.path.join(workdir, "kwitom.ini")).splitlines():
        key, sep, value = line.partition("=")
        if sep:
            keys[key.strip()] = value.strip()
    return keys


def check_token_at_rest(welkor, state):
    """Windows: after the first send KSeF let in, kwitom.ini holds the token
    only sealed, a new process sends with the sealed one, and a sealed token
    that cannot be opened is refused with its message. Natively the token
    stays as given."""
    standin = StandIn(state)
    problems = []
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-") as workdir:
            prepare(workdir, standin)
            first, _ = f5(welkor, workdir, 1234)
            accepted_once(problems, standin, workdir, 1234, first, "first send")
            keys = ini_keys(workdir)
            if not WINE:
                if keys.get("Token") != TOKEN or "TokenChroniony" in keys:
                    problems.append("natively the token is not left as given: %r" % keys)
                return problems
            if TOKEN in read_text(os.path.join(workdir, "kwitom.ini")) or keys.get("Token"):
                problems.append("kwitom.ini still holds the plain token: %r" % keys)
            if not keys.get("TokenChroniony"):
                problems.append("kwitom.ini holds no TokenChroniony=: %r" % keys)
            second, _ = f5(welkor, workdir, 1235)  # a new process, the sealed token only
            accepted_once(problems, standin, workdir, 1235, second, "sent with the sealed token")
            # A blob sealed elsewhere: DPAPI refuses it, the user is told to enter the token again.
            sealed = keys.get("TokenChroniony", "")
            text = read_text(os.path.join(workdir, "kwitom.ini")).replace(sealed, "B" + sealed[1:])
            write_text(os.path.join(workdir, "kwitom.ini"), text)
            third, _ = f5(welkor, workdir, 1236)
            if "Wpisz token KSeF ponownie" not in third:
                problems.append("a sealed token that cannot be opened was not refused:\n" + third)
            if standin.accepted(invoice_number(1236)):
                problems.append("invoice 1236 was sent without a token that could be opened")
            problems += ["the token is in %s" % p for p in token_leaks(workdir, [first, second, third])]
            return problems
    finally:
        standin.close()


def check_receipt_later(welkor, state):
    """KSeF accepts the invoice but gives no receipt for the whole send: the
    number is shown and recorded; the next F5 sends nothing and fetches the
    receipt."""
    invoice = 1235
    standin = StandIn(state)
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-") as workdir:
            prepare(workdir, standin)
            standin.knobs({"faults": [{"step": "upo", "kind": "5xx", "count": 1000}]})
            first, _ = f5(welkor, workdir, invoice)
            standin.knobs({})
            problems = []
            upo = os.path.join(workdir, "FAKTURY", "ksef%d-upo.xml" % invoice)
            if ACCEPTED not in first or os.path.exists(upo):
                problems.append("without a receipt, the first F5 should show the number and leave no receipt:\n"
                                + first)
            second, _ = f5(welkor, workdir, invoice)
            if "już wcześniej przyjęta" not in second:
                problems.append("the second F5 did not say the invoice was accepted before:\n" + second)
            accepted_once(problems, standin, workdir, invoice, second, "receipt fetched later")
            problems += ["the token is in %s" % p for p in token_leaks(workdir, [first, second])]
            return problems
    finally:
        standin.close()


def check_four_at_once(welkor, state):
    standin = StandIn(state)
    invoice = 1236
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-") as workdir:
            prepare(workdir, standin)
            standin.knobs({"slowInvoiceStatus": {"seconds": 1, "count": 1}})
            files = [tempfile.TemporaryFile() for _ in range(4)]
            processes = [subprocess.Popen(command(welkor, invoice), cwd=workdir, env=environment(invoice),
                                          stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
                         for out in files]
            outputs = []
            for process, out in zip(processes, files):
                process.wait(timeout=300)
                out.seek(0)
                outputs.append(out.read().decode("utf-8", errors="replace"))
                out.close()
            problems = []
            copies = standin.accepted(invoice_number(invoice))
            if len(copies) != 1:
                problems.append("%d copies accepted" % len(copies))
            for n, said in enumerate(outputs):
                if ACCEPTED not in said and "jest właśnie wysyłana" not in said:
                    problems.append("F5 %d showed neither the number nor that it is being sent:\n%s" % (n, said))
            return problems
    finally:
        standin.close()


def check_refused(welkor, state, what):
    """Nothing is sent, and the message says why."""
    invoice = 1234
    expected = {"other_root": "zaufanego certyfikatu", "wrong_token": "nie przyjął tokenu",
                "no_environment": "brak klucza Srodowisko=", "unreachable": "Nie udało się połączyć z KSeF"}[what]
    standin = StandIn(state)
    if what == "other_root":  # the same address, now with a certificate of the other root
        port = standin.port
        standin.close()
        standin = StandIn(state, other_root=True, port=port)
    try:
        with tempfile.TemporaryDirectory(prefix="kw-ksef-") as workdir:
            settings = {"Token": TOKEN[::-1]} if what == "wrong_token" else {}
            if what == "no_environment":
                settings["Srodowisko"] = None
            prepare(workdir, standin, settings)
            if what == "unreachable":  # nobody listens at the address any more
                standin.process.kill()
                standin.process.wait()
            said, _ = f5(welkor, workdir, invoice)
            problems = []
            if expected not in said:
                problems.append("the message does not say '%s':\n%s" % (expected, said))
            if standin.accepted(invoice_number(invoice)):
                problems.append("the invoice was accepted")
            problems += ["the token is in %s" % p for p in token_leaks(workdir, [said])]
            return problems
    finally:
        standin.close()


def cases():
    # The developer's loop (KW_LOOP) keeps one case of each kind, the random kills left out.
    loop = bool(os.environ.get("KW_LOOP"))
    named = {"sample_%d" % i: (lambda i: lambda w, s: check_sample(w, s, i))(i)
             for i in ((1235,) if loop else (1234, 1235, 1236))}
    for step in (["send"] if loop else STEPS):
        for kind in (("drop",) if loop else ("429", "5xx", "drop")):
            named["fault_%s_%s" % (kind, step)] = (lambda st, k: lambda w, s: check_fault(w, s, st, k))(step, kind)
    # A kill at each step, before KSeF does it and after; the loop keeps the
    # one that leaves a send whose outcome only KSeF knows.
    for step in (["send"] if loop else STEPS):
        for when in (("after",) if loop else ("before", "after")):
            named["kill_%s_%s" % (when, step)] = (lambda st, wh: lambda w, s: check_kill(w, s, st, wh))(step, when)
    if not loop:
        named["kills_random"] = lambda w, s: check_random_kills(w, s, 4)
    named["four_at_once"] = check_four_at_once
    if not loop or WINE:  # natively it only finds the token left as given
        named["token_at_rest"] = check_token_at_rest
    if not loop:  # waits out the receipt's bound
        named["receipt_later"] = check_receipt_later
    for what in (("wrong_token",) if loop else ("other_root", "wrong_token", "no_environment", "unreachable")):
        named["refused_" + what] = (lambda what: lambda w, s: check_refused(w, s, what))(what)
    return named


def main():
    if not os.path.exists(os.path.join(SCHEMAS, "schemat.xsd")):
        print("skipped: the KSeF schemas (../shared/ksef) are not there")
        return 77
    args = e2e.checker_arguments()
    named = cases()

    with tempfile.TemporaryDirectory(prefix="kw-ksef-keys-") as keys:
        # The stand-in's keys and certificates, made once: making them takes
        # most of a stand-in's start.
        StandIn(keys).close()

        def check(name):
            with tempfile.TemporaryDirectory(prefix="kw-ksef-state-") as state:
                for pem in os.listdir(keys):
                    if pem.endswith(".pem"):
                        shutil.copy(os.path.join(keys, pem), state)
                try:
                    return named[name](args.welkor, state)
                except Exception as e:  # one case's breakdown is that case's failure
                    log = os.path.join(state, "standin.log")
                    served = read_text(log).splitlines()[-6:] if os.path.exists(log) else []
                    return ["%s: %r" % (type(e).__name__, e)] + ["  stand-in: " + line for line in served]

        return e2e.report(args.cases or list(named), check, "KSeF sending", workers=2)


if __name__ == "__main__":
    sys.exit(main())
