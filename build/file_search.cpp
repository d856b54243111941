#include "build/file_search.h"

#include "build/file_platform.h"

namespace {

// Windows refuses to remove a file that another program holds open without delete sharing
// (Explorer's preview pane, a thumbnailer, a virus scanner), and a second removal of a name
// that is already delete pending. A file removed while such a program holds it is only marked
// for deletion: its name stays taken, and a copy to that name is refused, until the holder
// lets go. So a removal is asked again until the name is free, within one bound for both.
constexpr int kRemovalPolls = 200;
constexpr unsigned kRemovalPollMs = 50;

bool IsTaken(const std::string& path)
{
    const PathInfo::Kind kind = Inspect(path).kind;
    return kind == PathInfo::Kind::File || kind == PathInfo::Kind::Unknown;
}

}  // namespace

bool RemoveFile(const std::string& path)
{
    for (int poll = 0; poll < kRemovalPolls; ++poll) {
        MakeWritable(path);
        // A refusal is not the last word: the state of the name after it is.
        Unlink(path);
        if (!IsTaken(path))
            return true;
        Pause(kRemovalPollMs);
    }
    return !IsTaken(path);
}

bool IsReadableFolder(std::string path)
{
    // The runtime's stat takes a drive root only with its separator, any other folder only without.
    const bool driveRoot = path.size() == 3 && path[1] == ':';
    if (!driveRoot && path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return Inspect(path).kind == PathInfo::Kind::Folder;
}

bool RegularFileSize(const std::string& path, unsigned long long& size)
{
    const PathInfo info = Inspect(path);
    if (info.kind != PathInfo::Kind::File)
        return false;
    size = info.size;
    return true;
}
