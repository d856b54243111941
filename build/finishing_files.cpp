#include "build/finishing_files.h"

#include "build/build_names.h"
#include "build/file_stream.h"

#include <array>
#include <string>

namespace {

constexpr std::size_t kTrack2Size = 0x200000;
constexpr std::size_t kBootAreaSize = 0x8000;
constexpr unsigned kIsoBlockSize = 2048;
// The primary volume descriptor's volume space size: the image's length in blocks, stored
// little-endian first. It lies in sector 16, after the boot area.
constexpr long kVolumeSpaceSizeAt = 0x8050;

}  // namespace

bool WriteTrack2File()
{
    FileStream track(kTrack2File, "wb");
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

namespace {

// Bytes past the end of a short boot-area file become 0xFF, the byte value of EOF; a read
// error is no end of file.
bool ReadBootArea(std::array<unsigned char, kBootAreaSize>& bootArea)
{
    FileStream bootAreaFile(kBootAreaFile, "rb");
    if (!bootAreaFile.IsOpen())
        return false;
    bootArea.fill(0xFF);
    bootAreaFile.Read(bootArea.data(), bootArea.size());
    return !bootAreaFile.HasFailed();
}

}  // namespace

bool BootAreaFileReads()
{
    std::array<unsigned char, kBootAreaSize> bootArea;
    return ReadBootArea(bootArea);
}

bool ImageHoldsItsVolume()
{
    FileStream image(kImage, "rb");
    unsigned char count[4];
    unsigned long long size;
    if (!image.IsOpen() || !image.Seek(kVolumeSpaceSizeAt) || image.Read(count, sizeof count) != sizeof count ||
        !RegularFileSize(kImage, size))
        return false;
    unsigned long long blocks = 0;
    for (int i = sizeof count - 1; i >= 0; --i)
        blocks = blocks << 8 | count[i];
    return size == blocks * kIsoBlockSize;
}

bool StampBootArea()
{
    FileStream image(kImage, "r+b");
    std::array<unsigned char, kBootAreaSize> bootArea;
    if (!image.IsOpen() || !ReadBootArea(bootArea))
        return false;

    const bool written = image.Write(bootArea.data(), bootArea.size());
    const bool closed = image.Close();
    return written && closed;
}

bool WriteCueSheet()
{
    // Binary mode with explicit CR LF: the sheet is the same 160 bytes on every platform.
    FileStream cueSheet(kCueSheet, "wb");
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
