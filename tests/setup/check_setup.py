#!/usr/bin/env python3
"""scripts/setup.sh against a fake apt-get, dpkg and dpkg-query placed first
on PATH and a fake Mbed TLS build in place of scripts/mbedtls_mingw.sh: which
apt calls it makes, whether it builds Mbed TLS, what it says and how it ends
when the package index, the install or that build fails. Runs as root only
(setup.sh goes through sudo otherwise); skipped elsewhere.

  check_setup.py
"""
import os
import stat
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SETUP = os.path.join(HERE, "..", "..", "scripts", "setup.sh")
SKIPPED = 77

# The fakes keep the installed packages in $FAKE/installed and log each call
# to $FAKE/calls. apt-get's behaviour is chosen by $FAKE/update and
# $FAKE/install ("ok", "fail", or for install "pinned": fails unless the
# failed suite is left out through a preferences folder). The Mbed TLS build
# logs its builds there too and is chosen by $FAKE/mbedtls ("built", "missing":
# the build makes it, "fails": the build fails).
FAKE_DPKG_QUERY = r"""#!/bin/sh
pkg="$3"
grep -qx "$pkg" "$FAKE/installed" 2>/dev/null && printf 'ii ' || exit 1
"""
FAKE_DPKG = r"""#!/bin/sh
echo "dpkg $*" >> "$FAKE/calls"
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
"""
FAKE_APT = r"""#!/bin/sh
echo "apt-get $*" >> "$FAKE/calls"
case "$1" in
  update)
    if [ "$(cat "$FAKE/update")" = fail ]; then
      echo "Err:6 http://mirror.invalid/debian-security bookworm-security/main i386 Packages"
      echo "E: Failed to fetch http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi
    exit 0;;
  install)
    mode=$(cat "$FAKE/install")
    prefs=$(echo "$*" | sed -n 's/.*Dir::Etc::PreferencesParts=\([^ ]*\).*/\1/p')
    if [ "$mode" = ok ] || { [ "$mode" = pinned ] && grep -q 'n=bookworm-security' "$prefs"/*.pref 2>/dev/null; }; then
      for p in "$@"; do echo "$p" >> "$FAKE/installed"; done
      exit 0
    fi
    echo "The following packages have unmet dependencies:"
    echo " libc6:i386 : Depends: libgcc-s1:i386 but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100;;
esac
exit 1
"""
FAKE_MBEDTLS = r"""#!/bin/sh
state=$(cat "$FAKE/mbedtls")
case "$1" in
  --check) [ "$state" = built ];;
  --path) echo /cache/mbedtls;;
  *)
    echo "mbedtls_mingw build" >> "$FAKE/calls"
    if [ "$state" = fails ]; then
      echo "mbedtls_mingw: could not fetch the package index of Debian's sources" >&2
      exit 1
    fi
    echo built > "$FAKE/mbedtls";;
esac
"""

# name, every package there, update, install, Mbed TLS, expected exit, apt calls, Mbed TLS builds, texts said
CASES = [
    ("all installed", True, "fail", "fail", "built", 0, [], 0, ["nothing to do"]),
    ("missing, all works", False, "ok", "ok", "built", 0, ["update", "install"], 0, ["every package is installed"]),
    ("index fails, install works", False, "fail", "ok", "built", 0, ["update", "install"], 0,
     ["'bookworm-security/main i386 Packages' could not be fetched", "every package is installed"]),
    ("index fails, install works without the suite", False, "fail", "pinned", "built", 0,
     ["update", "install", "install"], 0,
     ["retrying the install without the suites whose index failed: bookworm-security",
      "installed without the updates of bookworm-security"]),
    ("index fails, install fails", False, "fail", "fail", "missing", 1, ["update", "install", "install"], 0,
     ["could not be installed", "E: Unable to correct problems", "libc6:i386 : Depends",
      "wait a while and run 'bash scripts/setup.sh' again"]),
    ("install fails", False, "ok", "fail", "missing", 1, ["update", "install"], 0,
     ["could not be installed", "check the machine's package sources"]),
    ("all installed, Mbed TLS not built", True, "fail", "fail", "missing", 0, [], 1,
     ["building Mbed TLS for the Windows build", "Mbed TLS for the Windows build is built"]),
    ("missing, Mbed TLS not built", False, "ok", "ok", "missing", 0, ["update", "install"], 1,
     ["building Mbed TLS for the Windows build", "Mbed TLS for the Windows build is built"]),
    ("all installed, Mbed TLS build fails", True, "fail", "fail", "fails", 1, [], 1,
     ["could not fetch the package index of Debian's sources",
      "Mbed TLS for the Windows build could not be built", "run 'bash scripts/setup.sh' again"]),
]


def packages():
    with open(SETUP) as f:
        text = f.read()
    listed = text.split("packages=(", 1)[1].split(")", 1)[0]
    return listed.split()


def main():
    if os.geteuid() != 0:
        print("skipped: setup.sh calls apt-get through sudo when not root")
        return SKIPPED
    problems = []
    for name, all_there, update, install, mbedtls, status, apt_calls, builds, said in CASES:
        with tempfile.TemporaryDirectory(prefix="kw-setup-") as fake:
            bin_dir = os.path.join(fake, "bin")
            os.mkdir(bin_dir)
            for tool, text in [("apt-get", FAKE_APT), ("dpkg", FAKE_DPKG), ("dpkg-query", FAKE_DPKG_QUERY),
                               ("mbedtls_mingw.sh", FAKE_MBEDTLS)]:
                path = os.path.join(bin_dir, tool)
                with open(path, "w") as f:
                    f.write(text)
                os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
            for file, value in [("update", update), ("install", install), ("mbedtls", mbedtls)]:
                with open(os.path.join(fake, file), "w") as f:
                    f.write(value)
            with open(os.path.join(fake, "installed"), "w") as f:
                f.write("\n".join(packages() if all_there else packages()[1:]) + "\n")
            env = dict(os.environ, FAKE=fake, PATH=bin_dir + os.pathsep + os.environ["PATH"],
                       KW_MBEDTLS_MINGW_SCRIPT=os.path.join(bin_dir, "mbedtls_mingw.sh"))
            run = subprocess.run(["bash", SETUP], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True, timeout=120)
            output = run.stdout + run.stderr
            calls_path = os.path.join(fake, "calls")
            calls = open(calls_path).read().splitlines() if os.path.exists(calls_path) else []
            made = [c.split()[1] for c in calls if c.startswith("apt-get")]
            built = [i for i, c in enumerate(calls) if c.startswith("mbedtls_mingw")]
            if run.returncode != status:
                problems.append("%s: exit %d, expected %d" % (name, run.returncode, status))
            if made != apt_calls:
                problems.append("%s: apt-get calls %s, expected %s" % (name, made, apt_calls))
            if not apt_calls and len(calls) != len(built):
                problems.append("%s: called %s" % (name, calls))
            if len(built) != builds:
                problems.append("%s: built Mbed TLS %d times, expected %d" % (name, len(built), builds))
            # Its version and compiler come from the packages.
            if built and any(c.startswith("apt-get") for c in calls[built[0]:]):
                problems.append("%s: built Mbed TLS before the packages: %s" % (name, calls))
            for text in said:
                if text not in output:
                    problems.append("%s: did not say %r" % (name, text))
            if problems and problems[-1].startswith(name):
                problems.append("%s: its output:\n%s" % (name, output))
    for problem in problems:
        print(problem)
    print("setup.sh: %d cases, %d problems" % (len(CASES), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
