#include "build/finishing_files.h"

#include "build/build_names.h"
#include "build/file_stream.h"

#include <array>
#include <string>

namespace {

constexpr std::size_t kTrack2Size = 0x200000;
constexpr unsigned long long kIsoBlockSize = 2048;
// The primary volume descriptor's volume space size: the image's length in blocks, stored
// little-endian first. It lies in sector 16, after the boot area.
constexpr long kVolumeSpaceSizeAt = 0x8050;
// The boot area's 16 blocks, the primary volume descriptor and the set terminator at least.
constexpr unsigned long long kSmallestVolume = 18;
// A stream seeks no further on every platform; no CD image comes near it.
constexpr unsigned long long kLargestImage = 0x7FFFFFFF;

}  // namespace

bool WriteTrack2File()
{
    FileStream track(kTrack2File, "wb", FileStream::WhileHeld::AskAgain);
    if (!track.IsOpen())
        return false;

    // Zeroed on the stack when the track is written: a static block of zeros would be stored
    // in the executable file.
    const std::array<char, 32 * 1024> silence{};
    bool written = true;
    for (std::size_t left = kTrack2Size; left > 0 && written; left -= silence.size())
        written = track.Write(silence.data(), silence.size());

    const bool closed = track.Close();
    return written && closed;
}

// Bytes past the end of a short boot-area file become 0xFF, the byte value of EOF; a read
// error is no end of file.
bool ReadBootArea(BootArea& bootArea)
{
    FileStream bootAreaFile(kBootAreaFile, "rb");
    if (!bootAreaFile.IsOpen())
        return false;
    bootArea.fill(0xFF);
    bootAreaFile.Read(bootArea.data(), bootArea.size());
    return !bootAreaFile.HasFailed();
}

ImageLength CheckImageLength()
{
    FileStream image(kImage, "rb", FileStream::WhileHeld::AskAgain);
    if (!image.IsOpen())
        return ImageLength::NotOpened;
    unsigned char count[4];
    if (!image.Seek(kVolumeSpaceSizeAt) || image.Read(count, sizeof count) != sizeof count)
        return ImageLength::Short;
    unsigned long long blocks = 0;
    for (int i = sizeof count - 1; i >= 0; --i)
        blocks = blocks << 8 | count[i];
    if (blocks < kSmallestVolume || blocks * kIsoBlockSize > kLargestImage)
        return ImageLength::Short;
    // Read from the open file, not from the folder's listing. An image longer than its volume
    // is whole: some builds of the tool write past it.
    unsigned char lastByte;
    const bool whole = image.Seek(static_cast<long>(blocks * kIsoBlockSize - 1)) && image.Read(&lastByte, 1) == 1;
    return whole ? ImageLength::Whole : ImageLength::Short;
}

bool StampBootArea(const BootArea& bootArea)
{
    FileStream image(kImage, "r+b", FileStream::WhileHeld::AskAgain);
    if (!image.IsOpen())
        return false;

    const bool written = image.Write(bootArea.data(), bootArea.size());
    const bool closed = image.Close();
    return written && closed;
}

bool WriteCueSheet()
{
    // Binary mode with explicit CR LF: the sheet is the same 160 bytes on every platform.
    FileStream cueSheet(kCueSheet, "wb", FileStream::WhileHeld::AskAgain);
    if (!cueSheet.IsOpen())
        return false;

    const std::string text = std::string("FILE \"") + kImage + "\" BINARY\r\n"
                             "  TRACK 01 MODE1/2048\r\n"
                             "    INDEX 01 00:00:00\r\n"
                             "FILE \"" + kTrack2File + "\" BINARY\r\n"
                             "  TRACK 02 AUDIO\r\n"
                             "    PREGAP 00:02:00\r\n"
                             "    INDEX 01 00:00:00\r\n";
    const bool written = cueSheet.Write(text.data(), text.size());
    const bool closed = cueSheet.Close();
    return written && closed;
}
