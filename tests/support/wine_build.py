"""Fixtures and checks shared by the tests that build under Wine: the discs, the working folder
with the image tool, sort lists, boot area and overlays, and the checks of the image files with
tools that are not ours (xorriso, isoinfo, isovfy, cdrdao).

Everything runs inside the Wine session of scripts/test (WINEPREFIX, KORVANTE_WINE); the build
folder's helpers are named by KORVANTE_CDROM_DRIVE and KORVANTE_MKISOFS_DIR, or all taken from
the build tree KORVANTE_HELPERS_BUILD when that is set (the shipped 32-bit exe under qemu-user
runs with the 64-bit build's helpers).
"""
import os
import re
import shutil
import subprocess
import tempfile
import unittest



def helper(variable, *path_in_build_tree):
    """A Windows helper of the tests: in KORVANTE_HELPERS_BUILD's tree when that is set, else
    where the ctest entry's variable names it."""
    tree = os.environ.get("KORVANTE_HELPERS_BUILD")
    return os.path.join(tree, *path_in_build_tree) if tree else os.environ.get(variable, "")


WINE = os.environ.get("KORVANTE_WINE", "")
CDROM_DRIVE = helper("KORVANTE_CDROM_DRIVE", "tests", "support", "cdrom_drive.exe")
MKISOFS_DIR = helper("KORVANTE_MKISOFS_DIR", "tests", "support")

WINE_TIMEOUT = 120
BOOT_AREA_SIZE = 32768
TRACK2_SIZE = 2 * 1024 * 1024
CUE_SHEET_SIZE = 160
OUTPUTS = ("QX7.ISO", "QX7.CUE", "QX7Track2.bin")

# Disc root files: one per staged extension letter, then files the nine copies must leave out.
# Plain 8.3 upper-case names with three-letter extensions keep clear of the corners where
# Wine's cmd matches wildcards differently from Windows. X.DATA.BIN is taken by two copies,
# *.b* and *.d*, as on Windows; the image names it X_DATA.BIN.
# The Japanese name is one that no Western ANSI code page can spell: cmd copies it by its Unicode
# name, and the build must list and check it by that name too. \u00c9.BIN meets the overlay's
# \u00e9.bin, one file to Windows, which compares names without regard to case over all of Unicode.
STAGED_DISC_FILES = ["MAIN.BIN", "SETUP.CFG", "LEVEL1.DAT", "GAME.EXE", "FONT.FNT", "ICON.ICO", "WORLD.MAP",
                     "MUSIC.SND", "README.TXT", "X.DATA.BIN", "\u65e5\u672c\u8a9e.TXT", "\u00c9.BIN"]
UNSTAGED_DISC_FILES = ["NOTES.XYZ", "PHOTO.JPG", "NOEXT"]
DISC_SUBFOLDER = "EXTRAS"  # holds a .BIN of its own: only the root is staged
OVERLAY_REPLACES = "LEVEL1.DAT"
OVERLAY_CASE_TWIN = "\u00e9.bin"

# (sort list, overlay code) of each catalogue row, and the files each list weights.
DISCS = [
    ("qx7-1.txt", "s1", {"README.TXT": 90, "MUSIC.SND": 60, "S1NEW.DAT": 40, "MAIN.BIN": 10}),
    ("qx7-2.txt", "s2", {"MAIN.BIN": 80, "S2NEW.DAT": 50, "README.TXT": 20}),
    ("qx7-3.txt", "s3", {"WORLD.MAP": 70, "GAME.EXE": 30}),
    ("qx7-p.txt", "pd", {"LEVEL1.DAT": 95, "PDNEW.DAT": 75, "FONT.FNT": 55, "ICON.ICO": 35}),
]


def overlay_new_file(code):
    return code.upper() + "NEW.DAT"


def overlay_files(code):
    return [OVERLAY_REPLACES, OVERLAY_CASE_TWIN, overlay_new_file(code)]


def boot_area_pattern():
    return bytes((i * 7 + 13) % 251 for i in range(BOOT_AREA_SIZE))


def disc_content(drive, name):
    # Several sectors for some files, so that extents are far enough apart to show an order.
    repeat = 300 if name.endswith((".BIN", ".SND", ".TXT")) else 3
    return (f"disc in {drive}: {name}\n" * repeat).encode()


def overlay_content(code, name):
    return f"overlay {code}: {name}\n".encode() * 50


def windows_path(unix_path):
    """The Windows name of a Unix path, through drive Z:, which Wine maps to /."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def run(args, cwd=None, timeout=None):
    """Runs a program to its end without input; with a timeout, Python gives up 30 s after it."""
    return subprocess.run(args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=None if timeout is None else timeout + 30)


def run_wine(args, cwd=None, timeout=WINE_TIMEOUT):
    return run(["timeout", "-k", "5", str(timeout), WINE] + args, cwd=cwd, timeout=timeout)


def describe(result):
    return f"exit {result.returncode}\nstdout: {shown(result.stdout)}\nstderr: {shown(result.stderr)}"


def shown(output, limit=2000):
    # A copy that loops on its overwrite question writes megabytes until the timeout ends it.
    text = output.decode(errors="replace")
    return text if len(text) <= limit else f"{text[:limit]}... ({len(text)} characters in all)"


def make_disc(folder, drive):
    os.makedirs(os.path.join(folder, DISC_SUBFOLDER))
    for name in STAGED_DISC_FILES + UNSTAGED_DISC_FILES + [os.path.join(DISC_SUBFOLDER, "INNER.BIN")]:
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(disc_content(drive, os.path.basename(name)))
        # Every file on a CD is read-only, and copy keeps that attribute.
        os.chmod(path, 0o444)


def make_working_folder(folder, with_tool=True):
    """Lays the data a build reads: the tool, the sort lists, the boot area and the overlays."""
    data = os.path.join(folder, "data")
    os.makedirs(data)
    if with_tool:
        install_tool(folder)
    for sort_list, code, weights in DISCS:
        # The tool sees each file as the source folder as given (temp/) plus its name.
        # A blank line would make it fail, so the lines are joined, not terminated.
        lines = [f"temp/{name} {weight}" for name, weight in weights.items()]
        with open(os.path.join(data, sort_list), "w", newline="\n") as f:
            f.write("\n".join(lines))
        overlay = os.path.join(folder, "files", code)
        os.makedirs(overlay)
        for name in overlay_files(code):
            with open(os.path.join(overlay, name), "wb") as f:
                f.write(overlay_content(code, name))
    with open(os.path.join(data, "qx72ip.bin"), "wb") as f:
        f.write(boot_area_pattern())


def install_tool(folder):
    for name in ("mkisofs.exe", "genisoimage.sh"):
        shutil.copy2(os.path.join(MKISOFS_DIR, name), os.path.join(folder, "data", name))


def expected_image_files(drive, code):
    """Name -> content of every file the image of this disc should hold."""
    overlay = {name: overlay_content(code, name) for name in overlay_files(code)}
    replaced = {name.casefold() for name in overlay}
    files = {name: disc_content(drive, name) for name in STAGED_DISC_FILES if name.casefold() not in replaced}
    files.update(overlay)
    files["CDDA2"] = b""
    return files


def iso_name(name):
    """The name the image tool gives a staged file: ISO 9660 allows one dot, and upper-case
    letters, digits and "_"; ASCII letters become capitals, each other byte of the UTF-8 name
    "_", 8 at most."""
    stem, dot, extension = name.rpartition(".")
    if not dot:
        return name
    return re.sub(rb"[^A-Z0-9_]", b"_", stem.encode().upper())[:8].decode() + dot + extension.upper()


def image_extents(image):
    """Name -> (start block, size) of each file in the image, read by xorriso."""
    result = run(["xorriso", "-indev", image, "-find", "/", "-type", "f", "-exec", "report_lba", "--"])
    extents = {}
    for line in result.stdout.decode().splitlines():
        match = re.match(r"File data lba:\s*\d+\s*,\s*(\d+)\s*,\s*\d+\s*,\s*(\d+)\s*,\s*'/(.*)'$", line)
        if match:
            extents[match.group(3)] = (int(match.group(1)), int(match.group(2)))
    return extents


def image_file_content(image, name):
    return run(["isoinfo", "-i", image, "-x", f"/{name};1"]).stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def scratch_folder(prefix):
    # Inside the session's folder, so that the session's clean-up removes it even after a
    # test was killed.
    return tempfile.mkdtemp(prefix=prefix, dir=os.path.dirname(os.environ["WINEPREFIX"]))


@unittest.skipUnless(WINE and os.environ.get("WINEPREFIX"), "needs the Wine session of scripts/test")
class WineBuildCase(unittest.TestCase):
    """Each test works in a fresh working folder; the discs sit in CD-ROM drives E: and F:."""

    DRIVES = ("E", "F")

    @classmethod
    def setUpClass(cls):
        cls.discs_root = scratch_folder("korvante-discs-")
        for drive in cls.DRIVES:
            make_disc(os.path.join(cls.discs_root, drive), drive)
            defined = run_wine([CDROM_DRIVE, "define", drive, os.path.join(cls.discs_root, drive)])
            if defined.returncode != 0:
                cls.tearDownClass()
                raise RuntimeError(f"cannot define CD-ROM drive {drive}: {describe(defined)}")

    @classmethod
    def tearDownClass(cls):
        for drive in cls.DRIVES:
            run_wine([CDROM_DRIVE, "remove", drive])
        shutil.rmtree(cls.discs_root, ignore_errors=True)

    def setUp(self):
        self.folder = scratch_folder("korvante-build-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def assert_same_names(self, found, expected, what):
        found, expected = set(found or ()), set(expected)
        self.assertEqual(found, expected, f"{what}: missing {sorted(expected - found)}, "
                                          f"unexpected {sorted(found - expected)}")

    def assert_same_bytes(self, found, expected, what):
        if found == expected:
            return
        offset = next((i for i, (a, b) in enumerate(zip(found, expected)) if a != b), min(len(found), len(expected)))
        self.fail(f"{what}: expected {len(expected)} bytes, found {len(found)}; first difference at offset "
                  f"{offset}: expected {expected[offset:offset + 8]!r}, found {found[offset:offset + 8]!r}")

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def staged_names(self):
        return sorted(os.listdir(self.path("temp"))) if os.path.isdir(self.path("temp")) else []

    def assert_image_holds(self, staged_files):
        image = self.path("QX7.ISO")
        expected_files = {iso_name(name): content for name, content in staged_files.items()}
        extents = image_extents(image)
        self.assert_same_names(extents, expected_files, "files in the image")
        for name, content in expected_files.items():
            self.assert_same_bytes(image_file_content(image, name), content, f"{name} in the image")

    def assert_extents_follow_weights(self, extents, weights):
        # Higher weights first; unweighted files after all weighted ones. Empty files have no
        # extent of their own and are not sorted.
        by_weight = sorted(weights, key=weights.get, reverse=True)
        starts = [extents[name][0] for name in by_weight]
        self.assertEqual(starts, sorted(starts), f"start blocks of {by_weight} (highest weight first)")
        self.assertEqual(len(set(starts)), len(starts), f"weighted files share a start block: {starts}")
        unweighted = {name: start for name, (start, size) in extents.items() if name not in weights and size > 0}
        early = {name: start for name, start in unweighted.items() if start < starts[-1]}
        self.assertEqual(early, {}, f"unweighted files placed before {by_weight[-1]} at block {starts[-1]}")

    def assert_image_is_sound(self, image):
        verified = run(["isovfy", image])
        self.assertIn(b"No errors found", verified.stdout, f"isovfy on the image: {describe(verified)}")
        described = run(["isoinfo", "-d", "-i", image])
        match = re.search(rb"Volume size is:\s*(\d+)", described.stdout)
        self.assertIsNotNone(match, f"isoinfo -d gave no volume size: {describe(described)}")
        self.assertEqual(int(match.group(1)) * 2048, os.path.getsize(image),
                         "volume size x 2048 against the image's file size")

    def assert_cue_sheet_reads_as_two_tracks(self):
        # cdrdao resolves the sheet's FILE names against its current folder.
        toc = run(["cdrdao", "show-toc", "QX7.CUE"], cwd=self.folder)
        text = toc.stdout.decode(errors="replace")
        self.assertEqual(toc.returncode, 0, f"cdrdao show-toc QX7.CUE: {describe(toc)}")
        tracks = re.findall(r"^TRACK\s+(\d+)\s+Mode\s+(\S+):", text, re.MULTILINE)
        self.assertEqual(tracks, [("1", "MODE1"), ("2", "AUDIO")], f"tracks read by cdrdao:\n{text}")
        pregap = re.search(r"PREGAP\s+\S+\(\s*(\d+)\)", text)
        self.assertIsNotNone(pregap, f"no pregap in cdrdao's table of contents:\n{text}")
        self.assertEqual(pregap.group(1), "150", "pregap of track 2 in frames")
        track1_end = re.search(r"TRACK\s+1.*?END\s+\S+\(\s*(\d+)\)", text, re.DOTALL)
        self.assertIsNotNone(track1_end, f"no end of track 1 in cdrdao's table of contents:\n{text}")
        self.assertEqual(int(track1_end.group(1)) * 2048, os.path.getsize(self.path("QX7.ISO")),
                         "track 1's length in sectors x 2048 against the image's size")

    def assert_folder_holds_the_outputs_alone(self, what):
        self.assert_same_names(os.listdir(self.folder), list(OUTPUTS) + ["data", "files"], what)

    def assert_good_build(self, disc, drive):
        """The image of this disc from this drive, whole, stamped, sorted and sound; the silent
        track and the cue sheet; no temp."""
        sort_list, code, weights = DISCS[disc]
        self.assertFalse(os.path.exists(self.path("temp")), f"temp left behind after a good build: "
                                                            f"{self.staged_names()}")
        image = self.path("QX7.ISO")
        self.assert_same_bytes(read(image)[:BOOT_AREA_SIZE], read(self.path("data", "qx72ip.bin")),
                               "system area of QX7.ISO against data/qx72ip.bin")
        self.assert_image_holds(expected_image_files(drive, code))
        self.assert_extents_follow_weights(image_extents(image), weights)
        self.assert_image_is_sound(image)
        self.assertEqual(os.path.getsize(self.path("QX7.CUE")), CUE_SHEET_SIZE, "size of QX7.CUE")
        self.assert_cue_sheet_reads_as_two_tracks()
        self.assert_same_bytes(read(self.path("QX7Track2.bin")), bytes(TRACK2_SIZE),
                               "QX7Track2.bin against 2 MiB of zero bytes")
