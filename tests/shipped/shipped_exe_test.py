#!/usr/bin/env python3
"""The exe a Windows user unpacks from the release zip, used under Wine with real input: one
program run that fails twice, is mended while it waits, and then builds a disc with an overlay.

Where the kernel starts no 32-bit process this is the one suite that runs 32-bit code: the
program runs under wine64's WoW64 with qemu-user emulating it, and every 32-bit process takes
about 55 s to start. So the program starts once, and everything else (cmd, the image tool, the
test's helpers) is 64-bit. Run by ctest inside the Wine session of scripts/test.
"""
import os
import sys
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from program_case import PROGRAM, ProgramCase  # noqa: E402
from wine_build import helper, install_tool, make_working_folder, read, windows_path, write  # noqa: E402

RELEASE_ZIP = os.environ.get("KORVANTE_RELEASE_ZIP", "")
# The interpreter stand-in runs each line in the cmd of its own system folder: with the 64-bit
# helpers, the 64-bit cmd, not the emulated 32-bit one. Wine takes COMSPEC from the registry
# over Linux's environment, so it is set in the environment the program is started with.
CLOSED_CONSOLE_COMSPEC = "COMSPEC=" + windows_path(
    helper("KORVANTE_CLOSED_CONSOLE", "tests", "support", "closed_console.exe"))


class ShippedExe(ProgramCase):

    def test_the_exe_is_the_one_in_the_release_zip(self):
        self.assertTrue(os.path.isfile(RELEASE_ZIP),
                        f"expected the release zip {RELEASE_ZIP} (cmake --build --preset win32 --target release)")
        with zipfile.ZipFile(RELEASE_ZIP) as archive:
            self.assert_same_bytes(read(PROGRAM), archive.read("KORVANTE 2.EXE"), "KORVANTE 2.EXE against the zip's")

    def test_a_failed_build_keeps_the_earlier_image_and_a_retry_builds_another_disc(self):
        make_working_folder(self.folder)
        os.remove(self.path("data", "mkisofs.exe"))
        earlier = {name: f"earlier {name}\n".encode() * 100 for name in ("QX7.ISO", "QX7.CUE", "QX7Track2.bin")}
        for name, content in earlier.items():
            write(self.path(name), content)

        # The first build fails without the tool. The second one's console is closed while it copies
        # MUSIC.SND, which copy has already given its full size. The failed builds leave disc 0's
        # read-only files in temp for the third to clear, one of them held by another program.
        mends = [lambda: (install_tool(self.folder), write(self.path("data", "closed-console"), b"MUSIC.SND")),
                 lambda: os.remove(self.path("data", "closed-console"))]

        def check_then_mend():
            for name, content in earlier.items():
                self.assert_same_bytes(read(self.path(name)), content, f"earlier {name} after failure {3 - len(mends)}")
            mends.pop(0)()

        transcript = self.use_program("disc", 0, "make-cd", "type-pick", "E", "expect-failure",
                                      "wait-file", "mended", "make-cd", "type-pick", "E", "expect-failure",
                                      "wait-file", "mended-2", "disc", 3, "make-cd", "hold", "temp\\MAIN.BIN", 5000,
                                      "type-pick", "F", "expect-exit", env=[CLOSED_CONSOLE_COMSPEC],
                                      mend=check_then_mend)

        self.assert_message_says(transcript, "The image tool data\\mkisofs.exe is missing",
                                 "A console window was closed", "are unchanged.")

        self.assert_same_names(os.listdir(self.folder), ["QX7.CUE", "QX7.ISO", "QX7Track2.bin", "data", "files"],
                               "working folder after the retry")
        self.assert_good_build(3, "F")


if __name__ == "__main__":
    unittest.main(verbosity=2)
