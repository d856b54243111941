#include "build/build_sequence.h"

#include "working_folder.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Windows drops the trailing dot of the placeholder's name; elsewhere the backslash and the
// dot are part of one plain file name in the working folder.
#ifdef _WIN32
const char kPlaceholderOnDisk[] = "temp/CDDA2";
#else
const char kPlaceholderOnDisk[] = "temp\\CDDA2.";
#endif

// A disc folder in the working folder stands for the drive: its root must be there to be read.
const char kDiscRoot[] = "disc\\";

// What the working folder held at the moment each command was run.
struct RecordedCommand {
    std::string line;
    bool placeholderExisted;
    bool track2Existed;
    bool cueSheetExisted;
};

BuildRequest RequestFor(const DiscEntry& disc, const std::string& driveRoot)
{
    BuildRequest request{disc.sortList, {}, driveRoot};
    std::copy(std::begin(disc.overlayCode), std::end(disc.overlayCode), request.overlayCode);
    return request;
}

std::vector<std::string> LinesOf(const std::vector<RecordedCommand>& commands)
{
    std::vector<std::string> lines;
    for (const auto& command : commands)
        lines.push_back(command.line);
    return lines;
}

class BuildSequenceTest : public WorkingFolderTest {
protected:
    // Stands in for the command interpreter: makes the staging folder, and lets the image tool
    // "write" an image and end with the given exit code.
    bool Run(const BuildRequest& request, int toolExitCode = 0, bool toolWritesImage = true)
    {
        return RunBuild(request, [&](const std::string& line) {
            m_commands.push_back({line, fs::exists(kPlaceholderOnDisk), fs::exists(kTrack2File),
                                  fs::exists(kCueSheet)});
            if (line == "md temp")
                fs::create_directory("temp");
            if (line.rfind(kImageTool, 0) == 0) {
                if (toolWritesImage)
                    WriteFile(kImage, Pattern(64 * 1024, 7));
                return toolExitCode;
            }
            return 0;
        });
    }

    void SetUp() override
    {
        WorkingFolderTest::SetUp();
        fs::create_directory("data");
        fs::create_directory("disc");
        WriteFile(kBootAreaFile, Pattern(0x8000, 99));
    }

    std::vector<RecordedCommand> m_commands;
};

TEST_F(BuildSequenceTest, IssuesTheFourteenCommandsInOrderForEachDisc)
{
    struct Case {
        DiscEntry disc;
        std::string driveRoot;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {kDiscCatalogue[0], kDiscRoot,
         {"md temp", "copy disc\\*.b* temp", "copy disc\\*.c* temp", "copy disc\\*.d* temp",
          "copy disc\\*.e* temp", "copy disc\\*.f* temp", "copy disc\\*.i* temp", "copy disc\\*.m* temp",
          "copy disc\\*.s* temp", "copy disc\\*.t* temp", "copy files\\s1\\*.??? temp",
          "data\\mkisofs.exe -sort data\\qx7-1.txt -o QX7.ISO temp\\", "del/Q temp\\*.*", "rd temp"}},
        {kDiscCatalogue[3], kDiscRoot,
         {"md temp", "copy disc\\*.b* temp", "copy disc\\*.c* temp", "copy disc\\*.d* temp",
          "copy disc\\*.e* temp", "copy disc\\*.f* temp", "copy disc\\*.i* temp", "copy disc\\*.m* temp",
          "copy disc\\*.s* temp", "copy disc\\*.t* temp", "copy files\\pd\\*.??? temp",
          "data\\mkisofs.exe -sort data\\qx7-p.txt -o QX7.ISO temp\\", "del/Q temp\\*.*", "rd temp"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.disc.caption);
        m_commands.clear();
        fs::remove_all("temp");
        fs::remove(kPlaceholderOnDisk);
        fs::remove(kTrack2File);
        fs::remove(kCueSheet);

        EXPECT_TRUE(Run(RequestFor(testCase.disc, testCase.driveRoot)));
        ASSERT_EQ(LinesOf(m_commands), testCase.expected);

        // The placeholder is made after the overlay copy and before the image tool runs; the
        // finishing files are written after the tool and before the clean-up.
        EXPECT_FALSE(m_commands[10].placeholderExisted) << "placeholder made before the overlay copy";
        EXPECT_TRUE(m_commands[11].placeholderExisted) << "placeholder missing when the tool ran";
        EXPECT_FALSE(m_commands[11].track2Existed || m_commands[11].cueSheetExisted)
            << "finishing files written before the image tool ran";
        EXPECT_TRUE(m_commands[12].track2Existed && m_commands[12].cueSheetExisted)
            << "finishing files missing at the clean-up";
    }
}

TEST_F(BuildSequenceTest, EmptyDriveRootIsRefusedBeforeAnythingRuns)
{
    EXPECT_FALSE(Run(RequestFor(kDiscCatalogue[1], "")));
    EXPECT_TRUE(m_commands.empty()) << "first command run: " << m_commands.front().line;
    EXPECT_FALSE(fs::exists(kPlaceholderOnDisk) || fs::exists(kTrack2File) || fs::exists(kCueSheet));
}

TEST_F(BuildSequenceTest, FailedImageToolStopsTheRunAndLeavesAnEarlierImageAlone)
{
    const auto earlierImage = Pattern(40000, 3);
    WriteFile(kImage, earlierImage);

    EXPECT_FALSE(Run(RequestFor(kDiscCatalogue[2], kDiscRoot), 255, false));

    ASSERT_EQ(m_commands.size(), 12u) << "last command run: " << m_commands.back().line;
    EXPECT_EQ(ReadFile(kImage), earlierImage) << "the earlier image was changed";
    EXPECT_FALSE(fs::exists(kTrack2File)) << "track-2 file written after a failed tool";
    EXPECT_FALSE(fs::exists(kCueSheet)) << "cue sheet written after a failed tool";
    EXPECT_TRUE(fs::exists("temp")) << "staging folder removed after a failure";
}

TEST_F(BuildSequenceTest, MissingImageFailsAfterTheTrack2FileWithoutCueSheetOrCleanUp)
{
    EXPECT_FALSE(Run(RequestFor(kDiscCatalogue[0], kDiscRoot), 0, false));

    EXPECT_EQ(m_commands.size(), 12u) << "last command run: " << m_commands.back().line;
    EXPECT_FALSE(fs::exists(kImage)) << "the stamp created an image";
    EXPECT_TRUE(fs::exists(kTrack2File));
    EXPECT_FALSE(fs::exists(kCueSheet));
}

TEST_F(BuildSequenceTest, FinishingFileThatCannotBeWrittenFailsTheRunAtThatStep)
{
    // A folder of the same name makes the open fail, as a locked or read-only file would.
    fs::create_directory(kTrack2File);
    EXPECT_FALSE(Run(RequestFor(kDiscCatalogue[0], kDiscRoot)));
    EXPECT_EQ(ReadFile(kImage), Pattern(64 * 1024, 7)) << "image stamped although the track-2 file failed";
    EXPECT_FALSE(fs::exists(kCueSheet));
    EXPECT_EQ(m_commands.size(), 12u);

    fs::remove(kTrack2File);
    fs::create_directory(kCueSheet);
    m_commands.clear();
    EXPECT_FALSE(Run(RequestFor(kDiscCatalogue[0], kDiscRoot)));
    EXPECT_EQ(m_commands.size(), 12u) << "clean-up ran although the cue sheet failed";
    EXPECT_TRUE(fs::exists("temp"));
}

TEST_F(BuildSequenceTest, PlaceholderThatCannotBeCreatedDoesNotStopTheRun)
{
    fs::create_directories(kPlaceholderOnDisk);
    EXPECT_TRUE(Run(RequestFor(kDiscCatalogue[1], kDiscRoot)));
    EXPECT_EQ(m_commands.size(), 14u);
}

TEST_F(BuildSequenceTest, NoStagedFileIsReadOnlyWhereACopyOrTheDeleteMustReplaceIt)
{
    // A stale file from a failed run may be read-only, and copies from a CD arrive read-only.
    // The disc copies must be able to replace stale files, the overlay copy disc files, and the
    // delete must take them all.
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::create_directory("temp");
    WriteFile("temp/STALE.BIN", Pattern(10, 1));
    fs::permissions("temp/STALE.BIN", readOnly);
    const std::vector<std::string> mustFindAllWritable = {"copy disc\\*.b* temp", "copy files\\s1\\*.??? temp",
                                                          "del/Q temp\\*.*"};

    std::vector<std::string> readOnlyAt;
    ASSERT_TRUE(RunBuild(RequestFor(kDiscCatalogue[0], kDiscRoot), [&](const std::string& line) {
        const bool mustReplace =
            std::find(mustFindAllWritable.begin(), mustFindAllWritable.end(), line) != mustFindAllWritable.end();
        for (const auto& file : fs::directory_iterator("temp"))
            if (mustReplace && (file.status().permissions() & fs::perms::owner_write) == fs::perms::none)
                readOnlyAt.push_back(file.path().filename().string() + " at " + line);
        if (line == "copy disc\\*.b* temp") {
            WriteFile("temp/DISC.BIN", Pattern(10, 2));
            fs::permissions("temp/DISC.BIN", readOnly);
        }
        if (line.rfind(kImageTool, 0) == 0)
            WriteFile(kImage, Pattern(64 * 1024, 7));
        return 0;
    }));
    EXPECT_TRUE(readOnlyAt.empty()) << "read-only staged files: " << ::testing::PrintToString(readOnlyAt);
}

TEST_F(BuildSequenceTest, StagingWithoutEveryCopiedFileAtItsSourcesSizeFailsBeforeTheToolRuns)
{
    const auto earlierImage = Pattern(40000, 3);
    WriteFile(kImage, earlierImage);
    WriteFile("disc/BIG.BIN", Pattern(5000, 1));
    WriteFile("disc/MOVIE.STR", Pattern(6000, 2));
    WriteFile("disc/Twin.dat", Pattern(30, 2));
    WriteFile("disc/twin.dat", Pattern(20, 3));  // one file where names are case-blind
    WriteFile("disc/README", Pattern(10, 4));    // taken by no copy
    fs::create_directories("files/s1");
    WriteFile("files/s1/BIG.BIN", Pattern(77, 5));  // replaces the disc's
    WriteFile("files/s1/OVER.TXT", Pattern(12, 6));

    struct Case {
        const char* what;
        std::string driveRoot;
        std::vector<std::pair<std::string, std::size_t>> staged;
        bool complete;
    };
    const Case cases[] = {
        {"a disc file passed over (unreadable)", kDiscRoot,
         {{"BIG.BIN", 77}, {"Twin.dat", 20}, {"OVER.TXT", 12}}, false},
        {"a disc file cut short", kDiscRoot,
         {{"BIG.BIN", 77}, {"MOVIE.STR", 4096}, {"Twin.dat", 20}, {"OVER.TXT", 12}}, false},
        {"the disc's file where the overlay's should be", kDiscRoot,
         {{"BIG.BIN", 5000}, {"MOVIE.STR", 6000}, {"Twin.dat", 20}, {"OVER.TXT", 12}}, false},
        {"an overlay file passed over", kDiscRoot,
         {{"BIG.BIN", 77}, {"MOVIE.STR", 6000}, {"Twin.dat", 20}}, false},
        {"a disc root that cannot be listed", "Q:\\", {}, false},
        // Last: it lets the tool replace the earlier image.
        {"every file whole, the overlay's in place of the disc's", kDiscRoot,
         {{"BIG.BIN", 77}, {"MOVIE.STR", 6000}, {"Twin.dat", 20}, {"OVER.TXT", 12}}, true},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_commands.clear();
        fs::remove_all("temp");
        const bool built = RunBuild(RequestFor(kDiscCatalogue[0], testCase.driveRoot), [&](const std::string& line) {
            m_commands.push_back({line, false, false, false});
            if (line == "md temp") {
                fs::create_directory("temp");
                for (const auto& [name, size] : testCase.staged)
                    WriteFile("temp/" + name, Pattern(size, 0));
            }
            if (line.rfind(kImageTool, 0) == 0)
                WriteFile(kImage, Pattern(64 * 1024, 7));
            return 0;
        });

        EXPECT_EQ(built, testCase.complete);
        EXPECT_EQ(m_commands.size(), testCase.complete ? 14u : 11u) << "last command run: " << m_commands.back().line;
        if (!testCase.complete) {
            EXPECT_EQ(ReadFile(kImage), earlierImage) << "the earlier image was changed";
            EXPECT_TRUE(fs::exists("temp")) << "staging folder removed after a failure";
        }
    }
}

TEST_F(BuildSequenceTest, OverlayCodeIsReadAsAtMostTwoCharacters)
{
    BuildRequest request = RequestFor(kDiscCatalogue[2], kDiscRoot);
    request.overlayCode[2] = 'x';  // a lost terminator must not run past the array
    EXPECT_TRUE(Run(request));
    EXPECT_EQ(m_commands.at(10).line, "copy files\\s3\\*.??? temp");
}

}  // namespace
