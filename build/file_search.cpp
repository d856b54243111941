#include "build/file_search.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>

#include <cerrno>
#else
#include <dirent.h>
#include <fnmatch.h>
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
    _findclose(search);
    return true;
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
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return false;
    while (const dirent* entry = readdir(listing)) {
        unsigned long long size;
        if (fnmatch(namePattern.c_str(), entry->d_name, FNM_CASEFOLD | FNM_PERIOD) == 0 &&
            RegularFileSize(folder + "/" + entry->d_name, size))
            found.push_back({entry->d_name, size});
    }
    closedir(listing);
    return true;
}
#endif

bool IsReadableFolder(std::string path)
{
    // The runtime's stat takes a drive root only with its separator, any other folder only without.
    const bool driveRoot = path.size() == 3 && path[1] == ':';
    if (!driveRoot && path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    struct stat info;
    return stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RegularFileSize(const std::string& path, unsigned long long& size)
{
    struct stat info;
    if (stat(NativePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = static_cast<unsigned long long>(info.st_size);
    return true;
}
