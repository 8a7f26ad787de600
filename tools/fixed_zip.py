#!/usr/bin/env python3
"""Writes a zip of every file under a folder so that the same files always give the
same bytes: entries in sorted order with forward slashes, each dated the given time
(UTC), no extra fields, the same permissions, deflated at level 9.

    fixed_zip.py <zip> <seconds since 1970> <folder>
"""

import os
import sys
import time
import zipfile

EARLIEST = 315532800  # 1980-01-01, the earliest date a zip entry can hold


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    target, seconds, root = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    stamp = time.gmtime(max(seconds, EARLIEST))[:6]
    names = []
    for folder, _, files in os.walk(root):
        for name in files:
            names.append(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    temp = target + ".tmp"
    with zipfile.ZipFile(temp, "w") as archive:
        for name in sorted(names):
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 3
            entry.external_attr = 0o100644 << 16
            with open(os.path.join(root, name), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(temp, target)


if __name__ == "__main__":
    main()
