#!/usr/bin/env python3
"""The real KORVANTE 2.EXE when the machine and the platform fail underneath it, over long use,
and on the Windows versions it must run on: a full disk, a read-only working folder, a missing
command interpreter, a scratched or vanished disc, odd folder and file names, resource counts over
many cycles, repeated builds and the version the Wine prefix reports.

Run by ctest inside the Wine session of scripts/test. KORVANTE_SLOW_TESTS=1 adds the long cases
(a 300 MB disc file, 100 cycles instead of 10, 20 more failed builds with the image tool
missing, refused before any command runs, 10 builds in a row instead of 3, every Windows
version's failure path).
"""
import os
import re
import shutil
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from damaged_disc import DamagedDisc  # noqa: E402
from program_case import PROGRAM, PROGRAM_TIMEOUT, ProgramCase  # noqa: E402
from wine_build import (  # noqa: E402
    BOOT_AREA_SIZE, CDROM_DRIVE, DISCS, OUTPUTS, describe, expected_image_files, image_extents, image_file_content,
    make_disc, make_working_folder, read, run, run_wine, scratch_folder, write)

PLANTED_DLL = os.environ.get("KORVANTE_PLANTED_DLL", "")
SLOW = os.environ.get("KORVANTE_SLOW_TESTS") == "1"
# A file that exists and is no program: system() gives -1 on Windows as under Wine. For a missing
# program, or one that may not be run, Microsoft's system() falls back to cmd.exe; Wine's does not.
NOT_A_PROGRAM_COMSPEC = "COMSPEC=C:\\windows\\win.ini"
MIB = 1024 * 1024


def folder_state(folder):
    """Relative path -> content of every file under folder (folders as None)."""
    state = {}
    for top, folders, files in os.walk(folder):
        for name in folders:
            state[os.path.relpath(os.path.join(top, name), folder)] = None
        for name in files:
            path = os.path.join(top, name)
            state[os.path.relpath(path, folder)] = read(path)
    return state


def free_bytes(folder):
    stats = os.statvfs(folder)
    return stats.f_bavail * stats.f_frsize


def fill_to(folder, name, leave_free):
    """Writes a file of zeros that leaves about leave_free bytes free on folder's file system."""
    size = free_bytes(folder) - leave_free
    with open(os.path.join(folder, name), "wb") as f:
        for left in range(size, 0, -MIB):
            f.write(bytes(min(MIB, left)))


class Reliability(ProgramCase):
    """Discs in CD-ROM drives E: and F:; a fresh working folder for each case."""

    def mount(self, *args):
        """Mounts onto self.folder; unmounted again on every path."""
        mounted = run(["mount"] + list(args) + [self.folder])
        self.assertEqual(mounted.returncode, 0, f"mount {' '.join(args)} on the working folder (the suite runs as "
                                                f"root, as scripts/test does): {describe(mounted)}")
        folder = self.folder
        self.addCleanup(lambda: run(["umount", folder]).returncode == 0 or run(["umount", "-l", folder]))

    def define_drive(self, letter, folder):
        defined = run_wine([CDROM_DRIVE, "define", letter, folder])
        self.addCleanup(run_wine, [CDROM_DRIVE, "remove", letter])
        self.assertEqual(defined.returncode, 0, f"cdrom_drive define {letter}: {describe(defined)}")

    def damaged_disc(self, letter):
        """A disc of its own in drive letter, served through the damaged-disc view (healthy at first)."""
        base = scratch_folder("korvante-damaged-")
        self.addCleanup(shutil.rmtree, base, True)
        make_disc(os.path.join(base, "disc"), letter)
        view = DamagedDisc(os.path.join(base, "disc"), os.path.join(base, "view"), base)
        view.start()
        self.addCleanup(view.stop)
        self.define_drive(letter, view.mount_point)
        return view


class MachineFailures(Reliability):

    def test_full_disk_while_copying_while_the_tool_writes_and_while_the_silent_track_is_written(self):
        # A disc with one large file, so that the disc alone overfills the working folder.
        big_disc = scratch_folder("korvante-bigdisc-")
        self.addCleanup(shutil.rmtree, big_disc, True)
        os.rmdir(big_disc)
        make_disc(big_disc, "G")
        big = os.path.join(big_disc, "BIG.BIN")
        with open(big, "wb") as f:
            f.write(b"big disc file\n" * (6 * MIB // 14))
        os.chmod(big, 0o444)
        self.define_drive("G", big_disc)

        self.mount("-t", "tmpfs", "-o", "size=40m", "tmpfs")
        make_working_folder(self.folder)
        self.use_program("disc", 0, "make-cd", "pick", "E", "expect-exit")
        image_size = os.path.getsize(self.path("QX7.ISO"))

        # The tool and the silent track's writer first truncate their earlier files, which would
        # free room again: the later cases start without earlier outputs.
        # (where the disk fills, drive, bytes left free before the build, earlier outputs kept, what
        # the message says)
        cases = [
            ("while copying", "G", 3 * MIB, True, ["G:\\BIG.BIN was not copied whole", "are unchanged."]),
            ("while the image tool writes", "G", os.path.getsize(big) + 1 * MIB, False, ["mkisofs.exe failed"]),
            ("while the silent track is written", "F", image_size + 1 * MIB, False,
             ["The silent track QX7Track2.bin could not be written"]),
        ]
        for where, drive, leave_free, earlier_kept, says in cases:
            with self.subTest(where):
                disc = 1
                shutil.rmtree(self.path("temp"), ignore_errors=True)
                for name in ("filler",) + (() if earlier_kept else OUTPUTS):
                    if os.path.exists(self.path(name)):
                        os.remove(self.path(name))
                earlier = {name: read(self.path(name)) for name in OUTPUTS if os.path.exists(self.path(name))}
                fill_to(self.folder, "filler", leave_free)

                def check_then_mend():
                    if earlier_kept:
                        self.assert_same_bytes(read(self.path("QX7.ISO")), earlier["QX7.ISO"],
                                               f"earlier QX7.ISO after the disk filled {where}")
                    os.remove(self.path("filler"))

                transcript = self.use_program("disc", disc, "make-cd", "pick", drive, "expect-failure",
                                              "wait-file", "mended", "make-cd", "pick", drive, "expect-exit",
                                              mend=check_then_mend)
                self.assert_message_says(transcript, *says)

                if drive == "F":
                    self.assert_good_build(disc, drive)
                else:
                    expected = expected_image_files("G", DISCS[disc][1])
                    expected["BIG.BIN"] = read(big)
                    self.assertFalse(os.path.exists(self.path("temp")), "temp left behind after the retry")
                    self.assert_image_holds(expected)

    def test_read_only_working_folder_fails_writing_nothing_and_a_retry_succeeds(self):
        make_working_folder(self.folder)
        self.use_program("disc", 0, "make-cd", "pick", "E", "expect-exit")
        before = folder_state(self.folder)
        self.mount("--bind", self.folder)
        remounted = run(["mount", "-o", "remount,ro,bind", self.folder])
        self.assertEqual(remounted.returncode, 0, f"remount read-only: {describe(remounted)}")

        def check_then_mend():
            found = folder_state(self.folder)
            self.assertEqual(sorted(found), sorted(before), "names in the read-only working folder")
            for name, content in before.items():
                self.assertEqual(found[name], content, f"{name} changed in the read-only working folder")
            # The program's current folder holds the mount busy: it is made writable, not unmounted.
            remounted = run(["mount", "-o", "remount,rw,bind", self.folder])
            self.assertEqual(remounted.returncode, 0, f"remount read-write: {describe(remounted)}")

        transcript = self.use_program("disc", 1, "make-cd", "pick", "F", "expect-failure",
                                      "wait-file", "mended", "make-cd", "pick", "F", "expect-exit", mend=check_then_mend)
        self.assert_message_says(transcript, "may not create and delete files in this folder: it could not make QX7.LCK",
                                 "are unchanged.")
        self.assert_good_build(1, "F")

    def test_comspec_naming_no_program_is_a_failure_not_a_success(self):
        make_working_folder(self.folder)
        self.use_program("disc", 0, "make-cd", "pick", "E", "expect-exit")
        before = folder_state(self.folder)

        transcript = self.use_program("disc", 2, "make-cd", "pick", "F", "expect-failure", "close",
                                      env=[NOT_A_PROGRAM_COMSPEC])
        self.assert_message_says(transcript, "Windows' command interpreter (cmd.exe) could not be started",
                                 "are unchanged.")

        found = folder_state(self.folder)
        self.assertEqual(sorted(found), sorted(before), "names in the working folder after the failed build")
        self.assertEqual(found["QX7.ISO"], before["QX7.ISO"], "earlier QX7.ISO changed by the failed build")
        # A temp from before: md's own failure there is no failure, the interpreter's is.
        os.mkdir(self.path("temp"))
        transcript = self.use_program("disc", 2, "make-cd", "pick", "F", "expect-failure", "close",
                                      env=[NOT_A_PROGRAM_COMSPEC])
        self.assert_message_says(transcript, "Windows' command interpreter (cmd.exe) could not be started")
        self.use_program("disc", 2, "make-cd", "pick", "F", "expect-exit")
        self.assert_good_build(2, "F")


class DiscFailures(Reliability):
    """A disc in drive G: that stops reading, through the damaged-disc view. Each build from the
    damaged disc starts as after a good build of another disc: its image in the folder, no temp."""

    def earlier_image_from_the_healthy_view(self):
        # Disc 1's overlay makes this image differ from any image of disc 0 made later.
        self.use_program("disc", 1, "make-cd", "pick", "G", "expect-exit")
        self.assert_good_build(1, "G")

    def outputs(self):
        # The cue sheet and the silent track are the same bytes in every build: only their
        # modification times tell whether a build wrote them again.
        return {name: (read(self.path(name)), os.stat(self.path(name)).st_mtime_ns)
                for name in OUTPUTS if os.path.exists(self.path(name))}

    def assert_failed_keeping(self, earlier, damage, met, transcript=None):
        """The earlier outputs untouched, temp kept, and the damage met by the build."""
        problems = []
        if transcript is not None:
            problems.append(f"the program: expected the message \"CD IMAGE NOT CREATED\"; "
                            f"the driver says:\n{transcript}")
        found = self.outputs()
        for name, (content, modified) in earlier.items():
            if name not in found:
                problems.append(f"{name}: expected the earlier file, found none")
            elif found[name][0] != content:
                problems.append(f"{name}: expected the earlier {len(content)} bytes, "
                                f"found {len(found[name][0])} other bytes")
            elif found[name][1] != modified:
                problems.append(f"{name}: expected the earlier file untouched, found it written again (same bytes)")
        if not os.path.isdir(self.path("temp")):
            problems.append("temp: expected kept after the failure, found none")
        if not any(line.endswith(" EIO") for line in met):
            problems.append("the view: expected the build to meet the damage, found no failed open or read")
        if problems:
            self.fail(f"build from the disc with damage \"{damage}\":\n" + "\n".join(problems) +
                      "\nthe view's log of this build: " + ", ".join(met))

    def fail_from_damaged_disc(self, view, damage, *then, mend=None):
        """Builds disc 0 from G: with the damage; checks the failure, then plays the steps then."""
        earlier = self.outputs()
        view.damage(damage)
        logged = len(view.log())
        checked = []

        def check_then_mend():
            checked.append(True)
            self.assert_failed_keeping(earlier, damage, view.log()[logged:])
            if mend:
                mend()

        code, transcript = self.play("disc", 0, "make-cd", "pick", "G", "expect-failure", *then,
                                     mend=check_then_mend)
        if not checked:
            self.assert_failed_keeping(earlier, damage, view.log()[logged:], transcript)
        self.assertEqual(code, 0, f"using the program after the failure from damage \"{damage}\":\n{transcript}")
        return transcript

    def test_unopenable_file_fails_keeping_the_earlier_image_and_a_retry_once_it_reads_succeeds(self):
        view = self.damaged_disc("G")
        make_working_folder(self.folder)
        self.earlier_image_from_the_healthy_view()

        # A staged file that no overlay file replaces: without it the image lacks its content.
        transcript = self.fail_from_damaged_disc(view, "unopenable MUSIC.SND",
                                                 "wait-file", "mended", "make-cd", "pick", "G", "expect-exit",
                                                 mend=lambda: view.damage("healthy"))
        self.assert_message_says(transcript, "G:\\MUSIC.SND was not copied whole", "are unchanged.")

        self.assert_good_build(0, "G")

    def test_read_failing_mid_file_and_disc_taken_out_mid_copy_fail_keeping_the_earlier_image(self):
        view = self.damaged_disc("G")
        make_working_folder(self.folder)
        self.earlier_image_from_the_healthy_view()
        # MAIN.BIN is 6,000 bytes and copied first; the third file opened is LEVEL1.DAT.
        for damage in ("unreadable-after MAIN.BIN 4096", "taken-out-after 3"):
            with self.subTest(damage):
                # Files staged by the case before would stand in for those the disc no longer gives.
                shutil.rmtree(self.path("temp"), ignore_errors=True)
                transcript = self.fail_from_damaged_disc(view, damage, "close")
                self.assert_message_says(transcript, "are unchanged.")


class WorkingFolderFailures(Reliability):
    """What the build reads from its own folder fails to read, or a second program builds there."""

    def data_files_through_the_view(self, names):
        """data\\<name> of each name served through the damaged-disc view (healthy at first),
        bind-mounted in its place; the view's source files can change while the program runs."""
        base = scratch_folder("korvante-datafiles-")
        self.addCleanup(shutil.rmtree, base, True)
        source = os.path.join(base, "data")
        os.makedirs(source)
        view = DamagedDisc(source, os.path.join(base, "view"), base)
        for name in names:
            os.rename(self.path("data", name), os.path.join(source, name))
            write(self.path("data", name), b"")
        view.start()
        self.addCleanup(view.stop)
        for name in names:
            target = self.path("data", name)
            mounted = run(["mount", "--bind", os.path.join(view.mount_point, name), target])
            self.assertEqual(mounted.returncode, 0, f"bind mount of {name} from the view: {describe(mounted)}")
            self.addCleanup(lambda: run(["umount", target]).returncode == 0 or run(["umount", "-l", target]))
        return view, source

    def test_data_files_that_open_but_fail_to_read_keep_the_earlier_image(self):
        make_working_folder(self.folder)
        view, source = self.data_files_through_the_view(["qx72ip.bin", "qx7-1.txt"])
        self.use_program("disc", 0, "make-cd", "pick", "E", "expect-exit")
        earlier = {name: read(self.path(name)) for name in OUTPUTS}

        # A cloud-only file offline, a dropped network drive, a bad sector: each opens, then a
        # read fails. The last mend makes the boot-area file short, which is no fault.
        short_boot_area = bytes(range(200)) * 5
        damages = ["unreadable-after qx72ip.bin 0", "unreadable-after qx72ip.bin 4096",
                   "unreadable-after qx7-1.txt 0"]
        view.damage(damages[0])
        logged = [len(view.log())]

        def check_then_mend():
            damage = damages.pop(0)
            met = view.log()[logged[0]:]
            logged[0] = len(view.log())
            self.assertTrue(any(line.endswith(" EIO") for line in met), f"a build that met no failed read "
                                                                          f"({damage}); the view's log: {met}")
            for name, content in earlier.items():
                self.assert_same_bytes(read(self.path(name)), content, f"earlier {name} after \"{damage}\"")
            self.assertFalse(os.path.exists(self.path("temp")), f"temp after \"{damage}\": {self.staged_names()}")
            if damages:
                view.damage(damages[0])
            else:
                write(os.path.join(source, "qx72ip.bin"), short_boot_area)
                view.damage("healthy")

        tries = ["make-cd", "pick", "F", "expect-failure"]
        transcript = self.use_program("disc", 0, *tries, "wait-file", "mended", *tries, "wait-file", "mended-2", *tries,
                                      "wait-file", "mended-3", "make-cd", "pick", "F", "expect-exit",
                                      mend=check_then_mend)
        self.assert_message_says(transcript, "The boot-area file data\\qx72ip.bin cannot be read to its end",
                                 "file-order list data\\qx7-1.txt cannot be read to its end", "are unchanged.")

        image = self.path("QX7.ISO")
        self.assert_same_bytes(read(image)[:BOOT_AREA_SIZE],
                               short_boot_area + b"\xff" * (BOOT_AREA_SIZE - len(short_boot_area)),
                               "system area of QX7.ISO from a 1,000-byte boot-area file")
        self.assert_image_holds(expected_image_files("F", DISCS[0][1]))
        self.assert_extents_follow_weights(image_extents(image), DISCS[0][2])
        self.assert_image_is_sound(image)

    def test_program_ended_mid_build_keeps_the_folder_from_a_second_by_another_drive_letter_until_its_tool_ends(self):
        make_working_folder(self.folder)
        for name in OUTPUTS:
            write(self.path(name), b"an earlier image")
        # The first build waits at the image tool with its disc staged, as long as the test needs.
        write(self.path("data", "tool-waits"), b"")
        self.addCleanup(lambda: os.path.exists(self.path("data", "tool-waits")) and
                        os.remove(self.path("data", "tool-waits")))
        first = []
        builds = threading.Thread(target=lambda: first.append(
            self.play("disc", 0, "make-cd", "pick", "E", "expect-exit")))
        builds.start()
        self.addCleanup(builds.join, PROGRAM_TIMEOUT)
        deadline = time.monotonic() + 120
        waiting = self.path("data", "tool-is-waiting")
        while not os.path.exists(waiting) and builds.is_alive() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertTrue(os.path.exists(waiting), f"the first build's image tool started: {first}")
        staged = folder_state(self.path("temp"))
        # The second program reaches the folder through another spelling, drive K: (a subst drive
        # or a mapped letter on Windows): Wine names the current folder of a program started from
        # it by the new letter from now on, while the first keeps its Z:\ path.
        second_letter = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "k:")
        os.symlink(self.folder, second_letter)
        self.addCleanup(os.remove, second_letter)
        spelled = run_wine(["cmd", "/c", "cd"], cwd=self.folder)
        self.assertTrue(spelled.stdout.decode(errors="replace").strip().upper().startswith("K:"),
                        f"the folder as a program started there now sees it: {describe(spelled)}")
        # Task Manager's End task: the program goes, its interpreter and image tool work on.
        ended = run_wine(["taskkill", "/f", "/im", "KORVANTE 2.EXE"])
        self.assertEqual(ended.returncode, 0, f"taskkill: {describe(ended)}")

        transcript = self.use_program("disc", 1, "make-cd", "pick", "F", "expect-failure", "close")
        self.assert_message_says(transcript, "Another build is making an image in this folder")
        self.assertNotIn("unchanged", transcript, "the earlier image told unchanged while another build replaces it")
        self.assertEqual(folder_state(self.path("temp")), staged, "the first build's temp after the second's try")

        # The first driver's output stays open in the orphaned console windows: it ends with them.
        os.remove(self.path("data", "tool-waits"))
        builds.join(PROGRAM_TIMEOUT)
        deadline = time.monotonic() + 120
        while os.path.exists(self.path("QX7.LCK")) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertFalse(os.path.exists(self.path("QX7.LCK")), "the lock once the orphaned image tool ended")
        self.use_program("disc", 1, "make-cd", "pick", "F", "expect-exit")
        self.assert_good_build(1, "F")


class Names(Reliability):

    def test_working_folder_with_blanks_and_ansi_characters_and_a_planted_dll(self):
        self.folder = os.path.join(self.folder, "Spiele Sammlung", "KORVANTE 2 ä")
        make_working_folder(self.folder)
        # The program installed beside its data, started by a name with the same characters, and
        # a comctl32.dll beside it that Windows, which prefers a DLL in the program's folder to
        # one of the system's that is not a known DLL, would load if the program imported it.
        program = os.path.join(self.folder, "KORVANTE 2.EXE")
        shutil.copy2(PROGRAM, program)
        planted = os.path.join(self.folder, "comctl32.dll")
        shutil.copy2(PLANTED_DLL, planted)

        code, transcript = self.play("disc", 3, "make-cd", "pick", "F", "expect-exit", program=program,
                                     unix_env={"WINEDLLOVERRIDES": "comctl32=n,b;" + os.environ.get("WINEDLLOVERRIDES", "")})

        self.assertFalse(os.path.exists(self.path("planted-dll-ran")), "the comctl32.dll beside the program ran")
        self.assertEqual(code, 0, f"using the program:\n{transcript}")
        os.remove(program)
        os.remove(planted)
        self.assert_good_build(3, "F")

    def test_disc_with_long_odd_case_twin_read_only_and_empty_names(self):
        disc = scratch_folder("korvante-odddisc-")
        self.addCleanup(shutil.rmtree, disc, True)
        files = {
            "A Very Long File Name For A Level.dat": b"long name\n" * 40,
            "archive.tar.bin": b"several dots\n" * 40,
            "Twin.dat": b"upper-case twin\n" * 40,
            "twin.dat": b"lower-case twin\n" * 40,
            "LOCKED.SAV": b"read-only file\n" * 40,
            "EMPTY.DAT": b"",
            "notes.f.e.d.c": b"dots everywhere\n" * 40,
            # Named in the chosen disc's list: a disc none of whose files it names is refused.
            "MAIN.BIN": b"the odd disc's main file\n" * 40,
        }
        if SLOW:
            files["HUGE.BIN"] = None
        for name, content in files.items():
            with open(os.path.join(disc, name), "wb") as f:
                if content is None:
                    for _ in range(300):
                        f.write(b"H" * MIB)
                else:
                    f.write(content)
        os.chmod(os.path.join(disc, "LOCKED.SAV"), 0o444)
        self.define_drive("G", disc)
        make_working_folder(self.folder)

        # Twin.dat and twin.dat are one name to Windows: one copy writes it twice and Windows' copy
        # would ask the second time, which no removal between copies can prevent. So this build
        # runs with copy's question off.
        self.use_program("disc", 0, "make-cd", "pick", "G", "expect-exit", env=["COPYCMD="])

        self.assertFalse(os.path.exists(self.path("temp")), "temp left behind")
        image = self.path("QX7.ISO")
        self.assert_image_is_sound(image)
        extents = image_extents(image)
        print(f"image names made of the odd disc: {sorted(extents)}", file=sys.stderr)
        contents = {name: image_file_content(image, name) for name in extents}
        sources = {content for content in files.values() if content is not None}
        sources |= {read(os.path.join(self.folder, "files", "s1", name)) for name in os.listdir(self.path("files", "s1"))}
        foreign = sorted(name for name, content in contents.items()
                         if content not in sources and not (SLOW and name.startswith("HUGE")))
        self.assertEqual(foreign, [], "image files whose content is no disc or overlay file's")
        for name, content in files.items():
            if name.lower().startswith("twin") or content is None:
                continue
            self.assertIn(content, contents.values(), f"content of {name!r} missing from the image")
        self.assertTrue({files["Twin.dat"], files["twin.dat"]} & set(contents.values()),
                        "neither of the names differing only in case is in the image")
        if SLOW:
            huge = [size for name, (start, size) in extents.items() if name.startswith("HUGE")]
            self.assertEqual(huge, [300 * MIB], "size of the 300 MB file in the image")


class LongUse(Reliability):

    def resources(self, transcript):
        found = re.findall(r"gdi-table (-?\d+) windows (-?\d+) handles (-?\d+)", transcript)
        self.assertGreaterEqual(len(found), 2, f"no resource counts in the transcript:\n{transcript}")
        return [tuple(map(int, counts)) for counts in found]

    def assert_flat(self, first, last, what, transcript, allowed=None):
        """Prints the counts; with allowed, fails when one grew by more."""
        print(f"{what}: GDI objects, windows, handles first {first}, last {last}", file=sys.stderr)
        for name, a, b in zip(("GDI objects", "windows", "handles"), first, last):
            if allowed is None:
                continue
            self.assertGreaterEqual(a, 0, f"{name} could not be counted")
            self.assertLessEqual(b - a, allowed, f"{name} of the program after {what}: first {a}, last {b}\n{transcript}")

    def test_chooser_and_about_box_cycles_keep_resources_flat(self):
        # Wine makes some GDI objects lazily over the first cycles (seen: up to 141, then no more):
        # a leak is growth that goes on, so the second half of the cycles may add less than one
        # object per ten cycles.
        half = 50 if SLOW else 5
        make_working_folder(self.folder)
        cycles = ["chooser-cycles", half, "about", half, "resources"]
        transcript = self.use_program("disc", 0, "chooser-cycles", 2, "about", 2, "resources", *cycles, *cycles,
                                      "disc", 1, "make-cd", "escape", "close")
        first, middle, last = self.resources(transcript)
        self.assert_flat(first, last, f"{2 * half} chooser and {2 * half} About box cycles", transcript)
        self.assert_flat(middle, last, f"the last {half} chooser and {half} About box cycles", transcript,
                         allowed=max(2, half // 10))

    def test_twenty_failed_builds_in_one_run_keep_resources_flat(self):
        failures = []
        if SLOW:
            # Only the image tool is missing: each build is refused before its first command.
            make_working_folder(self.folder, with_tool=False)
            failures.append(("missing image tool", []))
        else:
            make_working_folder(self.folder)
        # No interpreter starts at all: md temp fails at once, and the build stops before a copy.
        failures.append(("command interpreter that is no program", [NOT_A_PROGRAM_COMSPEC]))
        for what, env in failures:
            with self.subTest(what):
                steps = ["disc", 0, "make-cd", "pick", "E", "expect-failure", "make-cd", "pick", "E", "expect-failure",
                         "resources"]
                for _ in range(2):
                    steps += ["make-cd", "pick", "E", "expect-failure"] * 10 + ["resources"]
                steps += ["close"]
                transcript = self.use_program(*steps, env=env)
                first, middle, last = self.resources(transcript)
                self.assert_flat(first, last, f"20 failed builds ({what})", transcript)
                self.assert_flat(middle, last, f"the last 10 failed builds ({what})", transcript, allowed=2)

    def test_builds_in_a_row_each_image_its_own_discs(self):
        builds = 10 if SLOW else 3
        make_working_folder(self.folder)
        for build in range(builds):
            disc, drive = build % 4, self.DRIVES[build % 2]
            with self.subTest(build=build + 1, disc=DISCS[disc][0], drive=drive):
                self.use_program("disc", disc, "make-cd", "pick", drive, "expect-exit")
                self.assert_good_build(disc, drive)


class WindowsVersions(Reliability):
    # Name in the registry -> the version number that cmd's ver then reports.
    VERSIONS = {"winxp64" if os.environ.get("WINEARCH") == "win64" else "winxp": "5.",
                "win7": "6.1.", "win10": "10.0."}

    def set_version(self, version, check=True):
        args = ["reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version, "/f"] if version else \
            ["reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"]
        result = run_wine(args)
        if version and check:
            self.assertEqual(result.returncode, 0, f"wine reg add Version {version}: {describe(result)}")
            reported = run_wine(["cmd", "/c", "ver"])
            self.assertIn(f"Windows {self.VERSIONS[version]}", reported.stdout.decode(errors="replace"),
                          f"Windows version reported with {version}: {describe(reported)}")

    def test_good_build_and_failed_build_on_each_windows_version(self):
        queried = run_wine(["reg", "query", "HKCU\\Software\\Wine", "/v", "Version"])
        match = re.search(rb"Version\s+REG_SZ\s+(\S+)", queried.stdout)
        earlier = match.group(1).decode() if match else None
        self.addCleanup(self.set_version, earlier, False)
        for version in self.VERSIONS:
            with self.subTest(version):
                self.set_version(version)
                self.folder = scratch_folder("korvante-version-")
                self.addCleanup(shutil.rmtree, self.folder, True)
                make_working_folder(self.folder)
                self.use_program("disc", 2, "make-cd", "pick", "E", "expect-exit")
                self.assert_good_build(2, "E")
                if SLOW or version == next(iter(self.VERSIONS)):
                    os.remove(self.path("data", "mkisofs.exe"))
                    earlier_image = read(self.path("QX7.ISO"))
                    self.use_program("disc", 1, "make-cd", "pick", "F", "expect-failure", "close")
                    self.assertEqual(read(self.path("QX7.ISO")), earlier_image, "earlier QX7.ISO after the failed build")


if __name__ == "__main__":
    unittest.main(verbosity=2)
