#pragma once

// Each writer opens and closes its own files, and returns true only when its output
// was written in full and closed without error. A writer asks again for about ten seconds
// while another program holds its file.

// The silent second track: 2 MiB of zero bytes, replacing any earlier file.
bool WriteTrack2File();

// Whether the boot-area file reads without error to its 32 KiB or to its end.
bool BootAreaFileReads();

enum class ImageLength {
    Whole,      // at least as long as its volume
    NotOpened,  // not there, or held by another program past the wait
    Short,      // shorter than its volume, or no volume at all
};

// Whether the image is at least as long as its primary volume descriptor says, and that is more
// than the boot area and the descriptors. An image tool can end well with its last buffer
// unwritten on a disk that fills just then.
ImageLength CheckImageLength();

// Lays the 32 KiB boot area from the boot-area file over the start of the existing image.
// False when either file cannot be opened or the boot-area file fails to read; the image is
// then left as it was.
bool StampBootArea();

// The seven-line cue sheet binding the image as track 1 and the silent file as track 2.
bool WriteCueSheet();
