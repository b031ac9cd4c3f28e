#!/usr/bin/env python3
"""Faults of the stand-in host's own files and mail, through the front end.

Each case exports invoice 1234 of examples/sample.json as Optima XML in a new
empty folder and checks what the user is shown and what is left on disk:
  - a full folder under the printout or the outbox (a small tmpfs mounted in
    a private mount namespace; root only, skipped otherwise);
  - a database file that is read-only, or a link to the real file;
  - a mail server on 127.0.0.1 that stalls at its greeting or inside the
    message (the host's delivery limit is shortened through
    WELKOR_MAIL_TIMEOUT).

  host_faults.py --welkor build/welkor [CASE...]
"""
import json
import os
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

import e2e

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "..", "..", "examples", "sample.json")

PRINT_FAILED = "[WELKOR]\nNie udało się zapisać wydruku do pliku FAKTURY\\fakt1234.pdf\n"
DB_FAILED = "[WELKOR]\nNie udało się zapisać zmian w bazie danych:\n"
BUILD_FAILED = "Błąd podczas tworzenia pliku emaila!"
SEND_FAILED = "Błąd podczas wysyłania emaila!"
NEW_ADDRESS = "1002=1=nowy@example.com,F12"
MAIL_LIMIT = 3  # seconds, in place of the host's 120


class Skip(Exception):
    pass


def write_db(workdir, change=None, name="db.json"):
    with open(SAMPLE, encoding="utf-8") as f:
        db = json.load(f)
    if change:
        change(db)
    path = os.path.join(workdir, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(db, f, ensure_ascii=False, indent=2)
    return path


def welkor_command(welkor, answers):
    command = [welkor, "--db", "db.json", "--answer", "1001=F2"]
    for answer in answers:
        command += ["--answer", answer]
    return command + ["export", "1234"]


def run(command, workdir, env=None, timeout=120):
    environment = dict(os.environ, WELKOR_NOW="2024-03-05 10:30")
    environment.update(env or {})
    started = time.monotonic()
    result = subprocess.run(command, cwd=workdir, env=environment, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    return result, time.monotonic() - started


def unshare_available():
    return (os.geteuid() == 0 and shutil.which("unshare") and
            subprocess.run(["unshare", "-m", "true"], stderr=subprocess.DEVNULL).returncode == 0)


def run_on_small_folder(welkor, workdir, folder, size):
    """Runs the export with `folder` a tmpfs of `size`; what the run left
    there is copied to FOLDER.seen before the mount goes with its namespace."""
    if not unshare_available():
        raise Skip("needs root and unshare -m for a small tmpfs")
    os.makedirs(os.path.join(workdir, folder))
    script = "mount -t tmpfs -o size=%s tmpfs %s || exit 99; %s; rc=$?; cp -a %s %s.seen; exit $rc" % (
        size, folder, " ".join(shlex.quote(a) for a in welkor_command(welkor, [])), folder, folder)
    result, _ = run(["unshare", "-m", "sh", "-c", script], workdir)
    if result.returncode == 99:
        raise Skip("cannot mount a tmpfs here")
    return result


def stdout_of(result):
    return result.stdout.decode("utf-8", errors="replace")


# ---- the cases: each returns a list of problems --------------------------------

def printout_on_full_folder(welkor, workdir):
    write_db(workdir)
    result = run_on_small_folder(welkor, workdir, "FAKTURY", "12k")
    out, seen = stdout_of(result), os.path.join(workdir, "FAKTURY.seen")
    problems = []
    if PRINT_FAILED not in out:
        problems.append("no host message about the printout")
    if BUILD_FAILED not in out:
        problems.append("the mail was built without the printout")
    if os.path.exists(os.path.join(seen, "fakt1234.pdf")):
        problems.append("a cut printout was left")
    if os.path.exists(os.path.join(workdir, "OUTBOX")):
        problems.append("a mail was delivered")
    return problems, out


def outbox_on_full_folder(welkor, workdir):
    write_db(workdir)
    result = run_on_small_folder(welkor, workdir, "OUTBOX", "8k")
    out, seen = stdout_of(result), os.path.join(workdir, "OUTBOX.seen")
    problems = []
    if SEND_FAILED not in out:
        problems.append("the failed delivery was not shown")
    left = sorted(os.listdir(seen)) if os.path.isdir(seen) else ["(folder missing)"]
    if left:
        problems.append("the outbox holds %s" % left)
    return problems, out


def read_only_database(welkor, workdir):
    path = write_db(workdir)
    os.chmod(path, 0o444)
    with open(path, "rb") as f:
        before = f.read()
    result, _ = run(welkor_command(welkor, [NEW_ADDRESS]), workdir)
    out = stdout_of(result)
    problems = []
    if DB_FAILED not in out or "tylko do odczytu" not in out:
        problems.append("the refused write was not shown")
    with open(path, "rb") as f:
        if f.read() != before:
            problems.append("the read-only database changed")
    if os.stat(path).st_mode & 0o777 != 0o444:
        problems.append("the database lost its mode")
    # The settings files' locks stay beside them; the refused database has none.
    leftovers = sorted(set(os.listdir(workdir)) - {"db.json", "FAKTURY", "TMP", "OUTBOX", "kwitom.ini", "WELKOR.INI",
                                                   "kwitom.ini.lock", "WELKOR.INI.lock"})
    if leftovers:
        problems.append("left behind: %s" % leftovers)
    return problems, out


def linked_database(welkor, workdir):
    target = write_db(workdir, name="data/real.json")
    os.symlink("data/real.json", os.path.join(workdir, "db.json"))
    result, _ = run(welkor_command(welkor, [NEW_ADDRESS]), workdir)
    out = stdout_of(result)
    problems = []
    if not os.path.islink(os.path.join(workdir, "db.json")):
        problems.append("the link was replaced by a file")
    with open(target, encoding="utf-8") as f:
        customer = next(c for c in json.load(f)["customers"] if c["Id"] == 42)
    if customer.get("Email") != "nowy@example.com":
        problems.append("the linked file does not hold the new address")
    if DB_FAILED in out:
        problems.append("a failure was shown")
    return problems, out


class StallingServer:
    """An SMTP server that stops answering: at once ("greeting"), or after
    accepting DATA, reading a little of the message ("data")."""

    def __init__(self, where):
        self.where = where
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.connections = []
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        try:
            conn, _ = self.listener.accept()
        except OSError:
            return
        self.connections.append(conn)
        if self.where == "greeting":
            return
        reader = conn.makefile("rb")
        conn.sendall(b"220 stall.invalid ESMTP\r\n")
        for line in reader:
            verb = line[:4].upper()
            if verb in (b"EHLO", b"HELO"):
                conn.sendall(b"250 stall.invalid\r\n")
            elif verb == b"DATA":
                conn.sendall(b"354 go ahead\r\n")
                reader.read(1024)
                return  # and never reads or answers again
            else:
                conn.sendall(b"250 ok\r\n")

    def close(self):
        self.listener.close()
        for conn in self.connections:
            conn.close()


def mail_server_stalls(where):
    def case(welkor, workdir):
        server = StallingServer(where)
        try:
            write_db(workdir, lambda db: db["mail"].update(server="127.0.0.1", port=server.port))
            result, elapsed = run(welkor_command(welkor, []), workdir, {"WELKOR_MAIL_TIMEOUT": str(MAIL_LIMIT)})
        finally:
            server.close()
        out = stdout_of(result)
        problems = []
        if SEND_FAILED not in out:
            problems.append("the failed delivery was not shown")
        if elapsed > MAIL_LIMIT + 3:
            problems.append("the export took %.1f s with a limit of %d s" % (elapsed, MAIL_LIMIT))
        return problems, out
    return case


CASES = {
    "printout_on_full_folder": printout_on_full_folder,
    "outbox_on_full_folder": outbox_on_full_folder,
    "read_only_database": read_only_database,
    "linked_database": linked_database,
    "mail_server_stalls_at_greeting": mail_server_stalls("greeting"),
    "mail_server_stalls_in_data": mail_server_stalls("data"),
}


def check(name, welkor):
    with tempfile.TemporaryDirectory(prefix="kw-faults-") as workdir:
        try:
            problems, out = CASES[name](welkor, workdir)
        except Skip as reason:
            print("skip %s: %s" % (name, reason))
            return None
    return problems + ["--- stdout\n" + out] if problems else problems


def main():
    args = e2e.checker_arguments()
    welkor = args.welkor
    # The cases share nothing but the machine, and two of them mostly wait for
    # the mail limit: run them side by side.
    return e2e.report(args.cases or list(CASES), lambda name: check(name, welkor), "host faults", workers=4)


if __name__ == "__main__":
    sys.exit(main())
