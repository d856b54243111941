#!/usr/bin/python3
"""A disc folder served read-only through FUSE, damaged on demand: a scratched CD, or one taken
out of the drive while a program copies from it.

    damaged_disc.py <disc-folder> <mount-point> <damage-file> <log-file>

The damage file holds one line and is read again at every open and read, so a test changes
the damage while a program uses the disc:

    healthy                    (also a missing or empty file)
    unopenable NAME            opening NAME fails with EIO
    unreadable-after NAME N    NAME opens, but reading it at or past byte N fails with EIO
    taken-out-after K          the first K files opened open; every later open fails with EIO

Listing folders and reading attributes keep working whatever the damage: only opens and
reads fail. Each open and each failed read is appended to the log file ("open NAME ok",
"open NAME EIO", "read NAME OFFSET+SIZE EIO").

Tests start it through DamagedDisc, which mounts it, waits for the mount and unmounts it again.
"""
import errno
import os
import re
import subprocess
import sys
import time

# Debian's python3-fusepy is installed for Debian's own interpreter, which need not be the
# first python3 on PATH.
FUSE_PYTHON = "/usr/bin/python3"
MOUNT_LIMIT_S = 20
UNMOUNT_LIMIT_S = 10


def mounted(folder):
    folder = os.path.realpath(folder)
    with open("/proc/self/mountinfo") as mounts:
        # Field 5 is the mount point, with blanks and the like escaped in octal.
        return any(re.sub(r"\\([0-7]{3})", lambda code: chr(int(code.group(1), 8)), line.split()[4]) == folder
                   for line in mounts)


class DamagedDisc:
    """The view of disc_folder mounted at mount_point; damage(line) rewrites its damage file."""

    def __init__(self, disc_folder, mount_point, work_folder):
        self.disc_folder, self.mount_point = disc_folder, mount_point
        self.damage_file = os.path.join(work_folder, "damage")
        self.log_file = os.path.join(work_folder, "view.log")
        self.errors_file = os.path.join(work_folder, "view.err")
        self.process = None

    def start(self):
        self.damage("healthy")
        os.makedirs(self.mount_point, exist_ok=True)
        with open(self.errors_file, "wb") as errors:
            self.process = subprocess.Popen(
                [FUSE_PYTHON, os.path.abspath(__file__), self.disc_folder, self.mount_point, self.damage_file,
                 self.log_file], stdin=subprocess.DEVNULL, stdout=errors, stderr=errors)
        deadline = time.monotonic() + MOUNT_LIMIT_S
        while not mounted(self.mount_point):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"the damaged disc view did not mount at {self.mount_point} within "
                                   f"{MOUNT_LIMIT_S} s; its output:\n{self.errors()}")
            time.sleep(0.05)

    def damage(self, line):
        # Replaced whole, so the view never reads half a line.
        with open(self.damage_file + ".new", "w") as f:
            f.write(line + "\n")
        os.replace(self.damage_file + ".new", self.damage_file)

    def log(self):
        try:
            with open(self.log_file) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def errors(self):
        try:
            with open(self.errors_file, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def stop(self):
        """Unmounts and ends the view, each step bounded; safe to call twice."""
        if mounted(self.mount_point):
            for command in (["fusermount3", "-u", self.mount_point], ["umount", self.mount_point]):
                if subprocess.run(["timeout", str(UNMOUNT_LIMIT_S)] + command, stdin=subprocess.DEVNULL,
                                  capture_output=True).returncode == 0:
                    break
        if self.process is not None and self.process.poll() is None:
            try:
                self.process.wait(UNMOUNT_LIMIT_S)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(UNMOUNT_LIMIT_S)
        # A view that was killed, or a mount some process still holds, is detached lazily.
        if mounted(self.mount_point):
            subprocess.run(["timeout", str(UNMOUNT_LIMIT_S), "umount", "-l", self.mount_point],
                           stdin=subprocess.DEVNULL, capture_output=True)


def serve(disc_folder, mount_point, damage_file, log_file):
    import fusepy

    class View(fusepy.Operations):
        use_ns = True

        def __init__(self):
            self.damage_line = None
            self.opened = 0
            self.log = open(log_file, "a", buffering=1)

        def source(self, path):
            return os.path.join(disc_folder, path.lstrip("/"))

        def current_damage(self):
            try:
                with open(damage_file) as f:
                    line = f.read().strip()
            except FileNotFoundError:
                line = ""
            if line != self.damage_line:
                # A new damage counts its opens afresh.
                self.damage_line, self.opened = line, 0
            return line.split()

        def getattr(self, path, fh=None):
            try:
                info = os.lstat(self.source(path))
            except OSError as error:
                raise fusepy.FuseOSError(error.errno)
            attributes = {key: getattr(info, key) for key in
                          ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_atime", "st_mtime", "st_ctime")}
            for key in ("st_atime", "st_mtime", "st_ctime"):
                attributes[key] = getattr(info, key + "_ns")
            attributes["st_mode"] &= ~0o222  # a disc is read-only
            return attributes

        def readdir(self, path, fh):
            return [".", ".."] + os.listdir(self.source(path))

        def statfs(self, path):
            stats = os.statvfs(disc_folder)
            return {key: getattr(stats, key) for key in
                    ("f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail", "f_files", "f_ffree", "f_favail",
                     "f_namemax")}

        def open(self, path, flags):
            if flags & (os.O_WRONLY | os.O_RDWR):
                raise fusepy.FuseOSError(errno.EROFS)
            name = path.lstrip("/")
            damage = self.current_damage()
            failed = (damage[:1] == ["unopenable"] and damage[1:] == [name]) or \
                     (damage[:1] == ["taken-out-after"] and self.opened >= int(damage[1]))
            self.log.write(f"open {name} {'EIO' if failed else 'ok'}\n")
            if failed:
                raise fusepy.FuseOSError(errno.EIO)
            self.opened += 1
            return os.open(self.source(path), os.O_RDONLY)

        def read(self, path, size, offset, fh):
            damage = self.current_damage()
            if damage[:1] == ["unreadable-after"] and damage[1] == path.lstrip("/"):
                limit = int(damage[2])
                if offset >= limit:
                    self.log.write(f"read {path.lstrip('/')} {offset}+{size} EIO\n")
                    raise fusepy.FuseOSError(errno.EIO)
                # The part before the scratch reads; the caller's next read meets it.
                size = min(size, limit - offset)
            return os.pread(fh, size, offset)

        def release(self, path, fh):
            os.close(fh)
            return 0

    # direct_io: every read reaches the view, none is answered from the page cache of an
    # earlier, healthy read, and a short read stays short instead of ending the file.
    fusepy.FUSE(View(), mount_point, foreground=True, nothreads=True, ro=True, direct_io=True,
                fsname="damaged-disc")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__.split("\n\n")[1])
    serve(*sys.argv[1:])
