#pragma once

#include <string>
#include <utility>

// Why a build made no image: each cause is the check of its own that found it, so that the
// user is told what to mend. The subject is the file, folder, drive or status it concerns.
enum class FailureCause {
    None,
    // Found before the first copy.
    AnotherBuildRuns,
    FolderNotWritable,       // subject: the lock file the build could not create
    NoDriveChosen,
    NetworkFolder,           // subject: the working folder
    BootAreaFileMissing,
    BootAreaFileUnreadable,
    SortListMissing,         // subject: the chosen disc's list
    SortListUnreadable,      // subject: the chosen disc's list
    ImageToolMissing,
    OutputHidden,            // subject: QX7.ISO, QX7Track2.bin or QX7.CUE
    OutputInUse,             // subject: QX7.ISO, QX7Track2.bin or QX7.CUE
    NoDisc,                  // subject: the drive, such as E:
    // The drive holds a disc, but not one of the set: subject the drive, chosenDisc its caption.
    DiscHoldsNothingToCopy,
    DiscNotTheChosenOne,
    // Found while the disc and the overlay are staged.
    StagingFolderUnusable,
    FolderInStaging,         // subject: the folder in temp
    StagedFileHeld,          // subject: the file in temp
    SourceNotListed,         // subject: the drive or the overlay folder
    ConsoleClosed,
    // A copy that had files to take answered an error.
    CopyFailed,              // subject: what it copies, such as E:\*.m*
    FileNotCopied,           // subject: the file on the disc or in the overlay folder
    PlaceholderNotMade,
    // Found at the image tool and after it.
    ImageToolFailed,         // subject: its exit status
    StagedFileGone,          // subject: the file in temp
    ImageIncomplete,
    // The image read back: its root directory.
    ImageDirectoryUnreadable,  // subject: QX7.ISO
    FileNotInImage,            // subject: the file in temp
    Track2FileNotWritten,
    BootAreaNotWritten,
    CueSheetNotWritten,
};

struct BuildFailure {
    BuildFailure(FailureCause cause = FailureCause::None, std::string subject = {}, std::string chosenDisc = {})
        : cause(cause), subject(std::move(subject)), chosenDisc(std::move(chosenDisc))
    {
    }

    FailureCause cause;
    std::string subject;     // UTF-8
    std::string chosenDisc;  // the chosen disc's caption, where the reason names it

    explicit operator bool() const { return cause != FailureCause::None; }
};

// What a failed build left of the QX7.ISO, QX7Track2.bin and QX7.CUE that stood there before it.
enum class EarlierImage {
    None,       // there were none
    Unchanged,
    Replaced,   // the image tool or a writer has written over them
};

struct BuildResult {
    BuildFailure failure;
    EarlierImage earlierImage = EarlierImage::None;

    bool Built() const { return !failure; }
};
