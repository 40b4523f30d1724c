// The duplex sound objects, created by the audio set-up and released by its
// tear-down; each is null until created.
#pragma once
#include <windows.h>
#include <dsound.h>

struct AudioObjects {
    HWND mainWindow;                         // owner of the cooperative level; destroyed on failure
    IDirectSound* sound;
    IDirectSoundBuffer* primary;
    IDirectSoundBuffer* PlaybackRing;        // looping, 16000 bytes
    IDirectSoundCapture* capture;
    IDirectSoundCaptureBuffer* CaptureRing;  // looping, 16000 bytes, two halves
    IDirectSoundNotify* notify;
    HANDLE events[2];                        // E0, E1: capture passed the end of half 0, half 1
};

extern AudioObjects Audio;

// The one message the main window's destruction shows; null when none.
extern const char* PendingError;
