#include "build/build_lock.h"

#include "build/build_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

// The stand-in locks the file with flock; each lock is an open file description of its own, so
// a second build meets the first even in the same process, as it does on Windows. Without
// close-on-exec the commands share the description, and with it the lock, as they inherit the
// handle on Windows.
bool BuildLock::TryTake(bool& heldByAnother)
{
    const int file = open(kBuildLockFile, O_RDWR | O_CREAT, 0644);
    m_handle = file;
    heldByAnother = false;
    if (file < 0)
        return false;
    if (flock(file, LOCK_EX | LOCK_NB) == 0)
        return true;
    heldByAnother = errno == EWOULDBLOCK;
    close(file);
    return false;
}

BuildLock::~BuildLock()
{
    if (m_state != State::Taken)
        return;
    unlink(kBuildLockFile);
    close(static_cast<int>(m_handle));
}
