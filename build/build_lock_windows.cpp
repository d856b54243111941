#include "build/build_lock.h"

#include "build/build_names.h"

#include <windows.h>

// Without sharing, a second open fails with a sharing violation wherever it comes from. Delete
// on close removes the file with the last handle, however the program ends. The handle is
// inheritable, and the runtime's system() hands the interpreter every inheritable handle of
// the program; the build's file streams are all closed while a command runs, so it is the one.
bool BuildLock::TryTake(bool& heldByAnother)
{
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    const HANDLE file = CreateFileA(kBuildLockFile, GENERIC_READ | GENERIC_WRITE, 0, &inherited, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    m_handle = reinterpret_cast<std::intptr_t>(file);
    heldByAnother = file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
    return file != INVALID_HANDLE_VALUE;
}

BuildLock::~BuildLock()
{
    if (m_state == State::Taken)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}
