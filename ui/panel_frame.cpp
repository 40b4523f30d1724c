#include "panel_frame.h"
#include "resource.h"
#include "skin_paint.h"

constexpr DWORD ChildButtonStyle = WS_CHILD | WS_VISIBLE | BS_CENTER;

POINT DragTarget(POINT cursor, POINT grabOffset)
{
    return POINT{cursor.x - grabOffset.x, cursor.y - grabOffset.y};
}

void FrameDragStep(HWND window, DragState* drag, WPARAM wParam, LPARAM lParam)
{
    if (wParam != MK_LBUTTON) {
        if (drag->dragging) {
            drag->dragging = 0;
            ReleaseCapture();
        }
        return;
    }
    // Client coordinates are signed: a fast move can leave the window.
    POINT cursor = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ClientToScreen(window, &cursor);
    if (!drag->dragging) {
        SetCapture(window);
        RECT rect;
        GetWindowRect(window, &rect);
        drag->grabOffset = POINT{cursor.x - rect.left, cursor.y - rect.top};
        drag->dragging = 1;
    }
    if (cursor.x == drag->lastCursor.x && cursor.y == drag->lastCursor.y)
        return;
    POINT corner = DragTarget(cursor, drag->grabOffset);
    MoveWindow(window, corner.x, corner.y, FrameWidth, FrameHeight, TRUE);
    drag->lastCursor = cursor;
}

void FramePaint(HWND window, HBITMAP background, HBITMAP label)
{
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    HDC memory = CreateCompatibleDC(screen);
    CopyBitmap(screen, memory, background, 0, 0, FrameWidth, FrameHeight);
    CopyBitmap(screen, memory, label, LabelX, LabelY, LabelWidth, LabelHeight);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

void CreateCloseButton(HWND window, HINSTANCE instance)
{
    HWND button = CreateWindowExA(0, "BUTTON", "X", ChildButtonStyle, 140, 0, 10, 10, window,
                                  reinterpret_cast<HMENU>(IDC_CLOSE), instance, nullptr);
    // The system font's "X" is taller than the button and shows cut off; the
    // stock GUI font fits. Stock objects are never deleted.
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}
