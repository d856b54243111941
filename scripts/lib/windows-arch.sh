# Sourced. Chooses which Windows build the Wine tests run.
#
# The program is 32-bit, and the 32-bit build is the one that ships. Some kernels are booted
# with ia32_emulation off and start no 32-bit process at all, so no 32-bit Wine can run there;
# on those the tests run the 64-bit build of the same sources under wine64 instead.

korvante_kernel_runs_32bit() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

korvante_windows_test_arch() {
  if korvante_kernel_runs_32bit; then echo i686; else echo x86_64; fi
}
