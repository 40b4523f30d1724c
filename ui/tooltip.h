// A panel's tooltip: its own tooltip window with the one tool for a control.
#pragma once
#include <windows.h>
#include <commctrl.h>

struct ControlTip {
    HWND window;     // the tooltip window, null when none
    TOOLINFOA tool;  // the tool registered with it
};

// Creates the tooltip window and registers `control` of `panel` with `text`;
// the tip watches the control's mouse messages itself.
void AttachTip(ControlTip* tip, HWND panel, HINSTANCE instance, HWND control, const char* text);

// Removes the tool and destroys the tooltip window, which has no owner and
// would otherwise outlive the panel.
void DetachTip(ControlTip* tip);
