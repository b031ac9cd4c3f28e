#!/usr/bin/env python3
"""Rewrites a ZIP archive reproducibly: entries sorted by name, every entry
dated SOURCE_DATE_EPOCH (else the time of the source tree's last commit, else
1980-01-01), plain file attributes, no extra fields.

    fixed_zip.py ARCHIVE [SOURCE_DIR]"""
import os
import subprocess
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a ZIP entry can hold


def epoch(source_dir):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    if source_dir:
        try:
            out = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            if out.returncode == 0 and out.stdout.strip():
                return int(out.stdout.strip())
        except OSError:
            pass
    return ZIP_EPOCH


def main():
    archive = sys.argv[1]
    stamp = time.gmtime(max(epoch(sys.argv[2] if len(sys.argv) > 2 else None), ZIP_EPOCH))[:6]
    with zipfile.ZipFile(archive) as z:
        entries = [(info.filename, z.read(info)) for info in z.infolist() if not info.is_dir()]
    entries.sort()
    temporary = archive + ".tmp"
    with zipfile.ZipFile(temporary, "w") as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the mode below counts
            info.external_attr = 0o644 << 16
            z.writestr(info, data, compresslevel=9)
    os.replace(temporary, archive)


if __name__ == "__main__":
    main()
