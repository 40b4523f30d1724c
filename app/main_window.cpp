#include "main_window.h"
#include <cstdlib>
#include <commctrl.h>
#include "app.h"
#include "carrier_file.h"
#include "chain.h"
#include "duplex.h"
#include "resource.h"
#include "shell_api.h"
#include "stream.h"
#include "windows_ui.h"

SharedBitmaps SharedSkin;
HWND MainWindow;

static struct {
    HINSTANCE instance;
    HMENU menu;    // the VOXOTROPE template
    HMENU fxMenu;  // its first popup
    DragState drag;
} Main;

constexpr DWORD ChildButtonStyle = WS_CHILD | WS_VISIBLE | BS_CENTER;

// FX menu commands and the effect each opens.
static const struct {
    WORD command;
    EffectId effect;
} PanelCommands[] = {
    {IDM_PITCH, FxPitch}, {IDM_VOLUME, FxVolume}, {IDM_TRIANGLE, FxTriangle}, {IDM_AM, FxAM},
    {IDM_REVERSE, FxReverse}, {IDM_CRAZY, FxCrazy}, {IDM_DEEPER, FxDeeper},
};

static void CreateButton(HWND window, const char* text, int id, int x, int y, int width, int height)
{
    CreateWindowExA(0, "BUTTON", text, ChildButtonStyle, x, y, width, height, window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Main.instance, nullptr);
}

static void MainCreate(HWND window, const CREATESTRUCTA* creation)
{
    MainWindow = window;
    Main.instance = creation->hInstance;
    InitCommonControls();
    CreateButton(window, "Start", IDC_START, 5, 30, 40, 20);
    CreateButton(window, "FX", IDC_FX, 105, 30, 40, 20);
    CreateButton(window, "About", IDC_ABOUT, 55, 60, 40, 20);
    CreateCloseButton(window, Main.instance);
    Main.menu = LoadMenuA(Main.instance, "Voxotrope");
    Main.fxMenu = GetSubMenu(Main.menu, 0);
    SharedSkin.mainBackground = LoadBitmapA(Main.instance, "MAINBKGBMP");
    SharedSkin.panelBackground = LoadBitmapA(Main.instance, "BKGBMP");
    SharedSkin.sliderTrack = LoadBitmapA(Main.instance, "SLIBKGBMP");
    SharedSkin.sliderThumb = LoadBitmapA(Main.instance, "THUMBBMP");
    if (!AudioSetup(window)) {
        DestroyWindow(window);
        return;
    }
    PrepareOpenFileRequest(window);
}

static void MainDestroy()
{
    AudioTeardown();
    DestroyMenu(Main.menu);
    DeleteObject(SharedSkin.mainBackground);
    DeleteObject(SharedSkin.panelBackground);
    DeleteObject(SharedSkin.sliderTrack);
    DeleteObject(SharedSkin.sliderThumb);
    SharedSkin = SharedBitmaps{};
    MainWindow = nullptr;
    QuitFlag = 1;
}

POINT NextPanelPosition()
{
    int r1 = rand();
    rand();
    int r3 = rand();
    rand();
    return POINT{300 - r1 % 256, 300 - r3 % 128};
}

static void OpenPanel(HWND window, EffectId effect)
{
    if (EffectFlags[effect])
        return;  // already open: one panel per effect
    POINT at = NextPanelPosition();
    HWND panel = CreateWindowExA(0, PanelClassNames[effect], nullptr, WS_POPUP, at.x, at.y, FrameWidth,
                                 FrameHeight, window, nullptr, Main.instance, nullptr);
    ShowWindow(panel, SW_SHOWNORMAL);
    UpdateWindow(panel);
}

// The menu opens at the cursor. Where the cursor cannot be read (a secure
// desktop, a locked session) it opens at the FX button's bottom-left corner.
static void ShowFxMenu(HWND window)
{
    POINT at;
    if (!ShellApi.cursorPos(&at)) {
        at = POINT{105, 50};
        ClientToScreen(window, &at);
    }
    TrackPopupMenu(Main.fxMenu, 0, at.x, at.y, 0, window, nullptr);
}

static void ShowAbout(HWND window)
{
    ShowWindow(window, SW_HIDE);
    HWND about = CreateWindowExA(0, "ABOUT", "Voxotrope", WS_POPUP, 300, 250, 250, 187, nullptr,
                                 nullptr, Main.instance, nullptr);
    ShowWindow(about, SW_SHOWNORMAL);
    UpdateWindow(about);
}

static void MainCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    WORD command = LOWORD(wParam);
    switch (command) {
    case IDC_START:
        TransportToggle(reinterpret_cast<HWND>(lParam));
        return;
    case IDC_CLOSE:
        DestroyWindow(window);
        return;
    case IDC_FX:
        ShowFxMenu(window);
        return;
    case IDC_ABOUT:
        ShowAbout(window);
        return;
    }
    for (const auto& entry : PanelCommands)
        if (entry.command == command)
            OpenPanel(window, entry.effect);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PlayWriteCursor = ResyncRequest;
    switch (msg) {
    case WM_CREATE:
        MainCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case WM_DESTROY:
        MainDestroy();
        return 0;
    case WM_PAINT:
        FramePaint(window, SharedSkin.mainBackground, nullptr);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        FrameDragStep(window, &Main.drag, wParam, lParam);
        return 0;
    case WM_COMMAND:
        MainCommand(window, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}
