// cdrom_drive.exe define <letter> <unix-folder> | fixed <letter> <unix-folder> | remove <letter>
//
// Makes a drive letter a CD-ROM drive holding a Unix folder, gives it back as a fixed disk
// (as Wine's Z: on / is), or removes it, through Wine's mount manager. A dosdevices link alone gives a fixed disk; only the mount manager lets the
// drive report DRIVE_CDROM to GetDriveTypeA. Test support only: this runs under Wine, never
// on Windows.
#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Wine's private extension of the mount manager (include/ddk/mountmgr.h, Wine 8). MinGW's copy
// of that header has an older, shorter layout, so the one Wine reads is spelled out here.
constexpr DWORD kMountManagerType = 0x6d;  // 'm'
constexpr DWORD kDefineUnixDrive = CTL_CODE(kMountManagerType, 32, METHOD_BUFFERED,
                                            FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;  // offset of a zero-terminated Unix path in the same buffer
    USHORT deviceOffset;
    USHORT labelOffset;
};

int Usage()
{
    std::fprintf(stderr, "usage: cdrom_drive define <letter> <unix-folder>\n"
                         "       cdrom_drive fixed <letter> <unix-folder>\n"
                         "       cdrom_drive remove <letter>\n");
    return 2;
}

// DRIVE_NO_ROOT_DIR as the type removes the letter; any other type defines it.
constexpr DWORD kRetryLimitMs = 5000;

bool SendDefinition(char letter, UINT type, const std::string& unixFolder)
{
    std::vector<char> buffer(sizeof(UnixDrive) + unixFolder.size() + 1, '\0');
    UnixDrive drive{};
    drive.size = static_cast<ULONG>(buffer.size());
    drive.type = type;
    drive.letter = static_cast<WCHAR>(std::tolower(static_cast<unsigned char>(letter)));
    if (!unixFolder.empty()) {
        drive.mountPointOffset = static_cast<USHORT>(sizeof(UnixDrive));
        std::memcpy(buffer.data() + sizeof(UnixDrive), unixFolder.c_str(), unixFolder.size() + 1);
    }
    std::memcpy(buffer.data(), &drive, sizeof drive);

    // Right after a prefix boots, or while a drive change settles, the mount manager can be
    // missing or busy for a moment: try again for a bounded time.
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE manager = CreateFileA("\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        BOOL sent = FALSE;
        DWORD error = GetLastError();
        if (manager != INVALID_HANDLE_VALUE) {
            DWORD returned = 0;
            sent = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                                   nullptr, 0, &returned, nullptr);
            error = GetLastError();
            CloseHandle(manager);
        }
        if (sent)
            return true;
        // A drive that is not there cannot be removed: no point in asking again.
        if (type == DRIVE_NO_ROOT_DIR || GetTickCount() - start > kRetryLimitMs) {
            std::fprintf(stderr, "cdrom_drive: the mount manager refused drive %c: (error %lu)\n", letter, error);
            return false;
        }
        Sleep(50);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || std::strlen(argv[2]) != 1 || !std::isalpha(static_cast<unsigned char>(argv[2][0])))
        return Usage();
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(argv[2][0])));
    const std::string root = std::string(1, letter) + ":\\";
    const std::string command = argv[1];

    if ((command == "define" || command == "fixed") && argc == 4) {
        const UINT wanted = command == "define" ? DRIVE_CDROM : DRIVE_FIXED;
        if (!SendDefinition(letter, wanted, argv[3]))
            return 1;
        const DWORD start = GetTickCount();
        UINT type;
        while ((type = GetDriveTypeA(root.c_str())) != wanted && GetTickCount() - start < kRetryLimitMs)
            Sleep(50);
        if (type != wanted) {
            std::fprintf(stderr, "cdrom_drive: %s defined, but GetDriveTypeA gives %u, expected %u\n",
                         root.c_str(), type, wanted);
            return 1;
        }
        return 0;
    }
    if (command == "remove" && argc == 3) {
        if (!SendDefinition(letter, DRIVE_NO_ROOT_DIR, ""))
            return 1;
        const UINT type = GetDriveTypeA(root.c_str());
        if (type != DRIVE_NO_ROOT_DIR) {
            std::fprintf(stderr, "cdrom_drive: %s removed, but GetDriveTypeA still gives %u\n", root.c_str(), type);
            return 1;
        }
        return 0;
    }
    return Usage();
}
