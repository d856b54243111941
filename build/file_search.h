#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Paths and names are UTF-8 on Windows, so that a file named in any script is listed, checked
// and removed as cmd copies it; the build's own paths are plain ASCII, the same in every code page.

struct FoundFile {
    std::string name;
    unsigned long long size;
};

// The files that the command interpreter's wildcard copy of pattern takes, found with the
// platform's own find-file calls so that they match as copy matches: long and short names alike.
// Folders are not files; hidden and system files count as not found, since copy passes over
// them on Windows. False when the search itself fails, also part-way through the listing; a
// pattern that matches nothing, also in a folder that is not there, is true.
bool FindFiles(const std::string& pattern, std::vector<FoundFile>& found);

// The names in folder, of files and subfolders alike, hidden ones included; "." and ".." are
// left out. False when the folder cannot be listed to its end.
bool ListFolder(const std::string& folder, std::vector<std::string>& names);

// Clears the read-only attribute of the file at path, if it has one.
void MakeWritable(const std::string& path);

// Removes the file at path, read-only or not. True when its name is free afterwards, asking
// again for about ten seconds at most while another program holds the file; a folder there is
// left as it is, and true.
bool RemoveFile(const std::string& path);

// How long to ask again while another program holds a file.
enum class HeldFileWait {
    Moment,  // about two seconds: a scanner looking at a file nobody has touched for a while
    Writer,  // about ten seconds: a scanner or backup agent that opens a file just written
};

// OpenFile, asking again for that long at most while the open fails for any other reason than
// that nothing is there: another program may hold the file for a moment.
std::FILE* OpenFileAskingAgain(const std::string& path, const char* mode, HeldFileWait wait);

// The key under which two names are one file: Windows matches names without regard to case
// over all of Unicode, an accented capital and its small letter too; the stand-in elsewhere
// folds ASCII letters only.
std::string CaseBlindKey(const std::string& name);

// Whether path names a folder that can be read; a drive root such as D:\ included.
bool IsReadableFolder(std::string path);

// Whether path names a folder that can be read within about eight seconds: a CD-ROM drive is
// not ready while a disc just inserted spins up.
bool FolderBecomesReadable(const std::string& path);

// The size of the regular file at path, or false when there is none.
bool RegularFileSize(const std::string& path, unsigned long long& size);

// The runtime's fopen of one of the build's own names. Elsewhere than on Windows the backslash
// becomes the separator it stands for, and a trailing dot is dropped as Windows drops it.
std::FILE* OpenFile(const std::string& path, const char* mode);
