// The stand-in for the Windows file calls where the build core is tested natively.
#include "build/build_sequence.h"
#include "build/file_platform.h"
#include "build/file_search.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

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
    const std::size_t last = native.find_last_of('/') + 1;
    if (native.size() > last + 1 && native.back() == '.' && native.compare(last, std::string::npos, "..") != 0)
        native.pop_back();
    return native;
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

}  // namespace

std::string CurrentFolder()
{
    std::string folder;
    if (char* current = getcwd(nullptr, 0)) {
        folder = current;
        std::free(current);
    }
    return folder;
}

PathInfo Inspect(const std::string& path)
{
    struct stat info;
    if (stat(NativePath(path).c_str(), &info) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? PathInfo::Kind::Free : PathInfo::Kind::Unknown};
    if (S_ISDIR(info.st_mode))
        return {PathInfo::Kind::Folder};
    if (S_ISREG(info.st_mode))
        return {PathInfo::Kind::File, static_cast<unsigned long long>(info.st_size),
                static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
                    static_cast<unsigned long long>(info.st_mtim.tv_nsec)};
    return {PathInfo::Kind::Unknown};
}

// unlink, unlike remove, leaves an empty folder alone, as Windows' _wunlink does.
void Unlink(const std::string& path)
{
    unlink(NativePath(path).c_str());
}

bool MayBecomeReadable(const std::string&)
{
    return true;
}

void Pause(unsigned milliseconds)
{
    usleep(milliseconds * 1000);
}

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

void MakeWritable(const std::string& path)
{
    const std::string nativePath = NativePath(path);
    struct stat info;
    if (lstat(nativePath.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
        chmod(nativePath.c_str(), (info.st_mode & 0777) | S_IWUSR);
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
