#pragma once

#include <cstdint>
#include <string>

// Taken for the whole of a build in one working folder. A second build there, from a second copy
// of the program started in the same folder, would empty the first one's temp, copy its own
// disc into it, and write the same outputs; it finds the lock held and is refused. Builds in two
// folders do not meet. A program that ends mid-build lets go of the lock with its handles.
class BuildLock {
public:
    explicit BuildLock(const std::string& workingFolder);
    ~BuildLock();
    BuildLock(const BuildLock&) = delete;
    BuildLock& operator=(const BuildLock&) = delete;

    // False when another build holds the lock, or it could not be asked for.
    bool IsTaken() const { return m_taken; }

private:
    std::intptr_t m_handle;  // the platform's handle of the lock
    bool m_taken = false;
};
