#include "program_under_test.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

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

namespace {

// The stand-in build, or a copy of it by another name in the working folder.
std::string StandIn(const std::string& folder, const std::string& copiedAs)
{
    const std::string program = EnvironmentPath("KORVANTE_STANDIN");
    if (copiedAs.empty())
        return program;
    const std::string copy = folder + "\\" + copiedAs;
    CopyFileA(program.c_str(), copy.c_str(), FALSE);
    return copy;
}

// The recording build succeeds when its working folder holds build-succeeds.
const std::string& Prepared(const ScratchFolder& folder, bool buildSucceeds)
{
    if (buildSucceeds)
        std::ofstream(folder.path() + "\\build-succeeds");
    return folder.path();
}

}  // namespace

ScratchFolder::ScratchFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char folder[MAX_PATH];
    GetTempFileNameA(temp, "kui", 0, folder);
    DeleteFileA(folder);
    CreateDirectoryA(folder, nullptr);
    m_path = folder;
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(m_path);
}

ProgramUnderTest::ProgramUnderTest(bool buildSucceeds, const std::string& copiedAs)
    : m_program(StandIn(Prepared(m_folder, buildSucceeds), copiedAs), m_folder.path())
{
}

ProgramUnderTest::~ProgramUnderTest() = default;

bool ProgramUnderTest::HasDialog(const std::string& caption, HWND except) const
{
    for (HWND window : m_program.Dialogs(caption))
        if (window != except)
            return true;
    return false;
}

HWND ProgramUnderTest::WaitForDialog(const std::string& caption, HWND except)
{
    return m_program.WaitForDialog(caption, except);
}

HWND ProgramUnderTest::MainDialog()
{
    if (m_mainDialog == nullptr)
        m_mainDialog = m_program.WaitForMainDialog("KORVANTE 2");
    return m_mainDialog;
}

DWORD ProgramUnderTest::WaitForExit()
{
    m_program.WaitForExit(kWaitLimitMs);
    return m_program.ExitCode();
}

bool ProgramUnderTest::WaitUntilGone(HWND window) const
{
    return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

std::vector<std::string> ProgramUnderTest::Recorded(const char* fileName) const
{
    std::vector<std::string> lines;
    std::ifstream record(m_folder.path() + "\\" + fileName);
    for (std::string line; std::getline(record, line);)
        lines.push_back(line);
    return lines;
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
