#!/usr/bin/env python3
"""The real KORVANTE 2.EXE, started in fresh working folders under Wine and Xvfb and used with
real clicks and keys (user_driver.exe), its outputs checked with tools that are not ours.

Run by ctest inside the Wine session of scripts/test. KORVANTE_PROGRAM names the executable,
KORVANTE_USER_DRIVER the driver.
"""
import os
import shutil
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from program_case import ProgramCase  # noqa: E402
from wine_build import (  # noqa: E402
    BOOT_AREA_SIZE, CDROM_DRIVE, DISCS, boot_area_pattern, describe, expected_image_files, helper, install_tool,
    make_disc, make_working_folder, read, run_wine, scratch_folder, windows_path, write)

# The interpreter stand-in that ends a copy as Task Manager does, for the builds that ask it to.
ENDED_CONSOLE_COMSPEC = "COMSPEC=" + windows_path(
    helper("KORVANTE_CLOSED_CONSOLE", "tests", "support", "closed_console.exe"))


class EndToEnd(ProgramCase):
    """Discs in CD-ROM drives E: and F:, a fresh working folder for each case."""

    def test_each_disc_from_a_drive_other_than_d(self):
        for disc in range(4):
            drive = self.DRIVES[disc % 2]
            with self.subTest(disc=DISCS[disc][0], drive=drive):
                self.folder = scratch_folder("korvante-e2e-")
                make_working_folder(self.folder)

                self.use_program("disc", disc, "make-cd", "pick", drive, "expect-exit")

                self.assert_folder_holds_the_outputs_alone("working folder after the build")
                self.assert_good_build(disc, drive)

    def test_failures_a_user_meets_then_a_second_try_after_the_mend(self):
        def remove(*parts):
            os.remove(self.path(*parts))

        def make_image_folder():
            os.remove(self.path("QX7.ISO"))
            os.mkdir(self.path("QX7.ISO"))

        def set_attribute(attribute):
            changed = run_wine(["attrib", attribute, "QX7.CUE"], cwd=self.folder)
            self.assertEqual(changed.returncode, 0, f"attrib {attribute} QX7.CUE: {describe(changed)}")

        def mode(name, content=b""):  # a way the test's image tool or interpreter misbehaves: (breaks, mends)
            return lambda: write(self.path("data", name), content), lambda: remove("data", name)

        before_md, while_copying, after_tool = "before md temp", "while copying", "after the image tool"
        unchanged, replaced = "are unchanged.", "has been written over"

        def keep_only_the_cue_sheet():
            os.rename(self.path("data", "qx7-2.txt"), self.path("kept"))
            for name in ("QX7.ISO", "QX7Track2.bin"):
                os.remove(self.path(name))

        def list_of_another_disc():
            os.rename(self.path("data", "qx7-2.txt"), self.path("kept"))
            write(self.path("data", "qx7-2.txt"), b"temp/SETUP.EXE 10")

        cases = [
            # (what, how to break the folder, how to mend it, a file another program holds meanwhile
            # sharing reading only, when the build fails, what the message says)
            ("no data\\mkisofs.exe", lambda: remove("data", "mkisofs.exe"), lambda: install_tool(self.folder), None,
             before_md, ["The image tool data\\mkisofs.exe is missing", unchanged]),
            ("sort list missing, only QX7.CUE from before", keep_only_the_cue_sheet,
             lambda: os.rename(self.path("kept"), self.path("data", "qx7-2.txt")), None, before_md,
             ["file-order list data\\qx7-2.txt is missing", "Your earlier QX7.CUE is unchanged."]),
            ("boot-area file missing", lambda: os.rename(self.path("data", "qx72ip.bin"), self.path("kept")),
             lambda: os.rename(self.path("kept"), self.path("data", "qx72ip.bin")), None, before_md,
             ["The boot-area file data\\qx72ip.bin is missing", unchanged]),
            ("a folder named QX7.ISO", make_image_folder, lambda: os.rmdir(self.path("QX7.ISO")), None, before_md,
             ["A folder named QX7.ISO is in the way", "Your earlier QX7Track2.bin and QX7.CUE are unchanged."]),
            ("a folder named QX7.LCK", lambda: os.mkdir(self.path("QX7.LCK")), lambda: os.rmdir(self.path("QX7.LCK")),
             None, before_md, ["QX7.LCK in this folder cannot be opened", unchanged]),
            # Windows creates over no hidden file: refused before the tool could take the image.
            ("QX7.CUE hidden", lambda: set_attribute("+h"), lambda: set_attribute("-h"), None, before_md,
             ["QX7.CUE is a hidden or system file", unchanged]),
            # Windows holds a mounted image until Eject; a burning program or an emulator holds an open one.
            ("QX7.ISO held open", None, None, "QX7.ISO", before_md, ["QX7.ISO cannot be replaced", unchanged]),
            # Another program's disc, played by a list that names none of this disc's files.
            ("a disc the list does not name", list_of_another_disc,
             lambda: os.replace(self.path("kept"), self.path("data", "qx7-2.txt")), None, before_md,
             ["The disc in F: is not Scen 2's: none of its files", unchanged]),
            # The console of the copy of MUSIC.SND ended from Task Manager once copy had sized the file.
            ("a copy cut off with status 1", *mode("ended-console", b"MUSIC.SND"), None, while_copying,
             ["Copying F:\\*.s* into temp failed", unchanged]),
            # As a virus scanner that quarantines a file while the tool reads temp: the tool leaves
            # it out and still ends well.
            ("a staged file gone while the tool runs", lambda: write(self.path("data", "quarantine"), b"MUSIC.SND"),
             lambda: remove("data", "quarantine"), None, after_tool,
             ["temp\\MUSIC.SND went missing while the image tool worked", replaced]),
            # The tool ends well with its last buffer unwritten, on a disk that filled just then.
            ("an image the tool left 20 KiB short", *mode("short-image"), None, after_tool,
             ["QX7.ISO is shorter than its own file system says", replaced]),
            ("the tool failing after it wrote its image", *mode("fail-after-write"), None, after_tool,
             ["data\\mkisofs.exe failed (exit status 1)", replaced]),
            ("the tool's console closed after it wrote its image", *mode("closed-after-write"), None, after_tool,
             ["The image tool was stopped while it made the image", replaced]),
            # The earlier image is another disc's: passed off as this one's, it would be stamped and kept.
            ("a tool that ends well without writing", *mode("no-write"), None, after_tool,
             ["did not write QX7.ISO", unchanged]),
            ("a staged file the tool leaves out, ending well", *mode("leave-out", b"MUSIC.SND"), None, after_tool,
             ["The image tool left temp\\MUSIC.SND out of QX7.ISO", replaced]),
        ]
        # Each case starts as after a good build of disc 0: that folder is made once and copied.
        make_working_folder(self.folder)
        self.use_program("disc", 0, "make-cd", "pick", "E", "expect-exit")
        after_a_good_build = self.folder
        for what, breaks, mends, held, fails, says in cases:
            with self.subTest(what):
                self.folder = scratch_folder("korvante-e2e-")
                shutil.copytree(after_a_good_build, self.folder, symlinks=True, dirs_exist_ok=True)
                if breaks:
                    breaks()
                earlier_image = read(self.path("QX7.ISO")) if os.path.isfile(self.path("QX7.ISO")) else None

                def check_then_mend():
                    if earlier_image is not None and unchanged in says:
                        self.assert_same_bytes(read(self.path("QX7.ISO")), earlier_image,
                                               f"earlier QX7.ISO after the failure ({what})")
                    if fails == before_md:
                        self.assertFalse(os.path.exists(self.path("temp")), f"temp after a failure known before "
                                                                            f"any copy ({what}): {self.staged_names()}")
                    if mends:
                        mends()

                held_steps = ["lock", held] if held else []
                # Only these builds run their commands through the stand-in, which costs a process each.
                env = [ENDED_CONSOLE_COMSPEC] if os.path.exists(self.path("data", "ended-console")) else []
                transcript = self.use_program("disc", 1, *held_steps, "make-cd", "pick", "F", "expect-failure",
                                              *(["unlock"] if held else []),
                                              "wait-file", "mended", "make-cd", "pick", "F", "expect-exit",
                                              mend=check_then_mend, env=env)
                self.assert_message_says(transcript, *says)

                self.assert_folder_holds_the_outputs_alone("working folder after the retry")
                self.assert_good_build(1, "F")

    def test_enter_in_the_chooser_and_an_empty_drive_fail_without_touching_the_image(self):
        defined = run_wine([CDROM_DRIVE, "define", "H", os.path.join(self.folder, "no-disc")])
        self.addCleanup(run_wine, [CDROM_DRIVE, "remove", "H"])
        self.assertEqual(defined.returncode, 0, f"cdrom_drive define H: {describe(defined)}")
        make_working_folder(self.folder)
        self.use_program("disc", 2, "make-cd", "pick", "E", "expect-exit")
        earlier = {name: read(self.path(name)) for name in ("QX7.ISO", "QX7.CUE", "QX7Track2.bin")}

        transcript = self.use_program("disc", 3, "make-cd", "enter", "expect-failure",
                                      "make-cd", "pick", "H", "expect-failure",
                                      "make-cd", "escape", "close")

        self.assert_message_says(transcript, "No drive was chosen.", "Drive H: holds no disc", "are unchanged.")
        for name, content in earlier.items():
            self.assertEqual(read(self.path(name)), content, f"{name} changed by the failed tries")
        self.assertFalse(os.path.exists(self.path("temp")), "temp made although nothing was built")

        # A DVD-Video: folders only.
        os.makedirs(os.path.join(self.folder, "no-disc", "VIDEO_TS"))
        transcript = self.use_program("disc", 3, "make-cd", "pick", "H", "expect-failure", "close")
        self.assert_message_says(transcript, "The disc in H: is not Prem D's: it holds no files to copy", "are unchanged.")
        self.assertEqual(read(self.path("QX7.ISO")), earlier["QX7.ISO"], "QX7.ISO changed by the refused disc")
        shutil.rmtree(os.path.join(self.folder, "no-disc"))

        # A disc just put in: the drive answers "not ready" until its folder appears, 3 s after
        # the build has begun (the build's lock file tells when), and the build waits for it.
        disc = os.path.join(self.folder, "disc-put-in")
        make_disc(disc, "H")

        def put_the_disc_in():
            deadline = time.monotonic() + 120
            while not os.path.exists(self.path("QX7.LCK")) and time.monotonic() < deadline:
                time.sleep(0.05)
            time.sleep(3)
            os.rename(disc, os.path.join(self.folder, "no-disc"))

        putting_in = threading.Thread(target=put_the_disc_in)
        putting_in.start()
        self.use_program("disc", 3, "make-cd", "pick", "H", "expect-exit")
        putting_in.join()
        shutil.rmtree(os.path.join(self.folder, "no-disc"))
        self.assert_good_build(3, "H")

    def test_image_held_a_moment_after_the_tool_and_longer_than_its_volume_is_made(self):
        # A scanner holds QX7.ISO without sharing for 3 s once the tool has ended, and the
        # tool wrote 5 KiB past its volume, as some builds do: waited for, and whole. A sync
        # client empties the boot-area file meanwhile: the image gets what it held at the start.
        make_working_folder(self.folder)
        for name in ("hold-image", "long-image", "empty-boot-area"):
            write(self.path("data", name), b"")

        self.use_program("disc", 2, "make-cd", "pick", "E", "expect-exit")

        image = read(self.path("QX7.ISO"))
        self.assert_same_bytes(image[:BOOT_AREA_SIZE], boot_area_pattern(),
                               "system area of QX7.ISO against data/qx72ip.bin as it was at the start")
        volume_blocks = int.from_bytes(image[0x8050:0x8054], "little")
        self.assertEqual(len(image), volume_blocks * 2048 + 5 * 1024, "QX7.ISO's length against its volume")
        self.assert_image_holds(expected_image_files("E", DISCS[2][1]))

        # The earlier silent track held as the tool ends: its writer waits for it on its own.
        for name in ("long-image", "empty-boot-area"):
            os.remove(self.path("data", name))
        write(self.path("data", "qx72ip.bin"), boot_area_pattern())
        write(self.path("data", "hold-image"), b"QX7Track2.bin")
        self.use_program("disc", 1, "make-cd", "pick", "F", "expect-exit")
        self.assert_good_build(1, "F")

    def test_stale_temp_adds_nothing_to_the_next_good_run(self):
        make_working_folder(self.folder)
        os.mkdir(self.path("temp"))
        # Left by a failed run of another disc, read-only as copied from its CD.
        for name in ("STALE.DAT", "MAIN.BIN"):
            with open(self.path("temp", name), "wb") as f:
                f.write(b"left by a failed run\n" * 10)
            os.chmod(self.path("temp", name), 0o444)
        # A folder there would go into the image, this one in place of the empty placeholder; it
        # is the user's to remove.
        os.mkdir(self.path("temp", "CDDA2"))

        def check_then_mend():
            self.assertFalse(os.path.exists(self.path("QX7.ISO")), "an image made with a folder in temp")
            os.rmdir(self.path("temp", "CDDA2"))

        transcript = self.use_program("disc", 0, "make-cd", "pick", "E", "expect-failure",
                                      "wait-file", "mended", "make-cd", "pick", "E", "expect-exit", mend=check_then_mend)

        self.assert_message_says(transcript, "The folder temp\\CDDA2 is in the way")
        self.assertFalse(os.path.exists(self.path("temp")), "temp left behind")
        self.assert_image_holds(expected_image_files("E", "s1"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
