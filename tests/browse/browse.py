#!/usr/bin/env python3
"""`welkor browse` on a real terminal: a detached tmux session of 80x25.

  browse.py --welkor build/welkor [--update-docs]

Runs the sample database's register with TERM=xterm-256color (export,
cancel, the e-mail dialog with Home/End and unknown escape sequences, a key
for the host, a resize), briefly with TERM=linux (arrow keys do not read the
output folders), and stops it with signals. However welkor ends, the terminal
must be given back as it was. The captures of the register and of the export
dialog must equal docs/browse-register.txt and docs/browse-export-dialog.txt;
--update-docs writes them instead.
"""
import argparse
import ctypes
import itertools
import json
import os
import shlex
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.path.join(ROOT, "examples", "sample.json")
DOCS = os.path.join(ROOT, "docs")
TIMEOUT = 15
PANES = itertools.count()


class Failure(Exception):
    pass


class Pane:
    """One tmux server of its own with one session running welkor."""

    def __init__(self, welkor, workdir, term):
        self.socket = "welkor-browse-%d-%d" % (os.getpid(), next(PANES))
        self.workdir = workdir
        config = os.path.join(workdir, "tmux.conf")
        with open(config, "w") as f:
            f.write("set -g remain-on-exit on\nset -g status off\n")
        # The terminal's modes before and after welkor, its process id for
        # signals, and no core file when a signal would leave one.
        run = shlex.join(["sh", "-c", 'echo $$ >pid; exec "$@"', "sh", "env", "TERM=" + term, "LC_ALL=C.UTF-8",
                          "WELKOR_NOW=2024-03-05 10:30", welkor, "--db", "db.json", "browse"])
        command = "ulimit -c 0; stty -g >stty.before; %s; s=$?; stty -g >stty.after; echo $s >status" % run
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
            if os.path.exists(os.path.join(self.workdir, "status")):
                raise Failure("welkor ended while waiting for %s; the screen:\n%s" % (what, screen))
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

    def send_bytes(self, data):
        """Bytes as the terminal would send them, in one piece."""
        self.tmux("send-keys", "-t", "browse", "-H", *("%02x" % b for b in data))

    def pid(self):
        with open(os.path.join(self.workdir, "pid")) as f:
            return int(f.read())

    def exit_status(self):
        """welkor's exit status once it ended, the terminal given back as it was."""
        path = os.path.join(self.workdir, "status")
        deadline = time.monotonic() + TIMEOUT
        while not os.path.exists(path) or not open(path).read().endswith("\n"):
            if time.monotonic() > deadline:
                raise Failure("welkor did not end; the screen:\n%s" % self.screen())
            time.sleep(0.05)
        modes = []
        for name in ("stty.before", "stty.after"):
            with open(os.path.join(self.workdir, name)) as f:
                modes.append(f.read())
        check(modes[0] == modes[1], "the terminal's modes were not restored: %s became %s" % tuple(modes))
        check(self.tmux("display-message", "-p", "-t", "browse", "#{alternate_on}").strip() == "0",
              "the terminal was left on the alternate screen:\n" + self.screen())
        with open(path) as f:
            return int(f.read())

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], stderr=subprocess.DEVNULL)


# Home and End as terminals send them, whatever TERM says.
HOME_END = [(b"\x1b[1~", b"\x1b[4~"), (b"\x1b[7~", b"\x1b[8~"), (b"\x1b[H", b"\x1b[F"),
            (b"\x1bOH", b"\x1bOF")]
# Sequences that mean no key here (bracketed paste, focus, a mouse report):
# none of their bytes may reach a field.
UNKNOWN_SEQUENCES = [b"\x1b[200~", b"\x1b[I", b"\x1b[<0;10;5M", b"\x1bOz"]

# A signal from outside, and where welkor is when it arrives.
SIGNALS = [(signal.SIGHUP, "register"), (signal.SIGQUIT, "dialog"), (signal.SIGTERM, "notice"),
           (signal.SIGINT, "register"), (signal.SIGABRT, "dialog")]


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
        # Home and End edit both ends of the field in each of their forms;
        # sequences that are no key type nothing (the stored address shows).
        for home, end in HOME_END:
            for sequence, key in ((home, "<"), (end, ">")):
                pane.send_bytes(sequence)
                pane.type(key)
            pane.wait_for("<biuro@gęś.example.pl>")
            for sequence, key in ((home, "DC"), (end, "BSpace")):
                pane.send_bytes(sequence)
                pane.keys(key)
            pane.wait(lambda s: "biuro@gęś.example.pl" in s and "<biuro" not in s and ".pl>" not in s,
                      "Home/End %r/%r to edit both ends of the field" % (home, end))
        for sequence in UNKNOWN_SEQUENCES:
            pane.send_bytes(sequence)
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


class FolderOpens:
    """Counts how often a folder itself is opened (inotify)."""

    IN_CLOSE_NOWRITE, IN_OPEN, IN_ISDIR = 0x10, 0x20, 0x40000000

    def __init__(self, folders):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        check(self.fd >= 0, "inotify: %s" % os.strerror(ctypes.get_errno()))
        # Closes watched too, so that successive opens are not merged into one event.
        for folder in folders:
            check(self.libc.inotify_add_watch(self.fd, folder.encode(), self.IN_OPEN | self.IN_CLOSE_NOWRITE) >= 0,
                  "inotify on %s: %s" % (folder, os.strerror(ctypes.get_errno())))

    def count(self):
        opens = 0
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return opens
            at = 0
            while at < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                at += 16 + length
                opens += length == 0 and mask & self.IN_OPEN and mask & self.IN_ISDIR and 1 or 0

    def close(self):
        os.close(self.fd)


def linux_session(welkor, workdir):
    # The output folders exist, so that reading them can be seen.
    folders = [os.path.join(workdir, name) for name in ("FAKTURY", "OUTBOX")]
    for folder in folders:
        os.mkdir(folder)
    opens = FolderOpens(folders)
    pane = Pane(welkor, workdir, "linux")
    try:
        pane.wait_for("naciśnij klawisz")
        pane.keys("Enter")
        screen = pane.wait_for("Wtyczka:", "Żabińska Anna")
        # Keys the plug-in hands on to the register write nothing: they do
        # not read the output folders, however many files these hold.
        opens.count()
        pane.keys(*["Down"] * 100, "x")
        pane.wait_for("Klawisz 0x0078 obsłużony przez program")
        read = opens.count()
        check(read == 0, "100 arrow keys read the output folders %d times" % read)
        # The Linux console cannot send Ctrl+F3: Ctrl+E stands in for it.
        pane.keys("C-e")
        pane.wait_for("Eksport faktur", "ESC Anuluj")
        pane.keys("Escape")
        pane.wait_for("Eksport: nic nie zapisano")
        check(opens.count() > 0, "the output folders were not read after an export")
        pane.keys("F10")
        check(pane.exit_status() == 0, "welkor browse did not end with 0 under TERM=linux")
    finally:
        opens.close()
        pane.close()


def signal_session(welkor, workdir):
    # How to get to each place, in order.
    steps = [("notice", [], "naciśnij klawisz"), ("register", ["Enter"], "Wtyczka:"),
             ("dialog", ["C-F3"], "Eksport faktur")]
    failed = []
    for number, place in SIGNALS:
        name = signal.Signals(number).name
        casedir = os.path.join(workdir, name)
        os.mkdir(casedir)
        shutil.copy(os.path.join(workdir, "db.json"), casedir)
        pane = Pane(welkor, casedir, "xterm-256color")
        try:
            for step, keys, text in steps:
                if keys:
                    pane.keys(*keys)
                pane.wait_for(text)
                if step == place:
                    break
            os.kill(pane.pid(), number)
            status = pane.exit_status()
            check(status == 128 + number, "exit status %d" % status)
        except Failure as e:
            failed.append("%s in the %s: %s" % (name, place, e))
        finally:
            pane.close()
    check(not failed, "\n".join(failed))


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
                      ("linux", lambda d: linux_session(welkor, d)),
                      ("xterm-256color, signals", lambda d: signal_session(welkor, d))):
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
