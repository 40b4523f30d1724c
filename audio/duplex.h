// Duplex set-up and tear-down: the output device with its primary buffer and
// PlaybackRing, the default capture device with its CaptureRing, the two
// capture events and the WorkBuffers.
#pragma once
#include <windows.h>

// Runs every set-up step in order and stops at the first failure, which
// stores its message in PendingError (none when the device dialog was
// cancelled). Returns false on failure; the caller then destroys `mainWindow`.
bool AudioSetup(HWND mainWindow);

// Stops the rings, shows PendingError if any, then releases everything in
// reverse order of creation. Safe after a partial set-up.
void AudioTeardown();
