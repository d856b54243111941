#include "build/build_sequence.h"

#include "build/build_lock.h"
#include "build/file_platform.h"
#include "build/file_search.h"
#include "build/file_stream.h"
#include "build/image_directory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

std::string OverlayFolder(const char (&overlayCode)[3])
{
    // Never trust the terminator of a copied fixed array: the code is at most two characters.
    return std::string(kOverlayRoot) + std::string(overlayCode, strnlen(overlayCode, 2)) + "\\";
}

std::string DiscFileMask(char letter)
{
    return std::string("*.") + letter + "*";
}

// A build name as the user knows it from the folder, with backslashes.
std::string ShownName(std::string name)
{
    for (char& c : name)
        if (c == '/')
            c = '\\';
    return name;
}

// Only one build may work in a folder, and the lock file is the program's first write there.
BuildFailure CheckLock(const BuildLock& lock)
{
    switch (lock.GetState()) {
    case BuildLock::State::Taken:
        return {};
    case BuildLock::State::HeldByAnotherBuild:
        return {FailureCause::AnotherBuildRuns};
    case BuildLock::State::InTheWay:
        return {FailureCause::LockFileInTheWay, kBuildLockFile};
    case BuildLock::State::CannotBeMade:
        break;
    }
    return {FailureCause::FolderNotWritable, kBuildLockFile};
}

// An empty root would make every copy read the working folder itself, staging earlier images,
// the cue sheet and the program into the new image.
bool NamesADrive(const std::string& driveRoot)
{
    return !driveRoot.empty();
}

// Windows' cmd refuses a network path as its current folder and runs each line in the Windows
// folder instead, where md and the copies would stage the whole disc into the system's own temp.
bool IsLocalFolder(const std::string& folder)
{
    const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    return folder.size() < 2 || !isSeparator(folder[0]) || !isSeparator(folder[1]);
}

// A data file that opens may still fail to read: a cloud-only file while offline, a network
// drive that dropped. Such a file is told from one that is not there.
BuildFailure CheckDataFile(const std::string& path, bool reads, FailureCause missing, FailureCause unreadable)
{
    if (reads)
        return {};
    return {Inspect(path).kind == PathInfo::Kind::Free ? missing : unreadable, ShownName(path)};
}

// The image tool takes a read error of its list for the list's end and makes an unsorted image
// that ends well. Read whole here, a cloud-only list is also brought down while still online.
bool ReadSortList(const std::string& sortList, std::string& text)
{
    FileStream list(sortList, "rb");
    if (!list.IsOpen())
        return false;
    char block[4096];
    std::size_t read;
    while ((read = list.Read(block, sizeof block)) > 0)
        text.append(block, read);
    return !list.HasFailed();
}

// Only opened: Windows reads a program's file when it starts it.
BuildFailure CheckImageTool()
{
    if (FileStream(kImageTool, "rb").IsOpen())
        return {};
    return {FailureCause::ImageToolMissing, kImageTool};
}

// An earlier output that cannot be written (Windows holds a mounted QX7.ISO until Eject, a
// burning program or an emulator holds an open image, the file is read-only or in a protected
// folder) would fail the build only after the image tool had replaced the earlier image.
// Opening it for update changes nothing, and one that is not there is not made; a scanner
// holding it for a moment is waited for. Windows also refuses to create over a hidden or
// system file, which opens for update all the same.
BuildFailure CheckEarlierOutputs()
{
    for (const char* output : {kImage, kTrack2File, kCueSheet}) {
        const PathInfo info = Inspect(output);
        if (info.kind == PathInfo::Kind::Free)
            continue;
        if (info.kind == PathInfo::Kind::Folder)
            return {FailureCause::OutputIsFolder, output};
        if (info.hidden)
            return {FailureCause::OutputHidden, output};
        if (!FileStream(output, "r+b", FileStream::WhileHeld::AskAMoment).IsOpen())
            return {FailureCause::OutputInUse, output};
    }
    return {};
}

// E: reads better than E:\ in a sentence.
std::string DriveName(std::string driveRoot)
{
    if (driveRoot.size() == 3 && driveRoot[1] == ':')
        driveRoot.pop_back();
    return driveRoot;
}

// A CD-ROM drive without a disc, or one that has gone, has no readable root folder; an image of
// the overlay alone is no image of the disc. A disc just inserted is waited for.
BuildFailure CheckDisc(const std::string& driveRoot)
{
    if (FolderBecomesReadable(driveRoot))
        return {};
    return {FailureCause::NoDisc, DriveName(driveRoot)};
}

// The chosen disc as the main dialog names it.
std::string CaptionOf(const std::string& sortList)
{
    for (const DiscEntry& disc : kDiscCatalogue)
        if (sortList == disc.sortList)
            return disc.caption;
    return sortList;
}

// The file names a sort list gives, without the path before each, by CaseBlindKey. Each line
// is the tool's "name weight", and a name may hold blanks: it ends at the line's last one.
std::set<std::string> NamesInSortList(const std::string& text)
{
    std::set<std::string> names;
    for (std::size_t lineAt = 0; lineAt < text.size();) {
        const std::size_t lineEnd = std::min(text.find('\n', lineAt), text.size());
        const std::string line = text.substr(lineAt, lineEnd - lineAt);
        lineAt = lineEnd + 1;
        const std::size_t weightAt = line.find_last_of(" \t");
        if (weightAt == std::string::npos)
            continue;
        const std::string path = line.substr(0, line.find_last_not_of(" \t", weightAt) + 1);
        if (!path.empty())
            names.insert(CaseBlindKey(path.substr(path.find_last_of("/\\") + 1)));
    }
    return names;
}

// Nothing else tells the discs apart: a DVD-Video (folders only), an audio CD or another
// program's disc in the drive, or the image of one mounted as a drive, would be imaged with the
// chosen disc's overlay, and the tool passes over list lines that name nothing. The lists are
// the disc set's: a disc is refused only when the list names files of a disc (not the overlay
// nor the placeholder) and none of them is on this one, never for a name the disc lacks.
BuildFailure CheckDiscOfTheSet(const BuildRequest& request, const std::string& sortList)
{
    std::vector<FoundFile> discFiles;
    for (const char* letter = kStagedExtensionLetters; *letter != '\0'; ++letter)
        if (!FindFiles(request.driveRoot + DiscFileMask(*letter), discFiles))
            return {FailureCause::DiscNotListed, request.driveRoot};
    if (discFiles.empty())
        return {FailureCause::DiscHoldsNothingToCopy, DriveName(request.driveRoot), CaptionOf(request.sortList)};

    std::set<std::string> named = NamesInSortList(sortList);
    // A listing that fails here fails the overlay's copy later; here it only names fewer.
    std::vector<FoundFile> overlayFiles;
    FindFiles(OverlayFolder(request.overlayCode) + kOverlayPattern, overlayFiles);
    for (const FoundFile& file : overlayFiles)
        named.erase(CaseBlindKey(file.name));
    named.erase(CaseBlindKey(kPlaceholderName));
    // A line may give a wildcard pattern, which the tool matches itself, or a name outside ASCII,
    // which the list spells in a code page of its own: neither can be told absent from here.
    const bool undecidable = std::any_of(named.begin(), named.end(), [](const std::string& name) {
        return name.find_first_of("*?[") != std::string::npos ||
               std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    });
    if (named.empty() || undecidable)
        return {};
    for (const FoundFile& file : discFiles)
        if (named.count(CaseBlindKey(file.name)) != 0)
            return {};
    return {FailureCause::DiscNotTheChosenOne, DriveName(request.driveRoot), CaptionOf(request.sortList)};
}

// What can be known before the first copy: a build that cannot end well says so at once, and
// stages nothing. The boot area is read here, once, for the stamp.
BuildFailure CheckBeforeCopying(const BuildRequest& request, const BuildLock& lock, const std::string& workingFolder,
                                BootArea& bootArea)
{
    if (BuildFailure locked = CheckLock(lock))
        return locked;
    if (!NamesADrive(request.driveRoot))
        return {FailureCause::NoDriveChosen};
    if (!IsLocalFolder(workingFolder))
        return {FailureCause::NetworkFolder, workingFolder};
    if (BuildFailure bootAreaFile = CheckDataFile(kBootAreaFile, ReadBootArea(bootArea),
                                                  FailureCause::BootAreaFileMissing, FailureCause::BootAreaFileUnreadable))
        return bootAreaFile;
    std::string sortList;
    if (BuildFailure sortListFile = CheckDataFile(request.sortList, ReadSortList(request.sortList, sortList),
                                                  FailureCause::SortListMissing, FailureCause::SortListUnreadable))
        return sortListFile;
    if (BuildFailure tool = CheckImageTool())
        return tool;
    if (BuildFailure outputs = CheckEarlierOutputs())
        return outputs;
    if (BuildFailure disc = CheckDisc(request.driveRoot))
        return disc;
    return CheckDiscOfTheSet(request, sortList);
}

// What stood in the folder of QX7.ISO, QX7Track2.bin and QX7.CUE when the build began, to tell
// the user truly what a failure left of it.
class EarlierOutputs {
public:
    EarlierOutputs() : m_image(Inspect(kImage))
    {
        for (const char* output : {kImage, kTrack2File, kCueSheet})
            if (Inspect(output).kind == PathInfo::Kind::File)
                m_there.push_back(output);
    }

    // A failure before the image tool ran: nothing of the earlier image was written.
    BuildResult Kept(BuildFailure failure) const
    {
        // The build that holds the folder is replacing the earlier image: "unchanged" would
        // not stay true.
        if (failure.cause == FailureCause::AnotherBuildRuns)
            return {std::move(failure), EarlierImage::None, {}};
        return Told(std::move(failure), false);
    }

    // A failure after the image tool: it replaced the image if it wrote to it at all (one that
    // fails before it opens its output leaves the earlier one).
    BuildResult AfterImageTool(BuildFailure failure) const { return Told(std::move(failure), !ImageUnchanged()); }

    // A failure once a writer has begun: the image it finishes is not the earlier one.
    BuildResult Replaced(BuildFailure failure) const { return Told(std::move(failure), true); }

    // Whether QX7.ISO stands as it stood when the build began: of the same kind, size and last
    // write, or missing then and now.
    bool ImageUnchanged() const
    {
        const PathInfo image = Inspect(kImage);
        return image.kind == m_image.kind && image.size == m_image.size && image.modified == m_image.modified;
    }

private:
    BuildResult Told(BuildFailure failure, bool written) const
    {
        if (m_there.empty())
            return {std::move(failure), EarlierImage::None, {}};
        return {std::move(failure), written ? EarlierImage::Replaced : EarlierImage::Unchanged, m_there};
    }

    PathInfo m_image;
    std::vector<std::string> m_there;
};

// An exit status as a person reads it: a program's own code in decimal, a Windows status such
// as 0xC0000135 (a DLL missing) in hexadecimal.
std::string StatusText(int status)
{
    char text[16];
    if (status >= 0)
        std::snprintf(text, sizeof text, "%d", status);
    else
        std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

// The image is to hold the empty CDDA2 file; a build that cannot make it (no temp, a folder of
// that name) makes no image.
bool CreatePlaceholder(const std::string& stagingFolder)
{
    FileStream placeholder(stagingFolder + kPlaceholderSuffix, "w");
    return placeholder.Close();
}

// The runtime's system() answers -1 when no interpreter starts: COMSPEC names no program, or a
// policy (AppLocker, Software Restriction Policies) blocks cmd.exe. md, copy and the image tool
// never answer it themselves once they have started.
constexpr int kNoInterpreter = -1;
// A console window closed, or Ctrl+C or Ctrl+Break pressed in it, ends its programs so.
constexpr int kControlCExit = static_cast<int>(0xC000013Au);

// md's own failure (a temp already there) is no failure of the build; an interpreter that does
// not start would fail every command after it.
BuildFailure InterpreterStarted(int status)
{
    if (status == kNoInterpreter)
        return {FailureCause::InterpreterNotStarted};
    return {};
}

// A tool that failed may have left nothing, or a partial image; one stopped by its console
// window is told as such, since the user did it and can leave it be.
BuildFailure ImageToolEndedWell(int status)
{
    if (status == kControlCExit)
        return {FailureCause::ImageToolInterrupted};
    if (status != 0)
        return {FailureCause::ImageToolFailed, StatusText(status)};
    return {};
}

// A tool that ends well without writing (one that takes no -o, or prints its usage and ends
// with 0) would let an earlier run's QX7.ISO, perhaps of another disc, pass as this one.
BuildFailure ImageToolWrote(const EarlierOutputs& earlier)
{
    if (Inspect(kImage).kind == PathInfo::Kind::Free)
        return {FailureCause::ImageMissing, kImage};
    if (earlier.ImageUnchanged())
        return {FailureCause::ImageNotWritten, kImage};
    return {};
}

// The image must hold the whole volume its descriptor gives; a scanner or backup agent may
// hold it for a moment just after the tool closed it, and the check waits for that.
BuildFailure ImageIsWhole()
{
    switch (CheckImageLength()) {
    case ImageLength::Whole:
        return {};
    case ImageLength::NotOpened:
        return {Inspect(kImage).kind == PathInfo::Kind::Free ? FailureCause::ImageMissing : FailureCause::ImageHeld,
                kImage};
    case ImageLength::Short:
        break;
    }
    return {FailureCause::ImageIncomplete, kImage};
}

enum class CopySource { Disc, Overlay };

// The staging folder and the files the copies are to leave in it.
//
// Windows' copy asks before it replaces a file unless it runs in a batch file, and a line run by
// system() is not one: the program has no console, so the build would wait behind a question in
// a window of its own, and a No would keep the wrong file. So no copy may find its destination in
// place: the folder starts empty, and each copy's own files are removed from it just before it runs.
//
// A copy reports nothing the run may rely on either: a file that cannot be read (a scratched
// disc, a disc taken out) is passed over, and one cut short by a full disk ends like one that
// matched nothing. So before the image tool may replace an earlier image, every file the copies
// should have taken must stand staged with its source's size.
class StagedFiles {
public:
    explicit StagedFiles(std::string folder) : m_folder(std::move(folder)) {}

    // Removes every file, read-only or hidden. Fails when the folder cannot be listed (md
    // failed), a file stays, or it holds a folder: the image tool would take that into the
    // image (one named CDDA2 in place of the placeholder), and it is the user's, not the
    // build's, to remove.
    BuildFailure Empty() const
    {
        std::vector<std::string> names;
        if (!ListFolder(m_folder, names))
            return {FailureCause::StagingFolderUnusable, m_folder};
        for (const std::string& name : names)
            if (IsReadableFolder(StagedPath(name)))
                return {FailureCause::FolderInStaging, StagedPath(name)};
        for (const std::string& name : names)
            if (!RemoveFile(StagedPath(name)))
                return {FailureCause::StagedFileHeld, StagedPath(name)};
        return {};
    }

    // del/Q deletes no read-only file, and copies from a CD keep that attribute: without this
    // rd would leave temp behind.
    void MakeWritable() const
    {
        std::vector<std::string> names;
        ListFolder(m_folder, names);
        for (const std::string& name : names)
            ::MakeWritable(StagedPath(name));
    }

    // Lists what copy of sourceFolder + mask will take, with the platform's own matching, and
    // removes those names from the staging folder. An overlay file replaces the disc's of its name.
    BuildFailure MakeRoomForCopy(const std::string& sourceFolder, const std::string& mask, CopySource source,
                                 bool& takesFiles)
    {
        takesFiles = false;
        // A disc without overlay files has no such folder; a drive whose root went since the
        // build began has lost its disc.
        if (!IsReadableFolder(sourceFolder))
            return source == CopySource::Overlay ? BuildFailure{} : BuildFailure{FailureCause::NoDisc, DriveName(sourceFolder)};
        std::vector<FoundFile> found;
        if (!FindFiles(sourceFolder + mask, found))
            return {source == CopySource::Overlay ? FailureCause::OverlayNotListed : FailureCause::DiscNotListed,
                    sourceFolder};
        takesFiles = !found.empty();
        if (BuildFailure held = RemoveStaged(found))
            return held;
        if (source == CopySource::Overlay)
            for (const FoundFile& file : found)
                m_expected.erase(CaseBlindKey(file.name));
        for (const FoundFile& file : found) {
            Expected& expected = m_expected[CaseBlindKey(file.name)];
            expected.from = sourceFolder;
            expected.sources.push_back(file);
        }
        return {};
    }

    // The placeholder stands in the image for whatever of its name a copy took.
    void ExpectPlaceholder() { m_expected[CaseBlindKey(kPlaceholderName)] = {m_folder + "\\", {{kPlaceholderName, 0}}}; }

    // The first file that does not stand staged at its source's size, as its name and the
    // failure of a copy that left it out; an empty name when every file stands staged.
    std::pair<std::string, BuildFailure> FirstMissing(const std::string& overlayFolder) const
    {
        for (const auto& staged : m_expected) {
            if (IsStaged(staged.second.sources))
                continue;
            const std::string& name = staged.second.sources.front().name;
            if (staged.second.from == overlayFolder)
                return {name, {FailureCause::OverlayFileNotCopied, overlayFolder + name}};
            if (name == kPlaceholderName)
                return {name, {FailureCause::PlaceholderNotMade, StagedPath(name)}};
            return {name, {FailureCause::DiscFileNotCopied, staged.second.from + name}};
        }
        return {};
    }

    std::string StagedPath(const std::string& name) const { return m_folder + "\\" + name; }

    // The files the image tool found in the staging folder, with their sizes.
    bool List(std::vector<FoundFile>& files) const { return FindFiles(StagedPath("*"), files); }

private:
    // Where the copies take a file from, under each spelling of its name.
    struct Expected {
        std::string from;  // the source folder
        std::vector<FoundFile> sources;
    };

    // The folder was emptied, so only this run's earlier copies put files in it: those that a
    // copy is about to write again, under any spelling of their names, go.
    BuildFailure RemoveStaged(const std::vector<FoundFile>& found) const
    {
        for (const FoundFile& file : found) {
            const auto earlier = m_expected.find(CaseBlindKey(file.name));
            if (earlier == m_expected.end())
                continue;
            for (const FoundFile& staged : earlier->second.sources)
                if (!RemoveFile(StagedPath(staged.name)))
                    return {FailureCause::StagedFileHeld, StagedPath(staged.name)};
        }
        return {};
    }

    // Names that differ only in case (possible on a disc read through Wine) are one staged
    // file, from whichever was copied last.
    bool IsStaged(const std::vector<FoundFile>& sources) const
    {
        for (const FoundFile& named : sources) {
            unsigned long long stagedSize;
            if (!RegularFileSize(StagedPath(named.name), stagedSize))
                continue;
            for (const FoundFile& source : sources)
                if (source.size == stagedSize)
                    return true;
        }
        return false;
    }

    std::string m_folder;
    std::map<std::string, Expected> m_expected;  // by CaseBlindKey of the name
};

// Windows' copy gives each destination its source's full size before it writes the data, so
// the staging check would take a file cut off mid-copy, its tail zeros, for a whole one; only
// the interpreter's status tells. A console closed (or Ctrl+Break pressed) ends cmd with
// STATUS_CONTROL_C_EXIT before copy can delete its partial file: every status of an interpreter
// that did not end by itself is negative as an int (an NTSTATUS error). copy's own statuses are
// 0 and 1, and 1 stands both for a pattern that matched nothing and for a copy that failed: a
// file it could not read or write, or its console process ended from Task Manager, by taskkill
// or by a security program, which ends cmd with 1. Only a copy that had nothing to take may
// answer 1; of one that failed, a file left missing or short is named, else the copy.
BuildFailure CheckCopyEndedWell(int status, bool hadFilesToCopy, const StagedFiles& staged,
                                const std::string& overlayFolder, const std::string& copied)
{
    if (BuildFailure noInterpreter = InterpreterStarted(status))
        return noInterpreter;
    if (status < 0)
        return {FailureCause::ConsoleClosed};
    if (status == 0 || !hadFilesToCopy)
        return {};
    if (auto [name, notCopied] = staged.FirstMissing(overlayFolder); !name.empty())
        return notCopied;
    return {FailureCause::CopyFailed, copied};
}

// The tool leaves out a file it cannot open (a name outside its code page, a file a scanner
// locks), warns and ends well, and temp still holds the file: only the image tells.
BuildFailure CheckImageHoldsStaging(const StagedFiles& staged)
{
    std::vector<FoundFile> stagedFiles;
    if (!staged.List(stagedFiles))
        return {FailureCause::StagingFolderUnusable, kStagingFolder};
    std::vector<FoundFile> imageFiles;
    if (!ReadImageRootFiles(imageFiles))
        return {FailureCause::ImageDirectoryUnreadable, kImage};
    const std::string missing = FirstFileNotInImage(stagedFiles, imageFiles);
    if (missing.empty())
        return {};
    return {FailureCause::FileNotInImage, staged.StagedPath(missing)};
}

}  // namespace

int RunThroughCommandInterpreter(const std::string& commandLine)
{
    return std::system(commandLine.c_str());
}

BuildResult RunBuild(BuildRequest request, const CommandRunner& runCommand, const std::string& workingFolder)
{
    const EarlierOutputs earlier;
    const BuildLock lock;
    BootArea bootArea;
    if (BuildFailure refusal = CheckBeforeCopying(request, lock, workingFolder, bootArea))
        return earlier.Kept(refusal);

    const std::string stagingFolder = kStagingFolder;
    StagedFiles staged(stagingFolder);

    if (BuildFailure noInterpreter = InterpreterStarted(runCommand("md " + stagingFolder)))
        return earlier.Kept(noInterpreter);
    // A temp left by a failed run may hold another disc's files.
    if (BuildFailure stale = staged.Empty())
        return earlier.Kept(stale);
    const std::string overlayFolder = OverlayFolder(request.overlayCode);
    for (const char* letter = kStagedExtensionLetters; *letter != '\0'; ++letter) {
        const std::string mask = DiscFileMask(*letter);
        bool takesFiles;
        if (BuildFailure noRoom = staged.MakeRoomForCopy(request.driveRoot, mask, CopySource::Disc, takesFiles))
            return earlier.Kept(noRoom);
        const int status = runCommand("copy " + request.driveRoot + mask + " " + stagingFolder);
        if (BuildFailure failed = CheckCopyEndedWell(status, takesFiles, staged, overlayFolder, request.driveRoot + mask))
            return earlier.Kept(failed);
    }
    bool takesFiles;
    if (BuildFailure noRoom = staged.MakeRoomForCopy(overlayFolder, kOverlayPattern, CopySource::Overlay, takesFiles))
        return earlier.Kept(noRoom);
    const int status = runCommand("copy " + overlayFolder + kOverlayPattern + " " + stagingFolder);
    if (BuildFailure failed = CheckCopyEndedWell(status, takesFiles, staged, overlayFolder, overlayFolder + kOverlayPattern))
        return earlier.Kept(failed);
    if (!CreatePlaceholder(stagingFolder))
        return earlier.Kept({FailureCause::PlaceholderNotMade, staged.StagedPath(kPlaceholderName)});
    staged.ExpectPlaceholder();
    if (auto [name, notCopied] = staged.FirstMissing(overlayFolder); !name.empty())
        return earlier.Kept(notCopied);

    // An image from an earlier run must not be passed off as this disc's.
    const std::string imageToolCommand = std::string(kImageTool) + " -sort " + request.sortList +
                                         " -o " + kImage + " " + stagingFolder + "\\";
    if (BuildFailure toolFailed = ImageToolEndedWell(runCommand(imageToolCommand)))
        return earlier.AfterImageTool(toolFailed);
    if (BuildFailure notWritten = ImageToolWrote(earlier))
        return earlier.AfterImageTool(notWritten);
    // A virus scanner may remove or quarantine a staged file while the tool reads temp, and the
    // tool leaves out what it cannot find and still ends well.
    if (const auto [name, notCopied] = staged.FirstMissing(overlayFolder); !name.empty())
        return earlier.AfterImageTool({FailureCause::StagedFileGone, staged.StagedPath(name)});
    if (BuildFailure notWhole = ImageIsWhole())
        return earlier.AfterImageTool(notWhole);
    if (BuildFailure leftOut = CheckImageHoldsStaging(staged))
        return earlier.AfterImageTool(leftOut);

    if (!WriteTrack2File())
        return earlier.Replaced({FailureCause::Track2FileNotWritten, kTrack2File});
    if (!StampBootArea(bootArea))
        return earlier.Replaced({FailureCause::BootAreaNotWritten, kImage});
    if (!WriteCueSheet())
        return earlier.Replaced({FailureCause::CueSheetNotWritten, kCueSheet});

    staged.MakeWritable();
    runCommand("del/Q temp\\*.*");
    runCommand("rd temp");
    return {};
}

BuildResult RefuseBuild(BuildFailure failure)
{
    return EarlierOutputs().Kept(std::move(failure));
}

BuildResult RunBuild(BuildRequest request)
{
    return RunBuild(std::move(request), RunThroughCommandInterpreter, CurrentFolder());
}
