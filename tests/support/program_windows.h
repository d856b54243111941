#pragma once

// Another process's program and its windows, as the tests see them: starting it, finding its
// dialogs, and reading its list views through its own memory. Shared by the UI tests and
// user_driver.exe.
#include <windows.h>

#include <string>
#include <vector>

// A program started by the test; ended by force if it still runs when the object goes.
class RunningProgram {
public:
    // Starts executable with the given working folder (empty: the test's own).
    RunningProgram(const std::string& executable, const std::string& workingFolder = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool Started() const { return m_process.hProcess != nullptr; }
    HANDLE Process() const { return m_process.hProcess; }
    DWORD ProcessId() const { return m_process.dwProcessId; }
    DWORD ThreadId() const { return m_process.dwThreadId; }

    // Whether the program ended within limitMs.
    bool WaitForExit(DWORD limitMs) const;
    // The exit code once the program has ended; STILL_ACTIVE (259) while it runs.
    DWORD ExitCode() const;

    // The program's visible dialogs with this caption, in Z order.
    std::vector<HWND> Dialogs(const std::string& caption) const;
    // A visible dialog of the program with this caption, other than `except`, waited for;
    // null when none showed within the wait limit.
    HWND WaitForDialog(const std::string& caption, HWND except = nullptr) const;
    // Waits until the main dialog shows, then until it is ready and active for real input, as
    // a user finds it; null when it did not show.
    HWND WaitForMainDialog(const std::string& caption) const;

    // The window that has the keyboard focus in the program's thread.
    HWND FocusWindow() const;

    // The items of the program's list view, read through the program's memory; and one item's
    // label rectangle in screen coordinates. Only a program of this test's own bitness answers.
    std::vector<std::string> ListItems(HWND list) const;
    RECT ListItemRect(HWND list, int item) const;

private:
    PROCESS_INFORMATION m_process = {};
};

std::string ClassName(HWND window);
