#include "build/file_search.h"

#include "build/file_platform.h"

#include <cerrno>

namespace {

// Windows refuses to remove a file that another program holds open without delete sharing
// (Explorer's preview pane, a thumbnailer, a virus scanner), and a second removal of a name
// that is already delete pending. A file removed while such a program holds it is only marked
// for deletion: its name stays taken, and a copy to that name is refused, until the holder
// lets go. A scanner or a backup agent also opens a file that another program has just
// closed, sometimes without write sharing. So what another program holds is asked for again,
// within one bound for all of these.
constexpr int kHeldFilePolls = 200;
constexpr int kMomentPolls = 40;
constexpr unsigned kPollMs = 50;
// A CD-ROM drive answers "not ready" for some seconds while a disc just inserted spins up,
// and the same while it holds no disc: the refusal of an empty drive waits this long.
constexpr int kDrivePolls = 160;

// Asks until done() holds, polls times at most; whether it held at the last asking.
template <typename Done>
bool AskAgain(int polls, Done done)
{
    for (int poll = 1; poll < polls; ++poll) {
        if (done())
            return true;
        Pause(kPollMs);
    }
    return done();
}

bool IsTaken(const std::string& path)
{
    const PathInfo::Kind kind = Inspect(path).kind;
    return kind == PathInfo::Kind::File || kind == PathInfo::Kind::Unknown;
}

}  // namespace

bool RemoveFile(const std::string& path)
{
    return AskAgain(kHeldFilePolls, [&] {
        MakeWritable(path);
        // A refusal is not the last word: the state of the name after it is.
        Unlink(path);
        return !IsTaken(path);
    });
}

std::FILE* OpenFileAskingAgain(const std::string& path, const char* mode, HeldFileWait wait)
{
    std::FILE* file = nullptr;
    AskAgain(wait == HeldFileWait::Moment ? kMomentPolls : kHeldFilePolls, [&] {
        file = OpenFile(path, mode);
        // Nothing there, or a folder in the file's place, is not a file another program holds.
        return file != nullptr || errno == ENOENT || Inspect(path).kind == PathInfo::Kind::Folder;
    });
    return file;
}

bool FolderBecomesReadable(const std::string& path)
{
    AskAgain(kDrivePolls, [&] { return IsReadableFolder(path) || !MayBecomeReadable(path); });
    return IsReadableFolder(path);
}

bool IsReadableFolder(std::string path)
{
    // A drive root is named with its separator (E: alone is the current folder on E:); other
    // folders without, as the stand-in's stat wants them.
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
