// The failure message's names under the ANSI code pages a user may have. Wine passes the UTF-8
// cases either way: it accepts the best-fit flag for UTF-8, which Windows refuses.
#include "ui/ansi_text.h"

#include <gtest/gtest.h>

TEST(AnsiText, NamesKeepTheirLettersInWesternAndUtf8CodePagesAndNoLookAlikes)
{
    const struct {
        UINT codePage;
        const char *utf8, *expected;
    } cases[] = {
        {1252, "\xC3\xA9.bin", "\xE9.bin"},   // é
        {1252, "\xC4\x81.bin", "?.bin"},      // ā: not "a", which names another file
        {1252, "\xE6\x97\xA5.bin", "?.bin"},  // 日
        {CP_UTF8, "\xC3\xA9.bin", "\xC3\xA9.bin"},
        {CP_UTF8, "\xE6\x97\xA5.bin", "\xE6\x97\xA5.bin"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InCodePage(c.utf8, c.codePage), c.expected) << "code page " << c.codePage << ", name " << c.utf8;
}
