#pragma once

#include <string>
#include <vector>

struct FoundFile {
    std::string name;
    unsigned long long size;
};

// The files that the command interpreter's wildcard copy of pattern takes, found with the
// platform's own find-file calls so that they match as copy matches: long and short names alike.
// Folders are not files; hidden and system files count as not found, since copy passes over
// them on Windows. False when the search itself fails; a pattern that matches nothing is true.
bool FindFiles(const std::string& pattern, std::vector<FoundFile>& found);

// Whether path names a folder that can be read; a drive root such as D:\ included.
bool IsReadableFolder(std::string path);

// The size of the regular file at path, or false when there is none.
bool RegularFileSize(const std::string& path, unsigned long long& size);
