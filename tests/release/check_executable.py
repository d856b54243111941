#!/usr/bin/env python3
"""check_executable.py OBJDUMP EXE IMPORT-LIST : what ships, checked by reading the file.

- Every function the exe imports is on the committed list, and no entry of the list is newer
  than Windows XP. Wine exports every function whatever Windows version it reports, so only the
  import table tells whether an older Windows will load the program.
- A subsystem version that Windows XP accepts (5.1 or lower).
- At most 256 KiB, with no debug sections and no symbol table.
"""
import re
import subprocess
import sys

WINDOWS_ORDER = ["Windows 2000", "Windows XP", "Windows Server 2003", "Windows Vista", "Windows 7",
                 "Windows 8", "Windows 10"]
NEWEST_ALLOWED = "Windows XP"
SIZE_LIMIT = 256 * 1024


def allowed_imports(list_path):
    allowed = {}
    with open(list_path) as f:
        for number, line in enumerate(f, 1):
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            if len(fields) != 4 or fields[2] not in WINDOWS_ORDER or not fields[3]:
                sys.exit(f"{list_path}:{number}: expected dll, function, a Windows of {WINDOWS_ORDER} and a "
                         f"source, separated by tabs; found {line!r}")
            allowed[(fields[0].lower(), fields[1])] = fields[2]
    return allowed


def imports(objdump, exe):
    """(dll in lower case, function) for each entry of the import table; ordinals as #N."""
    text = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    found, dll = [], None
    for line in text.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1).lower()
            continue
        if dll is None:
            continue
        if not line.strip():
            dll = None
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+(\d+)\s+(\S+)\s*$", line)
        by_ordinal = re.match(r"\s*[0-9a-f]+\s+<none>\s+([0-9a-f]+)\s*$", line)
        if entry:
            found.append((dll, entry.group(2)))
        elif by_ordinal:
            found.append((dll, "#" + str(int(by_ordinal.group(1), 16))))
    return found


def sections(objdump, exe):
    text = subprocess.run([objdump, "-h", exe], check=True, capture_output=True, text=True).stdout
    return [m.group(1) for m in re.finditer(r"^\s*\d+\s+(\S+)\s", text, re.MULTILINE)]


def main(objdump, exe, list_path):
    allowed = allowed_imports(list_path)
    problems = []
    newest_index = WINDOWS_ORDER.index(NEWEST_ALLOWED)
    for (dll, function), windows in sorted(allowed.items()):
        if WINDOWS_ORDER.index(windows) > newest_index:
            problems.append(f"list entry {dll}!{function}: expected {NEWEST_ALLOWED} or older, found {windows}")

    imported = imports(objdump, exe)
    if not imported:
        problems.append("import table: expected imports, found none (objdump output not understood)")
    for dll, function in imported:
        if (dll, function) not in allowed:
            problems.append(f"import {dll}!{function}: expected on {list_path}, found missing there")
    known = [allowed[key] for key in imported if key in allowed]
    oldest = ("not known: imports missing from the list" if len(known) < len(imported) or not known
              else max(known, key=WINDOWS_ORDER.index))

    # A loader refuses an exe that asks for a newer subsystem than its own Windows (XP is 5.1).
    headers = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    version = tuple(int(re.search(rf"{part}SubsystemVersion\s+(\d+)", headers).group(1)) for part in ("Major", "Minor"))
    if version > (5, 1):
        problems.append(f"subsystem version: expected 5.1 or lower, found {version[0]}.{version[1]}")

    with open(exe, "rb") as f:
        size = len(f.read())
    if size > SIZE_LIMIT:
        problems.append(f"size: expected at most {SIZE_LIMIT} bytes, found {size}")
    debug = [name for name in sections(objdump, exe) if name.startswith((".debug", ".zdebug", ".stab"))]
    if debug:
        problems.append(f"sections: expected no debug sections, found {' '.join(debug)}")
    symbols = subprocess.run([objdump, "-t", exe], capture_output=True, text=True).stdout
    if re.search(r"^\[\s*\d+\]", symbols, re.MULTILINE):
        problems.append("symbols: expected none, found a symbol table")

    for problem in problems:
        print("FAILED: " + problem)
    print(f"{exe}: {size} bytes, {len(imported)} imports from "
          f"{len({dll for dll, _ in imported})} DLLs; oldest Windows the imports allow: {oldest}")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[0])
    sys.exit(main(*sys.argv[1:]))
