# The release a Windows user unpacks: the program and a short text on what to put beside it.
#   cmake --build out/win32 --target package   ->  out/win32/KORVANTE2-1.0.0.1-win32.zip
install(TARGETS korvante2 RUNTIME DESTINATION .)

# Notepad of older Windows shows a text with bare LF line ends as one long line.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt)
file(READ ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_BINARY_DIR}/README.TXT "${readme}")
install(FILES ${CMAKE_BINARY_DIR}/README.TXT DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME KORVANTE2)
set(CPACK_PACKAGE_VERSION 1.0.0.1)
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
