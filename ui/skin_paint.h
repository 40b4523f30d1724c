// Copying fixed rectangles of resource bitmaps onto a window.
#pragma once
#include <windows.h>

// Copies width x height pixels from (0, 0) of `bitmap` to (x, y) of `target`
// through the memory context `memory`, which keeps its own bitmap afterwards.
// A bitmap that failed to load (null) draws nothing.
void CopyBitmap(HDC target, HDC memory, HBITMAP bitmap, int x, int y, int width, int height);
