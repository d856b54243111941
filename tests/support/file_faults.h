#pragma once

// Files held by "another program" while the program under test builds: the faults a virus
// scanner, Explorer's preview pane, a mounted image or a burning program bring.
#include <windows.h>

#include <string>

// What a fault did: done, or what was expected and what was found instead.
struct FaultResult {
    bool done;
    std::string what;
    std::string found;
};

// Opens the file without delete sharing, as a virus scanner or Explorer's preview pane may,
// and lets go of it milliseconds later, from a thread of its own.
FaultResult HoldFile(const char* name, DWORD milliseconds);

// Opens the file sharing reading only, as Windows holds a mounted image and a burning program
// or an emulator an open one, until UnlockFile.
FaultResult LockFile(const char* name);
FaultResult UnlockFile();
