#include "skin_paint.h"

void CopyBitmap(HDC target, HDC memory, HBITMAP bitmap, int x, int y, int width, int height)
{
    if (!bitmap)
        return;
    // Put the context's own bitmap back, so that the shared bitmaps are never
    // left selected into a context that is about to be deleted.
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
}
