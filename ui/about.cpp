// Placeholder about window.
#include "windows_ui.h"

LRESULT CALLBACK AboutProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, msg, wParam, lParam);
}
