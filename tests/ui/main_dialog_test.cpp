// The main dialog: the disc choice, "Make CD", the build's outcome, the About box and the ways
// out. Each case starts the program afresh and uses it with real clicks and keys.
#include "program_under_test.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int kRadios[] = {1001, 1002, 1003, 1004};
const char kChooser[] = "Select a CD Drive";

bool IsChecked(HWND dialog, int id)
{
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<int> CheckedRadios(HWND dialog)
{
    std::vector<int> checked;
    for (int id : kRadios)
        if (IsChecked(dialog, id))
            checked.push_back(id);
    return checked;
}

// Clicks a radio button and waits until it shows as selected. Input is handled in order, so
// once it shows, everything sent before it has been handled too.
bool ChooseDisc(HWND dialog, int id)
{
    ClickControl(GetDlgItem(dialog, id));
    return WaitFor([&] { return IsChecked(dialog, id); });
}

POINT Centre(const RECT& rect)
{
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Centred within a pixel: the halves of an odd difference round either way.
void ExpectCentredOver(HWND window, const RECT& area, const char* what)
{
    const POINT windowCentre = Centre(WindowRect(window));
    const POINT areaCentre = Centre(area);
    EXPECT_NEAR(windowCentre.x, areaCentre.x, 1) << "horizontal centre against " << what;
    EXPECT_NEAR(windowCentre.y, areaCentre.y, 1) << "vertical centre against " << what;
}

// The one visible push button captions and the static texts of a message box.
struct MessageBoxContent {
    std::vector<std::string> buttons;
    std::vector<std::string> texts;
    std::vector<HWND> icons;
};

MessageBoxContent ReadMessageBox(HWND box)
{
    MessageBoxContent content;
    for (const ControlInfo& control : Controls(box)) {
        if (!(control.style & WS_VISIBLE))
            continue;
        if (_stricmp(control.className.c_str(), "Button") == 0)
            content.buttons.push_back(control.text);
        else if ((control.style & SS_TYPEMASK) == SS_ICON)
            content.icons.push_back(control.window);
        else if (_stricmp(control.className.c_str(), "Static") == 0)
            content.texts.push_back(control.text);
    }
    return content;
}

// The standard icon that a message box's icon control shows: the one that, drawn over the
// control's background, gives the pixels on the screen. Empty when none matches exactly.
std::string ShownStandardIcon(HWND iconControl, std::string* mismatches)
{
    const int width = GetSystemMetrics(SM_CXICON);
    const int height = GetSystemMetrics(SM_CYICON);
    const RECT place = WindowRect(iconControl);

    HDC screen = GetDC(nullptr);
    HDC shot = CreateCompatibleDC(screen);
    HBITMAP shotBitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ shotPrevious = SelectObject(shot, shotBitmap);
    BitBlt(shot, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP canvasBitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ canvasPrevious = SelectObject(canvas, canvasBitmap);

    const std::pair<LPCSTR, const char*> candidates[] = {
        {IDI_HAND, "hand"}, {IDI_QUESTION, "question"}, {IDI_EXCLAMATION, "exclamation"}, {IDI_ASTERISK, "asterisk"}};
    std::string shown;
    mismatches->clear();
    for (const auto& [id, name] : candidates) {
        // The icon's transparent corner shows the background.
        HBRUSH background = CreateSolidBrush(GetPixel(shot, 0, 0));
        const RECT all = {0, 0, width, height};
        FillRect(canvas, &all, background);
        DeleteObject(background);
        DrawIconEx(canvas, 0, 0, LoadIconA(nullptr, id), width, height, 0, nullptr, DI_NORMAL);
        int differing = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                differing += GetPixel(canvas, x, y) != GetPixel(shot, x, y);
        *mismatches += std::string(name) + ": " + std::to_string(differing) + " pixels differ; ";
        if (differing == 0)
            shown = name;
    }

    SelectObject(canvas, canvasPrevious);
    DeleteObject(canvasBitmap);
    DeleteDC(canvas);
    SelectObject(shot, shotPrevious);
    DeleteObject(shotBitmap);
    DeleteDC(shot);
    ReleaseDC(nullptr, screen);
    return shown;
}

}  // namespace

TEST(MainDialog, OpensCentredOnTheScreenWithNoDiscChosenAndTheFocusOnMakeCd)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr) << "expected the main dialog \"KORVANTE 2\", found none";

    RECT workArea;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    ExpectCentredOver(dialog, workArea, "the screen's work area");
    EXPECT_EQ(CheckedRadios(dialog), std::vector<int>{}) << "no disc chosen at start";
    EXPECT_EQ(program.FocusWindow(), GetDlgItem(dialog, IDOK))
        << "expected the focus on \"Make CD\", found it on \"" << WindowText(program.FocusWindow()) << "\"";
}

TEST(MainDialog, RadioButtonsExcludeOneAnother)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    for (int id : {1003, 1001, 1004, 1002}) {
        ASSERT_TRUE(ChooseDisc(dialog, id)) << "radio " << id << " did not show as selected after a click";
        EXPECT_EQ(CheckedRadios(dialog), std::vector<int>{id});
    }
}

TEST(MainDialog, MakeCdWithNoDiscChosenDoesNothing)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);

    ClickControl(GetDlgItem(dialog, IDOK));
    PressKey(VK_RETURN);
    // A chooser would have disabled the dialog, and this click would not get through.
    ASSERT_TRUE(ChooseDisc(dialog, 1001)) << "the main dialog took no click after \"Make CD\"";
    EXPECT_FALSE(program.HasDialog(kChooser)) << "expected no drive chooser without a disc chosen";
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{});
}

TEST(MainDialog, MakeCdAfterADiscOpensTheChooserOwnedByAndCentredOverTheDisabledMainDialog)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ChooseDisc(dialog, 1004));
    ClickControl(GetDlgItem(dialog, IDOK));

    HWND chooser = program.WaitForDialog(kChooser);
    ASSERT_NE(chooser, nullptr) << "expected \"Select a CD Drive\" after \"Prem D\" and \"Make CD\"";
    EXPECT_EQ(GetWindow(chooser, GW_OWNER), dialog) << "chooser's owner";
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "main dialog disabled while the chooser is open";
    ExpectCentredOver(chooser, WindowRect(dialog), "the main dialog");
}

TEST(MainDialog, UpChoosesADiscFromMakeCdAndEnterCountsAsMakeCd)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    // The keyboard route README.TXT gives: the controls form one group, so Up from "Make CD",
    // where the focus starts, wraps round to the last one, "Prem D", and chooses it.
    PressKey(VK_UP);
    ASSERT_TRUE(WaitFor([&] { return IsChecked(dialog, 1004); })) << "expected Up to choose \"Prem D\"";
    PressKey(VK_RETURN);
    EXPECT_NE(program.WaitForDialog(kChooser), nullptr) << "expected the chooser after Enter";
}

TEST(MainDialog, EnterOnCancelEndsTheProgram)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ChooseDisc(dialog, 1002));
    // From the clicked radio button the tab stops wrap round to "Make CD", then "Cancel".
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    ASSERT_TRUE(WaitFor([&] { return program.FocusWindow() == GetDlgItem(dialog, IDCANCEL); }))
        << "expected Tab to move the focus to \"Cancel\"";
    PressKey(VK_RETURN);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{});
}

TEST(MainDialog, CancelButtonEndsTheProgram)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ClickControl(GetDlgItem(dialog, IDCANCEL));
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
}

TEST(MainDialog, EscapeEndsTheProgram)
{
    ProgramUnderTest program;
    ASSERT_NE(program.MainDialog(), nullptr);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
}

TEST(MainDialog, CloseCommandEndsTheProgram)
{
    ProgramUnderTest program;
    ASSERT_NE(program.MainDialog(), nullptr);
    // The command the close box and Alt+F4 send; without a window manager there is no box, and
    // Wine may let go of a sent Alt (see ChooseLastSystemMenuItem).
    PostMessageA(program.MainDialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
}

TEST(MainDialog, FailedBuildShowsCdImageNotCreatedAndTheDialogStaysOpen)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ChooseDisc(dialog, 1003));
    ClickControl(GetDlgItem(dialog, IDOK));
    HWND chooser = program.WaitForDialog(kChooser);
    ASSERT_NE(chooser, nullptr);
    // No CD-ROM drive is defined here: the chooser lists none, and Enter accepts it empty.
    PressKey(VK_RETURN);

    HWND box = program.WaitForDialog("KORVANTE 2", dialog);
    ASSERT_NE(box, nullptr) << "expected a message box captioned \"KORVANTE 2\"";
    const MessageBoxContent content = ReadMessageBox(box);
    // The reason below the headline, its own for a PC with no CD drive; the recording build had
    // no earlier image to speak of.
    EXPECT_EQ(content.texts, std::vector<std::string>{
                                 "CD IMAGE NOT CREATED\n\nWindows shows no CD drive on this PC, so \"Select a CD Drive\" "
                                 "listed none. Connect a CD drive, or mount an image of the disc as a drive, then try again."});
    EXPECT_EQ(content.buttons, std::vector<std::string>{"OK"});
    ASSERT_EQ(content.icons.size(), 1u) << "expected one icon in the box";
    std::string mismatches;
    EXPECT_TRUE(WaitFor([&] { return ShownStandardIcon(content.icons[0], &mismatches) == "exclamation"; }))
        << "expected the exclamation-mark icon; " << mismatches;
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog) << "message box's owner";
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "main dialog disabled while the box is open";

    PressKey(VK_RETURN);
    ASSERT_TRUE(program.WaitUntilGone(box));
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(dialog); })) << "main dialog enabled again";
    EXPECT_EQ(CheckedRadios(dialog), std::vector<int>{1003}) << "the choice stays";
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{}) << "a build run with no drive to read";

    // Another try is possible at once.
    ClickControl(GetDlgItem(dialog, IDOK));
    EXPECT_NE(program.WaitForDialog(kChooser), nullptr) << "expected the chooser for a second try";
}

TEST(MainDialog, MessageBoxCaptionIsTheExecutablesName)
{
    ProgramUnderTest program(false, "DISC TOOL.EXE");
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ChooseDisc(dialog, 1001));
    PressKey(VK_RETURN);
    ASSERT_NE(program.WaitForDialog(kChooser), nullptr);
    PressKey(VK_RETURN);
    EXPECT_NE(program.WaitForDialog("DISC TOOL"), nullptr) << "expected the box captioned \"DISC TOOL\"";
}

TEST(MainDialog, SuccessfulBuildEndsTheProgramWithoutAMessage)
{
    // A drive for the chooser to list: Enter in an empty one is refused before any build.
    const CdromDrive drive('D', std::string(std::getenv("KORVANTE_DRIVE_FOLDERS")) + "/main-dialog");
    ASSERT_TRUE(drive.defined()) << "could not make the CD-ROM drive D:";
    ProgramUnderTest program(true);
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ChooseDisc(dialog, 1001));
    PressKey(VK_RETURN);
    ASSERT_NE(program.WaitForDialog(kChooser), nullptr);
    PressKey(VK_RETURN);
    EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    EXPECT_FALSE(program.HasDialog("KORVANTE 2", dialog)) << "expected no message";
    EXPECT_EQ(program.BuildRequests(), std::vector<std::string>{"data\\qx7-1.txt|s1|"});
}

TEST(MainDialog, SystemMenusLastItemOpensTheAboutBoxCentredOverTheDialogAndClosingKeepsTheChoice)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ChooseDisc(dialog, 1004));

    ASSERT_TRUE(ChooseLastSystemMenuItem(dialog)) << "expected the system menu open";
    HWND about = program.WaitForDialog("About KORVANTE 2");
    ASSERT_NE(about, nullptr) << "expected the About box from the system menu's last item";
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog) << "About box's owner";
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "main dialog disabled while the About box is open";
    ExpectCentredOver(about, WindowRect(dialog), "the main dialog");

    PressKey(VK_RETURN);
    ASSERT_TRUE(program.WaitUntilGone(about));
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(dialog); }));
    EXPECT_EQ(CheckedRadios(dialog), std::vector<int>{1004});
    ClickControl(GetDlgItem(dialog, IDOK));
    EXPECT_NE(program.WaitForDialog(kChooser), nullptr) << "the choice of \"Prem D\" stays after the About box";
}

namespace {

// Wine's WinHelpA sends its request by WM_COPYDATA, tagged and laid out as here with the help
// file's name after it, to the first window of the help viewer's class.
struct HelpRequest {
    WORD size, command;
    LONG context, reserved;
    WORD fileNameOffset, dataOffset;
};
std::string g_helpAsked;  // "command context file"

LRESULT CALLBACK HelpViewerStandIn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const COPYDATASTRUCT* copied = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (message != WM_COPYDATA || copied->dwData != 0xA1DE505)
        return DefWindowProcA(window, message, wParam, lParam);
    const HelpRequest* request = static_cast<const HelpRequest*>(copied->lpData);
    g_helpAsked = std::to_string(request->command) + " " + std::to_string(request->context) + " " +
                  (static_cast<const char*>(copied->lpData) + request->fileNameOffset);
    return TRUE;
}

}  // namespace

TEST(MainDialog, F1AsksTheHelpViewerForTheMainDialogsTopicInTheHelpFileNamedAfterTheExecutable)
{
    // In place of the system's viewer, which shows no context, only that it finds no such file.
    WNDCLASSA viewerClass = {};
    viewerClass.lpfnWndProc = HelpViewerStandIn;
    viewerClass.hInstance = GetModuleHandleA(nullptr);
    viewerClass.lpszClassName = "MS_WINHELP";
    RegisterClassA(&viewerClass);
    HWND viewer = CreateWindowA("MS_WINHELP", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, viewerClass.hInstance, nullptr);
    ProgramUnderTest program;
    ASSERT_NE(program.MainDialog(), nullptr);
    PressKey(VK_F1);
    WaitFor([] {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        return !g_helpAsked.empty();
    });
    DestroyWindow(viewer);
    std::string helpFile = EnvironmentPath("KORVANTE_STANDIN");
    helpFile.replace(helpFile.size() - 4, 4, ".HLP");
    EXPECT_EQ(g_helpAsked, std::to_string(HELP_CONTEXT) + " " + std::to_string(0x20000 + 102) + " " + helpFile)
        << "HELP_CONTEXT, 0x20000 plus the main dialog's template id, the help file beside the program";
}
