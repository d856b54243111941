#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Without a window manager, Wine waits two seconds for one to confirm each hidden window, unless
// its windows are unmanaged. Every case closes dialogs, so the whole run sets that for itself.
class UnmanagedWindows : public ::testing::Environment {
public:
    void SetUp() override
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
            RegCloseKey(key);
        }
    }
    void TearDown() override { RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "Managed"); }

private:
    static constexpr char kKey[] = "Software\\Wine\\X11 Driver";
};

const auto* const g_unmanagedWindows = ::testing::AddGlobalTestEnvironment(new UnmanagedWindows);

}  // namespace
