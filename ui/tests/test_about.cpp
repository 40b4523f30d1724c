// The about window: its "OK" button, bringing the main window back however it
// closes, and leaving PlayWriteCursor alone.
#include "ui_support.h"
#include "main_window.h"
#include "resource.h"
#include "stream.h"

namespace {

struct AboutTest : UiTest {
    HWND main = nullptr;

    void SetUp() override
    {
        UiTest::SetUp();
        main = PlainWindow();  // stands in for the main window, hidden as the About command leaves it
        MainWindow = main;
    }
    HWND OpenAbout()
    {
        HWND about = CreateWindowExA(0, "ABOUT", "Voxotrope", WS_POPUP, 300, 250, 250, 187, nullptr, nullptr,
                                     Instance(), nullptr);
        ShowWindow(about, SW_SHOWNOACTIVATE);
        UpdateWindow(about);
        return about;
    }
};

TEST_F(AboutTest, HasTheOkButtonTopLeft)
{
    HWND about = OpenAbout();
    HWND ok = GetDlgItem(about, IDC_ABOUTOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ClassOf(ok), "Button");
    EXPECT_EQ(TextOf(ok), "OK");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(ok, GWL_STYLE)), 0x50000300u);
    RECT rect = WindowRect(ok);
    EXPECT_EQ(rect.left, 300);
    EXPECT_EQ(rect.top, 250);
    EXPECT_EQ(rect.right - rect.left, 25);
    EXPECT_EQ(rect.bottom - rect.top, 25);
}

TEST_F(AboutTest, OkShowsTheMainWindowAndCloses)
{
    HWND about = OpenAbout();
    EXPECT_FALSE(IsWindowVisible(main));
    SendMessageA(about, WM_COMMAND, MAKEWPARAM(IDC_ABOUTOK, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(AboutTest, OtherCommandsDoNothing)
{
    HWND about = OpenAbout();
    for (WPARAM command : {WPARAM{IDC_CLOSE}, WPARAM{IDC_ABOUT}, WPARAM{0x10000}})
        SendMessageA(about, WM_COMMAND, command, 0);
    EXPECT_TRUE(IsWindow(about));
    EXPECT_FALSE(IsWindowVisible(main));
}

// Regression: closing the about window other than by "OK" (Alt+F4) left the
// main window hidden and the program running with no window at all.
TEST_F(AboutTest, ClosingItAnyOtherWayAlsoShowsTheMainWindow)
{
    HWND about = OpenAbout();
    SendMessageA(about, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(IsWindowVisible(main));

    ShowWindow(main, SW_HIDE);
    about = OpenAbout();
    DestroyWindow(about);
    EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(AboutTest, ClosesQuietlyWithoutAMainWindow)
{
    DestroyWindow(main);
    MainWindow = nullptr;
    HWND about = OpenAbout();
    SendMessageA(about, WM_COMMAND, IDC_ABOUTOK, 0);
    EXPECT_FALSE(IsWindow(about));
}

TEST_F(AboutTest, LeavesPlayWriteCursorAlone)
{
    PlayWriteCursor = 4242;
    HWND about = OpenAbout();
    const struct {
        UINT msg;
        WPARAM wParam;
    } messages[] = {
        {WM_PAINT, 0}, {WM_ERASEBKGND, 0}, {WM_MOUSEMOVE, 0}, {WM_MOUSEMOVE, MK_LBUTTON},
        {WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}, {WM_COMMAND, 999}, {WM_NULL, 0}, {WM_SETCURSOR, 0},
    };
    for (const auto& m : messages)
        SendMessageA(about, m.msg, m.wParam, At(40, 40));
    SendMessageA(about, WM_COMMAND, IDC_ABOUTOK, 0);
    EXPECT_EQ(PlayWriteCursor, 4242u);
}

TEST_F(AboutTest, CannotBeDragged)
{
    HWND about = OpenAbout();
    SendMessageA(about, WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));
    for (int step = 1; step <= 5; step++)
        SendMessageA(about, WM_MOUSEMOVE, MK_LBUTTON, At(100 + 10 * step, 100 + 5 * step));
    SendMessageA(about, WM_LBUTTONUP, 0, At(150, 125));
    RECT rect = WindowRect(about);
    EXPECT_EQ(rect.left, 300);
    EXPECT_EQ(rect.top, 250);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(AboutTest, PaintsThePictureOverTheWholeWindow)
{
    HWND about = OpenAbout();
    HBITMAP picture = LoadBitmapA(Instance(), "ABOUTBMP");
    HDC screen = GetDC(about);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(memory, picture);
    InvalidateRect(about, nullptr, FALSE);
    for (POINT at : {POINT{30, 0}, POINT{249, 0}, POINT{0, 186}, POINT{249, 186}, POINT{125, 90}})
        EXPECT_EQ(PixelAt(about, at.x, at.y), GetPixel(memory, at.x, at.y)) << at.x << "," << at.y;
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(about, screen);
    DeleteObject(picture);
}

}  // namespace
