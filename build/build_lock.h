#pragma once

#include <cstdint>

// Taken for the whole of a build in the working folder: the lock file QX7.LCK there, opened
// without sharing. A second build in the folder, from a second copy of the program started
// there, would empty the first one's temp, copy its own disc into it, and write the same
// outputs; it finds the file held and is refused. The file is met under every spelling of the
// folder (an 8.3 name, a subst drive, a junction, a mapped drive letter) and from every machine
// that shares the folder. Its handle is inherited by the command interpreter and the programs
// it starts, so the file goes only when the last of them ends: a program ended mid-build (Task
// Manager's End task) leaves its interpreter and image tool running, and the folder stays
// locked until they have finished. One left by a power cut is taken over.
class BuildLock {
public:
    enum class State {
        Taken,
        HeldByAnotherBuild,
        InTheWay,      // a folder, or a file the program may not open, stands at its name
        CannotBeMade,  // no file can be created in the folder
    };

    BuildLock();
    ~BuildLock();
    BuildLock(const BuildLock&) = delete;
    BuildLock& operator=(const BuildLock&) = delete;

    State GetState() const { return m_state; }

private:
    // One try at the file; false with heldByAnother set when another build holds it.
    bool TryTake(bool& heldByAnother);

    std::intptr_t m_handle;  // the platform's handle of the lock file
    State m_state;
};
