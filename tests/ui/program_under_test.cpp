#include "program_under_test.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

std::string ClassName(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// Reserved memory in another process, released again at the end of the scope.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, SIZE_T size)
        : m_process(process), m_address(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE))
    {
    }
    ~RemoteBuffer() { VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE); }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* address() const { return static_cast<char*>(m_address); }
    void Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        WriteProcessMemory(m_process, address() + offset, data, size, nullptr);
    }
    void Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        ReadProcessMemory(m_process, address() + offset, data, size, nullptr);
    }

private:
    HANDLE m_process;
    void* m_address;
};

}  // namespace

std::string WindowsPath(const char* unixPath)
{
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string EnvironmentPath(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr ? WindowsPath(value) : std::string();
}

std::vector<ControlInfo> Controls(HWND dialog)
{
    std::vector<ControlInfo> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        ControlInfo control = {child, ClassName(child), GetDlgCtrlID(child), WindowText(child),
                               static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)),
                               static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE)), WindowRect(child)};
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.rect), 2);
        controls.push_back(control);
    }
    return controls;
}

int RunHelper(const std::string& commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kWaitLimitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

ProgramUnderTest::ProgramUnderTest(bool buildSucceeds, const std::string& copiedAs)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char folder[MAX_PATH];
    GetTempFileNameA(temp, "kui", 0, folder);
    DeleteFileA(folder);
    CreateDirectoryA(folder, nullptr);
    m_folder = folder;

    if (buildSucceeds)
        std::ofstream(m_folder + "\\build-succeeds");

    std::string program = EnvironmentPath("KORVANTE_STANDIN");
    if (!copiedAs.empty()) {
        const std::string copy = m_folder + "\\" + copiedAs;
        CopyFileA(program.c_str(), copy.c_str(), FALSE);
        program = copy;
    }
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, m_folder.c_str(),
                   &startup, &m_process);
}

ProgramUnderTest::~ProgramUnderTest()
{
    if (m_process.hProcess != nullptr) {
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, kWaitLimitMs);
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    RemoveTree(m_folder);
}

namespace {

struct DialogSearch {
    DWORD processId;
    const std::string* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter)
{
    DialogSearch* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window) && ClassName(window) == "#32770" &&
        WindowText(window) == *search->caption)
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> ProgramUnderTest::Dialogs(const std::string& caption) const
{
    DialogSearch search = {m_process.dwProcessId, &caption, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ProgramUnderTest::HasDialog(const std::string& caption, HWND except) const
{
    for (HWND window : Dialogs(caption))
        if (window != except)
            return true;
    return false;
}

HWND ProgramUnderTest::WaitForDialog(const std::string& caption, HWND except)
{
    HWND result = nullptr;
    WaitFor([&] {
        for (HWND window : Dialogs(caption))
            if (window != except)
                result = window;
        return result != nullptr;
    });
    return result;
}

HWND ProgramUnderTest::MainDialog()
{
    if (m_mainDialog == nullptr && m_process.hProcess != nullptr) {
        m_mainDialog = WaitForDialog("KORVANTE 2");
        // The first real input must find the dialog ready and active, as a user finds it.
        if (m_mainDialog != nullptr) {
            WaitForInputIdle(m_process.hProcess, kWaitLimitMs);
            SetForegroundWindow(m_mainDialog);
            WaitFor([&] { return GetForegroundWindow() == m_mainDialog; });
        }
    }
    return m_mainDialog;
}

DWORD ProgramUnderTest::WaitForExit()
{
    DWORD exitCode = STILL_ACTIVE;
    if (m_process.hProcess != nullptr && WaitForSingleObject(m_process.hProcess, kWaitLimitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_process.hProcess, &exitCode);
    return exitCode;
}

bool ProgramUnderTest::WaitUntilGone(HWND window) const
{
    return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

std::vector<std::string> ProgramUnderTest::Recorded(const char* fileName) const
{
    std::vector<std::string> lines;
    std::ifstream record(m_folder + "\\" + fileName);
    for (std::string line; std::getline(record, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> ProgramUnderTest::ListItems(HWND list) const
{
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    constexpr SIZE_T kTextSize = 256;
    RemoteBuffer remote(m_process.hProcess, sizeof(LVITEMA) + kTextSize);
    for (int item = 0; item < count; ++item) {
        LVITEMA row = {};
        row.iSubItem = 0;
        row.pszText = remote.address() + sizeof(LVITEMA);
        row.cchTextMax = kTextSize;
        remote.Write(0, &row, sizeof row);
        SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(remote.address()));
        char text[kTextSize] = {};
        remote.Read(sizeof(LVITEMA), text, kTextSize - 1);
        items.push_back(text);
    }
    return items;
}

RECT ProgramUnderTest::ListItemRect(HWND list, int item) const
{
    RemoteBuffer remote(m_process.hProcess, sizeof(RECT));
    RECT rect = {LVIR_LABEL, 0, 0, 0};
    remote.Write(0, &rect, sizeof rect);
    SendMessageA(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(remote.address()));
    remote.Read(0, &rect, sizeof rect);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND ProgramUnderTest::FocusWindow() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(m_process.dwThreadId, &info);
    return info.hwndFocus;
}

CdromDrive::CdromDrive(char letter, const std::string& unixFolder)
    : m_letter(letter),
      m_defined(RunHelper("\"" + EnvironmentPath("KORVANTE_CDROM_DRIVE") + "\" define " + letter + " " + unixFolder) == 0)
{
}

CdromDrive::~CdromDrive()
{
    RunHelper("\"" + EnvironmentPath("KORVANTE_CDROM_DRIVE") + "\" remove " + m_letter);
}
