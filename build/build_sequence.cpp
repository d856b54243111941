#include "build/build_sequence.h"

#include "build/build_lock.h"
#include "build/file_search.h"
#include "build/file_stream.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include <unistd.h>

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

// The image tool takes a read error of its list for the list's end and makes an unsorted image
// that ends well. Read whole here, a cloud-only list is also brought down while still online.
bool SortListReads(const std::string& sortList)
{
    FileStream list(sortList, "rb");
    if (!list.IsOpen())
        return false;
    char block[4096];
    while (list.Read(block, sizeof block) == sizeof block) {
    }
    return !list.HasFailed();
}

bool ImageToolOpens()
{
    return FileStream(kImageTool, "rb").IsOpen();
}

// An earlier output that cannot be written (Windows holds a mounted QX7.ISO until Eject, a
// burning program or an emulator holds an open image, the file is read-only or in a protected
// folder) would fail the build only after the image tool had replaced the earlier image.
// Opening it for update changes nothing, and one that is not there is not made.
bool EarlierOutputsCanBeReplaced()
{
    for (const char* output : {kImage, kTrack2File, kCueSheet}) {
        FileStream file(output, "r+b");
        if (!file.IsOpen() && errno != ENOENT)
            return false;
    }
    return true;
}

// The image is to hold the empty CDDA2 file; a build that cannot make it (no temp, a folder of
// that name) makes no image.
bool CreatePlaceholder(const std::string& stagingFolder)
{
    FileStream placeholder(stagingFolder + kPlaceholderSuffix, "w");
    return placeholder.Close();
}

// Windows' copy gives each destination its source's full size before it writes the data. A
// console closed (or Ctrl+Break pressed) while copy works ends cmd with STATUS_CONTROL_C_EXIT
// before copy can delete its partial file, so the staging check would take a file whose tail
// is zeros for a whole one. Every status of an interpreter that did not end by itself is
// negative as an int (an NTSTATUS error), and so is -1 for one that never started; copy's own
// statuses are 0 and 1.
bool InterpreterEndedByItself(int status)
{
    return status >= 0;
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

    // Removes every file, read-only or hidden. False when the folder cannot be listed (md
    // failed), a file stays, or it holds a folder: the image tool would take that into the image
    // (one named CDDA2 in place of the placeholder), and it is the user's, not the build's, to
    // remove.
    bool Empty() const
    {
        std::vector<std::string> names;
        if (!ListFolder(m_folder, names))
            return false;
        for (const std::string& name : names)
            if (IsReadableFolder(m_folder + "\\" + name))
                return false;
        for (const std::string& name : names)
            if (!RemoveFile(m_folder + "\\" + name))
                return false;
        return true;
    }

    // del/Q deletes no read-only file, and copies from a CD keep that attribute: without this
    // rd would leave temp behind.
    void MakeWritable() const
    {
        std::vector<std::string> names;
        ListFolder(m_folder, names);
        for (const std::string& name : names)
            ::MakeWritable(m_folder + "\\" + name);
    }

    // Lists what copy of sourceFolder + mask will take, with the platform's own matching, and
    // removes those names from the staging folder. An overlay file replaces the disc's of its name.
    bool MakeRoomForCopy(const std::string& sourceFolder, const std::string& mask, CopySource source)
    {
        if (!IsReadableFolder(sourceFolder))
            return source == CopySource::Overlay;  // a disc without overlay files has no such folder
        std::vector<FoundFile> found;
        if (!FindFiles(sourceFolder + mask, found) || !RemoveStaged(found))
            return false;
        if (source == CopySource::Overlay)
            for (const FoundFile& file : found)
                m_expected.erase(CaseBlindKey(file.name));
        for (const FoundFile& file : found)
            m_expected[CaseBlindKey(file.name)].push_back(file);
        return true;
    }

    // The placeholder stands in the image for whatever of its name a copy took.
    void ExpectPlaceholder() { m_expected[CaseBlindKey(kPlaceholderName)] = {{kPlaceholderName, 0}}; }

    bool IsComplete() const
    {
        for (const auto& sources : m_expected)
            if (!IsStaged(sources.second))
                return false;
        return true;
    }

private:
    // The folder was emptied, so only this run's earlier copies put files in it: those that a
    // copy is about to write again, under any spelling of their names, go.
    bool RemoveStaged(const std::vector<FoundFile>& found) const
    {
        for (const FoundFile& file : found) {
            const auto earlier = m_expected.find(CaseBlindKey(file.name));
            if (earlier == m_expected.end())
                continue;
            for (const FoundFile& staged : earlier->second)
                if (!RemoveFile(m_folder + "\\" + staged.name))
                    return false;
        }
        return true;
    }

    // Names that differ only in case (possible on a disc read through Wine) are one staged
    // file, from whichever was copied last.
    bool IsStaged(const std::vector<FoundFile>& sources) const
    {
        for (const FoundFile& named : sources) {
            unsigned long long stagedSize;
            if (!RegularFileSize(m_folder + "\\" + named.name, stagedSize))
                continue;
            for (const FoundFile& source : sources)
                if (source.size == stagedSize)
                    return true;
        }
        return false;
    }

    std::string m_folder;
    std::map<std::string, std::vector<FoundFile>> m_expected;  // by CaseBlindKey of the name
};

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

int RunThroughCommandInterpreter(const std::string& commandLine)
{
    return std::system(commandLine.c_str());
}

bool RunBuild(BuildRequest request, const CommandRunner& runCommand, const std::string& workingFolder)
{
    BuildLock lock(workingFolder);
    // Found before the first copy: a build that cannot end well says so at once, and leaves the
    // earlier image as it is.
    if (!lock.IsTaken() || !NamesADrive(request.driveRoot) || !IsLocalFolder(workingFolder) ||
        !BootAreaFileReads() || !SortListReads(request.sortList) || !ImageToolOpens() ||
        !EarlierOutputsCanBeReplaced())
        return false;

    const std::string stagingFolder = kStagingFolder;
    StagedFiles staged(stagingFolder);

    runCommand("md " + stagingFolder);
    // A temp left by a failed run may hold another disc's files.
    if (!staged.Empty())
        return false;
    for (const char* letter = kStagedExtensionLetters; *letter != '\0'; ++letter) {
        const std::string mask = DiscFileMask(*letter);
        if (!staged.MakeRoomForCopy(request.driveRoot, mask, CopySource::Disc))
            return false;
        if (!InterpreterEndedByItself(runCommand("copy " + request.driveRoot + mask + " " + stagingFolder)))
            return false;
    }
    const std::string overlayFolder = OverlayFolder(request.overlayCode);
    if (!staged.MakeRoomForCopy(overlayFolder, kOverlayPattern, CopySource::Overlay))
        return false;
    if (!InterpreterEndedByItself(runCommand("copy " + overlayFolder + kOverlayPattern + " " + stagingFolder)))
        return false;
    if (!CreatePlaceholder(stagingFolder))
        return false;
    staged.ExpectPlaceholder();
    if (!staged.IsComplete())
        return false;

    // A tool that failed may have left nothing, or a partial image; an image from an earlier
    // run must not be passed off as this disc's.
    const std::string imageToolCommand = std::string(kImageTool) + " -sort " + request.sortList +
                                         " -o " + kImage + " " + stagingFolder + "\\";
    if (runCommand(imageToolCommand) != 0)
        return false;
    // A virus scanner may remove or quarantine a staged file while the tool reads temp, and the
    // tool leaves out what it cannot find and still ends well.
    if (!staged.IsComplete() || !ImageHoldsItsVolume())
        return false;

    if (!WriteTrack2File() || !StampBootArea() || !WriteCueSheet())
        return false;

    staged.MakeWritable();
    runCommand("del/Q temp\\*.*");
    runCommand("rd temp");
    return true;
}

bool RunBuild(BuildRequest request)
{
    return RunBuild(std::move(request), RunThroughCommandInterpreter, CurrentFolder());
}
