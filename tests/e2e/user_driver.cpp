// Plays a user of the real program: starts it in the current folder and works its windows
// with real clicks and keys, then reports what the program did.
//
//   user_driver.exe [-e NAME=VALUE]... <program> <step>...
//
// Each -e sets a variable in the program's environment (an empty VALUE removes it).
//
// Steps, in order:
//   disc N        click the radio button of catalogue row N (0-3)
//   make-cd       click "Make CD" and wait for "Select a CD Drive"
//   pick L        double-click the chooser's item L:\ (fails if the chooser does not list it)
//   type-pick L   type L in the chooser's list, whose type-ahead marks L:\, then double-click the
//                 list below its items, which takes the marked drive. Reads nothing through the
//                 program's memory, so it also drives a program of the other bitness
//   enter         press Enter in the chooser
//   escape        press Escape in the chooser
//   wait-file F   wait until file F exists in the current folder (the test mends something)
//   hold F MS     open file F without delete sharing, as a virus scanner or Explorer's preview
//                 pane may, and let go of it MS milliseconds later
//   lock F        open file F sharing reading only, as Windows holds a mounted image and a
//                 burning program or an emulator an open one, until unlock
//   unlock        let go of the file taken by lock
//   expect-exit   wait until the program has ended by itself
//   expect-failure  wait for the "CD IMAGE NOT CREATED" box with its reason, close it with OK,
//                 and check that the main dialog is open and takes input again; prints the
//                 message, its lines joined by " / "
//   close         press Escape in the main dialog and wait for the program to end
//   about N       N times: open the About box from the system menu (opened as Alt+Space opens
//                 it, then Up, Enter) and close it with Enter
//   chooser-cycles N  N times: click "Make CD" and close the chooser with Escape
//   resources     print the program's GDI and USER object counts and its handle count
//
// Every line printed names what was expected and what was found. Exit code 0 when every step
// did what it expected, 1 otherwise, 2 for a bad command line.
#include "file_faults.h"
#include "program_windows.h"
#include "user_input.h"
#include "wine_resources.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kBuildLimitMs = 300000;  // a whole build of a real disc, with its console windows

// The centre of the list view item with this text, in screen coordinates.
bool ListItemCentre(const RunningProgram& program, HWND list, const std::string& text, POINT& centre)
{
    const std::vector<std::string> items = program.ListItems(list);
    for (std::size_t item = 0; item < items.size(); ++item) {
        if (items[item] != text)
            continue;
        const RECT rect = program.ListItemRect(list, static_cast<int>(item));
        centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        return true;
    }
    return false;
}

std::string StaticTexts(HWND box)
{
    std::string texts;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == "Static" && GetWindowTextLengthA(child) > 0)
            texts += (texts.empty() ? "" : " | ") + WindowText(child);
    }
    return texts;
}

bool Fail(const std::string& expected, const std::string& found)
{
    std::printf("FAILED: expected %s, found %s\n", expected.c_str(), found.c_str());
    return false;
}

bool Done(const std::string& what)
{
    std::printf("ok: %s\n", what.c_str());
    return true;
}

bool Report(const FaultResult& result)
{
    return result.done ? Done(result.what) : Fail(result.what, result.found);
}

class User {
public:
    explicit User(const RunningProgram& program) : m_program(program) {}

    bool Begin()
    {
        m_main = m_program.WaitForMainDialog("KORVANTE 2");
        if (m_main == nullptr)
            return Fail("the main dialog \"KORVANTE 2\"", "no such window");
        return Done("main dialog shown");
    }

    bool ChooseDisc(int row)
    {
        HWND radio = GetDlgItem(m_main, 1001 + row);
        ClickControl(radio);
        if (!WaitFor([&] { return SendMessageA(radio, BM_GETCHECK, 0, 0) == BST_CHECKED; }))
            return Fail("radio " + std::to_string(1001 + row) + " checked", "unchecked");
        return Done("chose " + WindowText(radio));
    }

    bool MakeCd()
    {
        ClickControl(GetDlgItem(m_main, IDOK));
        m_chooser = m_program.WaitForDialog("Select a CD Drive");
        if (m_chooser == nullptr)
            return Fail("the drive chooser", "no chooser");
        return Done("drive chooser shown");
    }

    bool Pick(char letter)
    {
        const std::string item = std::string(1, letter) + ":\\";
        POINT centre = {};
        if (m_chooser == nullptr || !ListItemCentre(m_program, GetDlgItem(m_chooser, 1000), item, centre))
            return Fail("the chooser to list " + item, "no such item");
        DoubleClickAt(centre);
        return Done("double-clicked " + item);
    }

    // A 64-bit process's buffers reach no 32-bit list view (they come back unwritten), so the
    // drive is found by what this process sees itself: the chooser lists the CD-ROM drives
    // among A: to Y: in letter order.
    bool TypePick(char letter)
    {
        const std::string item = std::string(1, letter) + ":\\";
        int position = -1, drives = 0;
        for (char drive = 'A'; drive <= 'Y'; ++drive) {
            const std::string root = std::string(1, drive) + ":\\";
            if (GetDriveTypeA(root.c_str()) == DRIVE_CDROM) {
                if (drive == letter)
                    position = drives;
                ++drives;
            }
        }
        if (m_chooser == nullptr || position < 0)
            return Fail("the chooser and CD-ROM drive " + item, "none");
        HWND list = GetDlgItem(m_chooser, 1000);
        const int listed = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        if (listed != drives)
            return Fail(std::to_string(drives) + " drives listed", std::to_string(listed));
        if (!WaitFor([&] { return m_program.FocusWindow() == list; }) || !BringToFront(m_chooser))
            return Fail("the keyboard focus in the drive list", "it is elsewhere");
        PressKey(static_cast<WORD>(letter));
        if (!WaitFor([&] { return SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0) == position; }))
            return Fail(item + " marked (item " + std::to_string(position) + ")",
                        "item " + std::to_string(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0)));
        // Inside the client area: the list's bottom edge holds its scroll bar.
        RECT client;
        GetClientRect(list, &client);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&client), 2);
        DoubleClickAt({(client.left + client.right) / 2, client.bottom - 8});
        return Done("typed " + std::string(1, letter) + " and double-clicked below the items");
    }

    bool PressInChooser(WORD key, const char* name)
    {
        if (m_chooser == nullptr)
            return Fail("the drive chooser", "no chooser");
        if (!BringToFront(m_chooser))
            return Fail("the drive chooser in front", "another window");
        PressKey(key);
        if (!WaitFor([&] { return !IsWindow(m_chooser); }))
            return Fail(std::string("the chooser to close on ") + name, "it stayed open");
        m_chooser = nullptr;
        return Done(std::string("pressed ") + name + " in the chooser; it closed");
    }

    bool ExpectExit()
    {
        if (!m_program.WaitForExit(kBuildLimitMs)) {
            HWND box = FindMessageBox();
            return Fail("the program to end", box ? "a message box: " + StaticTexts(box) : "it still runs");
        }
        return Done("program ended");
    }

    bool ExpectFailure()
    {
        HWND box = nullptr;
        const DWORD start = GetTickCount();
        while ((box = FindMessageBox()) == nullptr && GetTickCount() - start < kBuildLimitMs) {
            if (m_program.WaitForExit(10))
                return Fail("the message \"CD IMAGE NOT CREATED\"", "the program ended");
        }
        if (box == nullptr)
            return Fail("the message \"CD IMAGE NOT CREATED\"", "no message box");
        // The headline, then the reason after a blank line; shown on one line here.
        std::string texts = StaticTexts(box);
        if (texts.rfind("CD IMAGE NOT CREATED\n\n", 0) != 0 || texts.size() <= 22)
            return Fail("the message \"CD IMAGE NOT CREATED\" with its reason", "\"" + texts + "\"");
        for (std::string::size_type end; (end = texts.find('\n')) != std::string::npos;)
            texts.replace(end, 1, " / ");
        if (!BringToFront(box))
            return Fail("the message box in front", "another window");
        PressKey(VK_RETURN);
        if (!WaitFor([&] { return !IsWindow(box); }))
            return Fail("the message box to close on Enter", "it stayed");
        if (!WaitFor([&] { return IsWindowVisible(m_main) && IsWindowEnabled(m_main); }))
            return Fail("the main dialog open and enabled", "it is not");
        m_chooser = nullptr;
        return Done("message shown and closed; main dialog open; it said: " + texts);
    }

    bool Close()
    {
        if (!WaitFor([&] { return IsWindowEnabled(m_main); }))
            return Fail("the main dialog to take input", "it stayed disabled");
        if (!BringToFront(m_main))
            return Fail("the main dialog in front", "another window");
        PressKey(VK_ESCAPE);
        if (!m_program.WaitForExit(kWaitLimitMs))
            return Fail("the program to end on Escape", "it still runs");
        return Done("program closed with Escape");
    }

    // Wine puts its own item above the program's in the system menu: Up from the top reaches
    // the last item, the About command.
    bool OpenAndCloseAbout(int times)
    {
        for (int i = 0; i < times; ++i) {
            const std::string time = ", time " + std::to_string(i + 1);
            if (!WaitFor([&] { return IsWindowEnabled(m_main); }))
                return Fail("the main dialog to take input", "it stayed disabled");
            if (!BringToFront(m_main))
                return Fail("the main dialog in front" + time, "another window");
            if (!ChooseLastSystemMenuItem(m_main))
                return Fail("the system menu open" + time, "no menu");
            HWND about = m_program.WaitForDialog("About KORVANTE 2");
            if (about == nullptr)
                return Fail("the About box" + time, "no such window");
            if (!BringToFront(about))
                return Fail("the About box in front" + time, "another window");
            PressKey(VK_RETURN);
            if (!WaitFor([&] { return !IsWindow(about) && IsWindowEnabled(m_main); }))
                return Fail("the About box to close on Enter" + time, "it stayed");
        }
        return Done("opened and closed the About box " + std::to_string(times) + " times");
    }

    bool CycleChooser(int times)
    {
        for (int i = 0; i < times; ++i) {
            if (!WaitFor([&] { return IsWindowEnabled(m_main); }))
                return Fail("the main dialog to take input", "it stayed disabled");
            if (!MakeCd() || !PressInChooser(VK_ESCAPE, "Escape"))
                return Fail("chooser cycle " + std::to_string(i + 1) + " to open and close", "it did not");
        }
        return Done("opened and closed the chooser " + std::to_string(times) + " times");
    }

    bool ReportResources()
    {
        HANDLE process = m_program.Process();
        DWORD handles = 0;
        GetProcessHandleCount(process, &handles);
        std::printf("resources: GetGuiResources gdi %lu user %lu, GetProcessHandleCount %lu; "
                    "gdi-table %ld windows %ld handles %ld\n",
                    static_cast<unsigned long>(GetGuiResources(process, GR_GDIOBJECTS)),
                    static_cast<unsigned long>(GetGuiResources(process, GR_USEROBJECTS)),
                    static_cast<unsigned long>(handles), GdiObjectsIn(process),
                    WindowsOwnedBy(GetProcessId(process)), HandlesOwnedBy(GetProcessId(process)));
        return true;
    }

private:
    // The message box is a dialog captioned with the program's title, owned by the main dialog.
    HWND FindMessageBox() const
    {
        for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", "KORVANTE 2"); window != nullptr;
             window = FindWindowExA(nullptr, window, "#32770", "KORVANTE 2"))
            if (window != m_main && GetWindow(window, GW_OWNER) == m_main && IsWindowVisible(window))
                return window;
        return nullptr;
    }

    const RunningProgram& m_program;
    HWND m_main = nullptr;
    HWND m_chooser = nullptr;
};

bool WaitForFile(const char* name)
{
    return WaitFor([&] { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; });
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: user_driver [-e NAME=VALUE]... <program> <step>...\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int first = 1;
    for (; first + 2 < argc && std::strcmp(argv[first], "-e") == 0; first += 2) {
        std::string setting = argv[first + 1];
        const std::size_t equals = setting.find('=');
        if (equals == std::string::npos || equals == 0) {
            std::fprintf(stderr, "user_driver: -e wants NAME=VALUE, not %s\n", setting.c_str());
            return 2;
        }
        const std::string value = setting.substr(equals + 1);
        SetEnvironmentVariableA(setting.substr(0, equals).c_str(), value.empty() ? nullptr : value.c_str());
    }
    RunningProgram program(argv[first]);
    if (!program.Started())
        return Fail("the program to start", "CreateProcess failed"), 1;
    User user(program);
    bool ok = user.Begin();
    for (int i = first + 1; ok && i < argc; ++i) {
        const std::string step = argv[i];
        const char* argument = i + 1 < argc ? argv[i + 1] : "";
        if (step == "disc" && argument[0] >= '0' && argument[0] <= '3') {
            ok = user.ChooseDisc(argument[0] - '0');
            ++i;
        } else if (step == "make-cd") {
            ok = user.MakeCd();
        } else if (step == "pick" && argument[0] != '\0') {
            ok = user.Pick(argument[0]);
            ++i;
        } else if (step == "type-pick" && argument[0] != '\0') {
            ok = user.TypePick(argument[0]);
            ++i;
        } else if (step == "enter") {
            ok = user.PressInChooser(VK_RETURN, "Enter");
        } else if (step == "escape") {
            ok = user.PressInChooser(VK_ESCAPE, "Escape");
        } else if (step == "wait-file" && argument[0] != '\0') {
            ok = WaitForFile(argument) ? Done(std::string("found ") + argument)
                                       : Fail(std::string("file ") + argument, "none");
            ++i;
        } else if (step == "hold" && i + 2 < argc && std::atoi(argv[i + 2]) > 0) {
            ok = Report(HoldFile(argument, static_cast<DWORD>(std::atoi(argv[i + 2]))));
            i += 2;
        } else if (step == "lock" && argument[0] != '\0') {
            ok = Report(LockFile(argument));
            ++i;
        } else if (step == "unlock") {
            ok = Report(UnlockFile());
        } else if (step == "expect-exit") {
            ok = user.ExpectExit();
        } else if (step == "expect-failure") {
            ok = user.ExpectFailure();
        } else if (step == "close") {
            ok = user.Close();
        } else if (step == "about" && std::atoi(argument) > 0) {
            ok = user.OpenAndCloseAbout(std::atoi(argument));
            ++i;
        } else if (step == "chooser-cycles" && std::atoi(argument) > 0) {
            ok = user.CycleChooser(std::atoi(argument));
            ++i;
        } else if (step == "resources") {
            ok = user.ReportResources();
        } else {
            std::fprintf(stderr, "user_driver: unknown step %s\n", step.c_str());
            return 2;
        }
    }
    return ok ? 0 : 1;
}
