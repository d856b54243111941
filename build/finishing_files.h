#pragma once

#include <array>

// Each writer opens and closes its own files, and returns true only when its output
// was written in full and closed without error. A writer asks again for about ten seconds
// while another program holds its file.

// The silent second track: 2 MiB of zero bytes, replacing any earlier file.
bool WriteTrack2File();

// The image's first 32 KiB as the boot-area file gives them.
using BootArea = std::array<unsigned char, 0x8000>;

// The boot-area file's first 32 KiB, 0xFF past the end of a shorter file. False when it cannot
// be opened or a read fails. Read once, before the copies: a sync client or an unpack over the
// folder may empty or cut the file while the build works, and the image is stamped with what
// was checked.
bool ReadBootArea(BootArea& bootArea);

enum class ImageLength {
    Whole,      // at least as long as its volume
    NotOpened,  // not there, or held by another program past the wait
    Short,      // shorter than its volume, or no volume at all
};

// Whether the image is at least as long as its primary volume descriptor says, and that is more
// than the boot area and the descriptors. An image tool can end well with its last buffer
// unwritten on a disk that fills just then.
ImageLength CheckImageLength();

// Lays the boot area over the start of the existing image. False when the image cannot be
// opened, and then it is left as it was, or cannot be written.
bool StampBootArea(const BootArea& bootArea);

// The seven-line cue sheet binding the image as track 1 and the silent file as track 2.
bool WriteCueSheet();
