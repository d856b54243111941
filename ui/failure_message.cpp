#include "ui/failure_message.h"

#include "framework/afxwin.h"
#include "res/resource_ids.h"
#include "ui/ansi_text.h"

namespace {

UINT ReasonText(FailureCause cause)
{
    switch (cause) {
    case FailureCause::None:
        break;
    case FailureCause::AnotherBuildRuns:
        return IDS_WHY_ANOTHER_BUILD;
    case FailureCause::FolderNotWritable:
        return IDS_WHY_FOLDER_NOT_WRITABLE;
    case FailureCause::NoDriveChosen:
        return IDS_WHY_NO_DRIVE_CHOSEN;
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
    case FailureCause::OutputHidden:
        return IDS_WHY_OUTPUT_HIDDEN;
    case FailureCause::OutputInUse:
        return IDS_WHY_OUTPUT_IN_USE;
    case FailureCause::NoDisc:
        return IDS_WHY_NO_DISC;
    case FailureCause::StagingFolderUnusable:
        return IDS_WHY_STAGING_FOLDER_UNUSABLE;
    case FailureCause::FolderInStaging:
        return IDS_WHY_FOLDER_IN_STAGING;
    case FailureCause::StagedFileHeld:
        return IDS_WHY_STAGED_FILE_HELD;
    case FailureCause::SourceNotListed:
        return IDS_WHY_SOURCE_NOT_LISTED;
    case FailureCause::ConsoleClosed:
        return IDS_WHY_CONSOLE_CLOSED;
    case FailureCause::FileNotCopied:
        return IDS_WHY_FILE_NOT_COPIED;
    case FailureCause::PlaceholderNotMade:
        return IDS_WHY_PLACEHOLDER_NOT_MADE;
    case FailureCause::ImageToolFailed:
        return IDS_WHY_IMAGE_TOOL_FAILED;
    case FailureCause::StagedFileGone:
        return IDS_WHY_STAGED_FILE_GONE;
    case FailureCause::ImageIncomplete:
        return IDS_WHY_IMAGE_INCOMPLETE;
    case FailureCause::Track2FileNotWritten:
        return IDS_WHY_TRACK2_NOT_WRITTEN;
    case FailureCause::BootAreaNotWritten:
        return IDS_WHY_BOOT_AREA_NOT_WRITTEN;
    case FailureCause::CueSheetNotWritten:
        return IDS_WHY_CUE_SHEET_NOT_WRITTEN;
    }
    return 0;
}

std::string LoadText(UINT id)
{
    char text[512];
    const int length = ::LoadStringA(AfxGetInstanceHandle(), id, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

}  // namespace

std::string FailureMessage(const BuildResult& result)
{
    std::string reason = LoadText(ReasonText(result.failure.cause));
    const std::string::size_type subjectAt = reason.find("%s");
    if (subjectAt != std::string::npos)
        reason.replace(subjectAt, 2, InAnsi(result.failure.subject));

    std::string message = LoadText(IDS_NOT_CREATED) + "\n\n" + reason;
    if (result.earlierImage == EarlierImage::Unchanged)
        message += "\n\n" + LoadText(IDS_EARLIER_UNCHANGED);
    else if (result.earlierImage == EarlierImage::Replaced)
        message += "\n\n" + LoadText(IDS_EARLIER_REPLACED);
    return message;
}
