#include "ui/ansi_text.h"

#include <vector>

std::string InAnsi(const std::string& utf8)
{
    return InCodePage(utf8, ::GetACP());
}

std::string InCodePage(const std::string& utf8, UINT codePage)
{
    const int wideLength = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (wideLength <= 0)
        return {};
    std::vector<wchar_t> wide(wideLength);
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), wideLength);
    // Windows takes only the flags 0 and WC_ERR_INVALID_CHARS for UTF-8, which spells every name
    // anyway, and fails the call for any other: the ANSI code page is UTF-8 where the user turned
    // on "Use Unicode UTF-8 for worldwide language support" (Windows 10 1903 and later).
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int ansiLength = ::WideCharToMultiByte(codePage, flags, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (ansiLength <= 0)
        return {};
    std::vector<char> ansi(ansiLength);
    ::WideCharToMultiByte(codePage, flags, wide.data(), -1, ansi.data(), ansiLength, nullptr, nullptr);
    return ansi.data();
}
