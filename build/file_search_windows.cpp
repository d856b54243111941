#include "build/build_sequence.h"
#include "build/file_platform.h"
#include "build/file_search.h"

#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>

namespace {

// The ANSI calls spell a name outside the ANSI code page with '?', which no later call accepts,
// while cmd copies such a file by its Unicode name. So the build's names travel as UTF-8 and
// every call here is a wide one.
using WidePath = std::vector<wchar_t>;

WidePath Wide(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    WidePath wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string Utf8(const wchar_t* wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(length > 0 ? length : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

// Hands each entry the search finds to take. A search that matches nothing is complete; one
// that ends early on a read error is not.
template <typename Take>
bool Search(const std::string& pattern, Take take)
{
    _wfinddatai64_t entry;
    const intptr_t search = _wfindfirsti64(Wide(pattern).data(), &entry);
    if (search == -1)
        return errno == ENOENT;
    do {
        take(entry);
    } while (_wfindnexti64(search, &entry) == 0);
    // ENOENT is the end of the listing; anything else (EINVAL) a read error of the folder.
    const bool complete = errno == ENOENT;
    _findclose(search);
    return complete;
}

}  // namespace

// Wide, so that a folder named outside the ANSI code page is named right in a refusal.
std::string CurrentFolder()
{
    std::string folder;
    if (wchar_t* current = _wgetcwd(nullptr, 0)) {
        folder = Utf8(current);
        std::free(current);
    }
    return folder;
}

// Microsoft's _wstati64 reports ENOENT for every failure of its find-file call, access denied
// included, which would count a name that Windows refuses to look at as free; this call says why.
PathInfo Inspect(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).data(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        const bool nothingThere = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return {nothingThere ? PathInfo::Kind::Free : PathInfo::Kind::Unknown};
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {PathInfo::Kind::Folder};
    const auto wide = [](DWORD high, DWORD low) { return static_cast<unsigned long long>(high) << 32 | low; };
    return {PathInfo::Kind::File, wide(data.nFileSizeHigh, data.nFileSizeLow),
            wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime),
            (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0};
}

// _wunlink, unlike remove, leaves an empty folder alone.
void Unlink(const std::string& path)
{
    _wunlink(Wide(path).data());
}

bool MayBecomeReadable(const std::string& path)
{
    if (path.size() < 3 || path[1] != ':')
        return true;
    const wchar_t root[] = {static_cast<wchar_t>(path[0]), L':', L'\\', L'\0'};
    return GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR;
}

void Pause(unsigned milliseconds)
{
    Sleep(milliseconds);
}

bool FindFiles(const std::string& pattern, std::vector<FoundFile>& found)
{
    return Search(pattern, [&](const _wfinddatai64_t& entry) {
        if ((entry.attrib & (_A_SUBDIR | _A_HIDDEN | _A_SYSTEM)) == 0)
            found.push_back({Utf8(entry.name), static_cast<unsigned long long>(entry.size)});
    });
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names)
{
    // A search in a folder that is not there finds nothing, which is no listing of it.
    return Inspect(folder).kind == PathInfo::Kind::Folder && Search(folder + "\\*", [&](const _wfinddatai64_t& entry) {
        if (std::wcscmp(entry.name, L".") != 0 && std::wcscmp(entry.name, L"..") != 0)
            names.push_back(Utf8(entry.name));
    });
}

// Windows neither deletes nor overwrites a read-only file, and a file copied from a CD keeps
// that attribute.
void MakeWritable(const std::string& path)
{
    _wchmod(Wide(path).data(), _S_IREAD | _S_IWRITE);
}

std::string CaseBlindKey(const std::string& name)
{
    // CharUpperBuffW maps letters the same way in every locale (i to I, also in Turkish), as
    // the file systems compare names.
    WidePath wide = Wide(name);
    CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Utf8(wide.data());
}

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}
