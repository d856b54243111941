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
