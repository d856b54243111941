#include "build/build_lock.h"

#include "build/build_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

// The stand-in locks the file with flock; each lock is an open file description of its own, so
// a second build meets the first even in the same process, as it does on Windows.
BuildLock::BuildLock() : m_handle(open(kBuildLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0644))
{
    if (m_handle < 0) {
        m_state = State::CannotBeMade;
    } else if (flock(static_cast<int>(m_handle), LOCK_EX | LOCK_NB) == 0) {
        m_state = State::Taken;
    } else {
        m_state = errno == EWOULDBLOCK ? State::HeldByAnotherBuild : State::CannotBeMade;
        close(static_cast<int>(m_handle));
    }
}

BuildLock::~BuildLock()
{
    if (m_state != State::Taken)
        return;
    unlink(kBuildLockFile);
    close(static_cast<int>(m_handle));
}
