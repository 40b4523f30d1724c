// The output device dialog: enumerates the outputs and lets the user pick one
// when there are three entries or more.
#pragma once
#include <windows.h>

// The chosen output device; null for the system's default output.
extern const GUID* ChosenDevice;

// Runs the dialog owned by `owner`. Returns non-zero to go on, 0 when the
// user cancelled or no output device exists.
INT_PTR RunDeviceDialog(HWND owner);
