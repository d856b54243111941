#include "wine_resources.h"

#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A count read from Wine's own tables is trusted only while it grows by exactly the objects this
// process makes as it looks: a Wine upgrade may change the layout unseen.
template <typename Object, typename Count, typename Make, typename Destroy>
bool CountsOwnObjects(Count count, Make make, Destroy destroy, const char* counted)
{
    constexpr long kMade = 4;
    const long before = count();
    Object made[kMade];
    for (Object& object : made)
        object = make();
    const long during = count();
    for (Object object : made)
        destroy(object);
    if (before >= 0 && during - before == kMade)
        return true;
    std::fprintf(stderr, "user_driver: %s no longer reads as expected (%ld new objects counted as %ld more); "
                         "it cannot be counted\n", counted, kMade, during - before);
    return false;
}

struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ULONG access;
};

long HandlesInSystemList(DWORD processId)
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

}  // namespace

long HandlesOwnedBy(DWORD processId)
{
    const bool readable = CountsOwnObjects<HANDLE>([] { return HandlesInSystemList(GetCurrentProcessId()); },
                                                    [] { return CreateEventA(nullptr, FALSE, FALSE, nullptr); },
                                                    CloseHandle, "the system handle list");
    return readable ? HandlesInSystemList(processId) : -1;
}

namespace {

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

}  // namespace

long WindowsOwnedBy(DWORD processId)
{
    WindowTally tally = {processId, 0};
    EnumWindows(CountProcessWindow, reinterpret_cast<LPARAM>(&tally));
    return tally.windows;
}

namespace {

// Wine's GDI handle table: 65,536 entries of 24 bytes; a used entry has a type, and stock
// objects carry a flag in the upper bit of the byte after the owner. Wine's own layout, which a
// Wine upgrade may change: GdiObjectsIn checks it on this process first.
long UsedGdiTableEntries(HANDLE process)
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

}  // namespace

long GdiObjectsIn(HANDLE process)
{
    const bool readable = CountsOwnObjects<HBRUSH>([] { return UsedGdiTableEntries(GetCurrentProcess()); },
                                                    [] { return CreateSolidBrush(RGB(1, 2, 3)); }, DeleteObject,
                                                    "Wine's GDI handle table");
    return readable ? UsedGdiTableEntries(process) : -1;
}
