#pragma once

// The platform's own file calls under file_search.h: one file per platform
// (file_search_windows.cpp, file_search_posix.cpp), the shared part in file_search.cpp.

#include <string>

// What the platform says stands at a path. Unknown is a name it refuses to look at (access
// denied, a delete pending, a drive not ready), which counts as taken.
struct PathInfo {
    enum class Kind { Free, Folder, File, Unknown } kind;
    unsigned long long size = 0;      // of a File
    unsigned long long modified = 0;  // when a File was last written, in the platform's ticks
    bool hidden = false;              // a hidden or system file, which Windows will not create over
};

PathInfo Inspect(const std::string& path);

// Asks the platform to remove the file at path; whether the name is free afterwards is
// Inspect's to tell.
void Unlink(const std::string& path);

void Pause(unsigned milliseconds);

// Whether the folder at path may yet become readable: a drive letter that names no drive at
// all will not, while a CD-ROM drive may be spinning up.
bool MayBecomeReadable(const std::string& path);
