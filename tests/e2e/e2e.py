#!/usr/bin/env python3
"""End-to-end runs of the welkor front end.

Each case is a folder under tests/e2e/cases holding case.json:
  {"args": ["export", "1234"], "answers": ["1001=F2"], "db": "db.json",
   "exit": 0, "stdout": "stdout.txt",
   "files": {"FAKTURY/fakt1234.xml": "fakt1234.xml"},
   "absent": ["FAKTURY/fakt1234.pdf"], "dirs": ["FAKTURY"],
   "env": {"WELKOR_NOW": "2024-03-05 10:30"}, "windows": true,
   "symlinks": {"FAKTURY/fakt1234.xml": "/dev/full"},
   "folders": ["FAKTURY/fakt1234.pdf"]}
The case runs in a new empty directory; stdout and the listed files must equal
the expected files byte for byte. "db" and the files of "setup_files" are named
relative to the case folder (the raw_records_* cases share ../../raw_records,
and cases with the same records share a file of ../../databases).
"symlinks" makes links in the working directory before the run (for a file
that cannot be written; native only, so such cases say "windows": false);
"folders" makes empty folders there (a folder where a file is to be written).

  e2e.py --welkor build/welkor                 run every case natively
  e2e.py --welkor build-win/welkor.exe --wine  run them under wine
  e2e.py --welkor A --compare B               run A natively and B under wine,
                                               and compare every output
"""
import argparse
import concurrent.futures
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, "cases")


# A run under wine (itself under qemu on some machines) now and then hangs
# before the program starts; such a run is retried in a fresh folder rather
# than failing the whole comparison.
WINE_TIMEOUT = 180
WINE_ATTEMPTS = 3


def prepare(case_dir, spec, workdir):
    for entry in os.listdir(workdir):
        path = os.path.join(workdir, entry)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.remove(path)
    db = spec.get("db", "db.json")
    if db:
        shutil.copy(os.path.join(case_dir, db), os.path.join(workdir, "db.json"))
    for setup in spec.get("setup_files", {}):
        target = os.path.join(workdir, setup)
        os.makedirs(os.path.dirname(target) or workdir, exist_ok=True)
        shutil.copy(os.path.join(case_dir, spec["setup_files"][setup]), target)
    for folder in spec.get("folders", []):
        os.makedirs(os.path.join(workdir, folder))
    for link, points_to in spec.get("symlinks", {}).items():
        target = os.path.join(workdir, link)
        os.makedirs(os.path.dirname(target) or workdir, exist_ok=True)
        os.symlink(points_to, target)


def run_captured(command, timeout, **options):
    """subprocess.run with stdout and stderr captured in files, not pipes:
    the helper processes that wine starts beside a program inherit its
    output and keep a pipe open for seconds after the program has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        status = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout,
                                **options).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, status, out.read(), err.read())


def run_case(case_dir, spec, welkor, wine, workdir):
    db = spec.get("db", "db.json")
    command = ["wine", welkor] if wine else [welkor]
    if db:
        command += ["--db", "db.json"]
    for answer in spec.get("answers", []):
        command += ["--answer", answer]
    command += spec["args"]
    env = dict(os.environ)
    env.update(spec.get("env", {}))
    attempts = WINE_ATTEMPTS if wine else 1
    for attempt in range(1, attempts + 1):
        prepare(case_dir, spec, workdir)
        try:
            return run_captured(command, WINE_TIMEOUT if wine else 600, cwd=workdir, env=env)
        except subprocess.TimeoutExpired:
            if attempt == attempts:
                raise
            print("note: %s hung under wine (attempt %d of %d); retrying" % (
                os.path.basename(case_dir), attempt, attempts), flush=True)
            subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL)


def normalise(stdout):
    # The plug-in names its own module file in some messages.
    return stdout.replace(b"kwitomat.dll", b"kwitomat.so")


def check_case(name, welkor, wine):
    case_dir = os.path.join(CASES, name)
    with open(os.path.join(case_dir, "case.json")) as f:
        spec = json.load(f)
    if wine and not spec.get("windows", True):
        return []
    problems = []
    with tempfile.TemporaryDirectory(prefix="kw-e2e-") as workdir:
        result = run_case(case_dir, spec, welkor, wine, workdir)
        if result.returncode != spec.get("exit", 0):
            problems.append("exit status %d, expected %d; stderr:\n%s" % (
                result.returncode, spec.get("exit", 0), result.stderr.decode(errors="replace")))
        if "stdout" in spec:
            with open(os.path.join(case_dir, spec["stdout"]), "rb") as f:
                expected = f.read()
            if normalise(result.stdout) != expected:
                problems.append("stdout differs:\n--- expected\n%s\n--- got\n%s" % (
                    expected.decode(errors="replace"), normalise(result.stdout).decode(errors="replace")))
        for produced, expected_name in spec.get("files", {}).items():
            path = os.path.join(workdir, produced)
            if not os.path.exists(path):
                problems.append("%s was not written" % produced)
                continue
            with open(path, "rb") as f:
                got = f.read()
            with open(os.path.join(case_dir, expected_name), "rb") as f:
                expected = f.read()
            if got != expected:
                problems.append("%s differs from %s" % (produced, expected_name))
        for absent in spec.get("absent", []):  # a pattern: temporary names hold a part of the writer's own
            if glob.glob(os.path.join(workdir, absent)):
                problems.append("%s should not exist" % absent)
        for directory in spec.get("dirs", []):
            if not os.path.isdir(os.path.join(workdir, directory)):
                problems.append("folder %s should exist" % directory)
    return problems


def outputs(name, welkor, wine):
    """stdout and every file a run leaves, for comparing two builds."""
    case_dir = os.path.join(CASES, name)
    with open(os.path.join(case_dir, "case.json")) as f:
        spec = json.load(f)
    with tempfile.TemporaryDirectory(prefix="kw-cmp-") as workdir:
        result = run_case(case_dir, spec, welkor, wine, workdir)
        files = {}
        for root, _, names in os.walk(workdir):
            for n in names:
                path = os.path.join(root, n)
                rel = os.path.relpath(path, workdir)
                # The printout and mail are recorded, not rendered, on Windows.
                if rel == "db.json" or rel.endswith(".pdf") or rel.startswith(("OUTBOX", "TMP", "wineprefix")):
                    continue
                # A link the case set up (to /dev/full, say) is not an output.
                if os.path.islink(path):
                    continue
                with open(path, "rb") as f:
                    files[rel] = f.read()
        return result.returncode, normalise(result.stdout), files, spec


def compare_case(name, native_welkor, windows_welkor):
    """What differs between a native run and a run of the Windows build under
    wine; None for a case that cannot run there."""
    native = outputs(name, native_welkor, False)
    if not native[3].get("windows", True):
        return None
    windows = outputs(name, windows_welkor, True)
    problems = []
    if native[0] != windows[0]:
        problems.append("exit status %d natively, %d under wine" % (native[0], windows[0]))
    if native[1] != windows[1]:
        problems.append("stdout differs:\n--- native\n%s\n--- wine\n%s" % (
            native[1].decode(errors="replace"), windows[1].decode(errors="replace")))
    for rel in sorted(set(native[2]) | set(windows[2])):
        if native[2].get(rel) != windows[2].get(rel):
            problems.append("%s differs between the builds" % rel)
    return problems


def report(names, check, label, workers=1):
    """Runs check(name) for each case (None: not its kind), `workers` at a
    time, prints each result in the cases' order and a closing count; returns
    the exit status."""
    passed = failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        results = list(pool.map(check, names))
    for name, problems in zip(names, results):
        if problems is None:
            continue
        if problems:
            failed += 1
            print("FAIL %s\n  %s" % (name, "\n  ".join(problems)))
        else:
            passed += 1
            print("ok   %s" % name)
    print("%s: %d passed, %d failed" % (label, passed, failed))
    return 1 if failed else 0


def checker_arguments():
    """The command line of a checker: --welkor (made absolute) and the case
    names to check, none for every case of its kind."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--welkor", required=True)
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    args.welkor = os.path.abspath(args.welkor)
    return args


def cases_starting(prefixes):
    """The case folders whose names start with one of the prefixes, sorted."""
    return sorted(d for d in os.listdir(CASES) if d.startswith(prefixes))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--welkor", required=True)
    parser.add_argument("--wine", action="store_true", help="run --welkor under wine")
    parser.add_argument("--compare", help="a second welkor (Windows build, run under wine) to compare with")
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    args.welkor = os.path.abspath(args.welkor)
    if args.compare:
        args.compare = os.path.abspath(args.compare)
    names = args.cases or sorted(d for d in os.listdir(CASES) if os.path.isdir(os.path.join(CASES, d)))
    if args.compare:
        return report(names, lambda name: compare_case(name, args.welkor, args.compare), "e2e")
    return report(names, lambda name: check_case(name, args.welkor, args.wine), "e2e")

if __name__ == "__main__":
    sys.exit(main())
