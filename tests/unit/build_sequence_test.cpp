#include "build/build_lock.h"
#include "build/build_sequence.h"

#include "working_folder.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// A file that another program holds, as a virus scanner does: its removal fails, or it is
// reported done while the name stays taken until the holder lets go (Windows' delete pending);
// an open of it is refused.
struct HeldFile {
    const char* path = nullptr;
    bool removalReportedDone = false;
    int refusalsBeforeLettingGo = -1;  // -1: the holder never lets go
    const char* openMode = nullptr;    // only opens in this mode are refused; null: every one
};

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <dlfcn.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// Where a listing of a damaged disc's folder fails part-way: while a test names an entry here,
// readdir fails with EIO instead of returning it, as on a read error of the directory. The
// build core's listings call this readdir; the runtime's own is the next one.
static const char* g_unreadableEntry = nullptr;

extern "C" dirent* readdir(DIR* listing)
{
    using Readdir = dirent* (*)(DIR*);
    static const Readdir runtimeReaddir = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, "readdir"));
    dirent* entry = runtimeReaddir(listing);
    if (entry != nullptr && g_unreadableEntry != nullptr && std::strcmp(entry->d_name, g_unreadableEntry) == 0) {
        errno = EIO;
        return nullptr;
    }
    return entry;
}

static HeldFile g_heldFile;
// The build's waits for a held name or a drive not ready, added up instead of slept.
static unsigned long long g_pausedMicroseconds = 0;

extern "C" int usleep(useconds_t microseconds)
{
    g_pausedMicroseconds += microseconds;
    return 0;
}

// Whether the holder refuses this call on path, counting the refusal.
static bool HolderRefuses(const char* path)
{
    if (g_heldFile.path == nullptr || std::strcmp(path, g_heldFile.path) != 0 || g_heldFile.refusalsBeforeLettingGo == 0)
        return false;
    if (g_heldFile.refusalsBeforeLettingGo > 0)
        --g_heldFile.refusalsBeforeLettingGo;
    return true;
}

extern "C" int unlink(const char* path)
{
    using Unlink = int (*)(const char*);
    static const Unlink runtimeUnlink = reinterpret_cast<Unlink>(dlsym(RTLD_NEXT, "unlink"));
    if (!HolderRefuses(path))
        return runtimeUnlink(path);
    if (g_heldFile.removalReportedDone)
        return 0;
    errno = EACCES;
    return -1;
}

extern "C" FILE* fopen(const char* path, const char* mode)
{
    using Fopen = FILE* (*)(const char*, const char*);
    static const Fopen runtimeFopen = reinterpret_cast<Fopen>(dlsym(RTLD_NEXT, "fopen"));
    if ((g_heldFile.openMode != nullptr && std::strcmp(mode, g_heldFile.openMode) != 0) || !HolderRefuses(path))
        return runtimeFopen(path, mode);
    errno = EACCES;
    return nullptr;
}
#endif

// A cause and the fate of the earlier image, shown in a failed assertion by their place in
// build_result.h.
void PrintTo(FailureCause cause, std::ostream* out)
{
    *out << "FailureCause #" << static_cast<int>(cause);
}

void PrintTo(EarlierImage earlier, std::ostream* out)
{
    *out << "EarlierImage #" << static_cast<int>(earlier);
}

namespace fs = std::filesystem;

namespace {

// Windows drops the trailing dot of the placeholder's name, and so does the stand-in.
const char kPlaceholderOnDisk[] = "temp/CDDA2";

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

// md, copy, del/Q and rd as Windows' cmd /c runs them. copy takes each file of its source folder
// that its wildcard matches, attributes and all; where the destination file is already there, copy
// asks: the question is recorded and answered No, so that file stays as it was. del/Q passes over
// read-only files, and rd removes only an empty folder.
class WindowsInterpreter {
public:
    int Run(const std::string& line)
    {
        std::error_code ignored;
        if (line == "md temp") {
            fs::create_directory("temp", ignored);
        } else if (line.rfind("copy ", 0) == 0) {
            Copy(line.substr(5));
        } else if (line == "del/Q temp\\*.*") {
            for (const auto& file : fs::directory_iterator("temp"))
                if ((file.status().permissions() & fs::perms::owner_write) != fs::perms::none)
                    fs::remove(file.path(), ignored);
        } else if (line == "rd temp") {
            fs::remove("temp", ignored);
        } else {
            ADD_FAILURE() << "expected a command of the build, found " << line;
        }
        return 0;
    }

    const std::vector<std::string>& Questions() const { return m_questions; }

private:
    void Copy(const std::string& arguments)
    {
        const std::string source = arguments.substr(0, arguments.rfind(' '));
        const std::string destination = arguments.substr(arguments.rfind(' ') + 1);
        std::string folder = source.substr(0, source.rfind('\\'));
        std::replace(folder.begin(), folder.end(), '\\', '/');
        const std::string mask = source.substr(source.rfind('\\') + 1);
        if (!fs::is_directory(folder))
            return;
        for (const auto& file : fs::directory_iterator(folder)) {
            const std::string name = file.path().filename().string();
            if (!file.is_regular_file() || !Matches(mask.c_str(), name.c_str()))
                continue;
            if (HoldsName(destination, name)) {
                m_questions.push_back("Overwrite " + destination + "\\" + name + "? (" + source + ")");
                continue;
            }
            const fs::path target = fs::path(destination) / name;
            fs::copy_file(file.path(), target);
            fs::permissions(target, file.status().permissions());
        }
    }

    // Names are the same in any case on Windows.
    static bool HoldsName(const std::string& folder, const std::string& name)
    {
        for (const auto& file : fs::directory_iterator(folder))
            if (Matches(file.path().filename().string().c_str(), name.c_str()))
                return true;
        return false;
    }

    // '*' any run of characters, '?' one, letters in any case: enough for the build's wildcards.
    static bool Matches(const char* mask, const char* name)
    {
        if (*mask == '*')
            return Matches(mask + 1, name) || (*name != '\0' && Matches(mask, name + 1));
        if (*mask == '\0' || *name == '\0')
            return *mask == *name;
        return (*mask == '?' || std::tolower(static_cast<unsigned char>(*mask)) ==
                                    std::tolower(static_cast<unsigned char>(*name))) &&
               Matches(mask + 1, name + 1);
    }

    std::vector<std::string> m_questions;
};

class BuildSequenceTest : public WorkingFolderTest {
protected:
    // Stands in for the command interpreter, and lets the image tool "write" an image and end
    // with the given exit code.
    BuildResult Run(const BuildRequest& request, int toolExitCode = 0, bool toolWritesImage = true)
    {
        return RunBuild(request, [&](const std::string& line) {
            m_commands.push_back({line, fs::exists(kPlaceholderOnDisk), fs::exists(kTrack2File),
                                  fs::exists(kCueSheet)});
            // From here on no interpreter starts (COMSPEC names no program), and the runtime
            // answers -1.
            if (line == m_noInterpreterFrom)
                m_noInterpreterFrom = "*";
            if (m_noInterpreterFrom == "*")
                return -1;
            if (line == m_closedConsoleAt) {
                // A console closed or ended while copy works: the destination has its source's
                // full size, zeros after the part copied.
                std::vector<unsigned char> bytes = ReadFile("disc/MAIN.BIN");
                std::fill(bytes.begin() + bytes.size() / 2, bytes.end(), 0);
                WriteFile("temp/MAIN.BIN", bytes);
                return m_consoleEndStatus;
            }
            const bool imageTool = line.rfind(kImageTool, 0) == 0;
            if (!imageTool)
                m_interpreter.Run(line);
            else if (toolWritesImage)
                WriteFile(kImage, ToolImage(m_leftOut, m_toolImageSize));
            if (m_meanwhile)
                m_meanwhile(line);
            return imageTool ? toolExitCode : 0;
        }, m_workingFolder);
    }

    void SetUp() override
    {
        WorkingFolderTest::SetUp();
        fs::create_directory("disc");
        WriteFile("disc/MAIN.BIN", Pattern(1000, 1));
        LayDataFiles();
        m_workingFolder = fs::current_path().string();
    }

    // What the image tool writes: an ISO 9660 image as long as its volume descriptor says, 32
    // blocks, whose root directory (block 20) lists each file in temp as NAME;1 at its size.
    static std::vector<unsigned char> ToolImage(const std::string& leftOut = "", std::size_t size = 64 * 1024)
    {
        std::vector<unsigned char> image = Pattern(64 * 1024, 7);
        const auto put32 = [&](std::size_t at, std::uintmax_t value) {
            for (int i = 0; i < 4; ++i)
                image[at + i] = static_cast<unsigned char>(value >> 8 * i);
        };
        std::copy_n("\1CD001", 6, image.begin() + 0x8000);
        put32(0x8050, 32);
        put32(0x8000 + 156 + 2, 20);
        put32(0x8000 + 156 + 10, 2048);
        std::size_t at = 20 * 2048;
        std::fill_n(image.begin() + at, 2048, 0);
        std::error_code noTemp;
        for (const auto& file : fs::directory_iterator("temp", noTemp))
            if (const std::string name = file.path().filename().string() + ";1"; file.is_regular_file() &&
                                                                               name != leftOut + ";1") {
                image[at] = static_cast<unsigned char>(33 + name.size());
                put32(at + 10, file.file_size());
                image[at + 32] = static_cast<unsigned char>(name.size());
                std::copy(name.begin(), name.end(), image.begin() + at + 33);
                at += image[at];
            }
        image.resize(size);
        return image;
    }

    // The boot area, the sort lists (each naming the disc's MAIN.BIN) and the image tool, as
    // good files.
    static void LayDataFiles()
    {
        fs::remove_all("data");
        fs::create_directory("data");
        WriteFile(kBootAreaFile, Pattern(0x8000, 99));
        for (const DiscEntry& disc : kDiscCatalogue)
            WriteText(DataPath(disc.sortList), "temp/README.TXT 20\ntemp/MAIN.BIN 10\n");
        WriteFile(DataPath(kImageTool), Pattern(100, 1));
    }

    static void WriteText(const std::string& path, const std::string& text)
    {
        WriteFile(path, std::vector<unsigned char>(text.begin(), text.end()));
    }

    // A build name such as data\qx7-1.txt, where this platform's file calls find it.
    static std::string DataPath(std::string name)
    {
        std::replace(name.begin(), name.end(), '\\', '/');
        return name;
    }

    bool ToolRan() const
    {
        return std::any_of(m_commands.begin(), m_commands.end(),
                           [](const RecordedCommand& command) { return command.line.rfind(kImageTool, 0) == 0; });
    }

    std::vector<RecordedCommand> m_commands;
    std::string m_workingFolder;
    WindowsInterpreter m_interpreter;
    std::string m_closedConsoleAt;
    std::string m_noInterpreterFrom;
    int m_consoleEndStatus = 0;
    std::string m_leftOut;  // a file in temp the image tool leaves out
    std::size_t m_toolImageSize = 64 * 1024;
    std::function<void(const std::string& line)> m_meanwhile;  // what else happens while a command runs
};

TEST_F(BuildSequenceTest, IssuesTheFourteenCommandsInOrderForEachDisc)
{
    struct Case {
        DiscEntry disc;
        std::string driveRoot;
        std::vector<std::string> expected;
        bool bootAreaEmptiedMeanwhile = false;  // by a sync client, while the tool works
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
          "data\\mkisofs.exe -sort data\\qx7-p.txt -o QX7.ISO temp\\", "del/Q temp\\*.*", "rd temp"},
         true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.disc.caption);
        m_commands.clear();
        fs::remove_all("temp");
        fs::remove(kPlaceholderOnDisk);
        fs::remove(kTrack2File);
        fs::remove(kCueSheet);
        m_meanwhile = [&](const std::string& line) {
            if (testCase.bootAreaEmptiedMeanwhile && line.rfind(kImageTool, 0) == 0)
                WriteFile(kBootAreaFile, {});
        };

        EXPECT_TRUE(Run(RequestFor(testCase.disc, testCase.driveRoot)).Built());
        ASSERT_EQ(LinesOf(m_commands), testCase.expected);
        const std::vector<unsigned char> image = ReadFile(kImage);
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x8000, Pattern(0x8000, 99).begin()))
            << "expected the boot area as read before the copies, found another";

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

TEST_F(BuildSequenceTest, BuildThatCannotGoWellFailsBeforeTheImageToolRunsSayingWhy)
{
    const auto earlierImage = Pattern(40000, 3);
    WriteFile(kImage, earlierImage);
    // A folder opens on some platforms and then fails every read, as a cloud-only file offline
    // or a dropped network drive does; elsewhere it does not open at all.
    const std::string realFolder = m_workingFolder;
    std::optional<BuildLock> otherBuild;  // held by the cases that play another build
    const auto unreadable = [](const std::string& path) {
        return [path] {
            fs::remove(DataPath(path));
            fs::create_directory(DataPath(path));
        };
    };
    struct Case {
        const char* what;
        std::string driveRoot;
        std::vector<std::string> commandsRun;
        BuildFailure expected;
        std::function<void()> breaks;  // what is wrong in the working folder
        std::string workingFolder;     // empty: the real one
        HeldFile held;
        std::string closedConsoleAt;
        std::vector<std::string> earlierOutputs = {kImage};  // named in the earlier-image line
        int consoleEndStatus = static_cast<int>(0xC000013Au);  // STATUS_CONTROL_C_EXIT
    };
    std::vector<Case> cases = {
        {"no drive root", "", {}, {FailureCause::NoDriveChosen}},
        {"a working folder on a network path", kDiscRoot, {},
         {FailureCause::NetworkFolder, "\\\\server\\games\\KORVANTE 2"}, nullptr, "\\\\server\\games\\KORVANTE 2"},
        {"no boot-area file", kDiscRoot, {}, {FailureCause::BootAreaFileMissing, "data\\qx72ip.bin"},
         [] { fs::remove(kBootAreaFile); }},
        {"a boot-area file that cannot be read", kDiscRoot, {}, {FailureCause::BootAreaFileUnreadable, "data\\qx72ip.bin"},
         unreadable(kBootAreaFile)},
        {"no sort list", kDiscRoot, {}, {FailureCause::SortListMissing, "data\\qx7-2.txt"},
         [] { fs::remove(DataPath(kDiscCatalogue[1].sortList)); }},
        {"a sort list that cannot be read", kDiscRoot, {}, {FailureCause::SortListUnreadable, "data\\qx7-2.txt"},
         unreadable(kDiscCatalogue[1].sortList)},
        {"no image tool", kDiscRoot, {}, {FailureCause::ImageToolMissing, kImageTool},
         [] { fs::remove(DataPath(kImageTool)); }},
        {"a folder named QX7Track2.bin", kDiscRoot, {}, {FailureCause::OutputIsFolder, kTrack2File},
         [] { fs::create_directory(kTrack2File); }},
        {"a folder named QX7.LCK", kDiscRoot, {}, {FailureCause::LockFileInTheWay, kBuildLockFile},
         [] { fs::create_directory(kBuildLockFile); }},
        // That build is replacing the earlier image: nothing is said of it.
        {"another build running in this folder", kDiscRoot, {}, {FailureCause::AnotherBuildRuns},
         [&] { otherBuild.emplace(); }, "", {}, "", {}},
        // COMSPEC names no program: md, and every command after it, gets -1 from the runtime.
        {"no interpreter starts", kDiscRoot, {"md temp"}, {FailureCause::InterpreterNotStarted},
         [this] { m_noInterpreterFrom = "md temp"; }},
        {"no interpreter starts, temp left from before", kDiscRoot, {"md temp"}, {FailureCause::InterpreterNotStarted},
         [this] {
             fs::create_directory("temp");
             m_noInterpreterFrom = "md temp";
         }},
        // A USB drive unplugged, a virtual drive ejected once the checks have passed.
        {"a drive root that goes before the copies", kDiscRoot, {"md temp"}, {FailureCause::NoDisc, kDiscRoot},
         [this] {
             m_meanwhile = [](const std::string& line) {
                 if (line == "md temp")
                     fs::rename("disc", "disc-gone");
             };
         }},
        // The chooser found the disc a moment earlier; an image of the overlay alone is no image of it.
        {"a drive root that cannot be read", "Q:\\", {}, {FailureCause::NoDisc, "Q:"}},
        {"a drive of folders only", "dvd\\", {}, {FailureCause::DiscHoldsNothingToCopy, "dvd\\", "Scen 2"},
         [] { fs::create_directories("dvd/VIDEO_TS"); }},
        {"a disc whose root files the list does not name", "other\\", {},
         {FailureCause::DiscNotTheChosenOne, "other\\", "Scen 2"}, [] {
             fs::create_directory("other");
             WriteFile("other/SETUP.EXE", Pattern(9, 1));
         }},
        // The tool takes temp\ whole; the folder is the user's.
        {"a folder in temp", kDiscRoot, {"md temp"}, {FailureCause::FolderInStaging, "temp\\CDDA2"},
         [] { fs::create_directories("temp/CDDA2"); }},
    };
#ifndef _WIN32
    // The same folder through a link: the lock is met through the folder itself, not its name.
    cases.push_back({"another build running in this folder named otherwise", kDiscRoot, {},
                     {FailureCause::AnotherBuildRuns}, [&] {
                         fs::create_directory_symlink(realFolder, "../" + fs::path(realFolder).filename().string() + "-link");
                         const fs::path here = fs::current_path();
                         fs::current_path(realFolder + "-link");
                         otherBuild.emplace();
                         fs::current_path(here);
                         fs::remove(realFolder + "-link");
                     }, "", {}, "", {}});
    // Windows holds a mounted image until Eject; a scanner's moment is waited for.
    cases.push_back({"an earlier QX7Track2.bin held for good", kDiscRoot, {}, {FailureCause::OutputInUse, kTrack2File},
                     [] { WriteFile(kTrack2File, Pattern(100, 1)); }, "", {kTrack2File, false, -1, "r+b"}, "",
                     {kImage, kTrack2File}});
    // A stale file that stays in temp would go into the image.
    cases.push_back({"a file in temp that cannot be removed", kDiscRoot, {"md temp"},
                     {FailureCause::StagedFileHeld, "temp\\HELD.BIN"}, nullptr, "", {"temp/HELD.BIN", false}});
    cases.push_back({"a file in temp whose name stays taken after its removal", kDiscRoot, {"md temp"},
                     {FailureCause::StagedFileHeld, "temp\\HELD.BIN"}, nullptr, "", {"temp/HELD.BIN", true}});
#else
    // Windows creates over no hidden file, though it opens for update.
    cases.push_back({"a hidden QX7.CUE", kDiscRoot, {}, {FailureCause::OutputHidden, kCueSheet}, [] {
                         WriteFile(kCueSheet, Pattern(160, 1));
                         SetFileAttributesA(kCueSheet, FILE_ATTRIBUTE_HIDDEN);
                     }, "", {}, "", {kImage, kCueSheet}});
#endif
    // Copy's file has its full size, so only the interpreter's status tells.
    cases.push_back({"a console closed while a copy works", kDiscRoot, {"md temp", "copy disc\\*.b* temp"},
                     {FailureCause::ConsoleClosed}, nullptr, "", {}, "copy disc\\*.b* temp"});
    // Ended from Task Manager, cmd answers 1 as copy does for a pattern that matched nothing.
    cases.push_back({"a copy ended with 1 once it sized its file", kDiscRoot, {"md temp", "copy disc\\*.b* temp"},
                     {FailureCause::CopyFailed, "disc\\*.b*"}, nullptr, "", {}, "copy disc\\*.b* temp", {kImage}, 1});
    // Last: the earlier QX7.ISO goes.
    cases.push_back({"only an earlier QX7.CUE", "", {}, {FailureCause::NoDriveChosen}, [] {
                         fs::remove(kImage);
                         WriteFile(kCueSheet, Pattern(160, 1));
                     }, "", {}, "", {kCueSheet}});
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_commands.clear();
        m_meanwhile = nullptr;
        m_noInterpreterFrom.clear();
        fs::remove_all("temp");
        fs::remove_all(kTrack2File);
        fs::remove_all("disc");
        fs::remove_all("disc-gone");
        fs::create_directory("disc");
        WriteFile("disc/MAIN.BIN", Pattern(1000, 1));
        LayDataFiles();
        if (testCase.breaks)
            testCase.breaks();
        m_workingFolder = testCase.workingFolder.empty() ? realFolder : testCase.workingFolder;
        m_closedConsoleAt = testCase.closedConsoleAt;
        m_consoleEndStatus = testCase.consoleEndStatus;
        if (testCase.held.path != nullptr && std::string(testCase.held.path).rfind("temp/", 0) == 0) {
            fs::create_directory("temp");
            WriteFile(testCase.held.path, Pattern(10, 1));
        }
#ifndef _WIN32
        g_heldFile = testCase.held;
        g_pausedMicroseconds = 0;
#endif
        const bool userFolderInTemp = fs::is_directory("temp/CDDA2");
        const bool cueSheetBefore = fs::exists(kCueSheet);

        const BuildResult result = Run(RequestFor(kDiscCatalogue[1], testCase.driveRoot));
        otherBuild.reset();
        if (fs::is_directory(kBuildLockFile))
            fs::remove(kBuildLockFile);
#ifndef _WIN32
        g_heldFile = {};
        // The holder may let go a moment later, and a disc just inserted may become ready: the
        // build waits for that, but not for ever.
        const unsigned long long waitedMs = g_pausedMicroseconds / 1000;
        if (testCase.held.path != nullptr && testCase.expected.cause == FailureCause::OutputInUse)
            EXPECT_TRUE(waitedMs > 1500 && waitedMs < 3000) << "expected a wait of about 2 s for the earlier output, found "
                                                             << waitedMs << " ms";
        else if (testCase.held.path != nullptr)
            EXPECT_TRUE(waitedMs > 8000 && waitedMs < 15000) << "expected a wait of about 10 s for the name, found "
                                                              << waitedMs << " ms";
        if (testCase.expected.cause == FailureCause::NoDisc && testCase.commandsRun.empty())
            EXPECT_TRUE(waitedMs > 5000 && waitedMs <= 10000) << "expected a wait of 5 to 10 s for the disc, found "
                                                               << waitedMs << " ms";
#endif

        EXPECT_EQ(result.failure.cause, testCase.expected.cause);
        EXPECT_EQ(result.failure.subject, testCase.expected.subject);
        EXPECT_EQ(result.failure.chosenDisc, testCase.expected.chosenDisc);
        EXPECT_EQ(result.earlierImage, testCase.earlierOutputs.empty() ? EarlierImage::None : EarlierImage::Unchanged);
        EXPECT_EQ(result.earlierOutputs, testCase.earlierOutputs) << "the earlier outputs named";
        EXPECT_EQ(LinesOf(m_commands), testCase.commandsRun) << "commands run";
        if (fs::exists(kImage))
            EXPECT_EQ(ReadFile(kImage), earlierImage) << "the earlier image was changed";
        EXPECT_FALSE(fs::is_regular_file(kPlaceholderOnDisk) || fs::exists(kCueSheet) != cueSheetBefore)
            << "something was written";
        EXPECT_EQ(fs::is_regular_file(kTrack2File), testCase.held.path != nullptr && testCase.held.path == std::string(kTrack2File))
            << "the track-2 file written or removed";
        if (testCase.commandsRun.empty())
            EXPECT_FALSE(fs::exists("temp")) << "temp made";
        EXPECT_EQ(fs::is_directory("temp/CDDA2"), userFolderInTemp) << "the user's folder in temp";
        fs::remove(kCueSheet);
        EXPECT_FALSE(fs::exists(kBuildLockFile)) << "the lock file stayed";
    }
}

TEST_F(BuildSequenceTest, ImageToolThatLeavesNoWholeImageStopsTheRunBeforeTheWriters)
{
    struct Case {
        const char* what;
        int toolExitCode;
        bool earlierImage;
        std::size_t imageSize;  // 0: the tool writes nothing
        BuildFailure expected;
        EarlierImage earlierAfter;
        std::string leftOut;
    };
    const Case cases[] = {
        {"the tool fails before it writes", 255, true, 0, {FailureCause::ImageToolFailed, "255"}, EarlierImage::Unchanged},
        // A DLL it needs is missing: Windows' status for a program that could not start.
        {"the tool fails after it began to write", static_cast<int>(0xC0000135u), true, 30000,
         {FailureCause::ImageToolFailed, "0xC0000135"}, EarlierImage::Replaced},
        {"the tool ends well without an image", 0, false, 0, {FailureCause::ImageMissing, kImage}, EarlierImage::None},
        // A build of the tool that takes no -o, or prints its usage and ends with 0.
        {"the tool ends well without writing over the earlier image", 0, true, 0, {FailureCause::ImageNotWritten, kImage},
         EarlierImage::Unchanged},
        {"the tool's console closed as it writes", static_cast<int>(0xC000013Au), true, 30000,
         {FailureCause::ImageToolInterrupted}, EarlierImage::Replaced},
        // Its last buffer unwritten on a disk that filled just then.
        {"the tool ends well with an image 20 KiB short", 0, true, 64 * 1024 - 20 * 1024,
         {FailureCause::ImageIncomplete, kImage}, EarlierImage::Replaced},
        // A name it cannot take, a file a scanner locks: it warns and ends well.
        {"the tool ends well leaving a staged file out", 0, true, 64 * 1024, {FailureCause::FileNotInImage, "temp\\MAIN.BIN"},
         EarlierImage::Replaced, "MAIN.BIN"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_commands.clear();
        fs::remove_all("temp");
        fs::remove(kImage);
        const auto earlierImage = Pattern(40000, 3);
        if (testCase.earlierImage)
            WriteFile(kImage, earlierImage);
        m_toolImageSize = testCase.imageSize;
        m_leftOut = testCase.leftOut;

        const BuildResult result = Run(RequestFor(kDiscCatalogue[2], kDiscRoot), testCase.toolExitCode,
                                       testCase.imageSize > 0);

        EXPECT_EQ(result.failure.cause, testCase.expected.cause);
        EXPECT_EQ(result.failure.subject, testCase.expected.subject);
        EXPECT_EQ(result.earlierImage, testCase.earlierAfter);
        ASSERT_EQ(m_commands.size(), 12u) << "last command run: " << m_commands.back().line;
        if (testCase.earlierAfter == EarlierImage::Unchanged)
            EXPECT_EQ(ReadFile(kImage), earlierImage) << "the earlier image was changed";
        else if (testCase.imageSize == 0)
            EXPECT_FALSE(fs::exists(kImage)) << "an image was created";
        EXPECT_FALSE(fs::exists(kTrack2File)) << "track-2 file written";
        EXPECT_FALSE(fs::exists(kCueSheet)) << "cue sheet written";
        EXPECT_TRUE(fs::exists("temp")) << "staging folder removed after a failure";
    }
}

TEST_F(BuildSequenceTest, FinishingFileThatCannotBeWrittenFailsTheRunAtThatStep)
{
#ifndef _WIN32
    // A scanner opens a file the tool or a writer has just closed, without sharing, for a
    // moment: the length check, and each writer on its own, waits for it.
    const HeldFile heldAfterTheTool[] = {
        {kImage, false, 20},
        {kTrack2File, false, 20, "wb"},
        {kImage, false, 20, "r+b"},
        {kCueSheet, false, 20, "wb"},
    };
    for (const HeldFile& held : heldAfterTheTool) {
        SCOPED_TRACE(std::string(held.path) + " held in mode " + (held.openMode ? held.openMode : "any"));
        m_meanwhile = [&held](const std::string& line) {
            if (line.rfind(kImageTool, 0) == 0)
                g_heldFile = held;
        };
        g_pausedMicroseconds = 0;
        EXPECT_TRUE(Run(RequestFor(kDiscCatalogue[0], kDiscRoot)).Built()) << "a file held for a moment after the tool";
        EXPECT_EQ(g_heldFile.refusalsBeforeLettingGo, 0) << "opens refused by the holder still to come";
        EXPECT_GT(g_pausedMicroseconds, 0u) << "no wait for the held file";
        g_heldFile = {};
        fs::remove(kImage);
        fs::remove(kTrack2File);
        fs::remove(kCueSheet);
        m_commands.clear();
    }
    m_meanwhile = nullptr;
#endif
    // A folder of the name, made while the tool runs, makes the open fail, as a file held by
    // another program for good would.
    WriteFile(kImage, Pattern(40000, 3));
    m_meanwhile = [](const std::string& line) {
        if (line.rfind(kImageTool, 0) == 0)
            fs::create_directory(kTrack2File);
    };
    BuildResult result = Run(RequestFor(kDiscCatalogue[0], kDiscRoot));
    EXPECT_EQ(result.failure.cause, FailureCause::Track2FileNotWritten);
    EXPECT_EQ(result.earlierImage, EarlierImage::Replaced);
    EXPECT_EQ(ReadFile(kImage), ToolImage()) << "image stamped although the track-2 file failed";
    EXPECT_FALSE(fs::exists(kCueSheet));
    EXPECT_EQ(m_commands.size(), 12u);

    fs::remove(kTrack2File);
    fs::remove_all("temp");
    m_meanwhile = [](const std::string& line) {
        if (line.rfind(kImageTool, 0) == 0)
            fs::create_directory(kCueSheet);
    };
    m_commands.clear();
    result = Run(RequestFor(kDiscCatalogue[0], kDiscRoot));
    EXPECT_EQ(result.failure.cause, FailureCause::CueSheetNotWritten);
    EXPECT_EQ(m_commands.size(), 12u) << "clean-up ran although the cue sheet failed";
    EXPECT_TRUE(fs::exists("temp"));
}

TEST_F(BuildSequenceTest, PlaceholderThatCannotBeMadeOrGoesWhileTheToolRunsFailsTheRun)
{
    struct Case {
        const char* what;
        std::string when;  // the command during which it happens
        std::function<void()> happens;
        std::size_t commandsRun;
        BuildFailure expected;
    };
    const Case cases[] = {
        {"a folder of its name made during the overlay copy", "copy disc\\*.t* temp",
         [] { fs::create_directories(kPlaceholderOnDisk); }, 11, {FailureCause::PlaceholderNotMade, "temp\\CDDA2"}},
        {"the placeholder taken away while the tool runs", kImageTool, [] { fs::remove(kPlaceholderOnDisk); }, 12,
         {FailureCause::StagedFileGone, "temp\\CDDA2"}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_commands.clear();
        fs::remove_all("temp");
        m_meanwhile = [&](const std::string& line) {
            if (line.rfind(testCase.when, 0) == 0)
                testCase.happens();
        };
        const BuildResult result = Run(RequestFor(kDiscCatalogue[1], kDiscRoot));
        EXPECT_EQ(result.failure.cause, testCase.expected.cause);
        EXPECT_EQ(result.failure.subject, testCase.expected.subject);
        EXPECT_EQ(m_commands.size(), testCase.commandsRun) << "last command run: " << m_commands.back().line;
        EXPECT_FALSE(fs::exists(kTrack2File)) << "track-2 file written";
    }
}

TEST_F(BuildSequenceTest, NoCopyMeetsItsDestinationAndTheToolGetsExactlyThisDiscAndItsOverlay)
{
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const std::map<std::string, std::vector<unsigned char>> disc = {
        {"MAIN.BIN", Pattern(1000, 1)},
        {"LEVEL1.DAT", Pattern(500, 2)},
        {"X.DATA.BIN", Pattern(300, 3)},  // taken by *.b* and by *.d*
    };
    for (const auto& [name, bytes] : disc) {
        WriteFile("disc/" + name, bytes);
        fs::permissions("disc/" + name, readOnly);  // as every file on a CD
    }
    // The overlay's LEVEL1.DAT has the disc's size: only its bytes tell the two apart.
    fs::create_directories("files/s1");
    WriteFile("files/s1/LEVEL1.DAT", Pattern(500, 9));
    WriteFile("files/s1/NEW.TXT", Pattern(40, 4));
    // What a failed build of another disc left: a file this disc does not have, read-only as
    // copied from its CD, and one of this disc's names with the other disc's bytes.
    fs::create_directory("temp");
    WriteFile("temp/OTHER.DAT", Pattern(70, 5));
    fs::permissions("temp/OTHER.DAT", readOnly);
    WriteFile("temp/MAIN.BIN", Pattern(1000, 6));

#ifndef _WIN32
    // A scanner still reads the stale file for a moment: its removal is refused, then done.
    g_heldFile = {"temp/OTHER.DAT", false, 3};
#endif
    WindowsInterpreter interpreter;
    std::map<std::string, std::vector<unsigned char>> stagedForTheTool;
    const bool built = RunBuild(RequestFor(kDiscCatalogue[0], kDiscRoot), [&](const std::string& line) {
        if (line.rfind(kImageTool, 0) == 0) {
            for (const auto& file : fs::directory_iterator("temp"))
                if (file.path().filename() != "CDDA2")
                    stagedForTheTool[file.path().filename().string()] = ReadFile(file.path().string());
            WriteFile(kImage, ToolImage());
            return 0;
        }
        return interpreter.Run(line);
    }, m_workingFolder).Built();
#ifndef _WIN32
    g_heldFile = {};
#endif

    EXPECT_TRUE(built);
    EXPECT_EQ(interpreter.Questions(), std::vector<std::string>{}) << "copies that met their destination";
    std::map<std::string, std::vector<unsigned char>> expected = disc;
    expected["LEVEL1.DAT"] = Pattern(500, 9);
    expected["NEW.TXT"] = Pattern(40, 4);
    for (const auto& [name, bytes] : expected)
        EXPECT_EQ(stagedForTheTool.count(name) ? stagedForTheTool[name] : std::vector<unsigned char>{}, bytes)
            << name << " staged for the image tool";
    for (const auto& [name, bytes] : stagedForTheTool)
        EXPECT_EQ(expected.count(name), 1u) << name << " staged for the image tool, found " << bytes.size() << " bytes";
    EXPECT_FALSE(fs::exists("temp")) << "temp left behind after a good build";
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
    fs::remove("disc/MAIN.BIN");
    WriteText(DataPath(kDiscCatalogue[0].sortList), "temp/MOVIE.STR 5\ntemp/A.BIN 1\n");

    struct Case {
        const char* what;
        std::string driveRoot;
        std::vector<std::pair<std::string, std::size_t>> staged;  // what the copies leave
        BuildFailure expected;  // none: complete
    };
    std::vector<Case> cases = {
        {"a disc file passed over (unreadable)", kDiscRoot,
         {{"BIG.BIN", 77}, {"Twin.dat", 20}, {"OVER.TXT", 12}}, {FailureCause::DiscFileNotCopied, "disc\\MOVIE.STR"}},
        {"a disc file cut short", kDiscRoot,
         {{"BIG.BIN", 77}, {"MOVIE.STR", 4096}, {"Twin.dat", 20}, {"OVER.TXT", 12}},
         {FailureCause::DiscFileNotCopied, "disc\\MOVIE.STR"}},
        {"the disc's file where the overlay's should be", kDiscRoot,
         {{"BIG.BIN", 5000}, {"MOVIE.STR", 6000}, {"Twin.dat", 20}, {"OVER.TXT", 12}},
         {FailureCause::OverlayFileNotCopied, "files\\s1\\BIG.BIN"}},
        {"an overlay file passed over", kDiscRoot,
         {{"BIG.BIN", 77}, {"MOVIE.STR", 6000}, {"Twin.dat", 20}}, {FailureCause::OverlayFileNotCopied, "files\\s1\\OVER.TXT"}},
    };
#ifndef _WIN32
    // Wine's _findnext reports every end of a listing as the normal one, so only here can a
    // listing fail part-way.
    fs::create_directory("damaged");
    for (const char* name : {"A.BIN", "B.BIN", "C.BIN"})
        WriteFile(std::string("damaged/") + name, Pattern(10, 1));
    // Every file staged: only the listing's failure may fail the build.
    cases.push_back({"a disc folder whose listing fails part-way", "damaged\\",
                     {{"A.BIN", 10}, {"B.BIN", 10}, {"C.BIN", 10}, {"BIG.BIN", 77}, {"OVER.TXT", 12}},
                     {FailureCause::DiscNotListed, "damaged\\"}});
#endif
    // Last: it lets the tool replace the earlier image.
    cases.push_back({"every file whole, the overlay's in place of the disc's", kDiscRoot,
                     {{"BIG.BIN", 77}, {"MOVIE.STR", 6000}, {"Twin.dat", 20}, {"OVER.TXT", 12}}, {}});

    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_commands.clear();
        fs::remove_all("temp");
#ifndef _WIN32
        g_unreadableEntry = "B.BIN";
#endif
        const BuildResult result = RunBuild(RequestFor(kDiscCatalogue[0], testCase.driveRoot), [&](const std::string& line) {
            m_commands.push_back({line, false, false, false});
            if (line == "md temp")
                fs::create_directory("temp");
            if (line == "copy files\\s1\\*.??? temp")
                for (const auto& [name, size] : testCase.staged)
                    WriteFile("temp/" + name, Pattern(size, 0));
            if (line.rfind(kImageTool, 0) == 0)
                WriteFile(kImage, ToolImage());
            return 0;
        }, m_workingFolder);
#ifndef _WIN32
        g_unreadableEntry = nullptr;
#endif

        EXPECT_EQ(result.failure.cause, testCase.expected.cause);
        EXPECT_EQ(result.failure.subject, testCase.expected.subject);
        if (!testCase.expected) {
            EXPECT_EQ(m_commands.size(), 14u) << "last command run: " << m_commands.back().line;
        } else {
            EXPECT_FALSE(ToolRan()) << "the image tool ran";
            EXPECT_EQ(ReadFile(kImage), earlierImage) << "the earlier image was changed";
            // A listing that fails is met before md temp.
            EXPECT_EQ(fs::exists("temp"), testCase.expected.cause != FailureCause::DiscNotListed) << "staging folder";
        }
    }
}

TEST_F(BuildSequenceTest, OverlayCodeIsReadAsAtMostTwoCharacters)
{
    BuildRequest request = RequestFor(kDiscCatalogue[2], kDiscRoot);
    request.overlayCode[2] = 'x';  // a lost terminator must not run past the array
    EXPECT_TRUE(Run(request).Built());
    EXPECT_EQ(m_commands.at(10).line, "copy files\\s3\\*.??? temp");
}

}  // namespace
