#include "ui_support.h"
#include "app.h"
#include "carrier.h"
#include "main_window.h"
#include "panel.h"
#include "slider.h"
#include "stream.h"
#include "windows_ui.h"

HINSTANCE UiTest::Instance()
{
    return GetModuleHandleA(nullptr);
}

static LRESULT CALLBACK PlainProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, msg, wParam, lParam);
}

void UiTest::SetUp()
{
    static bool registered = false;
    if (!registered) {
        RegisterWindowClasses(Instance());
        WNDCLASSA plain = {};
        plain.lpfnWndProc = PlainProc;
        plain.hInstance = Instance();
        plain.lpszClassName = "UiTestPlain";
        RegisterClassA(&plain);
        registered = true;
    }
    ResetChainState();
    ReleaseCarrier();
    for (PanelState& panel : Panels)
        panel = PanelState{};
    SliderDragActive = 0;
    PlayWriteCursor = 0;
    // The bitmaps the main window would have loaded for everyone.
    SharedSkin.panelBackground = LoadBitmapA(Instance(), "BKGBMP");
    SharedSkin.sliderTrack = LoadBitmapA(Instance(), "SLIBKGBMP");
    SharedSkin.sliderThumb = LoadBitmapA(Instance(), "THUMBBMP");
}

void UiTest::TearDown()
{
    for (const char* name : PanelClassNames)
        for (HWND window : ThreadWindows(name))
            DestroyWindow(window);
    for (HWND window : ThreadWindows("ABOUT"))
        DestroyWindow(window);
    for (HWND window : ThreadWindows("UiTestPlain"))
        DestroyWindow(window);
    MainWindow = nullptr;
    DeleteObject(SharedSkin.panelBackground);
    DeleteObject(SharedSkin.sliderTrack);
    DeleteObject(SharedSkin.sliderThumb);
    SharedSkin = SharedBitmaps{};
    ReleaseCarrier();
    ResetChainState();
    if (GetCapture())
        ReleaseCapture();
}

HWND UiTest::OpenPanel(EffectId effect, int x, int y, HWND owner)
{
    HWND panel = CreateWindowExA(0, PanelClassNames[effect], nullptr, WS_POPUP, x, y, 150, 100, owner, nullptr,
                                 Instance(), nullptr);
    ShowWindow(panel, SW_SHOWNOACTIVATE);
    UpdateWindow(panel);
    return panel;
}

HWND UiTest::PlainWindow()
{
    return CreateWindowExA(0, "UiTestPlain", "plain", WS_POPUP, 600, 600, 50, 50, nullptr, nullptr, Instance(),
                           nullptr);
}

POINT ScreenCorner(HWND window)
{
    POINT corner = {0, 0};
    ClientToScreen(window, &corner);
    return corner;
}

RECT WindowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

namespace {
struct Search {
    const char* className;
    std::vector<HWND> found;
};
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    if (lstrcmpiA(ClassOf(window).c_str(), search->className) == 0)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadWindows(const char* className)
{
    Search search = {className, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HBITMAP SolidBitmap(int width, int height, COLORREF colour)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* bytes = static_cast<BYTE*>(bits);
    int stride = (width * 3 + 3) & ~3;
    for (int row = 0; row < height; row++)
        for (int x = 0; x < width; x++) {
            bytes[row * stride + 3 * x] = GetBValue(colour);
            bytes[row * stride + 3 * x + 1] = GetGValue(colour);
            bytes[row * stride + 3 * x + 2] = GetRValue(colour);
        }
    return bitmap;
}

COLORREF PixelAt(HWND window, int x, int y)
{
    UpdateWindow(window);
    HDC dc = GetDC(window);
    COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return pixel;
}
