#include "build/build_lock.h"

#include "build/build_names.h"

#include <windows.h>

// Without sharing, a second open fails with a sharing violation wherever it comes from. Delete
// on close removes the file with the program's last handle, however the program ends.
BuildLock::BuildLock()
    : m_handle(reinterpret_cast<std::intptr_t>(CreateFileA(kBuildLockFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                                                           nullptr)))
{
    if (reinterpret_cast<HANDLE>(m_handle) != INVALID_HANDLE_VALUE)
        m_state = State::Taken;
    else
        m_state = GetLastError() == ERROR_SHARING_VIOLATION ? State::HeldByAnotherBuild : State::CannotBeMade;
}

BuildLock::~BuildLock()
{
    if (m_state == State::Taken)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}
