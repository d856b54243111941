#!/usr/bin/env python3
"""release_zip.py ZIP FILE... : a zip of the files, by their base names, in the order given.

The same files give the same bytes: every entry carries one fixed date (the release's, or
SOURCE_DATE_EPOCH when set) and MS-DOS attributes, and nothing of the build machine.
"""
import os
import sys
import time
import zipfile

RELEASE_DATE = (2026, 12, 7, 0, 0, 0)


def entry_date():
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        return RELEASE_DATE
    # A zip entry cannot be dated before 1980.
    return max(time.gmtime(int(epoch))[:6], (1980, 1, 1, 0, 0, 0))


def main(zip_path, files):
    date = entry_date()
    with zipfile.ZipFile(zip_path + ".part", "w") as archive:
        for path in files:
            entry = zipfile.ZipInfo(os.path.basename(path), date_time=date)
            entry.create_system = 0
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(zip_path + ".part", zip_path)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip().splitlines()[0])
    main(sys.argv[1], sys.argv[2:])
