// Placeholder slider.
#include "windows_ui.h"
#include "stream.h"

LRESULT CALLBACK SliderProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PlayWriteCursor = ResyncRequest;
    return DefWindowProcA(window, msg, wParam, lParam);
}
