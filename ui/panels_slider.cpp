// Pitch and Volume: a slider that edits the effect's ParameterTable row, with
// its tooltip.
#include "panel.h"
#include "stream.h"

constexpr int SliderX = 20;
constexpr int SliderY = 35;
constexpr int SliderWidth = 10;
constexpr int SliderHeight = 45;

static void SliderPanelCreate(EffectId effect, SliderId slider, const char* tipText, HWND window,
                              const CREATESTRUCTA* creation)
{
    PanelState* panel = PanelBegin(effect, creation);
    PanelLoadLabel(effect);
    panel->control = CreateWindowExA(0, "Slider", nullptr, WS_CHILD | WS_VISIBLE, SliderX, SliderY, SliderWidth,
                                     SliderHeight, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(slider)),
                                     panel->instance, nullptr);
    CreateCloseButton(window, panel->instance);
    AttachTip(&panel->tip, window, panel->instance, panel->control, tipText);
}

static LRESULT SliderPanelMessage(EffectId effect, SliderId slider, const char* tipText, HWND window, UINT msg,
                                  WPARAM wParam, LPARAM lParam)
{
    PlayWriteCursor = ResyncRequest;
    switch (msg) {
    case WM_CREATE:
        SliderPanelCreate(effect, slider, tipText, window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case WM_DESTROY:
        PanelRelease(effect);
        return 0;
    }
    return PanelFrameMessage(window, effect, msg, wParam, lParam);
}

LRESULT CALLBACK PitchPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return SliderPanelMessage(FxPitch, SliderPitch, "frequency", window, msg, wParam, lParam);
}

LRESULT CALLBACK VolumePanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return SliderPanelMessage(FxVolume, SliderVolume, "volume", window, msg, wParam, lParam);
}
