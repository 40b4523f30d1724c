// The seven effect panels: the effect is on exactly while the panel exists,
// the controls and tooltips each creates, and what its destruction releases.
#include "ui_support.h"
#include <commctrl.h>
#include "panel.h"
#include "windows_ui.h"
#include "resource.h"
#include "stream.h"

namespace {

struct PanelCase {
    EffectId effect;
    const char* className;
    int sliderId;         // 0: no slider
    const char* tipText;  // null: no tooltip
};

const PanelCase AllPanels[] = {
    {FxPitch, "Pitch", 1, "frequency"}, {FxVolume, "Volume", 2, "volume"},
    {FxTriangle, "Triangle", 0, nullptr}, {FxAM, "AM", 0, "load wave"},
    {FxReverse, "Reverse", 0, nullptr}, {FxCrazy, "Crazy", 0, nullptr},
    {FxDeeper, "Deeper", 0, nullptr},
};

void PrintTo(const PanelCase& panel, std::ostream* out)
{
    *out << panel.className;
}

std::string CaseName(const ::testing::TestParamInfo<PanelCase>& info)
{
    return info.param.className;
}

struct EachPanel : UiTest, ::testing::WithParamInterface<PanelCase> {
    EffectId Effect() const { return GetParam().effect; }
};

int FlagsOn()
{
    int on = 0;
    for (int flag : EffectFlags)
        on += flag != 0;
    return on;
}

TEST_P(EachPanel, ItsEffectIsOnExactlyWhileItExists)
{
    EXPECT_EQ(std::string(PanelClassNames[Effect()]), GetParam().className);
    HWND panel = OpenPanel(Effect());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(EffectFlags[Effect()], 1);
    EXPECT_EQ(FlagsOn(), 1);
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);  // "X"
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(FlagsOn(), 0);
    panel = OpenPanel(Effect());
    EXPECT_EQ(EffectFlags[Effect()], 1);
    DestroyWindow(panel);
    EXPECT_EQ(EffectFlags[Effect()], 0);
}

// The classes of the windows a panel's creation makes, in order, and its
// flag at each of them (the system's own IME window left out).
std::vector<std::string> CreatedClasses;
std::vector<int> FlagAtCreation;
EffectId Watched;

LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const char* name = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs->lpszClass;
        std::string className = IS_INTRESOURCE(name) ? "#atom" : name;
        if (lstrcmpiA(className.c_str(), "IME") != 0) {
            CreatedClasses.push_back(className);
            FlagAtCreation.push_back(EffectFlags[Watched]);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_P(EachPanel, SetsItsFlagFirstAndCreatesItsControlsInOrder)
{
    Watched = Effect();
    CreatedClasses.clear();
    FlagAtCreation.clear();
    HHOOK hook = SetWindowsHookExA(WH_CBT, WatchCreation, nullptr, GetCurrentThreadId());
    HWND panel = OpenPanel(Effect());
    UnhookWindowsHookEx(hook);
    std::vector<std::string> expected = {GetParam().className};
    if (GetParam().sliderId)
        expected.push_back("Slider");
    if (Effect() == FxAM)
        expected.push_back("BUTTON");  // the open button, before the "X"
    expected.push_back("BUTTON");
    if (GetParam().tipText)
        expected.push_back(TOOLTIPS_CLASSA);
    EXPECT_EQ(CreatedClasses, expected);
    ASSERT_EQ(FlagAtCreation.size(), expected.size());
    EXPECT_EQ(FlagAtCreation[0], 0);  // the panel itself, before its WM_CREATE
    for (size_t i = 1; i < FlagAtCreation.size(); i++)
        EXPECT_EQ(FlagAtCreation[i], 1) << CreatedClasses[i];
    DestroyWindow(panel);
}

TEST_P(EachPanel, CreatesItsControlsInPlace)
{
    HWND panel = OpenPanel(Effect());
    HWND close = GetDlgItem(panel, IDC_CLOSE);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(ClassOf(close), "Button");
    EXPECT_EQ(TextOf(close), "X");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(close, GWL_STYLE)), 0x50000300u);
    RECT rect = WindowRect(close);
    POINT corner = ScreenCorner(panel);
    EXPECT_EQ(rect.left - corner.x, 140);
    EXPECT_EQ(rect.top - corner.y, 0);
    EXPECT_EQ(rect.right - rect.left, 10);
    EXPECT_EQ(rect.bottom - rect.top, 10);

    int children = 0;
    for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children++;
    HWND slider = GetParam().sliderId ? GetDlgItem(panel, GetParam().sliderId) : nullptr;
    HWND open = Effect() == FxAM ? GetDlgItem(panel, IDC_LOADWAVE) : nullptr;
    EXPECT_EQ(children, 1 + (slider != nullptr) + (open != nullptr));
    if (GetParam().sliderId) {
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(ClassOf(slider), "Slider");
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(slider, GWL_STYLE)), 0x50000000u);
        rect = WindowRect(slider);
        EXPECT_EQ(rect.left - corner.x, 20);
        EXPECT_EQ(rect.top - corner.y, 35);
        EXPECT_EQ(rect.right - rect.left, 10);
        EXPECT_EQ(rect.bottom - rect.top, 45);
    }
    if (Effect() == FxAM) {
        ASSERT_NE(open, nullptr);
        EXPECT_EQ(ClassOf(open), "Button");
        EXPECT_EQ(TextOf(open), "");
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(open, GWL_STYLE)) & ~WS_TABSTOP, 0x50000080u);
        rect = WindowRect(open);
        EXPECT_EQ(rect.left - corner.x, 30);
        EXPECT_EQ(rect.top - corner.y, 40);
        EXPECT_EQ(rect.right - rect.left, 20);
        EXPECT_EQ(rect.bottom - rect.top, 20);
        HANDLE image = reinterpret_cast<HANDLE>(SendMessageA(open, BM_GETIMAGE, IMAGE_BITMAP, 0));
        EXPECT_NE(image, nullptr);
        BITMAP info = {};
        GetObjectA(image, sizeof info, &info);
        EXPECT_EQ(info.bmWidth, 18);
        EXPECT_EQ(info.bmHeight, 18);
    }
    DestroyWindow(panel);
}

TEST_P(EachPanel, TooltipOnItsControl)
{
    size_t before = ThreadWindows(TOOLTIPS_CLASSA).size();
    HWND panel = OpenPanel(Effect());
    std::vector<HWND> tips = ThreadWindows(TOOLTIPS_CLASSA);
    if (!GetParam().tipText) {
        EXPECT_EQ(tips.size(), before);
        DestroyWindow(panel);
        return;
    }
    ASSERT_EQ(tips.size(), before + 1);
    HWND tip = Panels[Effect()].tip.window;
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(GetWindow(tip, GW_OWNER), nullptr);
    EXPECT_TRUE(GetWindowLongA(tip, GWL_STYLE) & TTS_ALWAYSTIP);
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);

    HWND control = GetParam().sliderId ? GetDlgItem(panel, GetParam().sliderId) : GetDlgItem(panel, IDC_LOADWAVE);
    char text[80] = {};
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = panel;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    SendMessageA(tip, TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, GetParam().tipText);

    TOOLINFOA found = {};
    found.cbSize = TTTOOLINFOA_V1_SIZE;
    ASSERT_TRUE(SendMessageA(tip, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&found)));
    EXPECT_EQ(found.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), static_cast<UINT>(TTF_IDISHWND | TTF_SUBCLASS));
    EXPECT_EQ(found.hwnd, panel);
    EXPECT_EQ(found.uId, reinterpret_cast<UINT_PTR>(control));

    DestroyWindow(panel);
    EXPECT_FALSE(IsWindow(tip));
    EXPECT_EQ(ThreadWindows(TOOLTIPS_CLASSA).size(), before);
}

// Regression: each opening of a panel with a tooltip left its tooltip window
// behind, one more window per opening for the rest of the run.
TEST_P(EachPanel, OpeningAndClosingLeavesNoWindowBehind)
{
    size_t tips = ThreadWindows(TOOLTIPS_CLASSA).size();
    for (int round = 0; round < 5; round++)
        DestroyWindow(OpenPanel(Effect()));
    EXPECT_EQ(ThreadWindows(TOOLTIPS_CLASSA).size(), tips);
    EXPECT_EQ(ThreadWindows(GetParam().className).size(), 0u);
}

TEST_P(EachPanel, EveryMessageRequestsAResync)
{
    PlayWriteCursor = 4242;
    HWND panel = OpenPanel(Effect());
    EXPECT_EQ(PlayWriteCursor, ResyncRequest);
    const struct {
        UINT msg;
        WPARAM wParam;
    } messages[] = {
        {WM_PAINT, 0}, {WM_ERASEBKGND, 0}, {WM_MOUSEMOVE, 0}, {WM_MOUSEMOVE, MK_LBUTTON}, {WM_MOUSEMOVE, 0},
        {WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}, {WM_COMMAND, 999}, {WM_NULL, 0}, {WM_TIMER, 1},
        {WM_SETCURSOR, 0}, {WM_NCHITTEST, 0}, {WM_USER + 7, 0},
    };
    for (const auto& m : messages) {
        PlayWriteCursor = 4242;
        SendMessageA(panel, m.msg, m.wParam, 0);
        EXPECT_EQ(PlayWriteCursor, ResyncRequest) << "message " << m.msg;
    }
    PlayWriteCursor = 4242;
    DestroyWindow(panel);
    EXPECT_EQ(PlayWriteCursor, ResyncRequest);
}

TEST_P(EachPanel, OnlyTheCloseCommandActsAndOnlyItsLowWordCounts)
{
    HWND panel = OpenPanel(Effect());
    for (WPARAM command : {WPARAM{IDC_START}, WPARAM{IDC_FX}, WPARAM{IDC_ABOUT}, WPARAM{IDC_ABOUTOK},
                           WPARAM{0x10000}, WPARAM{IDM_PITCH}}) {
        EXPECT_EQ(SendMessageA(panel, WM_COMMAND, command, 0), 0);
        EXPECT_TRUE(IsWindow(panel));
    }
    EXPECT_EQ(SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, 0x7777), 0), 0);
    EXPECT_FALSE(IsWindow(panel));
}

INSTANTIATE_TEST_SUITE_P(Panels, EachPanel, ::testing::ValuesIn(AllPanels), CaseName);

struct PanelsTest : UiTest {};

TEST_F(PanelsTest, ClosingTheOwnerClosesEveryPanelAndClearsEveryFlag)
{
    HWND owner = PlainWindow();
    size_t tips = ThreadWindows(TOOLTIPS_CLASSA).size();
    for (int fx = 0; fx < EffectCount; fx++)
        OpenPanel(static_cast<EffectId>(fx), 60 + 20 * fx, 100, owner);
    EXPECT_EQ(FlagsOn(), EffectCount);
    DestroyWindow(owner);
    EXPECT_EQ(FlagsOn(), 0);
    for (const char* name : PanelClassNames)
        EXPECT_EQ(ThreadWindows(name).size(), 0u) << name;
    EXPECT_EQ(ThreadWindows(TOOLTIPS_CLASSA).size(), tips);
}

TEST_F(PanelsTest, PanelsOfDifferentEffectsLiveSideBySide)
{
    HWND pitch = OpenPanel(FxPitch, 60, 100);
    HWND deeper = OpenPanel(FxDeeper, 260, 100);
    EXPECT_EQ(EffectFlags[FxPitch], 1);
    EXPECT_EQ(EffectFlags[FxDeeper], 1);
    DestroyWindow(pitch);
    EXPECT_EQ(EffectFlags[FxPitch], 0);
    EXPECT_EQ(EffectFlags[FxDeeper], 1);
    DestroyWindow(deeper);
    EXPECT_EQ(FlagsOn(), 0);
}

}  // namespace
