#!/usr/bin/env python3
"""`welkor browse` on a real terminal: a detached tmux session of 80x25.

  browse.py --welkor build/welkor [--update-docs]

Runs the sample database's register with TERM=xterm-256color (export,
cancel, the e-mail dialog, a key for the host, a resize) and briefly with
TERM=linux. The captures of the register and of the export dialog must equal
docs/browse-register.txt and docs/browse-export-dialog.txt; --update-docs
writes them instead.
"""
import argparse
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.path.join(ROOT, "examples", "sample.json")
DOCS = os.path.join(ROOT, "docs")
TIMEOUT = 15


class Failure(Exception):
    pass


class Pane:
    """One tmux server of its own with one session running welkor."""

    def __init__(self, welkor, workdir, term):
        self.socket = "welkor-browse-%d-%s" % (os.getpid(), term)
        self.workdir = workdir
        config = os.path.join(workdir, "tmux.conf")
        with open(config, "w") as f:
            f.write("set -g remain-on-exit on\nset -g status off\n")
        command = "env TERM=%s LC_ALL=C.UTF-8 WELKOR_NOW='2024-03-05 10:30' %s --db db.json browse; echo $? >status" % (
            term, shlex.quote(welkor))
        self.tmux("-f", config, "new-session", "-d", "-s", "browse", "-x", "80", "-y", "25",
                  "-c", workdir, command)

    def tmux(self, *args):
        result = subprocess.run(["tmux", "-u", "-L", self.socket] + list(args), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, timeout=TIMEOUT)
        if result.returncode != 0:
            raise Failure("tmux %s: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "browse")

    def wait(self, condition, what):
        deadline = time.monotonic() + TIMEOUT
        while True:
            screen = self.screen()
            if condition(screen):
                return screen
            if time.monotonic() > deadline:
                raise Failure("waited in vain for %s; the screen:\n%s" % (what, screen))
            time.sleep(0.05)

    def wait_for(self, *texts):
        return self.wait(lambda s: all(t in s for t in texts), " and ".join(repr(t) for t in texts))

    def wait_gone(self, text):
        return self.wait(lambda s: text not in s, "%r to go" % text)

    def keys(self, *keys):
        self.tmux("send-keys", "-t", "browse", *keys)

    def type(self, text):
        self.tmux("send-keys", "-t", "browse", "-l", text)

    def exit_status(self):
        path = os.path.join(self.workdir, "status")
        deadline = time.monotonic() + TIMEOUT
        while not os.path.exists(path) or not open(path).read().endswith("\n"):
            if time.monotonic() > deadline:
                raise Failure("welkor did not end; the screen:\n%s" % self.screen())
            time.sleep(0.05)
        with open(path) as f:
            return int(f.read())

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], stderr=subprocess.DEVNULL)


def check(condition, message):
    if not condition:
        raise Failure(message)


def same_as_doc(screen, name, update):
    path = os.path.join(DOCS, name)
    if update:
        os.makedirs(DOCS, exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(screen)
        return
    with open(path, encoding="utf-8") as f:
        expected = f.read()
    check(screen == expected, "the screen differs from docs/%s:\n%s" % (name, screen))


def files(workdir, folder):
    path = os.path.join(workdir, folder)
    return sorted(os.listdir(path)) if os.path.isdir(path) else []


def xterm_session(welkor, workdir, update):
    pane = Pane(welkor, workdir, "xterm-256color")
    try:
        # Registration shows the install notice; it waits for a key, and the
        # register only takes keys once it is gone.
        screen = pane.wait_for("Zainstalowano wtyczkę do programu:", "naciśnij klawisz")
        check("Wtyczka:" not in screen, "the register went on behind the notice:\n" + screen)
        pane.keys("Down")
        screen = pane.wait_for("Wtyczka:")
        check("Zainstalowano" not in screen, "the notice stayed:\n" + screen)
        check(files(workdir, "FAKTURY") == [], "a key meant for the notice reached the register")

        # The register: every invoice, Polish letters intact.
        for text in ("FV/12/2010", "01.03.2024", "Zakład \"Ślusarz\" & Synowie", "196.15",
                     "Sklep Gęś i Syn s.c.", "Żabińska Anna \"Kwiaciarnia\"", "Hurtownia \"Żółć\""):
            check(text in screen, "the register lacks %r:\n%s" % (text, screen))
        same_as_doc(screen, "browse-register.txt", update)

        # The second row's invoice is exported, not the first one's.
        pane.keys("Down", "C-F3")
        screen = pane.wait_for("Eksport faktur", "ESC Anuluj")
        for text in ("F1 PC Market", "F2 Comarch Optima", "F3 Comarch EDI", "F4 Insert EDI++ (EPP)",
                     "F12 Velmora EDI"):
            check(text in screen, "the export dialog lacks %r:\n%s" % (text, screen))
        same_as_doc(screen, "browse-export-dialog.txt", update)

        # Esc writes nothing.
        pane.keys("Escape")
        pane.wait_for("Eksport: nic nie zapisano")
        check(files(workdir, "FAKTURY") == [] and files(workdir, "OUTBOX") == [], "Esc wrote files")

        # F2, then the e-mail dialog: a new address typed over the proposed one.
        pane.keys("C-F3")
        pane.wait_for("Eksport faktur")
        pane.keys("F2")
        pane.wait_for("Tworzenie pliku FAKTURY\\fakt1235.pdf")
        pane.keys("Enter")
        pane.wait_for("Wysylanie poczty", "zamowienia@ges.example.pl")
        pane.type("biuro@gęś.example.pl")
        pane.keys("BSpace", "BSpace")
        pane.type("pl")
        pane.wait_for("biuro@gęś.example.pl")
        pane.keys("F12")
        pane.wait_for("Dokument został zapisany")
        pane.keys("Space")
        pane.wait_for("Zapisano: FAKTURY/fakt1235.pdf, FAKTURY/fakt1235.xml, OUTBOX/000001.eml")
        check(files(workdir, "FAKTURY") == ["fakt1235.pdf", "fakt1235.xml"],
              "written: %s" % files(workdir, "FAKTURY"))
        with open(os.path.join(workdir, "FAKTURY", "fakt1235.pdf"), "rb") as f:
            check(f.read(5) == b"%PDF-", "fakt1235.pdf is no PDF")
        with open(os.path.join(workdir, "OUTBOX", "000001.eml"), encoding="utf-8") as f:
            mail = f.read()
        check("biuro@" in mail and "fakt1235.xml" in mail, "the mail lacks the address or the file")
        with open(os.path.join(workdir, "db.json"), encoding="utf-8") as f:
            customers = {c["Id"]: c for c in json.load(f)["customers"]}
        check(customers[51]["Email"] == "biuro@gęś.example.pl",
              "stored address: %r" % customers[51]["Email"])

        # Any other key goes on to the host's own handler.
        pane.keys("F5")
        pane.wait_for("Klawisz 0x3F00 obsłużony przez program")

        # A larger terminal gets the whole screen.
        pane.tmux("resize-window", "-t", "browse", "-x", "100", "-y", "30")
        screen = pane.wait(lambda s: len(s.splitlines()) == 30 and "F10 koniec" in s.splitlines()[-1],
                           "the register redrawn at 100x30")
        check(screen.splitlines()[0].rstrip().endswith("Sp. z o.o."), "header not redrawn:\n" + screen)

        pane.keys("F10")
        check(pane.exit_status() == 0, "welkor browse did not end with 0")
    finally:
        pane.close()


def linux_session(welkor, workdir):
    pane = Pane(welkor, workdir, "linux")
    try:
        pane.wait_for("naciśnij klawisz")
        pane.keys("Enter")
        screen = pane.wait_for("Wtyczka:", "Żabińska Anna")
        # The Linux console cannot send Ctrl+F3: Ctrl+E stands in for it.
        pane.keys("C-e")
        pane.wait_for("Eksport faktur", "ESC Anuluj")
        pane.keys("Escape")
        pane.wait_for("Eksport: nic nie zapisano")
        pane.keys("F10")
        check(pane.exit_status() == 0, "welkor browse did not end with 0 under TERM=linux")
    finally:
        pane.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--welkor", required=True)
    parser.add_argument("--update-docs", action="store_true")
    args = parser.parse_args()
    welkor = os.path.abspath(args.welkor)
    if not shutil.which("tmux"):
        print("FAIL: no tmux (scripts/setup.sh installs it)")
        return 1
    failures = 0
    for name, run in (("xterm-256color", lambda d: xterm_session(welkor, d, args.update_docs)),
                      ("linux", lambda d: linux_session(welkor, d))):
        workdir = tempfile.mkdtemp(prefix="welkor-browse-")
        try:
            shutil.copy(SAMPLE, os.path.join(workdir, "db.json"))
            run(workdir)
            print("ok   TERM=%s" % name)
        except Failure as e:
            failures += 1
            print("FAIL TERM=%s: %s" % (name, e))
        finally:
            shutil.rmtree(workdir, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
