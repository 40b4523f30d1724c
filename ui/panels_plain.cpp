// Triangle, Reverse, Crazy and Deeper: a label and the "X" button, nothing
// to adjust.
#include "panel.h"
#include "stream.h"

static void PlainPanelCreate(EffectId effect, HWND window, const CREATESTRUCTA* creation)
{
    PanelState* panel = PanelBegin(effect, creation);
    PanelLoadLabel(effect);
    CreateCloseButton(window, panel->instance);
}

static LRESULT PlainPanelMessage(EffectId effect, HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PlayWriteCursor = ResyncRequest;
    switch (msg) {
    case WM_CREATE:
        PlainPanelCreate(effect, window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case WM_DESTROY:
        PanelRelease(effect);
        return 0;
    }
    return PanelFrameMessage(window, effect, msg, wParam, lParam);
}

LRESULT CALLBACK TrianglePanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PlainPanelMessage(FxTriangle, window, msg, wParam, lParam);
}

LRESULT CALLBACK ReversePanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PlainPanelMessage(FxReverse, window, msg, wParam, lParam);
}

LRESULT CALLBACK CrazyPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PlainPanelMessage(FxCrazy, window, msg, wParam, lParam);
}

LRESULT CALLBACK DeeperPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PlainPanelMessage(FxDeeper, window, msg, wParam, lParam);
}
