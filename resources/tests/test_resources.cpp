// The resources of the built program, read from voxotrope.exe itself: names,
// language, sizes and the bytes of the menu and dialog templates.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>
#include "resource.h"

namespace {

constexpr WORD German = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
static_assert(German == 1031);

// voxotrope.exe beside this test program, mapped for its resources only.
HMODULE Program()
{
    static HMODULE module = [] {
        char path[MAX_PATH] = {};
        DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string program(path, length);
        program.erase(program.find_last_of("\\/") + 1);
        program += "voxotrope.exe";
        return LoadLibraryExA(program.c_str(), nullptr,
                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }();
    return module;
}

// The bytes of a resource in language 1031; empty if there is none.
std::vector<BYTE> GermanResource(LPCSTR type, LPCSTR name)
{
    HRSRC found = FindResourceExA(Program(), type, name, German);
    if (!found)
        return {};
    DWORD size = SizeofResource(Program(), found);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(Program(), found)));
    return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>{};
}

// Little-endian template writers, for the expected bytes of the templates.
void Word(std::vector<BYTE>& out, unsigned value)
{
    out.push_back(static_cast<BYTE>(value & 0xFF));
    out.push_back(static_cast<BYTE>(value >> 8 & 0xFF));
}
void Dword(std::vector<BYTE>& out, unsigned long value)
{
    Word(out, value & 0xFFFF);
    Word(out, value >> 16 & 0xFFFF);
}
void Text(std::vector<BYTE>& out, const char* text)
{
    for (; *text; text++)
        Word(out, static_cast<unsigned char>(*text));
    Word(out, 0);
}
void AlignDword(std::vector<BYTE>& out)
{
    while (out.size() % 4)
        out.push_back(0);
}

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Program(), nullptr) << "voxotrope.exe not found beside the tests"; }
};

// ---------------------------------------------------------------- bitmaps

struct BitmapRow {
    const char* name;
    int width;
    int height;
    DWORD imageBytes;  // rows padded to 4 bytes, times the height
};

// Image sizes by hand: 150 px = 450 bytes, padded to 452; 50 -> 152;
// 18 -> 54 -> 56; 10 -> 30 -> 32; 250 -> 750 -> 752.
const BitmapRow Bitmaps[] = {
    {"MAINBKGBMP", 150, 100, 45200}, {"BKGBMP", 150, 100, 45200},
    {"PITCHBMP", 50, 20, 3040},      {"VOLUMEBMP", 50, 20, 3040},
    {"TRIANGLEBMP", 50, 20, 3040},   {"AMBMP", 50, 20, 3040},
    {"REVERSEBMP", 50, 20, 3040},    {"CRAZYBMP", 50, 20, 3040},
    {"DEEPERBMP", 50, 20, 3040},     {"OPENBMP", 18, 18, 1008},
    {"SLIBKGBMP", 10, 45, 1440},     {"THUMBBMP", 10, 9, 288},
    {"ABOUTBMP", 250, 187, 140624},
};

class BitmapTest : public ResourceTest, public ::testing::WithParamInterface<BitmapRow> {};

TEST_P(BitmapTest, IsABottomUpTwentyFourBitDibWithoutColourTable)
{
    const BitmapRow& row = GetParam();
    std::vector<BYTE> data = GermanResource(RT_BITMAP, row.name);
    ASSERT_EQ(data.size(), 40 + row.imageBytes);
    BITMAPINFOHEADER header;
    std::memcpy(&header, data.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, row.width);
    EXPECT_EQ(header.biHeight, row.height);  // positive: bottom-up
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biSizeImage, row.imageBytes);
    EXPECT_EQ(header.biXPelsPerMeter, 0);
    EXPECT_EQ(header.biYPelsPerMeter, 0);
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_EQ(header.biClrImportant, 0u);
}

TEST_P(BitmapTest, LoadsByNameAtItsSize)
{
    const BitmapRow& row = GetParam();
    HBITMAP bitmap = LoadBitmapA(Program(), row.name);
    ASSERT_NE(bitmap, nullptr);
    BITMAP info = {};
    EXPECT_EQ(GetObjectA(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, row.width);
    EXPECT_EQ(info.bmHeight, row.height);
    DeleteObject(bitmap);
}

// A picture that has fallen back to a flat fill (a placeholder) has one or
// two colours; every picture of the skin has shading.
TEST_P(BitmapTest, IsShadedArtworkNotAFlatFill)
{
    const BitmapRow& row = GetParam();
    std::vector<BYTE> data = GermanResource(RT_BITMAP, row.name);
    ASSERT_EQ(data.size(), 40 + row.imageBytes);
    std::set<unsigned long> colours;
    DWORD stride = row.imageBytes / row.height;
    for (int y = 0; y < row.height; y++)
        for (int x = 0; x < row.width; x++) {
            const BYTE* p = &data[40 + y * stride + x * 3];
            colours.insert(p[0] | p[1] << 8 | static_cast<unsigned long>(p[2]) << 16);
        }
    EXPECT_GE(colours.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Skin, BitmapTest, ::testing::ValuesIn(Bitmaps),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- icon

TEST_F(ResourceTest, IconGroupHoldsOneThirtyTwoPixelEntryWithZeroedCounts)
{
    std::vector<BYTE> expected;
    Word(expected, 0);   // reserved
    Word(expected, 1);   // icons
    Word(expected, 1);   // one entry
    expected.insert(expected.end(), {32, 32, 0, 0});  // width, height, colours, reserved
    Word(expected, 0);   // planes
    Word(expected, 0);   // bit count
    Dword(expected, 2216);
    Word(expected, 1);   // image ID
    EXPECT_EQ(GermanResource(RT_GROUP_ICON, "ICON_APP"), expected);
}

TEST_F(ResourceTest, IconImageIsEightBitWithPaletteColoursAndMask)
{
    std::vector<BYTE> image = GermanResource(RT_ICON, MAKEINTRESOURCEA(1));
    ASSERT_EQ(image.size(), 2216u);  // 40 + 1024 palette + 1024 indices + 128 mask
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 64);  // colour image and mask
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biSizeImage, 1152u);
}

TEST_F(ResourceTest, IconLoadsAndServesTheSmallSizeToo)
{
    HICON icon = LoadIconA(Program(), "ICON_APP");
    ASSERT_NE(icon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    // The zeroed bit count must not keep the system from choosing this
    // image for a 16 x 16 icon, nor from scaling it.
    std::vector<BYTE> group = GermanResource(RT_GROUP_ICON, "ICON_APP");
    ASSERT_FALSE(group.empty());
    EXPECT_EQ(LookupIconIdFromDirectoryEx(group.data(), TRUE, 16, 16, LR_DEFAULTCOLOR), 1);
    std::vector<BYTE> image = GermanResource(RT_ICON, MAKEINTRESOURCEA(1));
    HICON small = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                           0x00030000, 16, 16, LR_DEFAULTCOLOR);
    EXPECT_NE(small, nullptr);
    DestroyIcon(small);
}

// ---------------------------------------------------------------- menu

struct MenuRow {
    const char* text;
    UINT id;
};
const MenuRow FxItems[] = {
    {"Pitch...", 40005},   {"Volume...", 40006}, {"Triangle...", 40007}, {"AM...", 40009},
    {"Reverse...", 40010}, {"Crazy...", 40011},  {"Deeper...", 40012},
};

TEST_F(ResourceTest, MenuTemplateIsOnePopupOfSevenItems)
{
    std::vector<BYTE> expected;
    Word(expected, 0);  // version
    Word(expected, 0);  // header size
    Word(expected, MF_POPUP | MF_END);
    Text(expected, "FX");
    for (const MenuRow& item : FxItems) {
        Word(expected, &item == &FxItems[6] ? MF_END : 0);
        Word(expected, item.id);
        Text(expected, item.text);
    }
    ASSERT_EQ(expected.size(), 174u);
    EXPECT_EQ(GermanResource(RT_MENU, "VOXOTROPE"), expected);
}

TEST_F(ResourceTest, FxPopupListsTheEffectsInChainOrderUnderTheMixedCaseName)
{
    HMENU menu = LoadMenuA(Program(), "Voxotrope");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    char text[32] = {};
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "FX");
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(GetMenuItemCount(popup), 7);
    for (int i = 0; i < 7; i++) {
        SCOPED_TRACE(FxItems[i].text);
        EXPECT_EQ(GetMenuItemID(popup, i), FxItems[i].id);
        GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, FxItems[i].text);
        // A plain string item: enabled, unchecked, no separator.
        EXPECT_EQ(GetMenuState(popup, i, MF_BYPOSITION), 0u);
    }
    // 40008 belongs to the device list box, not to the menu.
    EXPECT_EQ(GetMenuState(popup, IDC_DEVICELIST, MF_BYCOMMAND), static_cast<UINT>(-1));
    DestroyMenu(menu);
}

// ---------------------------------------------------------------- dialog

struct DialogItemRow {
    WORD classOrdinal;
    const char* text;
    WORD id;
    short x, y, cx, cy;
    DWORD style;
};
const DialogItemRow DeviceDialogItems[] = {
    {0x0080, "OK", IDOK, 183, 7, 50, 14, 0x50010001},
    {0x0080, "Cancel", IDCANCEL, 183, 24, 50, 14, 0x50010000},
    {0x0083, "", 40008, 7, 7, 164, 84, 0x50A10101},
};

TEST_F(ResourceTest, DialogTemplateHasItsStyleFontAndThreeItems)
{
    std::vector<BYTE> expected;
    Dword(expected, 0x80C800C0);  // style
    Dword(expected, 0);           // extended style
    Word(expected, 3);
    for (int v : {0, 0, 240, 98})
        Word(expected, v);
    Word(expected, 0);  // no menu
    Word(expected, 0);  // the dialog class
    Text(expected, "Select Device");
    Word(expected, 8);
    Text(expected, "MS Sans Serif");
    for (const DialogItemRow& item : DeviceDialogItems) {
        AlignDword(expected);
        Dword(expected, item.style);
        Dword(expected, 0);
        for (int v : {item.x, item.y, item.cx, item.cy})
            Word(expected, static_cast<unsigned>(v));
        Word(expected, item.id);
        Word(expected, 0xFFFF);
        Word(expected, item.classOrdinal);
        Text(expected, item.text);
        Word(expected, 0);  // no creation data
    }
    ASSERT_EQ(expected.size(), 178u);
    EXPECT_EQ(GermanResource(RT_DIALOG, "ENUMDLG"), expected);
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

TEST_F(ResourceTest, DeviceDialogHasOkAsDefaultAndAnUnsortedList)
{
    std::vector<BYTE> templ = GermanResource(RT_DIALOG, "ENUMDLG");
    ASSERT_FALSE(templ.empty());
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEA>(templ.data()),
                                             nullptr, QuietDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    char text[32] = {};
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, "Select Device");
    EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));

    // At run time the system may turn WS_BORDER into a client edge and drop
    // WS_VSCROLL while the list is short, so only the kinds are compared here;
    // the template test above holds the exact styles.
    const struct {
        int id;
        const char* className;
        DWORD kindMask;
        DWORD kind;
    } controls[] = {
        {IDOK, "Button", BS_TYPEMASK | WS_TABSTOP, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, "Button", BS_TYPEMASK | WS_TABSTOP, BS_PUSHBUTTON | WS_TABSTOP},
        {40008, "ListBox", LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP,
         LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP},
    };
    for (const auto& control : controls) {
        SCOPED_TRACE(control.id);
        HWND item = GetDlgItem(dialog, control.id);
        ASSERT_NE(item, nullptr);
        GetClassNameA(item, text, sizeof text);
        EXPECT_STREQ(text, control.className);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(item, GWL_STYLE)) & control.kindMask, control.kind);
    }

    // Devices appear in the order they are added.
    HWND list = GetDlgItem(dialog, 40008);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Zeta"));
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Alpha"));
    SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Zeta");
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------- catalogue

// "type name language", numbers written as "#n".
std::string Entry(LPCSTR type, LPCSTR name, unsigned language)
{
    char text[80];
    char typeText[16];
    char nameText[16];
    if (IS_INTRESOURCE(type))
        std::snprintf(typeText, sizeof typeText, "#%u", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(type)));
    if (IS_INTRESOURCE(name))
        std::snprintf(nameText, sizeof nameText, "#%u", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
    std::snprintf(text, sizeof text, "%s %s %u", IS_INTRESOURCE(type) ? typeText : type,
                  IS_INTRESOURCE(name) ? nameText : name, language);
    return text;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR list)
{
    reinterpret_cast<std::vector<std::string>*>(list)->push_back(Entry(type, name, language));
    return TRUE;
}
BOOL CALLBACK AddName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR list)
{
    EnumResourceLanguagesA(module, type, name, AddLanguage, list);
    return TRUE;
}
BOOL CALLBACK AddType(HMODULE module, LPSTR type, LONG_PTR list)
{
    EnumResourceNamesA(module, type, AddName, list);
    return TRUE;
}

TEST_F(ResourceTest, ProgramHoldsExactlyTheSeventeenResourcesInGerman)
{
    std::vector<std::string> found;
    EnumResourceTypesA(Program(), AddType, reinterpret_cast<LONG_PTR>(&found));
    std::multiset<std::string> expected;
    for (const BitmapRow& row : Bitmaps)
        expected.insert(Entry(RT_BITMAP, row.name, 1031));
    expected.insert("#3 #1 1031");
    expected.insert("#4 VOXOTROPE 1031");
    expected.insert("#5 ENUMDLG 1031");
    expected.insert("#14 ICON_APP 1031");
    EXPECT_EQ(found.size(), 17u);
    EXPECT_EQ(std::multiset<std::string>(found.begin(), found.end()), expected);
}

}  // namespace
