// The about window: one picture with an "OK" button, standing in for the
// hidden main window. It is not a frame: it cannot be dragged and leaves
// PlayWriteCursor alone.
#include "windows_ui.h"
#include "main_window.h"
#include "resource.h"
#include "skin_paint.h"

constexpr int AboutWidth = 250;
constexpr int AboutHeight = 187;
constexpr int OkSize = 25;

static struct {
    HINSTANCE instance;
    HBITMAP picture;  // ABOUTBMP
} About;

static void AboutCreate(HWND window, const CREATESTRUCTA* creation)
{
    About.instance = creation->hInstance;
    About.picture = LoadBitmapA(About.instance, "ABOUTBMP");
    CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_CENTER, 0, 0, OkSize, OkSize, window,
                    reinterpret_cast<HMENU>(IDC_ABOUTOK), About.instance, nullptr);
}

static void ShowMainWindow()
{
    if (MainWindow && IsWindow(MainWindow)) {
        ShowWindow(MainWindow, SW_SHOW);
        UpdateWindow(MainWindow);
    }
}

// However the window goes ("OK", Alt+F4, any DestroyWindow), the main window
// comes back: otherwise the program would run on with no window at all.
static void AboutDestroy()
{
    DeleteObject(About.picture);
    About.picture = nullptr;
    ShowMainWindow();
}

static void AboutPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    HDC memory = CreateCompatibleDC(screen);
    CopyBitmap(screen, memory, About.picture, 0, 0, AboutWidth, AboutHeight);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

LRESULT CALLBACK AboutProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        AboutCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case WM_DESTROY:
        AboutDestroy();
        return 0;
    case WM_PAINT:
        AboutPaint(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABOUTOK) {
            ShowMainWindow();
            DestroyWindow(window);
        }
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}
