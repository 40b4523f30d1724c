// Loading an AM carrier from a WAV file chosen in the open-file dialog.
#pragma once
#include <windows.h>

// Fills the one open-file request, owned by `mainWindow`; done once, after a
// successful audio set-up.
void PrepareOpenFileRequest(HWND mainWindow);

// The open-file request and its 256-byte file-name buffer, kept for the run.
extern OPENFILENAMEA OpenFileRequest;
extern char CarrierFileName[256];
