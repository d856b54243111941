#include "build/build_lock.h"

#include "build/build_names.h"
#include "build/file_platform.h"

namespace {

// A sync client, an indexer or a scanner may hold a leftover lock file for a moment, and a name
// still being deleted answers access denied until its last handle closes.
constexpr int kLockPolls = 40;
constexpr unsigned kPollMs = 50;

}  // namespace

BuildLock::BuildLock()
{
    bool heldByAnother = false;
    bool freeBefore = false;
    for (int poll = 1;; ++poll) {
        if (TryTake(heldByAnother)) {
            m_state = State::Taken;
            return;
        }
        // Only a file there may be let go of. A folder of the name stays, and a name that is
        // free twice running is a folder that refuses new files (once may be a lock file that
        // went just now).
        const PathInfo::Kind there = Inspect(kBuildLockFile).kind;
        if (poll == kLockPolls || there == PathInfo::Kind::Folder || (there == PathInfo::Kind::Free && freeBefore))
            break;
        freeBefore = there == PathInfo::Kind::Free;
        if (!freeBefore)
            Pause(kPollMs);
    }
    if (heldByAnother)
        m_state = State::HeldByAnotherBuild;
    else
        m_state = Inspect(kBuildLockFile).kind == PathInfo::Kind::Free ? State::CannotBeMade : State::InTheWay;
}
