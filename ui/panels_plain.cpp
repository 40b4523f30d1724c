// Triangle, Reverse, Crazy and Deeper: a label and the "X" button, nothing
// to adjust.
#include "panel.h"
#include "stream.h"

static LRESULT PlainPanelMessage(EffectId effect, HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PlayWriteCursor = ResyncRequest;
    switch (msg) {
    case WM_CREATE:
        PanelBegin(effect, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        PanelLoadLabel(effect);
        PanelAddCloseButton(window, effect);
        return 0;
    case WM_DESTROY:
        PanelReleaseLabel(effect);
        PanelEnd(effect);
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
