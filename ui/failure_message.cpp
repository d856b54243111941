#include "ui/failure_message.h"

#include "framework/afxwin.h"
#include "res/resource_ids.h"

#include <vector>

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
    char text[512];
    const int length = ::LoadStringA(AfxGetInstanceHandle(), id, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

// The build names files in UTF-8; the box shows ANSI text, in which a name the code page cannot
// spell shows the system's default character for each letter it lacks.
std::string InAnsi(const std::string& utf8)
{
    const int wideLength = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (wideLength <= 0)
        return {};
    std::vector<wchar_t> wide(wideLength);
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), wideLength);
    const int ansiLength =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (ansiLength <= 0)
        return {};
    std::vector<char> ansi(ansiLength);
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), -1, ansi.data(), ansiLength, nullptr, nullptr);
    return ansi.data();
}

}  // namespace

std::string FailureMessage(const BuildResult& result)
{
    // The subject, then the chosen disc where a reason names both; a name holding "%s" stays as it is.
    std::string reason = LoadText(ReasonText(result.failure.cause));
    std::string::size_type searchFrom = 0;
    for (const std::string* value : {&result.failure.subject, &result.failure.chosenDisc}) {
        const std::string::size_type at = reason.find("%s", searchFrom);
        if (at == std::string::npos)
            break;
        const std::string text = InAnsi(*value);
        reason.replace(at, 2, text);
        searchFrom = at + text.size();
    }

    std::string message = LoadText(IDS_NOT_CREATED) + "\n\n" + reason;
    if (result.earlierImage == EarlierImage::Unchanged)
        message += "\n\n" + LoadText(IDS_EARLIER_UNCHANGED);
    else if (result.earlierImage == EarlierImage::Replaced)
        message += "\n\n" + LoadText(IDS_EARLIER_REPLACED);
    return message;
}
