// What the main window and the effect panels share: painting from bitmaps,
// drag-to-move with the left button, and the "X" close button.
#pragma once
#include <windows.h>

constexpr int FrameWidth = 150;
constexpr int FrameHeight = 100;
// The effect's name label, bottom right: 4 pixels from the right edge, 3 from the bottom.
constexpr int LabelX = 96;
constexpr int LabelY = 77;
constexpr int LabelWidth = 50;
constexpr int LabelHeight = 20;

struct DragState {
    int dragging;      // 1 while a drag holds the mouse capture
    POINT grabOffset;  // cursor minus the window's top-left corner at the drag's start
    POINT lastCursor;  // screen cursor where the window was last moved; kept after a drag
};

// The new top-left corner for a cursor at `cursor` (screen coordinates).
POINT DragTarget(POINT cursor, POINT grabOffset);

// WM_MOUSEMOVE: moves the window while exactly the left button is down; any
// other move ends the drag.
void FrameDragStep(HWND window, DragState* drag, WPARAM wParam, LPARAM lParam);

// WM_PAINT: the whole client area from `background`, then `label` (50 x 20,
// may be null for none) at (96, 77).
void FramePaint(HWND window, HBITMAP background, HBITMAP label);

// The 10 x 10 "X" button at (140, 0), command 101.
void CreateCloseButton(HWND window, HINSTANCE instance);
