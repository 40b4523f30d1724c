// Window procedures of the skinned user interface, registered at start-up.
#pragma once
#include <windows.h>
#include "chain.h"

// One procedure per effect panel class, in chain order (EffectId).
extern const WNDPROC PanelProcedures[EffectCount];
// Window class names of the panels, in chain order.
extern const char* const PanelClassNames[EffectCount];

LRESULT CALLBACK SliderProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK AboutProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
