#!/usr/bin/env python3
"""The whole build under Wine against the same build done natively, on a synthetic disc.

Runs inside a Wine session (WINEPREFIX, KORVANTE_WINE, DISPLAY), as bench/run and scripts/test
provide. Each repetition runs the Windows side (bench_driver.exe: RunBuild with the real
command interpreter, the disc as a CD-ROM drive, genisoimage behind data\\mkisofs.exe) and then
the native side (native_build.sh); each pair must give the same image content. Then, unless
--smoke, the program itself: size, time to its visible main dialog, working set.

--smoke makes one pair on the quick disc, compares, prints one pass/fail line and times nothing.
"""
import argparse
import hashlib
import os
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from wine_build import WINE, describe, run, run_wine, windows_path  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
NATIVE_BUILD = os.path.join(HERE, "native_build.sh")

MB = 1000 * 1000
DRIVE = "K"
DISC_INDEX = 0  # "Scen 1": data\qx7-1.txt, overlay files\s1\
SORT_LISTS = [("qx7-1.txt", "s1"), ("qx7-2.txt", "s2"), ("qx7-3.txt", "s3"), ("qx7-p.txt", "pd")]
STAGED_LETTERS = "bcdefimst"
BOOT_AREA_SIZE = 32768
TRACK2_SIZE = 2 * 1024 * 1024
PROGRAM_TITLE = "KORVANTE 2"
BASELINE_TITLE = "BENCH BASELINE"
START_SAMPLES = 10
# Left out of the samples: the first starts bring up what Wine makes once per session.
START_WARMUPS = 2
# How long a wait for a window, or for a closed program's exit, may go on before the run fails.
# A bound, never a measurement: each wait polls and ends as soon as its condition holds. It is
# long because a loaded 2-core machine stretches a start many times over, and a start that has to
# bring up Wine's desktop process waits up to 10 s for it before the window can show.
WAIT_LIMIT_S = 120

# A disc as such a game ships: a few large files, some medium ones, tens of small ones. Plain
# 8.3 names (ISO 9660 level 1 keeps them as they are), a few in lower case because copy
# matches without regard to case; the rest of the disc fills up with small files.
LARGE_AND_MEDIUM = [  # name, share of the disc
    ("MOVIE.STR", 0.34), ("WORLD.BIN", 0.22), ("VOICES.DAT", 0.14), ("INTRO.AVI", 0.06),
    ("MUSIC1.MUS", 0.03), ("MUSIC2.MUS", 0.03), ("MUSIC3.MUS", 0.03), ("TEXTURES.TEX", 0.05),
    ("FONTS.FNT", 0.01), ("GAME.EXE", 0.004),
]
SMALL_EXTENSIONS = ["BIN", "CFG", "DAT", "EXE", "FNT", "ICO", "MAP", "SND", "TXT",  # staged
                    "JPG", "PAK", "WAV", "HLP", "NFO"]                              # not staged
LOWER_CASE_FILES = ["setup.cfg", "readme.txt", "patch.bin", "notes.log"]
SMALL_COUNT = 40
SUBFOLDER_FILES = [("EXTRAS", "BONUS.BIN"), ("EXTRAS", "ART.DAT")]  # only the root is staged

OVERLAY_SIZE = 256 * 1024
OVERLAY_REPLACES = ["FONTS.FNT", "setup.cfg"]  # same names as on the disc, in the same case


def overlay_new_files(code):
    return [f"{code.upper()}PATCH.DAT", f"{code.upper()}MAP.MAP"]


def sort_weights(code):
    # Small files the game reads first, then the big ones; the rest is unweighted.
    return {"GAME.EXE": 100, "setup.cfg": 90, f"{code.upper()}PATCH.DAT": 80, "FONTS.FNT": 70,
            "WORLD.BIN": 50, "MOVIE.STR": 10}


# ---------------------------------------------------------------- the data

def write_file(path, size, rng):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        left = size
        while left > 0:
            chunk = min(left, 8 * 1024 * 1024)
            f.write(rng.randbytes(chunk))
            left -= chunk


def make_disc(folder, disc_size):
    """Writes the disc's files; returns name -> size of the root's files."""
    rng = random.Random(7)
    root_files = {name: max(1, int(disc_size * share)) for name, share in LARGE_AND_MEDIUM}
    for i, name in enumerate(LOWER_CASE_FILES):
        root_files[name] = 2000 + 777 * i
    small_total = disc_size - sum(root_files.values()) - 2 * 64 * 1024
    weights = [rng.uniform(0.05, 1.0) for _ in range(SMALL_COUNT)]
    for i in range(SMALL_COUNT):
        name = f"F{i:03d}.{SMALL_EXTENSIONS[i % len(SMALL_EXTENSIONS)]}"
        root_files[name] = max(1, int(small_total * weights[i] / sum(weights)))
    for name, size in root_files.items():
        write_file(os.path.join(folder, name), size, rng)
    for sub, name in SUBFOLDER_FILES:
        write_file(os.path.join(folder, sub, name), 64 * 1024, rng)
    # Every file on a CD is read-only, and copy keeps that attribute.
    for parent, _, names in os.walk(folder):
        for name in names:
            os.chmod(os.path.join(parent, name), 0o444)
    return root_files


def make_working_folder(folder, mkisofs_dir=None):
    """The data a build reads: sort lists, boot area, overlays; the image tool on the Wine side."""
    data = os.path.join(folder, "data")
    os.makedirs(data)
    if mkisofs_dir:
        for name in ("mkisofs.exe", "genisoimage.sh"):
            shutil.copy2(os.path.join(mkisofs_dir, name), os.path.join(data, name))
    rng = random.Random(11)
    for sort_list, code in SORT_LISTS:
        # The tool sees each file as temp/ plus its name; a blank line would make it fail.
        lines = [f"temp/{name} {weight}" for name, weight in sort_weights(code).items()]
        with open(os.path.join(data, sort_list), "w", newline="\n") as f:
            f.write("\n".join(lines))
        for name in OVERLAY_REPLACES + overlay_new_files(code):
            write_file(os.path.join(folder, "files", code, name), OVERLAY_SIZE, rng)
    with open(os.path.join(data, "qx72ip.bin"), "wb") as f:
        f.write(bytes((i * 7 + 13) % 251 for i in range(BOOT_AREA_SIZE)))


def expected_image_names(root_files, code):
    staged = {n for n in root_files if "." in n and n.rsplit(".", 1)[1][:1].lower() in STAGED_LETTERS}
    return sorted({n.upper() for n in staged | set(OVERLAY_REPLACES) | set(overlay_new_files(code))} | {"CDDA2"})


def clear_outputs(folder):
    for name in ("QX7.ISO", "QX7.CUE", "QX7Track2.bin"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            os.remove(path)
    shutil.rmtree(os.path.join(folder, "temp"), ignore_errors=True)


# ---------------------------------------------------------------- what a build produced

def sha256_of(path, offset=0, size=None):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        f.seek(offset)
        left = os.path.getsize(path) - offset if size is None else size
        while left > 0:
            block = f.read(min(left, 4 * 1024 * 1024))
            if not block:
                break
            digest.update(block)
            left -= len(block)
    return digest.hexdigest()


def image_manifest(folder):
    """What must agree between the two sides: the image's files in order, with sizes and
    bytes, the boot area, the silent track and the cue sheet. Dates may differ."""
    image = os.path.join(folder, "QX7.ISO")
    if not os.path.exists(image):
        return None
    listing = run(["xorriso", "-indev", image, "-find", "/", "-exec", "report_lba", "--"], timeout=600)
    files = []
    for line in listing.stdout.decode(errors="replace").splitlines():
        match = re.match(r"File data lba:\s*\d+\s*,\s*(\d+)\s*,\s*\d+\s*,\s*(\d+)\s*,\s*'/(.*)'$", line)
        if match:
            start, size, name = int(match.group(1)), int(match.group(2)), match.group(3)
            files.append((start, name, size, sha256_of(image, start * 2048, size)))
    files.sort()
    outputs = {}
    for name in ("QX7Track2.bin", "QX7.CUE"):
        path = os.path.join(folder, name)
        outputs[name] = sha256_of(path) if os.path.exists(path) else None
    return {
        "files": [(name, size, digest) for _, name, size, digest in files],
        "boot area": sha256_of(image, 0, BOOT_AREA_SIZE),
        "outputs": outputs,
        "temp left": os.path.exists(os.path.join(folder, "temp")),
    }


def manifest_differences(windows, native, expected_names):
    if windows is None or native is None:
        return [f"no QX7.ISO on the {'Windows' if windows is None else 'native'} side"]
    problems = []
    names_w = [n for n, _, _ in windows["files"]]
    names_n = [n for n, _, _ in native["files"]]
    if sorted(names_w) != sorted(names_n):
        problems.append(f"file lists differ: only Windows {sorted(set(names_w) - set(names_n))}, "
                        f"only native {sorted(set(names_n) - set(names_w))}")
    elif names_w != names_n:
        problems.append(f"file order differs:\n  Windows {names_w}\n  native  {names_n}")
    content_w = {n: (s, d) for n, s, d in windows["files"]}
    content_n = {n: (s, d) for n, s, d in native["files"]}
    for name in sorted(set(content_w) & set(content_n)):
        if content_w[name] != content_n[name]:
            problems.append(f"{name}: Windows {content_w[name][0]} bytes, native {content_n[name][0]} bytes, "
                            f"contents {'equal' if content_w[name][1] == content_n[name][1] else 'differ'}")
    found = sorted(n.upper().rstrip(".") for n in names_w)
    if found != expected_names:
        problems.append(f"image files against the disc: missing {sorted(set(expected_names) - set(found))}, "
                        f"unexpected {sorted(set(found) - set(expected_names))}")
    for what in ("boot area", "outputs", "temp left"):
        if windows[what] != native[what]:
            problems.append(f"{what}: Windows {windows[what]}, native {native[what]}")
    if windows["temp left"]:
        problems.append("temp left behind")
    return problems


# ---------------------------------------------------------------- the two sides

def read_timings(path):
    rows = []
    with open(path) as f:
        for line in f:
            kind, what, seconds = line.rstrip("\n").split("\t")
            rows.append((kind, what, float(seconds)))
    return rows


def windows_build(driver, folder, timeout):
    clear_outputs(folder)
    timings = os.path.join(os.path.dirname(folder), "windows-timings.txt")
    result = run_wine([driver, str(DISC_INDEX), f"{DRIVE}:\\", windows_path(timings)], cwd=folder, timeout=timeout)
    if result.returncode != 0:
        steps = [f"{kind} {what}" for kind, what, _ in read_timings(timings)] if os.path.exists(timings) else []
        raise RuntimeError(f"bench_driver failed: {describe(result)}\nits last steps: {steps[-3:]}")
    rows = read_timings(timings)
    os.remove(timings)
    return rows


def native_build(disc, folder, timeout):
    clear_outputs(folder)
    sort_list, code = SORT_LISTS[DISC_INDEX]
    timings = os.path.join(os.path.dirname(folder), "native-timings.txt")
    result = run([NATIVE_BUILD, disc, f"data/{sort_list}", code, timings], cwd=folder, timeout=timeout)
    if result.returncode != 0:
        raise RuntimeError(f"native pipeline failed: {describe(result)}")
    rows = read_timings(timings)
    os.remove(timings)
    return rows


def dd_reference(folder, repeats):
    """dd writing the bytes each finishing writer writes, timed in bash like the native side."""
    with open(os.path.join(folder, "cue-reference"), "wb") as f:
        f.write(b"x" * 160)
    script = f"""
export LC_ALL=C
t() {{ local s=${{EPOCHREALTIME/./}}; "$@"; local e=${{EPOCHREALTIME/./}}; echo $((10#$e - 10#$s)); }}
for i in $(seq {repeats}); do
  echo "WriteTrack2File $(t dd if=/dev/zero of=dd-track2 bs=65536 count=32 status=none)"
  echo "StampBootArea $(t dd if=data/qx72ip.bin of=QX7.ISO bs=32768 count=1 conv=notrunc status=none)"
  echo "WriteCueSheet $(t dd if=cue-reference of=dd-cue bs=160 count=1 status=none)"
done
rm -f dd-track2 dd-cue cue-reference
"""
    result = run(["bash", "-c", script], cwd=folder, timeout=600)
    samples = {}
    for line in result.stdout.decode().split("\n"):
        if line:
            writer, micros = line.split()
            samples.setdefault(writer, []).append(int(micros) / 1e6)
    return samples


# ---------------------------------------------------------------- the program itself

def visible_window(title):
    # Plain searches, polled: xdotool's own --sync waits half a second between its tries.
    # The titles hold no regular-expression characters.
    found = run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], timeout=10)
    ids = found.stdout.split()
    return ids[0].decode() if ids else None


def program_pid(window):
    found = run(["xdotool", "getwindowpid", window], timeout=10)
    return int(found.stdout) if found.returncode == 0 and found.stdout.strip() else None


def memory_of(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "RssAnon"):
                values[key] = int(value.split()[0]) * 1024
    return values


def wait_until(condition, limit_s=WAIT_LIMIT_S):
    """Polls condition until it holds; False once limit_s passed first."""
    deadline = time.monotonic() + limit_s
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.005)
    return True


def start_to_visible(exe, title, folder):
    """Seconds from starting exe to the search that first finds its visible window, and its
    memory then. The program is closed afterwards and waited for."""
    # A window of that title left from an earlier start would be found at once.
    if not wait_until(lambda: visible_window(title) is None):
        raise RuntimeError(f"a window titled {title!r} still shows {WAIT_LIMIT_S} s after its program closed")
    start = time.monotonic()
    process = subprocess.Popen(["timeout", "-k", "5", str(2 * WAIT_LIMIT_S + 10), WINE, exe], cwd=folder,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = None
        shown_at = None

        def shown():
            nonlocal window, shown_at
            if process.poll() is not None:
                return True
            window = visible_window(title)
            shown_at = time.monotonic()
            return window is not None

        if not wait_until(shown):
            raise RuntimeError(f"no visible window titled {title!r} from {exe} within {WAIT_LIMIT_S} s")
        if window is None:
            raise RuntimeError(f"{exe} ended with exit status {process.returncode} before a window titled "
                               f"{title!r} showed")
        elapsed = shown_at - start
        pid = program_pid(window)
        memory = memory_of(pid) if pid else {}
        close(window, process)
        return elapsed, memory
    finally:
        if process.poll() is None:
            process.terminate()  # timeout passes it on to the program
            process.wait()


def close(window, process):
    """Escape cancels a dialog; sent again while the program still runs, in case the window did
    not have the keyboard yet. A program killed instead leaves the wineserver waiting on its
    windows for seconds, which would be counted against the next start."""
    next_escape = 0.0

    def ended():
        nonlocal next_escape
        if process.poll() is not None:
            return True
        if time.monotonic() >= next_escape:
            run(["xdotool", "windowfocus", window], timeout=10)
            run(["xdotool", "key", "--clearmodifiers", "Escape"], timeout=10)
            next_escape = time.monotonic() + 2
        return False

    wait_until(ended)


def program_measurements(program, baseline, folder):
    samples = {"program": [], "baseline": []}
    memory = {"program": [], "baseline": []}
    for i in range(START_WARMUPS + START_SAMPLES):
        for who, exe, title in (("program", program, PROGRAM_TITLE), ("baseline", baseline, BASELINE_TITLE)):
            elapsed, mem = start_to_visible(exe, title, folder)
            if i >= START_WARMUPS:
                samples[who].append(elapsed)
                memory[who].append(mem)
    return samples, memory


# ---------------------------------------------------------------- the report

def spread(values):
    if not values:
        return "-"
    return f"{statistics.median(values):8.3f}  ({min(values):.3f} - {max(values):.3f})"


def ms_spread(values):
    if not values:
        return "-"
    return f"{statistics.median(values) * 1000:8.2f}  ({min(values) * 1000:.2f} - {max(values) * 1000:.2f})"


def breakdown(rows, side):
    """Sums of one build's rows into the breakdown's lines."""
    parts = {}

    def add(key, seconds):
        parts[key] = parts.get(key, 0.0) + seconds

    for kind, what, seconds in rows:
        if kind == "command":
            if what.startswith(("md ", "mkdir ")):
                add("staging folder (md / mkdir)", seconds)
            elif what.startswith(("copy files", "cp files")):
                add("overlay copy (1)", seconds)
            elif what.startswith(("copy ", "cp ")):
                add("disc copies (9)", seconds)
            elif what.startswith(("data\\mkisofs", "genisoimage")):
                add("image tool", seconds)
            else:
                add("clean-up (del + rd / rm -r)", seconds)
        elif kind == "ours":
            add("finishing writers" if what == "finishing writers" else "own work between commands", seconds)
        elif kind == "writer" and side == "native":
            add("finishing writers", seconds)
        elif kind == "build":
            add("whole build", seconds)
    if side == "windows":
        starts = [s for k, _, s in rows if k == "interpreter"]
        add("  of it: 14 interpreter starts (14 x rem)", 14 * statistics.median(starts))
    return parts


BREAKDOWN_LINES = [
    "staging folder (md / mkdir)", "disc copies (9)", "overlay copy (1)", "image tool",
    "finishing writers", "own work between commands", "clean-up (del + rd / rm -r)", "whole build",
    "  of it: 14 interpreter starts (14 x rem)",
]


def report(args, disc_bytes, staged_bytes, windows_runs, native_runs, dd, program, sizes):
    print()
    print(f"== KORVANTE 2 benchmark: {'quick ' if args.quick else ''}disc of {disc_bytes / MB:.0f} MB "
          f"({staged_bytes / MB:.0f} MB staged), disc \"Scen 1\" from CD-ROM drive {DRIVE}:, "
          f"{len(windows_runs)} builds per side in alternation")
    print(f"   machine: {os.cpu_count()} cores, Linux {platform.release()}, load average before/after: "
          f"{args.load_before} / {open('/proc/loadavg').read().split()[0:3]}")
    print(f"   Windows side: {args.windows_side}")
    print("   Other work on the machine makes these numbers noisy: min and max are shown with each median.")
    print()
    windows_parts = [breakdown(r, "windows") for r in windows_runs]
    native_parts = [breakdown(r, "native") for r in native_runs]
    print(f"{'seconds: median (min - max)':44} {'under Wine':>26} {'native Linux':>26}  ratio")
    for line in BREAKDOWN_LINES:
        w = [p[line] for p in windows_parts if line in p]
        n = [p[line] for p in native_parts if line in p]
        ratio = f"{statistics.median(w) / statistics.median(n):6.1f}x" if w and n and statistics.median(n) > 0 else ""
        print(f"{line:44} {spread(w):>26} {spread(n):>26}  {ratio}")
    whole_w = [p["whole build"] for p in windows_parts]
    whole_n = [p["whole build"] for p in native_parts]
    print(f"ratio of medians, whole build: {statistics.median(whole_w) / statistics.median(whole_n):.2f}")
    print()

    print("Each command under Wine (seconds: median (min - max)):")
    command_rows = {}
    for rows in windows_runs:
        for kind, what, seconds in rows:
            if kind in ("command", "interpreter"):
                command_rows.setdefault((kind, what), []).append(seconds)
    for (kind, what), values in command_rows.items():
        label = "empty command (rem), one interpreter start" if kind == "interpreter" else what
        print(f"  {label:52} {spread(values)}")
    print("Each step of the native pipeline:")
    native_rows = {}
    for rows in native_runs:
        for kind, what, seconds in rows:
            if kind in ("command", "writer", "ours"):
                native_rows.setdefault(what, []).append(seconds)
    for what, values in native_rows.items():
        print(f"  {what:52} {spread(values)}")
    print()

    print("Finishing writers alone (milliseconds: median (min - max)) against dd writing the same bytes:")
    writers = {}
    for rows in windows_runs:
        for kind, what, seconds in rows:
            if kind == "writer":
                writers.setdefault(what, []).append(seconds)
    for name, values in writers.items():
        ratio = statistics.median(values) / statistics.median(dd[name])
        verdict = "met" if ratio <= 2 else "MISSED"
        print(f"  {name:18} {ms_spread(values):>28}   dd {ms_spread(dd[name]):>28}   "
              f"{ratio:5.2f}x  (target <= 2x: {verdict})")
    in_build = [p["finishing writers"] for p in windows_parts]
    share = statistics.median(in_build) / statistics.median(whole_w) * 100
    print(f"  in the build, together: {statistics.median(in_build) * 1000:.1f} ms, {share:.3f}% of the whole build "
          f"(target < 1% of a 650 MB build: {'met' if share < 1 else 'MISSED'}"
          f"{'' if disc_bytes >= 650 * MB else ', measured here on a smaller disc'})")
    for label, what in (("Checks before md temp (the lock, the data files read whole, the outputs opened)",
                         "checks before the first command"),
                        ("Staging check before the image tool (with the placeholder)", "placeholder and staging check"),
                        ("Staging check and the image's volume size after the image tool",
                         "staging check after the image tool")):
        check = [s for rows in windows_runs for k, w, s in rows if k == "ours" and w == what]
        if check:
            share = statistics.median(check) / statistics.median(whole_w) * 100
            print(f"{label}, in the build: {ms_spread(check)} ms, "
                  f"{share:.3f}% of the whole build (target < 1%: {'met' if share < 1 else 'MISSED'})")
    guards = [sum(s for k, what, s in rows if k == "ours" and what != "finishing writers") for rows in windows_runs]
    share = statistics.median(guards) / statistics.median(whole_w) * 100
    print(f"The build's own work between commands, writers aside (checks, listings, removals from temp, both staging checks): "
          f"{ms_spread(guards)} ms, {share:.3f}% of the whole build (target < 1%: {'met' if share < 1 else 'MISSED'})")
    print()

    print("The program itself:")
    print(f"  size of the 32-bit KORVANTE 2.EXE: {sizes.get('32-bit', '-')} bytes"
          f" (the {args.run_arch} build that runs here: {sizes.get('run', '-')} bytes)")
    if program:
        samples, memory = program
        print(f"  start to visible main dialog, warm wineserver, median of {START_SAMPLES} (seconds): "
              f"{spread(samples['program'])}  (target < 0.5 s: "
              f"{'met' if statistics.median(samples['program']) < 0.5 else 'MISSED'})")
        print(f"  the same for an empty dialog program (the platform's floor):            "
              f"{spread(samples['baseline'])}")
        for who in ("program", "baseline"):
            rss = [m["VmRSS"] for m in memory[who] if "VmRSS" in m]
            anon = [m["RssAnon"] for m in memory[who] if "RssAnon" in m]
            if rss:
                print(f"  working set at visible, {who:8}: VmRSS {statistics.median(rss) / 1024 / 1024:6.1f} MiB, "
                      f"of it private (RssAnon) {statistics.median(anon) / 1024 / 1024:5.1f} MiB")


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="a 64 MB disc instead of 650 MB")
    parser.add_argument("--size-mb", type=int, help="disc size in MB (10^6 bytes)")
    parser.add_argument("--repeats", type=int, default=3, help="builds per side, in alternation (at least 3)")
    parser.add_argument("--smoke", action="store_true", help="one build per side; check content only, time nothing")
    parser.add_argument("--driver", required=True, help="bench_driver.exe")
    parser.add_argument("--cdrom-drive", required=True, help="cdrom_drive.exe")
    parser.add_argument("--mkisofs-dir", required=True, help="folder of mkisofs.exe and genisoimage.sh")
    parser.add_argument("--program", help="KORVANTE 2.EXE of the build that runs here")
    parser.add_argument("--program-32", help="the 32-bit KORVANTE 2.EXE, for its size")
    parser.add_argument("--baseline", help="baseline_dialog.exe")
    parser.add_argument("--run-arch", default="i686", help="architecture of the Windows build that runs here")
    parser.add_argument("--windows-side", default="the 32-bit build under wine", help="one line for the report")
    args = parser.parse_args()
    if not WINE or not os.environ.get("WINEPREFIX"):
        sys.exit("bench.py: no Wine session (WINEPREFIX, KORVANTE_WINE); use bench/run")
    if not args.smoke and args.repeats < 3:
        sys.exit("bench.py: at least 3 builds per side")
    repeats = 1 if args.smoke else args.repeats
    disc_bytes = (args.size_mb or (64 if args.quick or args.smoke else 650)) * MB
    build_timeout = max(120, disc_bytes // MB)
    args.load_before = open("/proc/loadavg").read().split()[0:3]

    # Inside the session's folder, so that the session's clean-up takes it even after a kill.
    scratch = tempfile.mkdtemp(prefix="korvante-bench-", dir=os.path.dirname(os.environ["WINEPREFIX"]))
    drive_defined = False
    try:
        disc = os.path.join(scratch, "disc")
        root_files = make_disc(disc, disc_bytes)
        code = SORT_LISTS[DISC_INDEX][1]
        expected = expected_image_names(root_files, code)
        staged_bytes = sum(s for n, s in root_files.items() if n.upper() in expected)
        windows_folder = os.path.join(scratch, "windows", "work")
        native_folder = os.path.join(scratch, "native", "work")
        make_working_folder(windows_folder, args.mkisofs_dir)
        make_working_folder(native_folder)

        defined = run_wine([args.cdrom_drive, "define", DRIVE, disc])
        if defined.returncode != 0:
            raise RuntimeError(f"cannot define CD-ROM drive {DRIVE}: {describe(defined)}")
        drive_defined = True

        windows_runs, native_runs = [], []
        for i in range(repeats):
            windows_runs.append(windows_build(args.driver, windows_folder, build_timeout))
            native_runs.append(native_build(disc, native_folder, build_timeout))
            problems = manifest_differences(image_manifest(windows_folder), image_manifest(native_folder), expected)
            if problems:
                print(f"bench {'smoke' if args.smoke else 'run'}: FAIL: build {i + 1}, the two images differ:")
                for problem in problems:
                    print(f"  {problem}")
                return 1
            if not args.smoke:
                print(f"build {i + 1} of {repeats}: same image content on both sides "
                      f"(Windows {breakdown(windows_runs[-1], 'windows')['whole build']:.2f} s, "
                      f"native {breakdown(native_runs[-1], 'native')['whole build']:.2f} s)", flush=True)

        if args.smoke:
            print(f"bench smoke: PASS: the build under Wine and the native pipeline give the same image "
                  f"({len(expected)} files, {staged_bytes / MB:.0f} MB staged, boot area, track 2, cue sheet)")
            return 0

        dd = dd_reference(native_folder, 5 * repeats)
        sizes = {}
        if args.program_32 and os.path.exists(args.program_32):
            sizes["32-bit"] = os.path.getsize(args.program_32)
        program = None
        if args.program and args.baseline:
            sizes["run"] = os.path.getsize(args.program)
            program = program_measurements(args.program, args.baseline, os.path.join(scratch, "windows"))
        report(args, disc_bytes, staged_bytes, windows_runs, native_runs, dd, program, sizes)
        return 0
    except (RuntimeError, subprocess.TimeoutExpired) as error:
        print(f"bench {'smoke' if args.smoke else 'run'}: FAIL: {error}")
        return 1
    finally:
        if drive_defined:
            run_wine([args.cdrom_drive, "remove", DRIVE])
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
