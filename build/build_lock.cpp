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
    for (int poll = 1;; ++poll) {
        if (TryTake(heldByAnother)) {
            m_state = State::Taken;
            return;
        }
        // A folder of the name is no file another program holds for a moment.
        if (poll == kLockPolls || Inspect(kBuildLockFile).kind == PathInfo::Kind::Folder)
            break;
        Pause(kPollMs);
    }
    if (heldByAnother)
        m_state = State::HeldByAnotherBuild;
    else
        m_state = Inspect(kBuildLockFile).kind == PathInfo::Kind::Free ? State::CannotBeMade : State::InTheWay;
}
