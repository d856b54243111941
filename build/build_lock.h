#pragma once

#include <cstdint>

// Taken for the whole of a build in the working folder: the lock file QX7.LCK there, opened
// without sharing. A second build in the folder, from a second copy of the program started
// there, would empty the first one's temp, copy its own disc into it, and write the same
// outputs; it finds the file held and is refused. The file is met under every spelling of the
// folder (an 8.3 name, a subst drive, a junction, a mapped drive letter) and from every machine
// that shares the folder. It goes when its handle closes, also when the program is ended
// mid-build; one left by a power cut is taken over.
class BuildLock {
public:
    enum class State { Taken, HeldByAnotherBuild, CannotBeMade };

    BuildLock();
    ~BuildLock();
    BuildLock(const BuildLock&) = delete;
    BuildLock& operator=(const BuildLock&) = delete;

    // CannotBeMade: the program may not create a file in the folder (read-only, no permission,
    // Controlled folder access), which its build would need anyway.
    State GetState() const { return m_state; }

private:
    std::intptr_t m_handle;  // the platform's handle of the lock file
    State m_state;
};
