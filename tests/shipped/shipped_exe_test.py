#!/usr/bin/env python3
"""The exe a Windows user unpacks from the release zip, used under Wine with real input: one
program run that fails, is mended while it waits, and then builds a disc with an overlay.

Where the kernel starts no 32-bit process this is the one suite that runs 32-bit code: the
program runs under wine64's WoW64 with qemu-user emulating it, and every 32-bit process takes
about 55 s to start. So the program starts once, and everything else (cmd, the image tool, the
test's helpers) is 64-bit. Run by ctest inside the Wine session of scripts/test.
"""
import os
import sys
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
HELPERS = os.environ.get("KORVANTE_HELPERS_BUILD") or os.environ.get("KORVANTE_OWN_BUILD", "")
os.environ["KORVANTE_USER_DRIVER"] = os.path.join(HELPERS, "tests", "e2e", "user_driver.exe")
os.environ["KORVANTE_CDROM_DRIVE"] = os.path.join(HELPERS, "tests", "support", "cdrom_drive.exe")
os.environ["KORVANTE_MKISOFS_DIR"] = os.path.join(HELPERS, "tests", "support")
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "reliability"))
from reliability_test import PROGRAM, Reliability  # noqa: E402
from wine_build import install_tool, make_working_folder, read, write  # noqa: E402

RELEASE_ZIP = os.environ.get("KORVANTE_RELEASE_ZIP", "")
# A 32-bit program in a 64-bit prefix runs the 32-bit cmd unless told otherwise; sysnative is
# the 64-bit system folder as a 32-bit process sees it. Wine takes COMSPEC from the registry
# over Linux's environment, so it is set in the environment the program is started with.
COMMANDS_64_BIT = ["COMSPEC=C:\\windows\\sysnative\\cmd.exe"] if os.environ.get("WINEARCH") == "win64" else []


class ShippedExe(Reliability):

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

        def check_then_mend():
            for name, content in earlier.items():
                self.assert_same_bytes(read(self.path(name)), content, f"earlier {name} after the failure")
            install_tool(self.folder)

        # The failed build leaves disc 0's read-only files in temp for the retry to clear.
        self.use_program("disc", 0, "make-cd", "type-pick", "E", "expect-failure",
                         "wait-file", "mended", "disc", 3, "make-cd", "type-pick", "F", "expect-exit",
                         env=COMMANDS_64_BIT, mend=check_then_mend)

        self.assert_same_names(os.listdir(self.folder), ["QX7.CUE", "QX7.ISO", "QX7Track2.bin", "data", "files"],
                               "working folder after the retry")
        self.assert_good_build(3, "F")


if __name__ == "__main__":
    unittest.main(verbosity=2)
