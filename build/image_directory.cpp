#include "build/image_directory.h"

#include "build/build_names.h"
#include "build/file_stream.h"

#include <algorithm>
#include <map>

namespace {

constexpr long kIsoBlockSize = 2048;
constexpr long kPrimaryDescriptorAt = 16 * kIsoBlockSize;
// Within the primary volume descriptor: its root directory's record.
constexpr long kRootRecordAt = kPrimaryDescriptorAt + 156;
// Within a directory record.
constexpr std::size_t kExtentAt = 2;
constexpr std::size_t kDataLengthAt = 10;
constexpr std::size_t kFlagsAt = 25;
constexpr std::size_t kNameLengthAt = 32;
constexpr std::size_t kNameAt = 33;
constexpr unsigned char kDirectoryFlag = 0x02;
// A CD's root directory of thousands of files stays far below this; a larger length is no
// directory the tool wrote.
constexpr unsigned long kLargestDirectory = 4ul * 1024 * 1024;

unsigned long LittleEndian32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | static_cast<unsigned long>(bytes[2]) << 16 |
           static_cast<unsigned long>(bytes[3]) << 24;
}

// A name as the tool may have mapped it to ISO 9660's: capitals, digits and "_", no version,
// no dot of a name without extension. Two names that agree here are likely one file.
std::string IsoKey(const std::string& name)
{
    std::string key = name.substr(0, name.find(';'));
    if (!key.empty() && key.back() == '.')
        key.pop_back();
    // ASCII only, whatever the locale; other bytes, such as those of a UTF-8 letter, become "_".
    for (char& c : key) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if ((c < 'A' || c > 'Z') && (c < '0' || c > '9') && c != '.')
            c = '_';
    }
    return key;
}

}  // namespace

bool ReadImageRootFiles(std::vector<FoundFile>& files)
{
    FileStream image(kImage, "rb", FileStream::WhileHeld::AskAgain);
    unsigned char descriptor[6];
    unsigned char root[34];
    if (!image.IsOpen() || !image.Seek(kPrimaryDescriptorAt) || image.Read(descriptor, sizeof descriptor) != sizeof descriptor ||
        std::string(reinterpret_cast<char*>(descriptor), sizeof descriptor) != std::string("\1CD001", 6) ||
        !image.Seek(kRootRecordAt) || image.Read(root, sizeof root) != sizeof root)
        return false;
    const unsigned long extent = LittleEndian32(root + kExtentAt);
    const unsigned long length = LittleEndian32(root + kDataLengthAt);
    if (length > kLargestDirectory || extent > 0x7FFFFFFFul / kIsoBlockSize)
        return false;
    std::vector<unsigned char> directory(length);
    if (!image.Seek(static_cast<long>(extent) * kIsoBlockSize) || image.Read(directory.data(), length) != length)
        return false;

    // A record never spans two blocks: a zero length pads a block's end.
    for (std::size_t at = 0; at < length;) {
        const std::size_t recordLength = directory[at];
        if (recordLength == 0) {
            at = (at / kIsoBlockSize + 1) * kIsoBlockSize;
            continue;
        }
        if (recordLength <= kNameAt || at + recordLength > length ||
            kNameAt + directory[at + kNameLengthAt] > recordLength)
            return false;
        const unsigned char* record = &directory[at];
        const std::string name(reinterpret_cast<const char*>(record + kNameAt), record[kNameLengthAt]);
        // The directory's own and its parent's records are named by the bytes 0 and 1.
        if ((record[kFlagsAt] & kDirectoryFlag) == 0 && name != std::string(1, '\0') && name != "\1")
            files.push_back({name, LittleEndian32(record + kDataLengthAt)});
        at += recordLength;
    }
    return true;
}

// The tool maps names to ISO 9660's as it sees fit (case, length, characters, a number
// against a clash), so no name in the image need be a staged file's. Sizes decide: within one
// size any entry can stand for any staged file, so the image holds every staged file exactly
// when each size has at least as many entries as staged files. Names only choose which file
// to name when a size falls short: one whose mapped name has an entry of its size is taken as
// there, so the file named is the one whose name the image lacks.
std::string FirstFileNotInImage(const std::vector<FoundFile>& staged, const std::vector<FoundFile>& image)
{
    std::map<unsigned long long, std::multimap<std::string, bool>> entries;  // size -> key -> taken
    for (const FoundFile& file : image)
        entries[file.size].insert({IsoKey(file.name), false});
    const auto untaken = [](const std::pair<const std::string, bool>& entry) { return !entry.second; };
    std::vector<const FoundFile*> unnamed;
    for (const FoundFile& file : staged) {
        const auto sameName = entries[file.size].equal_range(IsoKey(file.name));
        const auto entry = std::find_if(sameName.first, sameName.second, untaken);
        if (entry == sameName.second)
            unnamed.push_back(&file);
        else
            entry->second = true;
    }
    for (const FoundFile* file : unnamed) {
        auto& sameSize = entries[file->size];
        const auto entry = std::find_if(sameSize.begin(), sameSize.end(), untaken);
        if (entry == sameSize.end())
            return file->name;
        entry->second = true;
    }
    return {};
}
