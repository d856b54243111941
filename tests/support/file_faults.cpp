#include "file_faults.h"

namespace {

struct HeldFile {
    HANDLE handle;
    DWORD milliseconds;
};

DWORD WINAPI LetGoLater(LPVOID heldFile)
{
    const HeldFile* held = static_cast<const HeldFile*>(heldFile);
    Sleep(held->milliseconds);
    CloseHandle(held->handle);
    delete held;
    return 0;
}

HANDLE g_locked = INVALID_HANDLE_VALUE;

}  // namespace

FaultResult HoldFile(const char* name, DWORD milliseconds)
{
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {false, std::string("file ") + name + " to hold", "none"};
    CloseHandle(CreateThread(nullptr, 0, LetGoLater, new HeldFile{file, milliseconds}, 0, nullptr));
    return {true, std::string("holding ") + name + " for " + std::to_string(milliseconds) + " ms", {}};
}

FaultResult LockFile(const char* name)
{
    if (g_locked != INVALID_HANDLE_VALUE)
        return {false, std::string("no file locked before locking ") + name, "one"};
    g_locked = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (g_locked == INVALID_HANDLE_VALUE)
        return {false, std::string("file ") + name + " to lock", "none"};
    return {true, std::string("locked ") + name + ", sharing reading only", {}};
}

FaultResult UnlockFile()
{
    if (g_locked == INVALID_HANDLE_VALUE)
        return {false, "a locked file to let go of", "none"};
    CloseHandle(g_locked);
    g_locked = INVALID_HANDLE_VALUE;
    return {true, "let go of the locked file", {}};
}
