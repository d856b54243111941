# 64-bit Windows build of the same sources. It exists only so that the Windows-side
# tests can run under wine64 on kernels that refuse 32-bit code (ia32_emulation off).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANTE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
