#include "build/build_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// The stand-in locks the folder itself; each lock is an open file description of its own, so a
// second build meets the first even in the same process, as it does on Windows.
BuildLock::BuildLock(const std::string& workingFolder) : m_handle(open(workingFolder.c_str(), O_RDONLY | O_DIRECTORY))
{
    m_taken = m_handle >= 0 && flock(static_cast<int>(m_handle), LOCK_EX | LOCK_NB) == 0;
}

BuildLock::~BuildLock()
{
    if (m_handle >= 0)
        close(static_cast<int>(m_handle));
}
