#include "program_windows.h"

#include "user_input.h"

#include <commctrl.h>

namespace {

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

struct DialogSearch {
    DWORD processId;
    const std::string* caption;
    std::vector<HWND> found;
};

// A named callback: the 32-bit build needs its stdcall convention, which a lambda lacks.
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

std::string ClassName(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

RunningProgram::RunningProgram(const std::string& executable, const std::string& workingFolder)
{
    std::string commandLine = "\"" + executable + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &m_process))
        m_process = {};
}

RunningProgram::~RunningProgram()
{
    if (m_process.hProcess == nullptr)
        return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, kWaitLimitMs);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

bool RunningProgram::WaitForExit(DWORD limitMs) const
{
    return m_process.hProcess != nullptr && WaitForSingleObject(m_process.hProcess, limitMs) == WAIT_OBJECT_0;
}

DWORD RunningProgram::ExitCode() const
{
    DWORD exitCode = STILL_ACTIVE;
    if (m_process.hProcess != nullptr)
        GetExitCodeProcess(m_process.hProcess, &exitCode);
    return exitCode;
}

std::vector<HWND> RunningProgram::Dialogs(const std::string& caption) const
{
    DialogSearch search = {m_process.dwProcessId, &caption, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND RunningProgram::WaitForDialog(const std::string& caption, HWND except) const
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

HWND RunningProgram::WaitForMainDialog(const std::string& caption) const
{
    HWND main = m_process.hProcess != nullptr ? WaitForDialog(caption) : nullptr;
    if (main != nullptr) {
        WaitForInputIdle(m_process.hProcess, kWaitLimitMs);
        BringToFront(main);
    }
    return main;
}

HWND RunningProgram::FocusWindow() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(m_process.dwThreadId, &info);
    return info.hwndFocus;
}

std::vector<std::string> RunningProgram::ListItems(HWND list) const
{
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    constexpr SIZE_T kTextSize = 256;
    RemoteBuffer remote(m_process.hProcess, sizeof(LVITEMA) + kTextSize);
    for (int item = 0; item < count; ++item) {
        LVITEMA row = {};
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

RECT RunningProgram::ListItemRect(HWND list, int item) const
{
    RemoteBuffer remote(m_process.hProcess, sizeof(RECT));
    RECT rect = {LVIR_LABEL, 0, 0, 0};
    remote.Write(0, &rect, sizeof rect);
    SendMessageA(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(remote.address()));
    remote.Read(0, &rect, sizeof rect);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
