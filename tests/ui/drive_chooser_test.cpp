// "Select a CD Drive" with real CD-ROM drives, and the request the main dialog hands to the build.
#include "program_under_test.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>

namespace {

const char kChooser[] = "Select a CD Drive";

// A Unix folder for a drive to hold; created here so that the drive has a disc in it.
std::string DiscFolder(const char* name)
{
    const std::string unixFolder = std::string(std::getenv("KORVANTE_DRIVE_FOLDERS")) + "/" + name;
    CreateDirectoryA(WindowsPath(std::getenv("KORVANTE_DRIVE_FOLDERS")).c_str(), nullptr);
    CreateDirectoryA(WindowsPath(unixFolder.c_str()).c_str(), nullptr);
    return unixFolder;
}

// A program with CD-ROM drives D: and F: that hold discs.
class DriveChooser : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_driveD = std::make_unique<CdromDrive>('D', DiscFolder("disc-d"));
        m_driveF = std::make_unique<CdromDrive>('F', DiscFolder("disc-f"));
        ASSERT_TRUE(m_driveD->defined() && m_driveF->defined()) << "could not make the CD-ROM drives D: and F:";
    }

    // Starts the program, chooses the disc and presses "Make CD"; the chooser, or null.
    HWND OpenChooser(ProgramUnderTest& program, int discId = 1001)
    {
        m_dialog = program.MainDialog();
        if (m_dialog == nullptr) {
            ADD_FAILURE() << "expected the main dialog, found none";
            return nullptr;
        }
        HWND radio = GetDlgItem(m_dialog, discId);
        ClickControl(radio);
        if (!WaitFor([&] { return SendMessageA(radio, BM_GETCHECK, 0, 0) == BST_CHECKED; })) {
            ADD_FAILURE() << "radio " << discId << " did not show as selected after a click";
            return nullptr;
        }
        ClickControl(GetDlgItem(m_dialog, IDOK));
        HWND chooser = program.WaitForDialog(kChooser);
        if (chooser == nullptr)
            ADD_FAILURE() << "expected \"Select a CD Drive\" after \"Make CD\", found none";
        return chooser;
    }

    void DoubleClickItem(ProgramUnderTest& program, HWND chooser, int item)
    {
        const RECT rect = program.ListItemRect(GetDlgItem(chooser, 1000), item);
        DoubleClickAt({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    }

    HWND m_dialog = nullptr;
    std::unique_ptr<CdromDrive> m_driveD;
    std::unique_ptr<CdromDrive> m_driveF;
};

}  // namespace

TEST_F(DriveChooser, ListsTheCdromDrivesInLetterOrderButNeverZ)
{
    ASSERT_EQ(RunHelper("\"" + EnvironmentPath("KORVANTE_CDROM_DRIVE") + "\" define Z /"), 0)
        << "could not make Z: a CD-ROM drive";
    ProgramUnderTest program;
    HWND chooser = OpenChooser(program);
    const std::vector<std::string> items =
        chooser != nullptr ? program.ListItems(GetDlgItem(chooser, 1000)) : std::vector<std::string>{};
    EXPECT_EQ(RunHelper("\"" + EnvironmentPath("KORVANTE_CDROM_DRIVE") + "\" fixed Z /"), 0)
        << "could not give Z: back as a fixed disk";

    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(items, (std::vector<std::string>{"D:\\", "F:\\"}));
}

TEST_F(DriveChooser, DoubleClickOnAnItemTakesThatDrive)
{
    ProgramUnderTest program(true);
    HWND chooser = OpenChooser(program);
    ASSERT_NE(chooser, nullptr);
    DoubleClickItem(program, chooser, 1);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{"data\\qx7-1.txt|s1|F:\\"});
    // No system box may wait on a build: SEM_FAILCRITICALERRORS (1), which its programs inherit.
    EXPECT_EQ(program.BuildErrorModes(), std::vector<std::string>{"1"}) << "error mode of the build";
}

TEST_F(DriveChooser, DoubleClickOnEmptySpaceTakesNoDriveBeforeAClickAndTheMarkedOneAfter)
{
    ProgramUnderTest program(true);
    HWND chooser = OpenChooser(program);
    ASSERT_NE(chooser, nullptr);
    HWND list = GetDlgItem(chooser, 1000);
    // Below the items, inside the client area: the list's bottom edge holds its scroll bar.
    RECT client;
    GetClientRect(list, &client);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const POINT emptySpace = {(client.left + client.right) / 2, client.bottom - 8};
    DoubleClickAt(emptySpace);
    // Had that double-click taken a drive, the chooser would be gone before the click on F:\ and
    // the request would name another drive. The click leaves F:\ marked; the first click of the
    // next double-click, on empty space, unselects it but leaves the mark: only the mark names F:\.
    const RECT item = program.ListItemRect(list, 1);
    ClickAt({(item.left + item.right) / 2, (item.top + item.bottom) / 2});
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0) == 1; }))
        << "expected F:\\ marked after a click on it";
    DoubleClickAt(emptySpace);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{"data\\qx7-1.txt|s1|F:\\"});
}

TEST_F(DriveChooser, EnterWithADriveSelectedStillAcceptsWithNoDrive)
{
    ProgramUnderTest program(true);
    HWND chooser = OpenChooser(program);
    ASSERT_NE(chooser, nullptr);
    HWND list = GetDlgItem(chooser, 1000);
    const RECT item = program.ListItemRect(list, 0);
    ClickAt({(item.left + item.right) / 2, (item.top + item.bottom) / 2});
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0) == 0; }))
        << "expected D:\\ selected after a click on it";
    PressKey(VK_RETURN);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{"data\\qx7-1.txt|s1|"});
}

TEST_F(DriveChooser, EscapeCancelsAndNothingHappens)
{
    ProgramUnderTest program(true);
    HWND chooser = OpenChooser(program);
    ASSERT_NE(chooser, nullptr);
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(program.WaitUntilGone(chooser)) << "expected Escape to close the chooser";
    // The main dialog takes a click again only once the cancelled "Make CD" has returned.
    ClickControl(GetDlgItem(m_dialog, 1002));
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(GetDlgItem(m_dialog, 1002), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    EXPECT_FALSE(program.HasDialog("KORVANTE 2", m_dialog)) << "expected no message";
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{});
}

struct DiscRequest {
    int radioId;
    const char* request;
};

class DiscRequests : public DriveChooser, public ::testing::WithParamInterface<DiscRequest> {};

TEST_P(DiscRequests, BuildGetsTheDiscsSortListOverlayCodeAndTheDrive)
{
    ProgramUnderTest program(true);
    HWND chooser = OpenChooser(program, GetParam().radioId);
    ASSERT_NE(chooser, nullptr);
    DoubleClickItem(program, chooser, 0);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{GetParam().request});
}

INSTANTIATE_TEST_SUITE_P(EachDisc, DiscRequests,
                         ::testing::Values(DiscRequest{1001, "data\\qx7-1.txt|s1|D:\\"},
                                           DiscRequest{1002, "data\\qx7-2.txt|s2|D:\\"},
                                           DiscRequest{1003, "data\\qx7-3.txt|s3|D:\\"},
                                           DiscRequest{1004, "data\\qx7-p.txt|pd|D:\\"}));

TEST_F(DriveChooser, LastDiscChosenWins)
{
    ProgramUnderTest program(true);
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ClickControl(GetDlgItem(dialog, 1002));
    HWND chooser = OpenChooser(program, 1004);
    ASSERT_NE(chooser, nullptr);
    DoubleClickItem(program, chooser, 0);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{"data\\qx7-p.txt|pd|D:\\"});
}

// Whether a drive holds a disc is the build's to find, as are its other failures; the box says
// which, naming the file as the system's code page spells it.
TEST_F(DriveChooser, FailedBuildOfAChosenDriveSaysWhyNamingTheFileInTheCodePage)
{
    ProgramUnderTest program;
    HWND chooser = OpenChooser(program);
    ASSERT_NE(chooser, nullptr);
    DoubleClickItem(program, chooser, 0);
    HWND box = program.WaitForDialog("KORVANTE 2", m_dialog);
    ASSERT_NE(box, nullptr) << "expected \"CD IMAGE NOT CREATED\"";
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{"data\\qx7-1.txt|s1|D:\\"});
    // The recording build fails on a disc file with a Japanese name, which no Western code page
    // spells: one default character for each letter, never the UTF-8 bytes.
    std::vector<std::string> texts;
    for (const ControlInfo& control : Controls(box))
        if (control.className == "Static" && !control.text.empty())
            texts.push_back(control.text);
    EXPECT_EQ(texts, std::vector<std::string>{
              "CD IMAGE NOT CREATED\n\nD:\\??.TXT was not copied whole: the CD may be scratched or was taken out, or "
              "the hard disk is full. Clean the CD or make room on the hard disk, then try again.\n\n"
              "Your earlier QX7.ISO, QX7Track2.bin and QX7.CUE are unchanged."});
    const RECT boxRect = WindowRect(box);
    EXPECT_TRUE(boxRect.right - boxRect.left <= 1024 && boxRect.bottom - boxRect.top <= 768)
        << "expected the box to fit a 1024x768 screen, found " << boxRect.right - boxRect.left << "x"
        << boxRect.bottom - boxRect.top;
}
