#include "build/build_lock.h"

#include <windows.h>

#include <vector>

namespace {

// Folder names are one in any case; the key is the upper-case UTF-16 path, hashed (FNV-1a) into
// a name that fits every object namespace.
std::string LockName(const std::string& workingFolder)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, workingFolder.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> folder(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, workingFolder.c_str(), -1, folder.data(), static_cast<int>(folder.size()));
    CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t unit : folder) {
        hash ^= static_cast<unsigned short>(unit);
        hash *= 1099511628211ull;
    }
    std::string name = "Global\\KORVANTE2.build.";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += "0123456789abcdef"[(hash >> shift) & 0xF];
    return name;
}

}  // namespace

// A semaphore of one, not a mutex: a mutex is taken again by the thread that owns it, while a
// build must find its folder's lock held whoever holds it. Global, so that a user switched to
// from another session meets it too; a lock of another user's answers access denied, which
// refuses the build as well.
BuildLock::BuildLock(const std::string& workingFolder)
    : m_handle(reinterpret_cast<std::intptr_t>(CreateSemaphoreA(nullptr, 1, 1, LockName(workingFolder).c_str())))
{
    m_taken = m_handle != 0 && WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), 0) == WAIT_OBJECT_0;
}

BuildLock::~BuildLock()
{
    if (m_handle == 0)
        return;
    if (m_taken)
        ReleaseSemaphore(reinterpret_cast<HANDLE>(m_handle), 1, nullptr);
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}
