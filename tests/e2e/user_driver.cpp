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
//   expect-failure  wait for the "CD IMAGE NOT CREATED" box, close it with OK, and check that
//                 the main dialog is open and takes input again
//   close         press Escape in the main dialog and wait for the program to end
//   about N       N times: open the About box from the system menu (Alt+Space, Up, Enter) and
//                 close it with Enter
//   chooser-cycles N  N times: click "Make CD" and close the chooser with Escape
//   resources     print the program's GDI and USER object counts and its handle count
//
// Every line printed names what was expected and what was found. Exit code 0 when every step
// did what it expected, 1 otherwise, 2 for a bad command line.
#include "user_input.h"

#include <commctrl.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kBuildLimitMs = 300000;  // a whole build of a real disc, with its console windows

class Program {
public:
    explicit Program(const std::string& executable)
    {
        std::string commandLine = "\"" + executable + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        CreateProcessA(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &m_process);
    }
    ~Program()
    {
        if (m_process.hProcess == nullptr)
            return;
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_process.hProcess, 1);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return m_process.hProcess != nullptr; }
    HANDLE Process() const { return m_process.hProcess; }
    DWORD ThreadId() const { return m_process.dwThreadId; }

    bool WaitForExit(DWORD limitMs) const { return WaitForSingleObject(m_process.hProcess, limitMs) == WAIT_OBJECT_0; }

    // A visible top-level window of the program with this caption, waited for.
    HWND WaitForWindow(const std::string& caption, DWORD limitMs = kWaitLimitMs) const
    {
        HWND found = nullptr;
        const DWORD start = GetTickCount();
        while ((found = FindVisible(caption)) == nullptr && GetTickCount() - start < limitMs)
            Sleep(10);
        return found;
    }

private:
    HWND FindVisible(const std::string& caption) const
    {
        for (HWND window = FindWindowExA(nullptr, nullptr, nullptr, caption.c_str()); window != nullptr;
             window = FindWindowExA(nullptr, window, nullptr, caption.c_str())) {
            DWORD processId = 0;
            GetWindowThreadProcessId(window, &processId);
            if (processId == m_process.dwProcessId && IsWindowVisible(window))
                return window;
        }
        return nullptr;
    }

    PROCESS_INFORMATION m_process = {};
};

// Screen rectangle of a list view item in another process, read through that process's memory.
bool ListItemCentre(HANDLE process, HWND list, const std::string& text, POINT& centre)
{
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    constexpr SIZE_T kTextSize = 64;
    char* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kTextSize, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr)
        return false;
    bool found = false;
    for (int item = 0; item < count && !found; ++item) {
        LVITEMA row = {};
        row.pszText = remote + sizeof(LVITEMA);
        row.cchTextMax = kTextSize;
        WriteProcessMemory(process, remote, &row, sizeof row, nullptr);
        SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(remote));
        char itemText[kTextSize] = {};
        ReadProcessMemory(process, remote + sizeof(LVITEMA), itemText, kTextSize - 1, nullptr);
        if (text != itemText)
            continue;
        RECT rect = {LVIR_LABEL, 0, 0, 0};
        WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr);
        SendMessageA(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        found = true;
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return found;
}

std::string StaticTexts(HWND box)
{
    std::string texts;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = {};
        GetClassNameA(child, className, sizeof className);
        if (std::strcmp(className, "Static") == 0 && GetWindowTextLengthA(child) > 0)
            texts += (texts.empty() ? "" : " | ") + WindowText(child);
    }
    return texts;
}

// Wine answers GetGuiResources and another process's GetProcessHandleCount with 0, so the
// counts are also taken where Wine keeps them: the system handle list, the process's windows,
// and the GDI handle table that the process's PEB points to.
struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ULONG access;
};

long HandlesOwnedBy(DWORD processId)
{
    constexpr SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::string buffer(1 << 20, '\0');
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, &buffer[0], static_cast<ULONG>(buffer.size()),
                                              &needed)) == static_cast<NTSTATUS>(0xC0000004L) &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    const std::size_t entriesAt = sizeof(void*);  // the count, padded to the entries' alignment
    long owned = 0;
    for (ULONG i = 0; i < count; ++i) {
        SystemHandleEntry entry;
        std::memcpy(&entry, buffer.data() + entriesAt + i * sizeof entry, sizeof entry);
        owned += entry.ownerProcessId == processId;
    }
    return owned;
}

struct WindowTally {
    DWORD processId;
    long windows;
};

// Named callbacks: the 32-bit build needs their stdcall convention, which a lambda lacks.
BOOL CALLBACK CountChildWindow(HWND, LPARAM tally)
{
    ++reinterpret_cast<WindowTally*>(tally)->windows;
    return TRUE;
}

BOOL CALLBACK CountProcessWindow(HWND window, LPARAM tallyAddress)
{
    WindowTally* tally = reinterpret_cast<WindowTally*>(tallyAddress);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == tally->processId) {
        ++tally->windows;
        EnumChildWindows(window, CountChildWindow, tallyAddress);
    }
    return TRUE;
}

long WindowsOwnedBy(DWORD processId)
{
    WindowTally tally = {processId, 0};
    EnumWindows(CountProcessWindow, reinterpret_cast<LPARAM>(&tally));
    return tally.windows;
}

// Wine's GDI handle table: 65,536 entries of 24 bytes; a used entry has a type, and stock
// objects carry a flag in the upper bit of the byte after the owner.
long GdiObjectsIn(HANDLE process)
{
    PROCESS_BASIC_INFORMATION basic = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return -1;
    const std::size_t tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
    UINT_PTR table = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<char*>(basic.PebBaseAddress) + tableOffset, &table,
                           sizeof table, nullptr) || table == 0)
        return -1;
    constexpr std::size_t kEntrySize = 24, kEntries = 0x10000;
    std::string entries(kEntrySize * kEntries, '\0');
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(table), &entries[0], entries.size(), nullptr))
        return -1;
    long used = 0;
    for (std::size_t i = 0; i < kEntries; ++i) {
        const unsigned char* entry = reinterpret_cast<const unsigned char*>(entries.data()) + i * kEntrySize;
        const bool stock = (entry[12] & 0x80) != 0;
        used += entry[14] != 0 && !stock;
    }
    return used;
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

class User {
public:
    explicit User(const Program& program) : m_program(program) {}

    bool Begin()
    {
        m_main = m_program.WaitForWindow("KORVANTE 2");
        if (m_main == nullptr)
            return Fail("the main dialog \"KORVANTE 2\"", "no such window");
        // The first real input must find the dialog ready and active, as a user finds it.
        WaitForInputIdle(m_program.Process(), kWaitLimitMs);
        SetForegroundWindow(m_main);
        WaitFor([&] { return GetForegroundWindow() == m_main; });
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
        m_chooser = m_program.WaitForWindow("Select a CD Drive");
        if (m_chooser == nullptr)
            return Fail("the drive chooser", "no chooser");
        return Done("drive chooser shown");
    }

    bool Pick(char letter)
    {
        const std::string item = std::string(1, letter) + ":\\";
        POINT centre = {};
        if (m_chooser == nullptr || !ListItemCentre(m_program.Process(), GetDlgItem(m_chooser, 1000), item, centre))
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
        GUITHREADINFO thread = {};
        thread.cbSize = sizeof thread;
        if (!WaitFor([&] { return GetGUIThreadInfo(m_program.ThreadId(), &thread) && thread.hwndFocus == list; }))
            return Fail("the keyboard focus in the drive list", "it is elsewhere");
        SetForegroundWindow(m_chooser);
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
        SetForegroundWindow(m_chooser);
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
        const std::string texts = StaticTexts(box);
        if (texts != "CD IMAGE NOT CREATED")
            return Fail("the message \"CD IMAGE NOT CREATED\"", "\"" + texts + "\"");
        SetForegroundWindow(box);
        PressKey(VK_RETURN);
        if (!WaitFor([&] { return !IsWindow(box); }))
            return Fail("the message box to close on Enter", "it stayed");
        if (!WaitFor([&] { return IsWindowVisible(m_main) && IsWindowEnabled(m_main); }))
            return Fail("the main dialog open and enabled", "it is not");
        m_chooser = nullptr;
        return Done("message \"CD IMAGE NOT CREATED\" shown and closed; main dialog open");
    }

    bool Close()
    {
        if (!WaitFor([&] { return IsWindowEnabled(m_main); }))
            return Fail("the main dialog to take input", "it stayed disabled");
        SetForegroundWindow(m_main);
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
            if (!WaitFor([&] { return IsWindowEnabled(m_main); }))
                return Fail("the main dialog to take input", "it stayed disabled");
            SetForegroundWindow(m_main);
            PressKeyWith(VK_MENU, VK_SPACE);
            PressKey(VK_UP);
            PressKey(VK_RETURN);
            HWND about = m_program.WaitForWindow("About KORVANTE 2");
            if (about == nullptr)
                return Fail("the About box, time " + std::to_string(i + 1), "no such window");
            SetForegroundWindow(about);
            PressKey(VK_RETURN);
            if (!WaitFor([&] { return !IsWindow(about) && IsWindowEnabled(m_main); }))
                return Fail("the About box to close on Enter, time " + std::to_string(i + 1), "it stayed");
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

    const Program& m_program;
    HWND m_main = nullptr;
    HWND m_chooser = nullptr;
};

bool WaitForFile(const char* name)
{
    return WaitFor([&] { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; });
}

struct HeldFile {
    HANDLE handle;
    DWORD milliseconds;
};

DWORD WINAPI LetGoLater(LPVOID heldFile)
{
    const HeldFile* held = static_cast<const HeldFile*>(heldFile);
    Sleep(held->milliseconds);
    CloseHandle(held->handle);
    delete held;
    return 0;
}

bool Hold(const char* name, DWORD milliseconds)
{
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Fail(std::string("file ") + name + " to hold", "none");
    CloseHandle(CreateThread(nullptr, 0, LetGoLater, new HeldFile{file, milliseconds}, 0, nullptr));
    return Done(std::string("holding ") + name + " for " + std::to_string(milliseconds) + " ms");
}

HANDLE g_locked = INVALID_HANDLE_VALUE;

bool Lock(const char* name)
{
    if (g_locked != INVALID_HANDLE_VALUE)
        return Fail(std::string("no file locked before locking ") + name, "one");
    g_locked = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (g_locked == INVALID_HANDLE_VALUE)
        return Fail(std::string("file ") + name + " to lock", "none");
    return Done(std::string("locked ") + name + ", sharing reading only");
}

bool Unlock()
{
    if (g_locked == INVALID_HANDLE_VALUE)
        return Fail("a locked file to let go of", "none");
    CloseHandle(g_locked);
    g_locked = INVALID_HANDLE_VALUE;
    return Done("let go of the locked file");
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
    Program program(argv[first]);
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
            ok = Hold(argument, static_cast<DWORD>(std::atoi(argv[i + 2])));
            i += 2;
        } else if (step == "lock" && argument[0] != '\0') {
            ok = Lock(argument);
            ++i;
        } else if (step == "unlock") {
            ok = Unlock();
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
