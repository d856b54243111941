// The three dialogs as the program shows them: controls in order, texts, ids, styles, layout,
// font; and the resources read from the executable itself.
#include "program_under_test.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>

namespace {

struct ExpectedControl {
    const char* className;
    int id;
    const char* text;
    DWORD style;
    int x, y, width, height;  // dialog units
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

// The style bits that decide how a dialog frame looks and behaves.
constexpr DWORD kFrameBits = WS_POPUP | WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                             WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_CENTER |
                             DS_CENTERMOUSE | DS_ABSALIGN;

std::string Describe(const RECT& rect)
{
    return "(" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ")-(" + std::to_string(rect.right) +
           ", " + std::to_string(rect.bottom) + ")";
}

// Base units of "MS Sans Serif" at 8 points, worked out the way the dialog manager does.
// (MapDialogRect answers only inside the dialog's own process.)
SIZE DialogFontBaseUnits()
{
    HDC screen = GetDC(nullptr);
    HFONT font = CreateFontA(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE, "MS Sans Serif");
    HGDIOBJ previous = SelectObject(screen, font);
    TEXTMETRICA metrics;
    GetTextMetricsA(screen, &metrics);
    const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent;
    GetTextExtentPoint32A(screen, letters, 52, &extent);
    SelectObject(screen, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    return {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
}

// Dialog units to pixels in a dialog whose font is MS Sans Serif 8.
RECT Pixels(int x, int y, int width, int height)
{
    static const SIZE base = DialogFontBaseUnits();
    const LONG left = MulDiv(x, base.cx, 4);
    const LONG top = MulDiv(y, base.cy, 8);
    return {left, top, left + MulDiv(width, base.cx, 4), top + MulDiv(height, base.cy, 8)};
}

void ExpectDialog(HWND dialog, DWORD frameStyle, int width, int height, const std::vector<ExpectedControl>& expected)
{
    ASSERT_NE(dialog, nullptr) << "expected the dialog on the screen, found none";

    const DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    EXPECT_EQ(style & kFrameBits, frameStyle) << std::hex << "dialog style, all bits 0x" << style;

    RECT client;
    GetClientRect(dialog, &client);
    // Sizes in pixels that match only with the template's font.
    EXPECT_EQ(Describe(client), Describe(Pixels(0, 0, width, height)))
        << "client area of " << width << " x " << height << " units in MS Sans Serif 8";

    const std::vector<ControlInfo> controls = Controls(dialog);
    ASSERT_EQ(controls.size(), expected.size()) << "number of controls";
    for (size_t i = 0; i < expected.size(); ++i) {
        const ExpectedControl& want = expected[i];
        const ControlInfo& found = controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\"");
        EXPECT_STRCASEEQ(found.className.c_str(), want.className);
        // A plain template keeps 16-bit ids, so -1 comes back as 65535 from it.
        EXPECT_EQ(LOWORD(found.id), LOWORD(want.id)) << "id " << found.id;
        const bool icon = (want.style & SS_TYPEMASK) == SS_ICON && want.className == std::string("Static");
        if (!icon) {
            EXPECT_EQ(found.text, want.text);
        }
        // The dialog manager draws a control's border as a sunken client edge; scroll bars come
        // and go with a list's content.
        DWORD style = found.style & ~(WS_HSCROLL | WS_VSCROLL);
        if (found.exStyle & WS_EX_CLIENTEDGE)
            style |= WS_BORDER;
        EXPECT_EQ(style, want.style) << std::hex << "expected style 0x" << want.style << ", found 0x" << found.style
                                     << " with extended style 0x" << found.exStyle;
        RECT place = Pixels(want.x, want.y, want.width, want.height);
        if (icon) {
            // An icon control takes the size of its icon.
            place.right = place.left + GetSystemMetrics(SM_CXICON);
            place.bottom = place.top + GetSystemMetrics(SM_CYICON);
        }
        EXPECT_EQ(Describe(found.rect), Describe(place))
            << "at " << want.x << ", " << want.y << " size " << want.width << " x " << want.height << " units";
    }
}

}  // namespace

TEST(Templates, MainDialogHasItsControlsInOrderWithTheirTextsStylesAndPlaces)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    const DWORD radio = kChild | BS_AUTORADIOBUTTON;
    ExpectDialog(dialog, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 170, 79,
                 {
                     {"Button", IDOK, "Make CD", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 113, 7, 50, 14},
                     {"Button", IDCANCEL, "Cancel", kChild | WS_TABSTOP | BS_PUSHBUTTON, 113, 23, 50, 14},
                     {"Button", -1, "Static", kChild | BS_GROUPBOX, 7, 7, 103, 55},
                     {"Button", 1001, "Scen 1", radio, 13, 20, 39, 10},
                     {"Button", 1002, "Scen 2", radio, 13, 41, 39, 10},
                     {"Button", 1003, "Scen 3", radio, 61, 20, 39, 10},
                     {"Button", 1004, "Prem D", radio, 61, 41, 39, 10},
                 });
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW) << "main dialog shows in the task bar";
}

TEST(Templates, AboutBoxHasTheIconTheTwoLinesAndOk)
{
    ProgramUnderTest program;
    ASSERT_NE(program.MainDialog(), nullptr);
    ASSERT_TRUE(ChooseLastSystemMenuItem(program.MainDialog())) << "expected the system menu open";
    HWND about = program.WaitForDialog("About KORVANTE 2");
    ExpectDialog(about, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 235, 55,
                 {
                     {"Static", -1, "", kChild | SS_ICON, 11, 17, 20, 20},
                     {"Static", -1, "KORVANTE 2 Version 1.0", kChild | WS_GROUP | SS_NOPREFIX, 40, 10, 119, 8},
                     {"Static", -1, "Makes a CD image of one disc", kChild | WS_GROUP, 40, 25, 119, 8},
                     {"Button", IDOK, "OK", kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 178, 7, 50, 14},
                 });
}

TEST(Templates, DriveChooserHasOneSmallIconListViewAndNoButtons)
{
    ProgramUnderTest program;
    HWND dialog = program.MainDialog();
    ASSERT_NE(dialog, nullptr);
    ClickControl(GetDlgItem(dialog, 1001));
    ClickControl(GetDlgItem(dialog, IDOK));
    HWND chooser = program.WaitForDialog("Select a CD Drive");
    ExpectDialog(chooser, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 81, 95,
                 {
                     {"SysListView32", 1000, "List1", kChild | WS_BORDER | WS_TABSTOP | LVS_SMALLICON, 7, 7, 67, 81},
                 });
}

namespace {

// The executable's own resources, loaded as data.
class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = EnvironmentPath("KORVANTE_STANDIN");
        m_module = LoadLibraryExA(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << "could not load " << m_path;
    }
    void TearDown() override
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }

    std::string m_path;
    HMODULE m_module = nullptr;
};

// The keys of the first string table of a version resource, in the order they are stored.
std::vector<std::string> VersionKeys(const std::vector<char>& block)
{
    // Each entry: WORD length, WORD value length, WORD type, key (UTF-16), padding, value, children.
    auto keyAt = [&](size_t offset) {
        std::string key;
        for (size_t i = offset + 6; block[i] != 0 || block[i + 1] != 0; i += 2)
            key += block[i];
        return key;
    };
    auto childrenAt = [&](size_t offset) {
        size_t position = offset + 6 + (keyAt(offset).size() + 1) * 2;
        position = (position + 3) & ~size_t(3);
        const WORD valueLength = *reinterpret_cast<const WORD*>(&block[offset + 2]);
        const WORD type = *reinterpret_cast<const WORD*>(&block[offset + 4]);
        position += type == 1 ? valueLength * 2 : valueLength;
        return (position + 3) & ~size_t(3);
    };
    auto lengthAt = [&](size_t offset) { return *reinterpret_cast<const WORD*>(&block[offset]); };

    std::vector<std::string> keys;
    for (size_t fileInfo = childrenAt(0); fileInfo < lengthAt(0); fileInfo = (fileInfo + lengthAt(fileInfo) + 3) & ~size_t(3)) {
        if (keyAt(fileInfo) != "StringFileInfo")
            continue;
        const size_t table = childrenAt(fileInfo);
        for (size_t entry = childrenAt(table); entry < table + lengthAt(table);
             entry = (entry + lengthAt(entry) + 3) & ~size_t(3))
            keys.push_back(keyAt(entry));
    }
    return keys;
}

// Where a dialog template places its dialog, and its font, as "x,y size weight italic charset face".
std::string TemplateHeader(HMODULE module, int id)
{
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    if (resource == nullptr)
        return "no template";
    const WORD* words = static_cast<const WORD*>(LockResource(LoadResource(module, resource)));
    const bool extended = words[1] == 0xFFFF;
    // Extended: version, signature, help id, extended style, style; plain: style, extended style.
    const WORD* at = words + (extended ? 8 : 4);
    const DWORD style = extended ? words[6] | words[7] << 16 : words[0] | words[1] << 16;
    const short x = static_cast<short>(at[1]);
    const short y = static_cast<short>(at[2]);
    at += 5;
    auto skipNameOrOrdinal = [&] { at += *at == 0xFFFF ? 2 : 0; while (*at++ != 0) {} };
    skipNameOrOrdinal();  // menu
    skipNameOrOrdinal();  // window class
    while (*at++ != 0) {}  // title
    if (!(style & DS_SETFONT))
        return "no font";
    std::string header = std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(*at++);
    if (extended) {
        header += " " + std::to_string(*at) + " " + std::to_string(at[1] & 0xFF) + " " + std::to_string(at[1] >> 8);
        at += 2;
    }
    header += " ";
    while (*at != 0)
        header += static_cast<char>(*at++);
    return header;
}

}  // namespace

TEST_F(ProgramResources, TemplatesPlaceTheirDialogsAtZeroInMsSansSerif8)
{
    EXPECT_EQ(TemplateHeader(m_module, 102), "0,0 8 400 0 1 MS Sans Serif") << "main dialog: normal weight, default charset";
    EXPECT_EQ(TemplateHeader(m_module, 100), "0,0 8 MS Sans Serif") << "About box";
    EXPECT_EQ(TemplateHeader(m_module, 172), "0,0 8 MS Sans Serif") << "drive chooser";
}

TEST_F(ProgramResources, StringOneHundredOneIsTheAboutItem)
{
    char text[64] = {};
    LoadStringA(m_module, 101, text, sizeof text);
    EXPECT_STREQ(text, "&About KORVANTE 2...");
}

TEST_F(ProgramResources, IconHasA32And16PixelImageIn16Colours)
{
    HRSRC group = FindResourceA(m_module, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14));
    ASSERT_NE(group, nullptr) << "expected icon group 128";
    const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(m_module, group)));
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    std::vector<std::string> images;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = directory + 6 + 14 * i;  // width, height, colours, reserved, planes, bits, bytes, id
        images.push_back(std::to_string(entry[0]) + "x" + std::to_string(entry[1]) + " " +
                         std::to_string(*reinterpret_cast<const WORD*>(entry + 6)) + " bits");
    }
    EXPECT_EQ(images, (std::vector<std::string>{"32x32 4 bits", "16x16 4 bits"}));
}

TEST_F(ProgramResources, VersionResourceHasItsValuesAndKeysInOrder)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(m_path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "expected a version resource";
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(m_path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x0409) << "US English";
    EXPECT_EQ(translation[1], 1200) << "Unicode";

    const std::pair<const char*, const char*> values[] = {
        {"CompanyName", ""},
        {"FileDescription", "KORVANTE 2 MFC Application"},
        {"FileVersion", "1, 0, 0, 1"},
        {"InternalName", "KORVANTE 2"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "KORVANTE 2.EXE"},
        {"ProductName", "KORVANTE 2 Application"},
        {"ProductVersion", "1, 0, 0, 1"},
    };
    std::vector<std::string> expectedKeys;
    for (const auto& [key, value] : values) {
        char* text = nullptr;
        const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
        EXPECT_TRUE(VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
            << "expected the key " << key;
        EXPECT_STREQ(text != nullptr ? text : "(none)", value) << key;
        expectedKeys.push_back(key);
    }
    EXPECT_EQ(VersionKeys(block), expectedKeys);
}

TEST_F(ProgramResources, ExecutableCarriesNoManifest)
{
    EXPECT_EQ(FindResourceA(m_module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr);
    EXPECT_EQ(FindResourceA(m_module, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24)), nullptr);
}
