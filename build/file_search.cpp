#include "build/file_search.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cwchar>
#else
#include <dirent.h>
#include <fnmatch.h>
#include <unistd.h>
#endif

namespace {

// Windows refuses to remove a file that another program holds open without delete sharing
// (Explorer's preview pane, a thumbnailer, a virus scanner), and a second removal of a name
// that is already delete pending. A file removed while such a program holds it is only marked
// for deletion: its name stays taken, and a copy to that name is refused, until the holder
// lets go. So a removal is asked again until the name is free, within one bound for both.
constexpr int kRemovalPolls = 200;
constexpr unsigned kRemovalPollMs = 50;

#ifdef _WIN32
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

using StatInfo = struct _stati64;

int Stat(const std::string& path, StatInfo& info)
{
    return _wstati64(Wide(path).data(), &info);
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

void Pause(unsigned milliseconds)
{
    Sleep(milliseconds);
}
#else
// The build names are Windows paths; here the backslash becomes the separator it stands for.
std::string NativePath(std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

// Windows drops a trailing dot from the last name of a path it creates or opens.
std::string NativeFileName(const std::string& path)
{
    std::string native = NativePath(path);
    if (native.size() > 1 && native.back() == '.' && native[native.size() - 2] != '/' && native[native.size() - 2] != '.')
        native.pop_back();
    return native;
}

using StatInfo = struct stat;

int Stat(const std::string& path, StatInfo& info)
{
    return stat(NativePath(path).c_str(), &info);
}

// Hands each entry's name to take. Returns 0 for a whole listing, else the error that ended it:
// the runtime tells a read error from the end of the folder only by errno.
template <typename Take>
int ReadFolder(const std::string& folder, Take take)
{
    DIR* listing = opendir(NativePath(folder).c_str());
    if (listing == nullptr)
        return errno;
    const dirent* entry;
    do {
        errno = 0;
        entry = readdir(listing);
        if (entry != nullptr)
            take(entry->d_name);
    } while (entry != nullptr);
    const int error = errno;
    closedir(listing);
    return error;
}

void Pause(unsigned milliseconds)
{
    usleep(milliseconds * 1000);
}
#endif

enum class NameState { Free, Folder, Taken };

// Free only when the platform says nothing is there; a name it refuses to look at is taken.
NameState StateOf(const std::string& path)
{
    StatInfo info;
    if (Stat(path, info) != 0)
        return errno == ENOENT ? NameState::Free : NameState::Taken;
    return S_ISDIR(info.st_mode) ? NameState::Folder : NameState::Taken;
}

bool IsFolder(const std::string& path)
{
    return StateOf(path) == NameState::Folder;
}

int Unlink(const std::string& path)
{
#ifdef _WIN32
    return _wunlink(Wide(path).data());
#else
    return unlink(NativePath(path).c_str());
#endif
}

}  // namespace

#ifdef _WIN32
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
    return IsFolder(folder) && Search(folder + "\\*", [&](const _wfinddatai64_t& entry) {
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
#else
// A case-blind match stands in for the find-file calls, passing over dot files as Windows passes
// over hidden ones. As there, a folder that is not there matches nothing.
bool FindFiles(const std::string& pattern, std::vector<FoundFile>& found)
{
    const std::string path = NativePath(pattern);
    const std::size_t separator = path.find_last_of('/');
    const std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
    const std::string namePattern = separator == std::string::npos ? path : path.substr(separator + 1);
    const int error = ReadFolder(folder, [&](const char* name) {
        unsigned long long size;
        if (fnmatch(namePattern.c_str(), name, FNM_CASEFOLD | FNM_PERIOD) == 0 &&
            RegularFileSize(folder + "/" + name, size))
            found.push_back({name, size});
    });
    return error == 0 || error == ENOENT;
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names)
{
    return ReadFolder(folder, [&](const char* name) {
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            names.push_back(name);
    }) == 0;
}

std::string CaseBlindKey(const std::string& name)
{
    std::string key = name;
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    return std::fopen(NativeFileName(path).c_str(), mode);
}

void MakeWritable(const std::string& path)
{
    const std::string nativePath = NativePath(path);
    struct stat info;
    if (lstat(nativePath.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
        chmod(nativePath.c_str(), (info.st_mode & 0777) | S_IWUSR);
}
#endif

bool RemoveFile(const std::string& path)
{
    for (int poll = 0; poll < kRemovalPolls; ++poll) {
        MakeWritable(path);
        // unlink, unlike remove, leaves an empty folder alone on every platform. A refusal is
        // not the last word: the state of the name after it is.
        Unlink(path);
        if (StateOf(path) != NameState::Taken)
            return true;
        Pause(kRemovalPollMs);
    }
    return StateOf(path) != NameState::Taken;
}

bool IsReadableFolder(std::string path)
{
    // The runtime's stat takes a drive root only with its separator, any other folder only without.
    const bool driveRoot = path.size() == 3 && path[1] == ':';
    if (!driveRoot && path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return IsFolder(path);
}

bool RegularFileSize(const std::string& path, unsigned long long& size)
{
    StatInfo info;
    if (Stat(path, info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = static_cast<unsigned long long>(info.st_size);
    return true;
}
