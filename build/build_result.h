#pragma once

#include <string>
#include <utility>
#include <vector>

// Why a build made no image: each cause is the check of its own that found it, so that the
// user is told what to mend. The subject is the file, folder, drive or status it concerns.
enum class FailureCause {
    None,
    // Found before the first copy.
    AnotherBuildRuns,
    LockFileInTheWay,        // subject: the lock file, a folder or a file the program cannot open
    FolderNotWritable,       // subject: the lock file the build could not create
    NoDriveChosen,
    NoCdDrive,               // the chooser listed no drive
    NetworkFolder,           // subject: the working folder
    BootAreaFileMissing,
    BootAreaFileUnreadable,
    SortListMissing,         // subject: the chosen disc's list
    SortListUnreadable,      // subject: the chosen disc's list
    ImageToolMissing,
    OutputIsFolder,          // subject: QX7.ISO, QX7Track2.bin or QX7.CUE
    OutputHidden,            // subject: QX7.ISO, QX7Track2.bin or QX7.CUE
    OutputInUse,             // subject: QX7.ISO, QX7Track2.bin or QX7.CUE
    NoDisc,                  // subject: the drive, such as E:
    // The drive holds a disc, but not one of the set: subject the drive, chosenDisc its caption.
    DiscHoldsNothingToCopy,
    DiscNotTheChosenOne,
    // Found while the disc and the overlay are staged.
    InterpreterNotStarted,
    StagingFolderUnusable,
    FolderInStaging,         // subject: the folder in temp
    StagedFileHeld,          // subject: the file in temp
    DiscNotListed,           // subject: the drive's root
    OverlayNotListed,        // subject: the overlay folder
    ConsoleClosed,
    // A copy that had files to take answered an error.
    CopyFailed,              // subject: what it copies, such as E:\*.m*
    DiscFileNotCopied,       // subject: the file on the disc
    OverlayFileNotCopied,    // subject: the file in the overlay folder
    PlaceholderNotMade,
    // Found at the image tool and after it.
    ImageToolFailed,         // subject: its exit status
    ImageToolInterrupted,    // its console closed, or Ctrl+C or Ctrl+Break pressed in it
    ImageNotWritten,         // the tool ended well and left the earlier QX7.ISO as it was
    ImageMissing,            // the tool ended well and left no QX7.ISO
    StagedFileGone,          // subject: the file in temp
    ImageHeld,               // another program held QX7.ISO past the wait
    ImageIncomplete,         // shorter than its volume
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
    None,       // nothing to tell: there were none, or another build is replacing them
    Unchanged,
    Replaced,   // the image tool or a writer has written over them
};

struct BuildResult {
    BuildFailure failure;
    EarlierImage earlierImage = EarlierImage::None;
    std::vector<std::string> earlierOutputs;  // those of QX7.ISO, QX7Track2.bin and QX7.CUE that stood there

    bool Built() const { return !failure; }
};
