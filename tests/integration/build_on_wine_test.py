#!/usr/bin/env python3
"""Whole builds under Wine: RunBuild with the real command interpreter, real CD-ROM drives and
genisoimage behind data\\mkisofs.exe, checked from the Linux side with tools that are not ours.

Run by ctest inside the Wine session of scripts/test (WINEPREFIX, KORVANTE_WINE). The build
folder's helpers are named by KORVANTE_BUILD_DRIVER, KORVANTE_CDROM_DRIVE and
KORVANTE_MKISOFS_DIR.
"""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

WINE = os.environ.get("KORVANTE_WINE", "")
BUILD_DRIVER = os.environ.get("KORVANTE_BUILD_DRIVER", "")
CDROM_DRIVE = os.environ.get("KORVANTE_CDROM_DRIVE", "")
MKISOFS_DIR = os.environ.get("KORVANTE_MKISOFS_DIR", "")

WINE_TIMEOUT = "120"
BOOT_AREA_SIZE = 32768
TRACK2_SIZE = 2 * 1024 * 1024

# Disc root files: one per staged extension letter, then files the nine copies must leave out.
# Plain 8.3 upper-case names with three-letter extensions keep clear of the corners where
# Wine's cmd matches wildcards differently from Windows.
STAGED_DISC_FILES = ["MAIN.BIN", "SETUP.CFG", "LEVEL1.DAT", "GAME.EXE", "FONT.FNT",
                     "ICON.ICO", "WORLD.MAP", "MUSIC.SND", "README.TXT"]
UNSTAGED_DISC_FILES = ["NOTES.XYZ", "PHOTO.JPG", "NOEXT"]
DISC_SUBFOLDER = "EXTRAS"  # holds a .BIN of its own: only the root is staged
OVERLAY_REPLACES = "LEVEL1.DAT"

# (sort list, overlay code) of each catalogue row, and the files each list weights.
DISCS = [
    ("qx7-1.txt", "s1", {"README.TXT": 90, "MUSIC.SND": 60, "S1NEW.DAT": 40, "MAIN.BIN": 10}),
    ("qx7-2.txt", "s2", {"MAIN.BIN": 80, "S2NEW.DAT": 50, "README.TXT": 20}),
    ("qx7-3.txt", "s3", {"WORLD.MAP": 70, "GAME.EXE": 30}),
    ("qx7-p.txt", "pd", {"LEVEL1.DAT": 95, "PDNEW.DAT": 75, "FONT.FNT": 55, "ICON.ICO": 35}),
]


def overlay_new_file(code):
    return code.upper() + "NEW.DAT"


def boot_area_pattern():
    return bytes((i * 7 + 13) % 251 for i in range(BOOT_AREA_SIZE))


def disc_content(drive, name):
    # Several sectors for some files, so that extents are far enough apart to show an order.
    repeat = 300 if name.endswith((".BIN", ".SND", ".TXT")) else 3
    return (f"disc in {drive}: {name}\n" * repeat).encode()


def overlay_content(code, name):
    return f"overlay {code}: {name}\n".encode() * 50


def run(args, cwd=None):
    return subprocess.run(args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True)


def run_wine(args, cwd=None):
    return run(["timeout", "-k", "5", WINE_TIMEOUT, WINE] + args, cwd=cwd)


def describe(result):
    return (f"exit {result.returncode}\nstdout: {result.stdout.decode(errors='replace')}"
            f"\nstderr: {result.stderr.decode(errors='replace')}")


def make_disc(folder, drive):
    os.makedirs(os.path.join(folder, DISC_SUBFOLDER))
    for name in STAGED_DISC_FILES + UNSTAGED_DISC_FILES:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(disc_content(drive, name))
    with open(os.path.join(folder, DISC_SUBFOLDER, "INNER.BIN"), "wb") as f:
        f.write(disc_content(drive, "INNER.BIN"))


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
        for name in (OVERLAY_REPLACES, overlay_new_file(code)):
            with open(os.path.join(overlay, name), "wb") as f:
                f.write(overlay_content(code, name))
    with open(os.path.join(data, "qx72ip.bin"), "wb") as f:
        f.write(boot_area_pattern())


def install_tool(folder):
    for name in ("mkisofs.exe", "genisoimage.sh"):
        shutil.copy2(os.path.join(MKISOFS_DIR, name), os.path.join(folder, "data", name))


def expected_image_files(drive, code):
    """Name -> content of every file the image of this disc should hold."""
    files = {name: disc_content(drive, name) for name in STAGED_DISC_FILES}
    for name in (OVERLAY_REPLACES, overlay_new_file(code)):
        files[name] = overlay_content(code, name)
    files["CDDA2"] = b""
    return files


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
class HelpersUnderWine(unittest.TestCase):
    """The helpers the build tests stand on: the CD-ROM drive and the image tool."""

    def setUp(self):
        self.folder = scratch_folder("korvante-helpers-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def test_cdrom_drive_defines_and_removes_a_drive_holding_a_folder(self):
        content = b"read from the drive\n"
        write(os.path.join(self.folder, "disc", "HELLO.TXT"), content)

        defined = run_wine([CDROM_DRIVE, "define", "G", os.path.join(self.folder, "disc")])
        self.addCleanup(run_wine, [CDROM_DRIVE, "remove", "G"])
        # The helper itself checks that GetDriveTypeA now gives DRIVE_CDROM.
        self.assertEqual(defined.returncode, 0, f"cdrom_drive define G: {describe(defined)}")
        typed = run_wine(["cmd", "/c", "type", "G:\\HELLO.TXT"])
        self.assertEqual(typed.stdout.replace(b"\r\n", b"\n"), content, f"type G:\\HELLO.TXT: {describe(typed)}")

        removed = run_wine([CDROM_DRIVE, "remove", "G"])
        self.assertEqual(removed.returncode, 0, f"cdrom_drive remove G: {describe(removed)}")
        typed = run_wine(["cmd", "/c", "type", "G:\\HELLO.TXT"])
        self.assertNotEqual(typed.returncode, 0, f"G: still readable after its removal: {describe(typed)}")

        for args in (["define", "GH", self.folder], ["define", "G"], ["eject", "G"]):
            refused = run_wine([CDROM_DRIVE] + args)
            self.assertEqual(refused.returncode, 2, f"cdrom_drive {' '.join(args)}: {describe(refused)}")

    def test_image_tool_passes_arguments_output_and_exit_code_through(self):
        os.makedirs(self.path("data"))
        install_tool(self.folder)
        write(self.path("src", "A.DAT"), b"staged\n")
        os.makedirs(self.path("out"))
        tool = self.path("data", "mkisofs.exe")

        made = run_wine([tool, "-o", "out\\X.ISO", "src\\"], cwd=self.folder)
        self.assertEqual(made.returncode, 0, f"mkisofs.exe -o out\\X.ISO src\\: {describe(made)}")
        self.assertIn(b"extents written", made.stderr, "genisoimage's report not passed through")
        self.assertEqual(image_file_content(self.path("out", "X.ISO"), "A.DAT"), b"staged\n",
                         "A.DAT in the image written through the shim")

        # A missing source folder: the shim must end exactly as genisoimage itself does.
        native = run(["genisoimage", "-o", "Y.ISO", "missing/"], cwd=self.folder)
        shimmed = run_wine([tool, "-o", "Y.ISO", "missing\\"], cwd=self.folder)
        self.assertNotEqual(native.returncode, 0, f"genisoimage on a missing folder: {describe(native)}")
        self.assertEqual((shimmed.returncode, shimmed.stderr), (native.returncode, native.stderr),
                         "exit code and error output through the shim against genisoimage's own")

    def path(self, *parts):
        return os.path.join(self.folder, *parts)


@unittest.skipUnless(WINE and os.environ.get("WINEPREFIX"), "needs the Wine session of scripts/test")
class BuildUnderWine(unittest.TestCase):
    """Each test builds in a fresh working folder; the discs sit in two CD-ROM drives."""

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

    def build(self, disc, drive):
        return run_wine([BUILD_DRIVER, str(disc), f"{drive}:\\"], cwd=self.folder)

    def assert_build_succeeds(self, disc, drive):
        result = self.build(disc, drive)
        self.assertEqual(result.returncode, 0, f"build of disc {disc} from {drive}: failed\n{describe(result)}")

    def staged_names(self):
        return sorted(os.listdir(self.path("temp"))) if os.path.isdir(self.path("temp")) else []

    def assert_image_holds(self, expected_files):
        image = self.path("QX7.ISO")
        extents = image_extents(image)
        self.assert_same_names(extents, expected_files, "files in the image")
        for name, content in expected_files.items():
            self.assert_same_bytes(image_file_content(image, name), content, f"{name} in the image")

    def test_whole_build_of_two_discs_from_two_drives(self):
        for disc, drive in ((0, "E"), (3, "F")):
            sort_list, code, weights = DISCS[disc]
            with self.subTest(disc=sort_list, drive=drive):
                self.folder = scratch_folder("korvante-build-")
                self.addCleanup(shutil.rmtree, self.folder, True)
                make_working_folder(self.folder)

                self.assert_build_succeeds(disc, drive)

                self.assert_same_names(os.listdir(self.folder),
                                       ["QX7.CUE", "QX7.ISO", "QX7Track2.bin", "data", "files"],
                                       "working folder after the build")
                image = self.path("QX7.ISO")
                self.assert_same_bytes(read(image)[:BOOT_AREA_SIZE], boot_area_pattern(),
                                       "image's first 32768 bytes against data/qx72ip.bin")
                self.assert_same_bytes(read(self.path("QX7Track2.bin")), bytes(TRACK2_SIZE),
                                       "track-2 file against 2 MiB of zero bytes")

                # Disc files from this drive only; the overlay's copy of LEVEL1.DAT replaced the disc's.
                self.assert_image_holds(expected_image_files(drive, code))
                self.assert_extents_follow_weights(image_extents(image), weights)
                self.assert_image_is_sound(image)
                self.assert_cue_sheet_reads_as_two_tracks()

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

    def test_drive_without_a_disc_gives_an_image_of_the_overlay_alone(self):
        # A CD-ROM drive on a folder that does not exist is a drive with no disc in it: the
        # nine copies find nothing, and the build goes on without noticing.
        defined = run_wine([CDROM_DRIVE, "define", "H", os.path.join(self.folder, "no-disc")])
        self.addCleanup(run_wine, [CDROM_DRIVE, "remove", "H"])
        self.assertEqual(defined.returncode, 0, f"cdrom_drive define H: {describe(defined)}")
        make_working_folder(self.folder)

        self.assert_build_succeeds(2, "H")

        self.assertFalse(os.path.exists(self.path("temp")), f"temp left behind: {self.staged_names()}")
        self.assert_image_holds({name: overlay_content("s3", name)
                                 for name in (OVERLAY_REPLACES, overlay_new_file("s3"))} | {"CDDA2": b""})

    def test_missing_image_tool_fails_and_keeps_the_staged_files(self):
        make_working_folder(self.folder, with_tool=False)

        result = self.build(1, "E")

        self.assertEqual(result.returncode, 1, f"build without data\\mkisofs.exe: {describe(result)}")
        self.assertFalse(os.path.exists(self.path("QX7.ISO")), "an image appeared without the tool")
        self.assertFalse(os.path.exists(self.path("QX7.CUE")), "cue sheet written for a failed build")
        self.assert_same_names(self.staged_names(), expected_image_files("E", "s2"),
                               "staging folder after the failed build")

    def test_failing_image_tool_leaves_an_earlier_image_unchanged(self):
        make_working_folder(self.folder)
        self.assert_build_succeeds(0, "E")
        earlier_image = read(self.path("QX7.ISO"))

        # A blank line in the sort list makes the tool end with an error and no image.
        with open(self.path("data", "qx7-2.txt"), "a") as f:
            f.write("\n\ntemp/MAIN.BIN 5\n")
        result = self.build(1, "F")

        self.assertNotEqual(result.returncode, 0, f"build with a failing tool, expected a failure: {describe(result)}")
        self.assert_same_bytes(read(self.path("QX7.ISO")), earlier_image, "QX7.ISO against the earlier image")
        self.assert_same_names(self.staged_names(), expected_image_files("F", "s2"),
                               "staging folder after the failed build")
        self.assert_same_bytes(read(self.path("temp", OVERLAY_REPLACES)), overlay_content("s2", OVERLAY_REPLACES),
                               f"staged {OVERLAY_REPLACES}")

    def test_build_after_a_failed_one_uses_the_stale_temp_and_removes_it(self):
        make_working_folder(self.folder, with_tool=False)
        failed = self.build(1, "F")
        self.assertEqual(failed.returncode, 1, f"first build, without the tool: {describe(failed)}")
        stale = self.staged_names()
        self.assertIn(overlay_new_file("s2"), stale, "the failed build left no staged files")

        install_tool(self.folder)
        self.assert_build_succeeds(0, "E")

        self.assertFalse(os.path.exists(self.path("temp")), f"temp left behind: {self.staged_names()}")
        # The stale folder is used as it is: what the failed build staged goes into this image.
        expected = expected_image_files("E", "s1")
        expected[overlay_new_file("s2")] = overlay_content("s2", overlay_new_file("s2"))
        self.assert_image_holds(expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
