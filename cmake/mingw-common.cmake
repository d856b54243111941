# The -posix compilers carry std::thread and std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${KORVANTE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANTE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANTE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANTE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No MinGW DLL may be needed beside the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test executables run under Wine; scripts/test provides the prefix and the wineserver.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
