#pragma once

// What another process holds, counted where Wine keeps it: Wine answers GetGuiResources and
// another process's GetProcessHandleCount with 0. Each count is -1 when it cannot be taken.
#include <windows.h>

// From the system handle list; -1, with a message on standard error, when it no longer reads as
// this code expects (checked on this process first).
long HandlesOwnedBy(DWORD processId);
long WindowsOwnedBy(DWORD processId);
// From Wine's private GDI handle table; -1 and a message likewise.
long GdiObjectsIn(HANDLE process);
