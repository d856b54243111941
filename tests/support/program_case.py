"""The real KORVANTE 2.EXE used by user_driver.exe with real clicks and keys: shared by the
end-to-end, reliability and shipped-exe suites.

KORVANTE_PROGRAM names the program; user_driver.exe is KORVANTE_USER_DRIVER, or taken from
KORVANTE_HELPERS_BUILD's tree (see wine_build.helper).
"""
import os
import subprocess

from wine_build import WINE, WineBuildCase, helper, windows_path

PROGRAM = os.environ.get("KORVANTE_PROGRAM", "")
USER_DRIVER = helper("KORVANTE_USER_DRIVER", "tests", "e2e", "user_driver.exe")
PROGRAM_TIMEOUT = 900


class ProgramCase(WineBuildCase):
    """Discs in CD-ROM drives E: and F:; a fresh working folder for each case."""

    def play(self, *steps, env=(), mend=None, program=None, folder=None, unix_env=None):
        """Runs user_driver.exe with steps in the working folder; returns (exit code, transcript).

        env is set in the program's Windows environment, unix_env in the one Wine starts the
        driver with (where Wine reads its own settings, such as WINEDLLOVERRIDES). Each time the
        driver reports the failure message, mend runs while the program waits, and then the file
        "mended" (the first time) or "mended-N" (the Nth) tells the driver's wait-file step."""
        # The driver prints the program's messages in the ANSI code page: a name outside ASCII
        # must not end the test while it reads them.
        args = ["timeout", "-k", "5", str(PROGRAM_TIMEOUT), WINE, USER_DRIVER]
        for setting in env:
            args += ["-e", setting]
        args += [windows_path(program or PROGRAM)] + [str(step) for step in steps]
        folder = folder or self.folder
        transcript = ""
        marks = []
        with subprocess.Popen(args, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace",
                              env={**os.environ, **(unix_env or {})}) as driver:
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

    def assert_message_says(self, transcript, *parts):
        """Each part stands in one of the failure messages the driver reported."""
        said = [line for line in transcript.splitlines() if line.startswith("ok: message")]
        for part in parts:
            self.assertTrue(any(part in line for line in said), f"expected a message saying {part!r}; it said:\n" +
                            "\n".join(said))

    def use_program(self, *steps, **options):
        code, transcript = self.play(*steps, **options)
        self.assertEqual(code, 0, f"using the program: {' '.join(map(str, steps))}\n{transcript}")
        return transcript
