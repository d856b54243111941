# The release a Windows user unpacks: the program and a short text on what to put beside it.
#   cmake --build --preset win32 --target release  ->  out/win32/KORVANTE2-1.0.0.1-win32.zip
# Two builds of the same sources give the same zip: fixed entry order and dates, nothing taken
# from the build machine (SOURCE_DATE_EPOCH, when set, dates the entries instead).

# Notepad of older Windows shows a text with bare LF line ends as one long line.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt)
file(READ ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_BINARY_DIR}/README.TXT "${readme}")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KORVANTE_RELEASE_ZIP ${CMAKE_BINARY_DIR}/KORVANTE2-1.0.0.1-win32.zip)
add_custom_command(
  OUTPUT ${KORVANTE_RELEASE_ZIP}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/release_zip.py ${KORVANTE_RELEASE_ZIP}
    $<TARGET_FILE:korvante2> ${CMAKE_BINARY_DIR}/README.TXT
  DEPENDS korvante2 ${CMAKE_BINARY_DIR}/README.TXT ${CMAKE_CURRENT_LIST_DIR}/release_zip.py
  VERBATIM)
add_custom_target(release DEPENDS ${KORVANTE_RELEASE_ZIP})
