// What the user-interface tests share: the window classes, the shared skin,
// a clean program state, and helpers to find and measure windows.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "chain.h"

struct UiTest : ::testing::Test {
    static HINSTANCE Instance();
    void SetUp() override;
    void TearDown() override;

    // A panel of `effect` at (x, y), owned by `owner` (none by default), shown.
    HWND OpenPanel(EffectId effect, int x = 200, int y = 200, HWND owner = nullptr);
    // A plain top-level window of the tests' own class, hidden.
    HWND PlainWindow();
};

// The client-area corner of `window` in screen coordinates, and its window rectangle.
POINT ScreenCorner(HWND window);
RECT WindowRect(HWND window);

// Windows of this thread whose class is `className`.
std::vector<HWND> ThreadWindows(const char* className);
std::string ClassOf(HWND window);
std::string TextOf(HWND window);

// A 24-bit bitmap of one colour.
HBITMAP SolidBitmap(int width, int height, COLORREF colour);

// The pixel at (x, y) of a shown window, after its pending paints.
COLORREF PixelAt(HWND window, int x, int y);

inline LPARAM At(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}
