#!/usr/bin/env python3
"""Whole builds under Wine: RunBuild with the real command interpreter, real CD-ROM drives and
genisoimage behind data\\mkisofs.exe, checked from the Linux side with tools that are not ours.

Run by ctest inside the Wine session of scripts/test (WINEPREFIX, KORVANTE_WINE). The build
folder's helpers are named by KORVANTE_BUILD_DRIVER, KORVANTE_CDROM_DRIVE and
KORVANTE_MKISOFS_DIR.
"""
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wine_build import *  # noqa: E402,F401,F403

BUILD_DRIVER = os.environ.get("KORVANTE_BUILD_DRIVER", "")


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


class BuildUnderWine(WineBuildCase):
    """RunBuild with its default runner, from build_driver.exe."""

    def build(self, disc, drive):
        return run_wine([BUILD_DRIVER, str(disc), f"{drive}:\\"], cwd=self.folder)

    def assert_build_succeeds(self, disc, drive):
        result = self.build(disc, drive)
        self.assertEqual(result.returncode, 0, f"build of disc {disc} from {drive}: failed\n{describe(result)}")

    def test_whole_build_of_two_discs_from_two_drives(self):
        for disc, drive in ((0, "E"), (3, "F")):
            with self.subTest(disc=DISCS[disc][0], drive=drive):
                self.folder = scratch_folder("korvante-build-")
                self.addCleanup(shutil.rmtree, self.folder, True)
                make_working_folder(self.folder)

                self.assert_build_succeeds(disc, drive)

                self.assert_folder_holds_the_outputs_alone("working folder after the build")
                # Disc files from this drive only; the overlay's copy of LEVEL1.DAT replaced the disc's.
                self.assert_good_build(disc, drive)

    def test_drive_that_is_gone_fails_before_the_first_copy_and_keeps_an_earlier_image(self):
        # A drive letter that names no drive (a USB drive pulled out since it was chosen) is not
        # waited for as a disc spinning up is: the build stops at once, before md temp. The
        # end-to-end suite plays the drive without a disc.
        make_working_folder(self.folder)
        self.assert_build_succeeds(0, "E")
        earlier_image = read(self.path("QX7.ISO"))

        result = self.build(2, "Q")

        self.assertEqual(result.returncode, 1, f"build from a drive that is gone: {describe(result)}")
        self.assert_same_bytes(read(self.path("QX7.ISO")), earlier_image, "earlier QX7.ISO after the failed build")
        self.assertFalse(os.path.exists(self.path("temp")), "temp made for a drive that is gone")

    def test_missing_image_tool_fails_before_anything_is_staged(self):
        make_working_folder(self.folder, with_tool=False)

        result = self.build(1, "E")

        self.assertEqual(result.returncode, 1, f"build without data\\mkisofs.exe: {describe(result)}")
        self.assertFalse(os.path.exists(self.path("QX7.ISO")), "an image appeared without the tool")
        self.assertFalse(os.path.exists(self.path("QX7.CUE")), "cue sheet written for a failed build")
        self.assertFalse(os.path.exists(self.path("temp")), "temp made by a build that could not end well")

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

    def test_another_disc_after_a_failed_build_takes_nothing_from_its_temp(self):
        make_working_folder(self.folder)
        # A blank line in the sort list makes the tool fail once everything is staged.
        with open(self.path("data", "qx7-2.txt"), "a") as f:
            f.write("\n\n")
        failed = self.build(1, "F")
        self.assertEqual(failed.returncode, 1, f"first build, with a failing tool: {describe(failed)}")
        stale = self.staged_names()
        self.assertIn(overlay_new_file("s2"), stale, "the failed build left no staged files")

        self.assert_build_succeeds(0, "E")

        self.assertFalse(os.path.exists(self.path("temp")), f"temp left behind: {self.staged_names()}")
        # Neither the other disc's overlay file nor its copies of this disc's names.
        self.assert_image_holds(expected_image_files("E", "s1"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
