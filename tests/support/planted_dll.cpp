// comctl32.dll for tests: a DLL of a system name planted beside the program, as a zip or a
// download may leave one. Loaded into a process, it leaves the file planted-dll-ran in that
// process's current folder; a program that never loads it leaves none. Its one function
// registers nothing, so a program that used it would open no drive chooser.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        CloseHandle(CreateFileA("planted-dll-ran", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void*)
{
    return FALSE;
}
