#include "build/finishing_files.h"

#include "build/build_names.h"

#include <array>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kTrack2Size = 0x200000;
constexpr std::size_t kBootAreaSize = 0x8000;

// A runtime file stream that is closed on every path, with the close's own result available.
class FileStream {
public:
    FileStream(const char* path, const char* mode) : m_file(std::fopen(path, mode)) {}
    ~FileStream() { Close(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool IsOpen() const { return m_file != nullptr; }

    bool Write(const void* bytes, std::size_t size) { return std::fwrite(bytes, 1, size, m_file) == size; }
    std::size_t Read(void* bytes, std::size_t size) { return std::fread(bytes, 1, size, m_file); }

    // Buffered data reaches the file only here, so a full disk may first show as a failed close.
    bool Close()
    {
        std::FILE* file = m_file;
        m_file = nullptr;
        return file != nullptr && std::fclose(file) == 0;
    }

private:
    std::FILE* m_file;
};

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

bool StampBootArea()
{
    FileStream image(kImage, "r+b");
    FileStream bootAreaFile(kBootAreaFile, "rb");
    if (!image.IsOpen() || !bootAreaFile.IsOpen())
        return false;

    // Bytes past the end of a short boot-area file become 0xFF, the byte value of EOF.
    std::array<unsigned char, kBootAreaSize> bootArea;
    bootArea.fill(0xFF);
    bootAreaFile.Read(bootArea.data(), bootArea.size());

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
