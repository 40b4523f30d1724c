// Loading an AM carrier from a WAV file chosen in the open-file dialog.
#pragma once
#include <windows.h>
#include <cstdint>

// Fills the one open-file request, owned by `mainWindow`; done once, after a
// successful audio set-up.
void PrepareOpenFileRequest(HWND mainWindow);

// Reads the WAV file at `path` and, when it is acceptable, makes it the
// carrier: *samples and *length receive the new carrier (the previous block
// is released, if *samples is not null). Otherwise shows why in a message
// box owned by `owner` and leaves the carrier as it was. The caller restarts
// the read position either way.
void LoadCarrierFile(HWND owner, const char* path, const int16_t** samples, uint32_t* length);

// The open-file request and its 256-byte file-name buffer, kept for the run.
extern OPENFILENAMEA OpenFileRequest;
extern char CarrierFileName[256];
