#include "build/build_names.h"
#include "build/finishing_files.h"

#include "working_folder.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBootArea = 32768;

class FinishingFilesTest : public WorkingFolderTest {
protected:
    void SetUp() override
    {
        WorkingFolderTest::SetUp();
        fs::create_directory("data");
    }
};

TEST_F(FinishingFilesTest, CueSheetIsTheSevenLinesWithCrLfAndNothingAfter)
{
    const std::string expected =
        "FILE \"QX7.ISO\" BINARY\r\n"
        "  TRACK 01 MODE1/2048\r\n"
        "    INDEX 01 00:00:00\r\n"
        "FILE \"QX7Track2.bin\" BINARY\r\n"
        "  TRACK 02 AUDIO\r\n"
        "    PREGAP 00:02:00\r\n"
        "    INDEX 01 00:00:00\r\n";
    WriteFile(kCueSheet, Pattern(5000, 1));  // an earlier, longer file is truncated

    ASSERT_TRUE(WriteCueSheet());

    const auto written = ReadFile(kCueSheet);
    EXPECT_EQ(written.size(), 160u);
    EXPECT_EQ(std::string(written.begin(), written.end()), expected);
}

TEST_F(FinishingFilesTest, Track2FileIsTwoMebibytesOfZerosReplacingAnyEarlierFile)
{
    WriteFile(kTrack2File, Pattern(3 * 1024 * 1024, 5));

    ASSERT_TRUE(WriteTrack2File());

    const auto written = ReadFile(kTrack2File);
    EXPECT_EQ(written.size(), 2097152u);
    const auto firstNonZero = std::find_if(written.begin(), written.end(), [](unsigned char b) { return b != 0; });
    EXPECT_EQ(firstNonZero, written.end()) << "non-zero byte at offset " << (firstNonZero - written.begin());
}

TEST_F(FinishingFilesTest, BootAreaReplacesExactlyTheFirst32KiB)
{
    struct Case {
        const char* name;
        std::size_t bootAreaSize;
        std::size_t imageSize;
    };
    const Case cases[] = {
        {"boot-area file of 100 bytes: the rest of the area is 0xFF", 100, 100000},
        {"boot-area file longer than the area: only its start is used", 40000, 100000},
        {"boot-area file of exactly the area", kBootArea, kBootArea + 2048},
        {"image shorter than the area grows to exactly the area", 20000, 1000},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto bootArea = Pattern(testCase.bootAreaSize, 11);
        const auto image = Pattern(testCase.imageSize, 200);
        WriteFile(kBootAreaFile, bootArea);
        WriteFile(kImage, image);

        BootArea read;
        ASSERT_TRUE(ReadBootArea(read));
        ASSERT_TRUE(StampBootArea(read));

        const auto stamped = ReadFile(kImage);
        ASSERT_EQ(stamped.size(), std::max(testCase.imageSize, kBootArea));
        for (std::size_t i = 0; i < stamped.size(); ++i) {
            const unsigned char expected = i < testCase.bootAreaSize && i < kBootArea ? bootArea[i]
                                           : i < kBootArea                           ? 0xFF
                                                                                     : image[i];
            ASSERT_EQ(stamped[i], expected) << "at offset " << i;
        }
    }
}

TEST_F(FinishingFilesTest, BootAreaNeedsItsFileReadableAndTheImageThere)
{
    WriteFile(kBootAreaFile, Pattern(kBootArea, 1));
    BootArea bootArea;
    ASSERT_TRUE(ReadBootArea(bootArea));
    EXPECT_FALSE(StampBootArea(bootArea));
    EXPECT_FALSE(fs::exists(kImage)) << "a missing image was created";

    fs::remove(kBootAreaFile);
    EXPECT_FALSE(ReadBootArea(bootArea)) << "a boot-area file read that is not there";
    // A folder opens here and fails its first read, as a cloud-only file offline does.
    fs::create_directory(kBootAreaFile);
    EXPECT_FALSE(ReadBootArea(bootArea)) << "a boot-area file read whose read failed";
}

TEST_F(FinishingFilesTest, ImageMustBeAtLeastAsLongAsItsVolumeDescriptorSays)
{
    struct Case {
        const char* what;
        unsigned char blocks;
        std::size_t size;
        ImageLength expected;
    };
    const Case cases[] = {
        {"exactly its 40 blocks", 40, 40 * 2048, ImageLength::Whole},
        {"20 KiB short", 40, 40 * 2048 - 20 * 1024, ImageLength::Short},
        // Some builds of the tool write past the volume they describe.
        {"a few KiB longer", 40, 40 * 2048 + 5 * 1024, ImageLength::Whole},
        {"ending before the count", 40, 0x8052, ImageLength::Short},
        {"a count that ends within the descriptors", 17, 40 * 2048, ImageLength::Short},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        auto image = Pattern(std::max<std::size_t>(testCase.size, 0x8054), 3);
        image[0x8050] = testCase.blocks;
        image[0x8051] = image[0x8052] = image[0x8053] = 0;
        image.resize(testCase.size);
        WriteFile(kImage, image);
        EXPECT_EQ(static_cast<int>(CheckImageLength()), static_cast<int>(testCase.expected));
    }
    fs::remove(kImage);
    EXPECT_EQ(static_cast<int>(CheckImageLength()), static_cast<int>(ImageLength::NotOpened)) << "no image";
}

}  // namespace
