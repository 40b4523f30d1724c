// The seven panel classes and what their creation, destruction and frame
// messages have in common.
#include "panel.h"
#include "main_window.h"
#include "resource.h"
#include "windows_ui.h"

PanelState Panels[EffectCount];

const char* const PanelClassNames[EffectCount] = {
    "Pitch", "Volume", "Triangle", "AM", "Reverse", "Crazy", "Deeper",
};

const char* const PanelLabelNames[EffectCount] = {
    "PITCHBMP", "VOLUMEBMP", "TRIANGLEBMP", "AMBMP", "REVERSEBMP", "CRAZYBMP", "DEEPERBMP",
};

const WNDPROC PanelProcedures[EffectCount] = {
    PitchPanelProc, VolumePanelProc, TrianglePanelProc, AMPanelProc,
    ReversePanelProc, CrazyPanelProc, DeeperPanelProc,
};

PanelState* PanelBegin(EffectId effect, const CREATESTRUCTA* creation)
{
    EffectFlags[effect] = 1;
    Panels[effect].instance = creation->hInstance;
    // A panel closed mid-drag (Alt+F4 before the next mouse move) never saw
    // the drag end; its successor must not carry it on without the capture.
    Panels[effect].drag.dragging = 0;
    return &Panels[effect];
}

void PanelLoadLabel(EffectId effect)
{
    Panels[effect].label = LoadBitmapA(Panels[effect].instance, PanelLabelNames[effect]);
}

void PanelRelease(EffectId effect)
{
    PanelState& panel = Panels[effect];
    DeleteObject(panel.label);
    DeleteObject(panel.openImage);
    panel.label = nullptr;
    panel.openImage = nullptr;
    DetachTip(&panel.tip);
    panel.control = nullptr;  // destroyed by the system after the panel
    EffectFlags[effect] = 0;
}

LRESULT PanelFrameMessage(HWND window, EffectId effect, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        FramePaint(window, SharedSkin.panelBackground, Panels[effect].label);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the background is drawn only by WM_PAINT
    case WM_MOUSEMOVE:
        FrameDragStep(window, &Panels[effect].drag, wParam, lParam);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CLOSE)
            DestroyWindow(window);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}
