# Sourced. Chooses which Windows build the Wine tests run.
#
# The program is 32-bit, and the 32-bit build is the one that ships. Some kernels are booted
# with ia32_emulation off and start no 32-bit process at all, so no 32-bit Wine can run there;
# on those the tests run the 64-bit build of the same sources under wine64 instead.

korvante_kernel_runs_32bit() {
  # Once qemu-user is registered for i386 programs, the 32-bit loader runs through the emulator
  # (binfmt_misc is asked before the kernel's own loader), so its running proves nothing.
  local emulated=/proc/sys/fs/binfmt_misc/qemu-i386
  if [ -f "$emulated" ] && [ "$(head -n 1 "$emulated")" = enabled ]; then
    return 1
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

korvante_windows_test_arch() {
  if korvante_kernel_runs_32bit; then echo i686; else echo x86_64; fi
}

# Where the kernel starts no 32-bit process, 32-bit Windows programs still run under wine64's
# WoW64 when Debian's qemu-user-static runs 32-bit Linux programs: wine64 starts the 32-bit Wine
# loader for them. Debian registers no i386 entry on amd64, so this one does, with flag F (the
# emulator opened now, so it is found in any mount namespace). A Wine prefix must be made after
# this: its 32-bit system folder is installed through 32-bit processes (about 2.5 minutes), and
# any 64-bit prefix made meanwhile pays that too, so the entry stays only as long as it is used.
KORVANTE_I386_ENTRY=/proc/sys/fs/binfmt_misc/qemu-i386
# The test run that registered the entry, by its process id.
KORVANTE_I386_OWNER=/run/korvante-qemu-i386.owner

korvante_emulate_i386_start() {
  local misc=/proc/sys/fs/binfmt_misc sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # Left mounted afterwards: on current kernels an unmount drops every entry, also others'.
  [ -e "$misc/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$misc"
  if [ -e "$KORVANTE_I386_ENTRY" ]; then
    if [ "$(head -n 1 "$KORVANTE_I386_ENTRY")" != enabled ]; then
      echo 1 | $sudo tee "$KORVANTE_I386_ENTRY" >/dev/null
      KORVANTE_ENABLED_I386=1
    fi
    return 0
  fi
  local elf_i386='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$elf_i386:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee "$misc/register" >/dev/null
  KORVANTE_REGISTERED_I386=1
  echo $$ | $sudo tee "$KORVANTE_I386_OWNER" >/dev/null
}

# An entry whose registering run was killed before it could remove it slows every Wine prefix
# made on the machine afterwards, and makes a kernel that runs 32-bit code look as if it did not.
# Called before anything asks which Windows build to test.
korvante_emulate_i386_clear_stale() {
  local sudo="" owner
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  [ -e "$KORVANTE_I386_ENTRY" ] || { $sudo rm -f "$KORVANTE_I386_OWNER"; return 0; }
  if [ ! -f "$KORVANTE_I386_OWNER" ]; then
    echo "== note: a qemu-i386 entry that no test run registered is in binfmt_misc; it stays"
    return 0
  fi
  owner=$(cat "$KORVANTE_I386_OWNER")
  if ! kill -0 "$owner" 2>/dev/null; then
    echo "== removing the qemu-i386 binfmt_misc entry left by an interrupted test run (process $owner)"
    echo -1 | $sudo tee "$KORVANTE_I386_ENTRY" >/dev/null
    $sudo rm -f "$KORVANTE_I386_OWNER"
  fi
}

# Undoes only what korvante_emulate_i386_start did.
korvante_emulate_i386_stop() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [ -e "$KORVANTE_I386_ENTRY" ]; then
    if [ -n "${KORVANTE_REGISTERED_I386:-}" ]; then
      echo -1 | $sudo tee "$KORVANTE_I386_ENTRY" >/dev/null
      $sudo rm -f "$KORVANTE_I386_OWNER"
    elif [ -n "${KORVANTE_ENABLED_I386:-}" ]; then
      echo 0 | $sudo tee "$KORVANTE_I386_ENTRY" >/dev/null
    fi
  fi
  KORVANTE_REGISTERED_I386= KORVANTE_ENABLED_I386=
}
