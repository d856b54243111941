// closed_console.exe /c LINE: a command interpreter for COMSPEC that plays a console window
// closed while copy works. Each line runs in the real cmd.exe, whose exit code it passes on.
// When the current folder holds data\closed-console, naming a file, the line after which that
// file first stands in temp ends as it does on Windows when the user closes the console (or
// presses Ctrl+Break) mid-copy: copy has already given the file its source's full size, so its
// tail is zeros, and cmd ends with STATUS_CONTROL_C_EXIT. data\ended-console plays the same
// copy's console process ended from Task Manager or by taskkill, where cmd ends with 1.
#include <windows.h>

#include <fstream>
#include <string>

namespace {

constexpr DWORD kControlCExit = 0xC000013A;
constexpr DWORD kEndedProcessExit = 1;

// The file the marker names, and the status with which the copy that stages it ends.
std::wstring FileToCutShort(DWORD& exitCode)
{
    for (const auto& [marker, status] : {std::make_pair("data\\closed-console", kControlCExit),
                                         std::make_pair("data\\ended-console", kEndedProcessExit)}) {
        std::ifstream named(marker);
        std::string name;
        if (std::getline(named, name) && !name.empty()) {
            exitCode = status;
            return L"temp\\" + std::wstring(name.begin(), name.end());
        }
    }
    return L"";
}

bool Exists(const std::wstring& path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD RunInCmd(const std::wstring& line)
{
    wchar_t systemFolder[MAX_PATH] = {};
    GetSystemDirectoryW(systemFolder, MAX_PATH);
    const std::wstring cmd = std::wstring(systemFolder) + L"\\cmd.exe";
    std::wstring commandLine = L"\"" + cmd + L"\" /c " + line;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(cmd.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 9009;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// The full size, with zeros after the first half: the part CopyFileEx had not written yet.
void CutShort(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size))
        return;
    LARGE_INTEGER half = {};
    half.QuadPart = size.QuadPart / 2;
    SetFilePointerEx(file, half, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

}  // namespace

int main()
{
    const std::wstring commandLine = GetCommandLineW();
    const std::size_t switchAt = commandLine.find(L"/c ");
    if (switchAt == std::wstring::npos)
        return 1;
    DWORD cutExitCode = 0;
    const std::wstring target = FileToCutShort(cutExitCode);
    const bool stagedBefore = Exists(target);
    const DWORD exitCode = RunInCmd(commandLine.substr(switchAt + 3));
    if (!target.empty() && !stagedBefore && Exists(target)) {
        CutShort(target);
        return static_cast<int>(cutExitCode);
    }
    return static_cast<int>(exitCode);
}
