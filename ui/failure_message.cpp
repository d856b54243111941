#include "ui/failure_message.h"

#include "framework/afxwin.h"
#include "res/resource_ids.h"
#include "ui/ansi_text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

UINT ReasonText(FailureCause cause)
{
    switch (cause) {
    case FailureCause::None:
        break;
    case FailureCause::AnotherBuildRuns:
        return IDS_WHY_ANOTHER_BUILD;
    case FailureCause::LockFileInTheWay:
        return IDS_WHY_LOCK_FILE_IN_THE_WAY;
    case FailureCause::FolderNotWritable:
        return IDS_WHY_FOLDER_NOT_WRITABLE;
    case FailureCause::NoDriveChosen:
        return IDS_WHY_NO_DRIVE_CHOSEN;
    case FailureCause::NoCdDrive:
        return IDS_WHY_NO_CD_DRIVE;
    case FailureCause::NetworkFolder:
        return IDS_WHY_NETWORK_FOLDER;
    case FailureCause::BootAreaFileMissing:
        return IDS_WHY_BOOT_AREA_MISSING;
    case FailureCause::BootAreaFileUnreadable:
        return IDS_WHY_BOOT_AREA_UNREADABLE;
    case FailureCause::SortListMissing:
        return IDS_WHY_SORT_LIST_MISSING;
    case FailureCause::SortListUnreadable:
        return IDS_WHY_SORT_LIST_UNREADABLE;
    case FailureCause::ImageToolMissing:
        return IDS_WHY_IMAGE_TOOL_MISSING;
    case FailureCause::OutputIsFolder:
        return IDS_WHY_OUTPUT_IS_FOLDER;
    case FailureCause::OutputHidden:
        return IDS_WHY_OUTPUT_HIDDEN;
    case FailureCause::OutputInUse:
        return IDS_WHY_OUTPUT_IN_USE;
    case FailureCause::NoDisc:
        return IDS_WHY_NO_DISC;
    case FailureCause::InterpreterNotStarted:
        return IDS_WHY_INTERPRETER_NOT_STARTED;
    case FailureCause::StagingFolderUnusable:
        return IDS_WHY_STAGING_FOLDER_UNUSABLE;
    case FailureCause::FolderInStaging:
        return IDS_WHY_FOLDER_IN_STAGING;
    case FailureCause::StagedFileHeld:
        return IDS_WHY_STAGED_FILE_HELD;
    case FailureCause::DiscNotListed:
        return IDS_WHY_DISC_NOT_LISTED;
    case FailureCause::OverlayNotListed:
        return IDS_WHY_OVERLAY_NOT_LISTED;
    case FailureCause::ConsoleClosed:
        return IDS_WHY_CONSOLE_CLOSED;
    case FailureCause::DiscFileNotCopied:
        return IDS_WHY_DISC_FILE_NOT_COPIED;
    case FailureCause::OverlayFileNotCopied:
        return IDS_WHY_OVERLAY_FILE_NOT_COPIED;
    case FailureCause::PlaceholderNotMade:
        return IDS_WHY_PLACEHOLDER_NOT_MADE;
    case FailureCause::ImageToolFailed:
        return IDS_WHY_IMAGE_TOOL_FAILED;
    case FailureCause::ImageToolInterrupted:
        return IDS_WHY_IMAGE_TOOL_INTERRUPTED;
    case FailureCause::ImageNotWritten:
        return IDS_WHY_IMAGE_NOT_WRITTEN;
    case FailureCause::ImageMissing:
        return IDS_WHY_IMAGE_MISSING;
    case FailureCause::StagedFileGone:
        return IDS_WHY_STAGED_FILE_GONE;
    case FailureCause::ImageHeld:
        return IDS_WHY_IMAGE_HELD;
    case FailureCause::ImageIncomplete:
        return IDS_WHY_IMAGE_INCOMPLETE;
    case FailureCause::Track2FileNotWritten:
        return IDS_WHY_TRACK2_NOT_WRITTEN;
    case FailureCause::BootAreaNotWritten:
        return IDS_WHY_BOOT_AREA_NOT_WRITTEN;
    case FailureCause::CueSheetNotWritten:
        return IDS_WHY_CUE_SHEET_NOT_WRITTEN;
    case FailureCause::DiscHoldsNothingToCopy:
        return IDS_WHY_DISC_HOLDS_NOTHING_TO_COPY;
    case FailureCause::DiscNotTheChosenOne:
        return IDS_WHY_DISC_NOT_THE_CHOSEN_ONE;
    case FailureCause::CopyFailed:
        return IDS_WHY_COPY_FAILED;
    case FailureCause::ImageDirectoryUnreadable:
        return IDS_WHY_IMAGE_DIRECTORY_UNREADABLE;
    case FailureCause::FileNotInImage:
        return IDS_WHY_FILE_NOT_IN_IMAGE;
    }
    return 0;
}

std::string LoadText(UINT id)
{
    char text[1024];
    const int length = ::LoadStringA(AfxGetInstanceHandle(), id, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

// A text of the string table with each %s replaced by the next of names, the subject and then
// the chosen disc; once they run out the last stands again (a reason that names its file twice).
// A name that holds "%s" itself stays as it is.
std::string Filled(UINT id, const std::vector<std::string>& names)
{
    std::string text = LoadText(id);
    std::size_t next = 0;
    for (auto at = text.find("%s"); at != std::string::npos && !names.empty();) {
        const std::string& name = names[std::min(next++, names.size() - 1)];
        text.replace(at, 2, name);
        at = text.find("%s", at + name.size());
    }
    return text;
}

// "QX7.CUE", "QX7.ISO and QX7.CUE", "QX7.ISO, QX7Track2.bin and QX7.CUE".
std::string NamesInASentence(const std::vector<std::string>& names)
{
    std::string sentence;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            sentence += i + 1 == names.size() ? " and " : ", ";
        sentence += names[i];
    }
    return sentence;
}

}  // namespace

std::string FailureMessage(const BuildResult& result)
{
    std::vector<std::string> names = {InAnsi(result.failure.subject)};
    if (!result.failure.chosenDisc.empty())
        names.push_back(InAnsi(result.failure.chosenDisc));
    std::string message = LoadText(IDS_NOT_CREATED) + "\n\n" + Filled(ReasonText(result.failure.cause), names);
    if (result.earlierImage == EarlierImage::Unchanged)
        message += "\n\n" + Filled(result.earlierOutputs.size() == 1 ? IDS_EARLIER_ONE_UNCHANGED : IDS_EARLIER_SOME_UNCHANGED,
                                   {NamesInASentence(result.earlierOutputs)});
    else if (result.earlierImage == EarlierImage::Replaced)
        message += "\n\n" + LoadText(IDS_EARLIER_REPLACED);
    return message;
}
