// What every effect panel holds, and the steps its creation and destruction
// share. The effect is on exactly while its panel exists.
#pragma once
#include <windows.h>
#include "chain.h"
#include "panel_frame.h"
#include "tooltip.h"

// One per panel class (at most one panel of a class exists at a time).
struct PanelState {
    HINSTANCE instance;  // from the creation parameters
    HBITMAP label;       // the panel's own 50 x 20 name label
    DragState drag;      // not dragging at creation; lastCursor kept from one panel to the next
    HWND control;        // the slider, or the AM open button
    HBITMAP openImage;   // AM: the open button's image
    ControlTip tip;      // Pitch, Volume, AM
};
extern PanelState Panels[EffectCount];

// Label bitmap names, in chain order.
extern const char* const PanelLabelNames[EffectCount];

// The first creation steps of every panel: the effect on, the instance kept.
PanelState* PanelBegin(EffectId effect, const CREATESTRUCTA* creation);
void PanelLoadLabel(EffectId effect);

// The last destruction steps of every panel: its bitmaps deleted, its tip
// removed, and then the effect off.
void PanelRelease(EffectId effect);

// Every other message, answered alike by all panels: painting, erasing, the
// drag, the "X" command (other commands are ignored), and the default.
LRESULT PanelFrameMessage(HWND window, EffectId effect, UINT msg, WPARAM wParam, LPARAM lParam);

// The window procedures, one per class.
LRESULT CALLBACK PitchPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK VolumePanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TrianglePanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK AMPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ReversePanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CrazyPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK DeeperPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
