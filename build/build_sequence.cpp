#include "build/build_sequence.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

namespace {

std::string OverlayFolder(const char (&overlayCode)[3])
{
    // Never trust the terminator of a copied fixed array: the code is at most two characters.
    return std::string(kOverlayRoot) + std::string(overlayCode, strnlen(overlayCode, 2)) + "\\";
}

// Files copied from a CD keep its read-only attribute. copy cannot replace such a file (an overlay
// file would lose to the disc's) and del/Q leaves it behind (the next disc's image would get it),
// so no staged file, not even one left by an earlier run, stays read-only when either runs.
void MakeStagedFilesWritable(const std::string& stagingFolder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator file(stagingFolder, error); !error && file != fs::directory_iterator();
         file.increment(error)) {
        std::error_code ignored;
        fs::permissions(file->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
}

void CopyIntoStaging(const CommandRunner& runCommand, const std::string& pattern, const std::string& stagingFolder)
{
    MakeStagedFilesWritable(stagingFolder);
    runCommand("copy " + pattern + " " + stagingFolder);
}

std::string LowerCase(std::string name)
{
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// A copy that runs out of room leaves a shorter file, and its exit code is the same as for a
// pattern that matched nothing. So the staged disc files are compared with the disc's before
// the image tool may replace an earlier image with an incomplete one. Names that differ only
// in case are one name on the platform: any of their sizes will do.
bool StagedDiscFilesAreWhole(const std::string& driveRoot, const std::string& stagingFolder)
{
    namespace fs = std::filesystem;
    std::multimap<std::string, std::uintmax_t> discSizes;
    std::error_code error;
    for (fs::directory_iterator file(driveRoot, error); !error && file != fs::directory_iterator();
         file.increment(error)) {
        std::error_code notAFile;
        const std::uintmax_t size = file->file_size(notAFile);
        if (!notAFile)
            discSizes.emplace(LowerCase(file->path().filename().string()), size);
    }
    for (fs::directory_iterator file(stagingFolder, error); !error && file != fs::directory_iterator();
         file.increment(error)) {
        const auto sizes = discSizes.equal_range(LowerCase(file->path().filename().string()));
        if (sizes.first == sizes.second)
            continue;
        std::error_code notAFile;
        const std::uintmax_t stagedSize = file->file_size(notAFile);
        bool whole = false;
        for (auto size = sizes.first; size != sizes.second && !whole; ++size)
            whole = !notAFile && size->second == stagedSize;
        if (!whole)
            return false;
    }
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
    for (const char* letter = kStagedExtensionLetters; *letter != '\0'; ++letter)
        CopyIntoStaging(runCommand, request.driveRoot + "*." + *letter + "*", stagingFolder);
    if (!StagedDiscFilesAreWhole(request.driveRoot, stagingFolder))
        return false;
    CopyIntoStaging(runCommand, OverlayFolder(request.overlayCode) + "*.???", stagingFolder);
    CreatePlaceholder(stagingFolder);

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
