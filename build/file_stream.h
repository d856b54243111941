#pragma once

#include "build/file_search.h"

#include <cstdio>
#include <string>

// A runtime file stream that is closed on every path, with the results of its reads and of its
// close available: a file that opens may still fail to read (a cloud-only file while offline, a
// network drive that dropped, a bad sector), and a full disk may first show as a failed close.
class FileStream {
public:
    // AskAMoment and AskAgain wait while another program holds the file (OpenFileAskingAgain).
    enum class WhileHeld { Fail, AskAMoment, AskAgain };

    FileStream(const std::string& path, const char* mode, WhileHeld whileHeld = WhileHeld::Fail)
        : m_file(Open(path, mode, whileHeld))
    {
    }
    ~FileStream() { Close(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool IsOpen() const { return m_file != nullptr; }

    bool Write(const void* bytes, std::size_t size) { return std::fwrite(bytes, 1, size, m_file) == size; }

    // What could be read, up to size bytes; HasFailed tells a read error from the file's end.
    std::size_t Read(void* bytes, std::size_t size) { return std::fread(bytes, 1, size, m_file); }
    bool HasFailed() const { return std::ferror(m_file) != 0; }

    bool Seek(long offset) { return std::fseek(m_file, offset, SEEK_SET) == 0; }

    bool Close()
    {
        std::FILE* file = m_file;
        m_file = nullptr;
        return file != nullptr && std::fclose(file) == 0;
    }

private:
    static std::FILE* Open(const std::string& path, const char* mode, WhileHeld whileHeld)
    {
        switch (whileHeld) {
        case WhileHeld::Fail:
            break;
        case WhileHeld::AskAMoment:
            return OpenFileAskingAgain(path, mode, HeldFileWait::Moment);
        case WhileHeld::AskAgain:
            return OpenFileAskingAgain(path, mode, HeldFileWait::Writer);
        }
        return OpenFile(path, mode);
    }

    std::FILE* m_file;
};
