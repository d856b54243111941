#include "build/build_sequence.h"

#include "build/file_search.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

std::string OverlayFolder(const char (&overlayCode)[3])
{
    // Never trust the terminator of a copied fixed array: the code is at most two characters.
    return std::string(kOverlayRoot) + std::string(overlayCode, strnlen(overlayCode, 2)) + "\\";
}

// Files copied from a CD keep its read-only attribute. copy cannot replace such a file (an overlay
// file would lose to the disc's) and del/Q leaves it behind (the next disc's image would get it),
// so no staged file, not even one left by an earlier run, is read-only when either runs. The C
// runtime's POSIX folder calls, present on Windows too: std::filesystem would make the program
// three times its size for this one listing.
void MakeStagedFilesWritable(const std::string& stagingFolder)
{
    DIR* listing = opendir(stagingFolder.c_str());
    if (listing == nullptr)
        return;
    while (const dirent* entry = readdir(listing)) {
        const std::string path = stagingFolder + "/" + entry->d_name;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
            chmod(path.c_str(), (info.st_mode & 0777) | S_IWUSR);
    }
    closedir(listing);
}

std::string LowerCase(std::string name)
{
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

std::string DiscFilePattern(const std::string& driveRoot, char letter)
{
    return driveRoot + "*." + letter + "*";
}

// The files of one name, as the platform sees names: in any case. Names that differ only in
// case (possible on a disc read through Wine) are one staged file, from whichever was copied last.
using ExpectedFiles = std::map<std::string, std::vector<FoundFile>>;

bool AddFilesFound(const std::string& pattern, bool replacing, ExpectedFiles& expected)
{
    std::vector<FoundFile> found;
    if (!FindFiles(pattern, found))
        return false;
    if (replacing)
        for (const FoundFile& file : found)
            expected.erase(LowerCase(file.name));
    for (const FoundFile& file : found)
        expected[LowerCase(file.name)].push_back(file);
    return true;
}

bool IsStaged(const std::string& stagingFolder, const std::vector<FoundFile>& sources)
{
    for (const FoundFile& named : sources) {
        unsigned long long stagedSize;
        if (!RegularFileSize(stagingFolder + "\\" + named.name, stagedSize))
            continue;
        for (const FoundFile& source : sources)
            if (source.size == stagedSize)
                return true;
    }
    return false;
}

// A copy reports nothing the run may rely on: a file that cannot be read (a scratched disc, a
// disc taken out) is passed over, and one cut short by a full disk ends like one that matched
// nothing. So before the image tool may replace an earlier image, every file the copies should
// have taken must stand staged with its source's size. Which files those are is the platform's
// matching, asked with the copies' own patterns. An overlay file replaces the disc's of its name.
bool StagingIsComplete(const std::string& driveRoot, const std::string& overlayFolder,
                       const std::string& stagingFolder)
{
    if (!IsReadableFolder(driveRoot))
        return false;
    ExpectedFiles expected;
    for (const char* letter = kStagedExtensionLetters; *letter != '\0'; ++letter)
        if (!AddFilesFound(DiscFilePattern(driveRoot, *letter), false, expected))
            return false;
    // A disc without overlay files has no overlay folder; its copy then takes nothing.
    if (IsReadableFolder(overlayFolder) && !AddFilesFound(overlayFolder + kOverlayPattern, true, expected))
        return false;
    for (const auto& sources : expected)
        if (!IsStaged(stagingFolder, sources.second))
            return false;
    return true;
}

void CreatePlaceholder(const std::string& stagingFolder)
{
    // An empty file; if the staging folder is missing the image is simply made without it.
    if (std::FILE* placeholder = std::fopen((stagingFolder + kPlaceholderSuffix).c_str(), "w"))
        std::fclose(placeholder);
}

}  // namespace

int RunThroughCommandInterpreter(const std::string& commandLine)
{
    return std::system(commandLine.c_str());
}

bool RunBuild(BuildRequest request, const CommandRunner& runCommand)
{
    // An empty root would make every copy read the working folder itself, staging earlier
    // images, the cue sheet and the program into the new image.
    if (request.driveRoot.empty())
        return false;

    const std::string stagingFolder = kStagingFolder;

    runCommand("md " + stagingFolder);
    MakeStagedFilesWritable(stagingFolder);
    for (const char* letter = kStagedExtensionLetters; *letter != '\0'; ++letter)
        runCommand("copy " + DiscFilePattern(request.driveRoot, *letter) + " " + stagingFolder);
    MakeStagedFilesWritable(stagingFolder);
    const std::string overlayFolder = OverlayFolder(request.overlayCode);
    runCommand("copy " + overlayFolder + kOverlayPattern + " " + stagingFolder);
    CreatePlaceholder(stagingFolder);
    if (!StagingIsComplete(request.driveRoot, overlayFolder, stagingFolder))
        return false;

    // A tool that failed may have left nothing, or a partial image; an image from an earlier
    // run must not be passed off as this disc's.
    const std::string imageToolCommand = std::string(kImageTool) + " -sort " + request.sortList +
                                         " -o " + kImage + " " + stagingFolder + "\\";
    if (runCommand(imageToolCommand) != 0)
        return false;

    if (!WriteTrack2File() || !StampBootArea() || !WriteCueSheet())
        return false;

    MakeStagedFilesWritable(stagingFolder);
    runCommand("del/Q temp\\*.*");
    runCommand("rd temp");
    return true;
}

bool RunBuild(BuildRequest request)
{
    return RunBuild(std::move(request), RunThroughCommandInterpreter);
}
