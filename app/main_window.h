// The borderless main window: Start/Stop, FX menu, About and close.
#pragma once
#include <windows.h>
#include "panel_frame.h"

// Bitmaps loaded by the main window's creation and borrowed by every other
// skinned window until its destruction.
struct SharedBitmaps {
    HBITMAP mainBackground;   // MAINBKGBMP, 150 x 100
    HBITMAP panelBackground;  // BKGBMP, 150 x 100
    HBITMAP sliderTrack;      // SLIBKGBMP, 10 x 45
    HBITMAP sliderThumb;      // THUMBBMP, 10 x 9
};
extern SharedBitmaps SharedSkin;

// The main window itself while it exists, else null.
extern HWND MainWindow;

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// Panel position for the next opening, from four draws of the unseeded rand:
// x = 300 - r1 mod 256, y = 300 - r3 mod 128.
POINT NextPanelPosition();
