// Placeholder panels: switch their effect on while they exist.
#include "windows_ui.h"
#include "panel_frame.h"
#include "stream.h"

const char* const PanelClassNames[EffectCount] = {
    "Pitch", "Volume", "Triangle", "AM", "Reverse", "Crazy", "Deeper",
};

template <EffectId fx>
static LRESULT CALLBACK PanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static DragState drag;
    PlayWriteCursor = ResyncRequest;
    switch (msg) {
    case WM_CREATE:
        EffectFlags[fx] = 1;
        CreateCloseButton(window, reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance);
        return 0;
    case WM_DESTROY:
        EffectFlags[fx] = 0;
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        FrameDragStep(window, &drag, wParam, lParam);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == 101)
            DestroyWindow(window);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

const WNDPROC PanelProcedures[EffectCount] = {
    PanelProc<FxPitch>, PanelProc<FxVolume>, PanelProc<FxTriangle>, PanelProc<FxAM>,
    PanelProc<FxReverse>, PanelProc<FxCrazy>, PanelProc<FxDeeper>,
};
