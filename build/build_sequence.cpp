#include "build/build_sequence.h"

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

struct FolderFile {
    std::string name;
    std::string path;
    unsigned long long size;
    unsigned mode;
};

// The C runtime's POSIX folder calls, present on Windows too: std::filesystem would make the
// program three times its size for these few listings.
std::vector<FolderFile> FilesIn(const std::string& folder)
{
    std::vector<FolderFile> files;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return files;
    const bool endsInSeparator = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    while (const dirent* entry = readdir(listing)) {
        const std::string path = folder + (endsInSeparator ? "" : "/") + entry->d_name;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            files.push_back({entry->d_name, path, static_cast<unsigned long long>(info.st_size),
                             static_cast<unsigned>(info.st_mode)});
    }
    closedir(listing);
    return files;
}

// Files copied from a CD keep its read-only attribute. copy cannot replace such a file (an overlay
// file would lose to the disc's) and del/Q leaves it behind (the next disc's image would get it),
// so no staged file, not even one left by an earlier run, is read-only when either runs.
void MakeStagedFilesWritable(const std::string& stagingFolder)
{
    for (const FolderFile& file : FilesIn(stagingFolder))
        if ((file.mode & S_IWUSR) == 0)
            chmod(file.path.c_str(), (file.mode & 0777) | S_IWUSR);
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
    std::multimap<std::string, unsigned long long> discSizes;
    for (const FolderFile& file : FilesIn(driveRoot))
        discSizes.emplace(LowerCase(file.name), file.size);
    for (const FolderFile& staged : FilesIn(stagingFolder)) {
        const auto sizes = discSizes.equal_range(LowerCase(staged.name));
        bool whole = sizes.first == sizes.second;
        for (auto size = sizes.first; size != sizes.second && !whole; ++size)
            whole = size->second == staged.size;
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
    MakeStagedFilesWritable(stagingFolder);
    for (const char* letter = kStagedExtensionLetters; *letter != '\0'; ++letter)
        runCommand("copy " + request.driveRoot + "*." + *letter + "* " + stagingFolder);
    if (!StagedDiscFilesAreWhole(request.driveRoot, stagingFolder))
        return false;
    MakeStagedFilesWritable(stagingFolder);
    runCommand("copy " + OverlayFolder(request.overlayCode) + "*.??? " + stagingFolder);
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
