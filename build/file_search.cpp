#include "build/file_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <fnmatch.h>
#include <unistd.h>
#endif

namespace {

// The build names are Windows paths; elsewhere the backslash becomes the separator it stands for.
std::string NativePath(std::string path)
{
#ifndef _WIN32
    for (char& c : path)
        if (c == '\\')
            c = '/';
#endif
    return path;
}

// Hands each entry's name to take. A listing that ends early on a read error must not pass for
// a whole one: the runtime tells the two apart only by errno.
template <typename Take>
bool ReadFolder(const std::string& folder, Take take)
{
    DIR* listing = opendir(NativePath(folder).c_str());
    if (listing == nullptr)
        return false;
    const dirent* entry;
    do {
        errno = 0;
        entry = readdir(listing);
        if (entry != nullptr)
            take(entry->d_name);
    } while (entry != nullptr);
    const bool complete = errno == 0;
    closedir(listing);
    return complete;
}

bool IsFolder(const std::string& path)
{
    struct stat info;
    return stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

#ifdef _WIN32
bool FindFiles(const std::string& pattern, std::vector<FoundFile>& found)
{
    _finddatai64_t entry;
    const intptr_t search = _findfirsti64(pattern.c_str(), &entry);
    if (search == -1)
        return errno == ENOENT;
    do {
        if ((entry.attrib & (_A_SUBDIR | _A_HIDDEN | _A_SYSTEM)) == 0)
            found.push_back({entry.name, static_cast<unsigned long long>(entry.size)});
    } while (_findnexti64(search, &entry) == 0);
    // ENOENT is the end of the listing; anything else (EINVAL) a read error of the folder.
    const bool complete = errno == ENOENT;
    _findclose(search);
    return complete;
}
#else
// A case-blind match stands in for the find-file calls, passing over dot files as Windows passes
// over hidden ones.
bool FindFiles(const std::string& pattern, std::vector<FoundFile>& found)
{
    const std::string path = NativePath(pattern);
    const std::size_t separator = path.find_last_of('/');
    const std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
    const std::string namePattern = separator == std::string::npos ? path : path.substr(separator + 1);
    return ReadFolder(folder, [&](const char* name) {
        unsigned long long size;
        if (fnmatch(namePattern.c_str(), name, FNM_CASEFOLD | FNM_PERIOD) == 0 &&
            RegularFileSize(folder + "/" + name, size))
            found.push_back({name, size});
    });
}
#endif

bool ListFolder(const std::string& folder, std::vector<std::string>& names)
{
    return ReadFolder(folder, [&](const char* name) {
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            names.push_back(name);
    });
}

// Windows neither deletes nor overwrites a read-only file, and a file copied from a CD keeps
// that attribute.
void MakeWritable(const std::string& path)
{
    const std::string nativePath = NativePath(path);
#ifdef _WIN32
    _chmod(nativePath.c_str(), _S_IREAD | _S_IWRITE);
#else
    struct stat info;
    if (lstat(nativePath.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
        chmod(nativePath.c_str(), (info.st_mode & 0777) | S_IWUSR);
#endif
}

bool RemoveFile(const std::string& path)
{
    MakeWritable(path);
    // unlink, unlike remove, leaves an empty folder alone on every platform.
    return unlink(NativePath(path).c_str()) == 0 || errno == ENOENT || IsFolder(path);
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
    struct stat info;
    if (stat(NativePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = static_cast<unsigned long long>(info.st_size);
    return true;
}
