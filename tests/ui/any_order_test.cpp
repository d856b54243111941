// Any order of user actions leaves the program running and answering, or ended normally.
#include "program_under_test.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The program's thread answers a message; a crashed program stops in the debugger and does not.
bool Answers(HWND window)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitLimitMs, &ignored) != 0;
}

// One user action on whatever window is on top of the program.
void RandomAction(std::mt19937& random, HWND mainDialog)
{
    const int radios[] = {1001, 1002, 1003, 1004};
    switch (random() % 8) {
    case 0:
    case 1:
        ClickControl(GetDlgItem(mainDialog, radios[random() % 4]));
        break;
    case 2:
        ClickControl(GetDlgItem(mainDialog, IDOK));
        break;
    case 3:
        PressKey(VK_RETURN);
        break;
    case 4:
        PressKey(random() % 4 == 0 ? VK_ESCAPE : VK_TAB);
        break;
    case 5: {
        // Into the chooser's list, if it is open, on an item or on empty space.
        HWND chooser = FindWindowA("#32770", "Select a CD Drive");
        if (chooser != nullptr) {
            const RECT list = WindowRect(GetDlgItem(chooser, 1000));
            DoubleClickAt({list.left + 12, list.top + 6 + static_cast<LONG>(random() % 60)});
        }
        break;
    }
    case 6:
        PressKeyWith(VK_MENU, VK_SPACE);
        PressKey(VK_UP);
        PressKey(VK_RETURN);
        break;
    default:
        PressKey(VK_SPACE);
        break;
    }
}

}  // namespace

TEST(AnyOrder, RandomUseNeverCrashesTheProgram)
{
    std::mt19937 random(20261207);
    for (int run = 0; run < 3; ++run) {
        ProgramUnderTest program;
        HWND dialog = program.MainDialog();
        ASSERT_NE(dialog, nullptr);
        for (int action = 0; action < 25 && IsWindow(dialog); ++action) {
            RandomAction(random, dialog);
            // Pacing only: any outcome of the actions is allowed except a crash.
            Sleep(40);
        }
        SCOPED_TRACE("run " + std::to_string(run));
        if (IsWindow(dialog))
            EXPECT_TRUE(Answers(dialog)) << "expected the running program to answer";
        else
            EXPECT_EQ(program.WaitForExit(), 0u) << kEndsNormally;
    }
}
