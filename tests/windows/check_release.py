#!/usr/bin/env python3
"""Checks the release package kwitomat-<version>-win32.zip of a Windows build.

  check_release.py package ZIP VERSION
      the archive holds exactly kwitomat.dll and CZYTAJ.TXT; the DLL keeps its
      export table, imports only system DLLs and carries the version resource
  check_release.py guide ZIP SOURCE_DIR
      CZYTAJ.TXT is Windows-1250 with CR LF and quotes every message that the
      plug-in's code can show
  check_release.py reproducible BUILD SOURCE_DIR
      a second build of the plug-in in another folder gives the same DLL and ZIP
  check_release.py wine ZIP BUILD SOURCE_DIR NATIVE_WELKOR
      the stand-in host under wine loads the packaged DLL and exports the
      sample invoice as the native build does
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CONTENTS = ["CZYTAJ.TXT", "kwitomat.dll"]
SYSTEM_DLLS = {"KERNEL32.DLL", "USER32.DLL", "MSVCRT.DLL"}
DESCRIPTION = "Eksport faktur z rejestru sprzedaży — Ctrl+F3"


def unpack(archive, folder):
    with zipfile.ZipFile(archive) as z:
        if z.testzip() is not None:
            raise SystemExit("%s: a damaged entry" % archive)
        z.extractall(folder)
        return sorted(z.namelist())


def check_package(archive, version):
    import pefile

    problems = []
    with tempfile.TemporaryDirectory() as folder:
        names = unpack(archive, folder)
        if names != CONTENTS:
            problems.append("the archive holds %s, expected %s" % (names, CONTENTS))
        dll = os.path.join(folder, "kwitomat.dll")
        if os.path.exists(dll):
            if subprocess.run([sys.executable, os.path.join(HERE, "check_export_table.py"), dll]).returncode:
                problems.append("the packaged DLL's export table changed")
            pe = pefile.PE(dll)
            imports = sorted(entry.dll.decode().upper() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
            if not imports or set(imports) - SYSTEM_DLLS:
                problems.append("the DLL imports %s; only %s are allowed" % (imports, sorted(SYSTEM_DLLS)))
            if pe.get_section_by_rva(pe.OPTIONAL_HEADER.AddressOfEntryPoint) is None:
                problems.append("the DLL has no entry point")
            if any(s.Name.rstrip(b"\0").startswith(b".debug") for s in pe.sections) or pe.FILE_HEADER.NumberOfSymbols:
                problems.append("the DLL is not stripped")
            strings = {}
            for info in getattr(pe, "FileInfo", [[]])[0]:
                if info.Key == b"StringFileInfo":
                    for table in info.StringTable:
                        strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
            expected = {"FileVersion": version, "ProductVersion": version, "ProductName": "kwitomat",
                        "OriginalFilename": "kwitomat.dll", "FileDescription": DESCRIPTION}
            for key, value in expected.items():
                if strings.get(key) != value:
                    problems.append("version resource %s is %r, expected %r" % (key, strings.get(key), value))
            if "Copyright" not in strings.get("LegalCopyright", ""):
                problems.append("version resource has no copyright line")
            fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
            numbers = [int(n) for n in version.split(".")] + [0]
            packed = ((numbers[0] << 16 | numbers[1]), (numbers[2] << 16 | numbers[3]))
            if not fixed or (fixed.FileVersionMS, fixed.FileVersionLS) != packed or \
                    (fixed.ProductVersionMS, fixed.ProductVersionLS) != packed:
                problems.append("the fixed file and product version are not %s" % version)
    return report("release package", problems)


# ---- the messages of the plug-in ------------------------------------------
# The plug-in's table of messages: X(name, "text" "text" …) entries.
MESSAGES = os.path.join("src", "data", "messages.h")
LITERAL = r'"(?:[^"\\\n]|\\.)*"'
ENTRY = re.compile(r"\bX\((\w+),((?:\s*\\?\s*%s)+)\s*\)" % LITERAL)
DISK_ERRORS = os.path.join("src", "frame", "host_constants.h")
PLACEHOLDER = r"%[-+ #0]*\d*(?:\.\d+)?[hlL]*[diouxXsScfeEgG]"


def unescape(literal):
    """The bytes of a C++ string literal (without its quotes), as text."""
    out, i = [], 0
    while i < len(literal):
        c = literal[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = literal[i + 1]
        if e == "x":
            m = re.match(r"[0-9a-fA-F]+", literal[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        elif e in "01234567":
            m = re.match(r"[0-7]{1,3}", literal[i + 1:])
            out.append(chr(int(m.group(0), 8)))
            i += 1 + len(m.group(0))
        else:
            out.append({"n": "\n", "t": "\t", "r": "\r", "0": "\0"}.get(e, e))
            i += 2
    return "".join(out)


def joined(literals):
    """Adjacent literals "a" "b" as one text."""
    return "".join(unescape(m[1:-1]) for m in re.findall(LITERAL, literals))


def plugin_messages(source_dir):
    """Every text that the plug-in can show, by its name in the table; the
    disk error's text once for each number the interface names."""
    with open(os.path.join(source_dir, MESSAGES), encoding="utf-8") as f:
        table = f.read()
    with open(os.path.join(source_dir, DISK_ERRORS), encoding="utf-8") as f:
        numbers = re.findall(r"\bkDiskError\w*\s*=\s*(\d+)", f.read())
    messages = {}
    for m in ENTRY.finditer(table):
        text = joined(m.group(2))
        if m.group(1) == "kDiskError":
            for number in numbers:
                messages[re.sub(PLACEHOLDER, number, text, count=1)] = "%s %s" % (m.group(1), number)
        else:
            messages[text] = m.group(1)
    # A bare format ("%s") says nothing of its own.
    return {t: w for t, w in messages.items() if re.sub(PLACEHOLDER + r"|\s", "", t)}


def flat(text):
    """A text as read on screen: the message display's control codes dropped,
    each run of blanks and line breaks one blank."""
    text = re.sub(r"\x01[a-z0-9]+\x01", "", text)
    text = re.sub(r"[\x00-\x08\x0b\x0c\x0e-\x1f]", "", text)
    return re.sub(r"\s+", " ", text).strip()


def message_pattern(message):
    """A placeholder (%s, %d, %08X, %hu) stands for whatever the guide puts
    there."""
    pieces = re.split(PLACEHOLDER, flat(message))
    return re.compile(".{0,120}?".join(re.escape(p.replace("%%", "%")) for p in pieces))


def check_guide(archive, source_dir):
    problems = []
    with zipfile.ZipFile(archive) as z:
        data = z.read("CZYTAJ.TXT")
    try:
        text = data.decode("cp1250")
    except UnicodeDecodeError as e:
        return report("guide", ["CZYTAJ.TXT is not Windows-1250: %s" % e])
    if re.search(rb"(?<!\r)\n|\r(?!\n)", data) or not data.endswith(b"\r\n"):
        problems.append("CZYTAJ.TXT has line ends other than CR LF")
    messages = plugin_messages(source_dir)
    if len(messages) < 10:
        problems.append("only %d messages found in the table; the reading is broken" % len(messages))
    guide = flat(text)
    missing = [(where, m) for m, where in sorted(messages.items(), key=lambda i: (i[1], i[0]))
               if not message_pattern(m).search(guide)]
    for where, message in missing:
        problems.append("not explained in CZYTAJ.TXT (%s): %s" % (where, flat(message)))
    if missing:
        problems.append("%d of %d messages lack an explanation; add each, with its cause and what to do, "
                        "to release/czytaj.txt" % (len(missing), len(messages)))
    return report("guide", problems)


# ---- a second build, and the packaged DLL under wine ----------------------
def cache_value(build, key):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        m = re.search(r"^%s:\w+=(.*)$" % key, f.read(), re.M)
    return m.group(1) if m else ""


def package_of(build):
    found = glob.glob(os.path.join(build, "kwitomat-*-win32.zip"))
    if len(found) != 1:
        raise SystemExit("%s: expected one kwitomat-*-win32.zip, found %s (cmake --build %s --target package)"
                         % (build, found, build))
    return found[0]


def check_reproducible(build, source_dir):
    problems = []
    first_zip = package_of(build)
    with tempfile.TemporaryDirectory(prefix="kwitomat-second-build-") as other:
        # Only the plug-in and its guide: cpack installs nothing else.
        subprocess.run(["cmake", "-S", source_dir, "-B", other, "-G", "Ninja", "-DKW_TESTS=OFF",
                        "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(source_dir, "cmake", "mingw-i686.cmake"),
                        "-DCMAKE_BUILD_TYPE=" + cache_value(build, "CMAKE_BUILD_TYPE")],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", other, "-j2", "--target", "kwitomat", "kwitomat_guide"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cpack", "--config", "CPackConfig.cmake"], cwd=other, check=True, stdout=subprocess.DEVNULL)
        pairs = [(os.path.join(build, "kwitomat.dll"), os.path.join(other, "kwitomat.dll")),
                 (first_zip, os.path.join(other, os.path.basename(first_zip)))]
        for first, second in pairs:
            with open(first, "rb") as a, open(second, "rb") as b:
                if a.read() != b.read():
                    problems.append("%s differs between a build in %s and one in %s"
                                    % (os.path.basename(first), build, other))
        with tempfile.TemporaryDirectory() as folder:
            unpack(first_zip, folder)
            for name in CONTENTS:
                with open(os.path.join(folder, name), "rb") as f:
                    data = f.read()
                for path in {build, other, source_dir, os.path.realpath(source_dir)}:
                    if path.encode() in data:
                        problems.append("%s holds the folder name %s" % (name, path))
    return report("reproducible build", problems)


def check_wine(archive, build, source_dir, native_welkor):
    problems = []
    with tempfile.TemporaryDirectory(prefix="kwitomat-release-") as folder:
        program = os.path.join(folder, "program")
        os.mkdir(program)
        unpack(archive, program)
        # The stand-in host and the runtime it shares with its front end; the
        # plug-in is the packaged one alone.
        for name in ["WELKOR.dll", "welkor.exe", "libstdc++-6.dll", "libgcc_s_dw2-1.dll", "libwinpthread-1.dll"]:
            shutil.copy(os.path.join(build, name), program)
        outputs = {}
        for kind, command in [("wine", ["wine", os.path.join(program, "welkor.exe")]), ("native", [native_welkor])]:
            work = os.path.join(folder, kind)
            os.mkdir(work)
            shutil.copy(os.path.join(source_dir, "examples", "sample.json"), os.path.join(work, "db.json"))
            command += ["--db", "db.json", "--answer", "1001=F2", "export", "1234"]
            for attempt in range(3):  # wine under qemu now and then hangs at start
                try:
                    result = subprocess.run(command, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                            stderr=subprocess.PIPE, timeout=180)
                    break
                except subprocess.TimeoutExpired:
                    subprocess.run(["wineserver", "-k"])
            else:
                raise SystemExit("welkor hung under wine three times")
            exported = os.path.join(work, "FAKTURY", "fakt1234.xml")
            if result.returncode != 0 or not os.path.exists(exported):
                problems.append("%s run failed (exit %d):\n%s%s" % (kind, result.returncode,
                                result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")))
                continue
            with open(exported, "rb") as f:
                outputs[kind] = f.read()
        if len(outputs) == 2 and outputs["wine"] != outputs["native"]:
            problems.append("the packaged DLL under wine wrote another fakt1234.xml than the native build")
    return report("packaged DLL under wine", problems)


def report(what, problems):
    for p in problems:
        print("%s: %s" % (what, p))
    print("%s: %d passed, %d failed" % (what, 0 if problems else 1, 1 if problems else 0))
    return 1 if problems else 0


def main():
    command, args = sys.argv[1], sys.argv[2:]
    checks = {"package": check_package, "guide": check_guide, "reproducible": check_reproducible,
              "wine": check_wine}
    sys.exit(checks[command](*args))


if __name__ == "__main__":
    main()
