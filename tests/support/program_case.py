"""The real KORVANTE 2.EXE used by user_driver.exe with real clicks and keys, and the checks of
a good build: shared by the end-to-end, reliability and shipped-exe suites.

KORVANTE_PROGRAM names the program; user_driver.exe is KORVANTE_USER_DRIVER, or taken from
KORVANTE_HELPERS_BUILD's tree (see wine_build.helper).
"""
import os
import subprocess

from wine_build import (BOOT_AREA_SIZE, DISCS, TRACK2_SIZE, WINE, WineBuildCase, expected_image_files,
                        helper, image_extents, read, windows_path)

PROGRAM = os.environ.get("KORVANTE_PROGRAM", "")
USER_DRIVER = helper("KORVANTE_USER_DRIVER", "tests", "e2e", "user_driver.exe")
PROGRAM_TIMEOUT = 900
CUE_SHEET_SIZE = 160
OUTPUTS = ("QX7.ISO", "QX7.CUE", "QX7Track2.bin")


class ProgramCase(WineBuildCase):
    """Discs in CD-ROM drives E: and F:; a fresh working folder for each case."""

    def play(self, *steps, env=(), mend=None, program=None, folder=None, unix_env=None):
        """Runs user_driver.exe with steps in the working folder; returns (exit code, transcript).

        env is set in the program's Windows environment, unix_env in the one Wine starts the
        driver with (where Wine reads its own settings, such as WINEDLLOVERRIDES). Each time the
        driver reports the failure message, mend runs while the program waits, and then the file
        "mended" (the first time) or "mended-N" (the Nth) tells the driver's wait-file step."""
        args = ["timeout", "-k", "5", str(PROGRAM_TIMEOUT), WINE, USER_DRIVER]
        for setting in env:
            args += ["-e", setting]
        args += [windows_path(program or PROGRAM)] + [str(step) for step in steps]
        folder = folder or self.folder
        transcript = ""
        marks = []
        with subprocess.Popen(args, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, env={**os.environ, **(unix_env or {})}) as driver:
            try:
                for line in driver.stdout:
                    transcript += line
                    if mend and line.startswith("ok: message"):
                        mend()
                        marks.append(os.path.join(folder, f"mended-{len(marks) + 1}" if marks else "mended"))
                        with open(marks[-1], "w"):
                            pass
            except BaseException:
                driver.terminate()
                raise
        for mark in marks:
            os.remove(mark)
        return driver.returncode, transcript

    def use_program(self, *steps, **options):
        code, transcript = self.play(*steps, **options)
        self.assertEqual(code, 0, f"using the program: {' '.join(map(str, steps))}\n{transcript}")
        return transcript

    def assert_folder_holds_the_outputs_alone(self, what):
        self.assert_same_names(os.listdir(self.folder), list(OUTPUTS) + ["data", "files"], what)

    def assert_good_build(self, disc, drive):
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
