#pragma once

// Runs the program's stand-in build in a working folder of its own and drives its windows as a
// user would: real mouse and keyboard input, read back through the Win32 API.
#include "program_windows.h"
#include "user_input.h"

#include <windows.h>

#include <string>
#include <vector>

constexpr char kEndsNormally[] = "expected the program to end with exit code 0 (259: still running)";

// Windows path of a file given to the test by a Unix path (Wine maps / to Z:).
std::string WindowsPath(const char* unixPath);
std::string EnvironmentPath(const char* variable);

// One control of a dialog, in the order the dialog holds them.
struct ControlInfo {
    HWND window;
    std::string className;
    int id;
    std::string text;
    DWORD style;
    DWORD exStyle;
    RECT rect;  // in the dialog's client coordinates
};

std::vector<ControlInfo> Controls(HWND dialog);

// A fresh empty folder of the test's, removed with everything in it at the end of the scope.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

class ProgramUnderTest {
public:
    // Starts the stand-in build in a fresh empty working folder; when a name is given, from a
    // copy of it by that name in that folder.
    explicit ProgramUnderTest(bool buildSucceeds = false, const std::string& copiedAs = {});
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // The main dialog, once it is shown; null if it did not show within the wait limit.
    HWND MainDialog();
    // A visible dialog of the program with this caption, other than `except`; null on time-out.
    HWND WaitForDialog(const std::string& caption, HWND except = nullptr);
    // Whether a visible dialog with this caption (other than `except`) exists right now.
    bool HasDialog(const std::string& caption, HWND except = nullptr) const;
    // The exit code once the program has ended; STILL_ACTIVE (259) when it did not end in time.
    DWORD WaitForExit();
    bool WaitUntilGone(HWND window) const;

    // The requests the recording build received, one "sort list|code|drive root" each.
    std::vector<std::string> BuildRequests() const { return Recorded("build-requests.txt"); }
    // The process's error mode during each build, in decimal.
    std::vector<std::string> BuildErrorModes() const { return Recorded("build-error-modes.txt"); }

    // List view items of the program's list control, read through its own memory.
    std::vector<std::string> ListItems(HWND list) const { return m_program.ListItems(list); }
    RECT ListItemRect(HWND list, int item) const { return m_program.ListItemRect(list, item); }  // screen coordinates

    // The window that has the keyboard focus in the program's thread.
    HWND FocusWindow() const { return m_program.FocusWindow(); }

private:
    std::vector<std::string> Recorded(const char* fileName) const;

    ScratchFolder m_folder;  // outlives the program, which holds it as its current folder
    RunningProgram m_program;
    HWND m_mainDialog = nullptr;
};

// Makes a drive letter a CD-ROM drive holding the Unix folder (a missing folder gives a drive
// with no disc), and removes it again at the end of the scope.
class CdromDrive {
public:
    CdromDrive(char letter, const std::string& unixFolder);
    ~CdromDrive();
    CdromDrive(const CdromDrive&) = delete;
    CdromDrive& operator=(const CdromDrive&) = delete;

    bool defined() const { return m_defined; }

private:
    char m_letter;
    bool m_defined;
};

// Runs a helper program to its end; its exit code, or -1 when it did not start.
int RunHelper(const std::string& commandLine);
