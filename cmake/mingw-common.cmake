# The -win32 thread model compilers: the -posix ones link winpthreads, which imports
# KERNEL32!GetTickCount64 into every executable, and Windows XP has no such function.
# Nothing here starts a thread; GoogleTest gets a Notification of its own (tests/support/gtest_custom).
set(CMAKE_C_COMPILER ${KORVANTE_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${KORVANTE_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${KORVANTE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANTE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No MinGW DLL may be needed beside the executables. No link time in the PE header, so that
# two builds of the same sources are the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# Test executables run under Wine; scripts/test provides the prefix and the wineserver.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
