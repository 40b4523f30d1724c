#include "duplex.h"
#include <cstdlib>
#include "audio_objects.h"
#include "chain.h"
#include "device_dialog.h"
#include "sound_api.h"
#include "stream.h"

AudioObjects Audio;
const char* PendingError;

// The buffer descriptions are the record's first version (20 bytes in the
// 32-bit program).
static_assert(sizeof(void*) != 4 || sizeof(DSBUFFERDESC1) == 20);
static_assert(sizeof(void*) != 4 || sizeof(DSCBUFFERDESC1) == 20);

// The descriptions point at a format they do not change.
static WAVEFORMATEX Format = SoundFormat;

static bool Fail(const char* message)
{
    PendingError = message;
    return false;
}

static bool CreatePlayback(HWND mainWindow)
{
    if (FAILED(SoundApi.create(ChosenDevice, &Audio.sound, nullptr)))
        return Fail("Error creating DirectSound object!");
    Audio.sound->SetCooperativeLevel(mainWindow, DSSCL_EXCLUSIVE);

    DSBUFFERDESC description = {};
    description.dwSize = sizeof(DSBUFFERDESC1);
    description.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (FAILED(Audio.sound->CreateSoundBuffer(&description, &Audio.primary, nullptr)))
        return Fail("Error creating DirectSound primary buffer!");
    Audio.primary->SetFormat(&Format);
    Audio.primary->Play(0, 0, DSBPLAY_LOOPING);

    description.dwFlags = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
    description.dwBufferBytes = RingBytes;
    description.lpwfxFormat = &Format;
    if (FAILED(Audio.sound->CreateSoundBuffer(&description, &Audio.PlaybackRing, nullptr)))
        return Fail("Error creating DirectSound secondary buffer!");
    return true;
}

static bool CreateCapture()
{
    if (FAILED(SoundApi.captureCreate(nullptr, &Audio.capture, nullptr)))
        return Fail("Error creating DirectSoundCapture object!");

    DSCBUFFERDESC description = {};
    description.dwSize = sizeof(DSCBUFFERDESC1);
    description.dwBufferBytes = RingBytes;
    description.lpwfxFormat = &Format;
    if (FAILED(Audio.capture->CreateCaptureBuffer(&description, &Audio.CaptureRing, nullptr)))
        return Fail("Error creating DirectSound capture buffer!");

    // Without both events and their positions no block step would ever run.
    for (HANDLE& event : Audio.events) {
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!event)
            return Fail("Error creating DirectSound notification events!");
    }
    if (FAILED(Audio.CaptureRing->QueryInterface(IID_IDirectSoundNotify,
                                                 reinterpret_cast<void**>(&Audio.notify))))
        return Fail("Error creating DirectSoundNotify interface!");
    DSBPOSITIONNOTIFY positions[2] = {{NotifyOffset[0], Audio.events[0]},
                                      {NotifyOffset[1], Audio.events[1]}};
    if (FAILED(Audio.notify->SetNotificationPositions(2, positions)))
        return Fail("Error setting DirectSound notification positions!");
    return true;
}

static bool AllocateWorkBuffers()
{
    for (int16_t*& buffer : WorkBuffers) {
        buffer = static_cast<int16_t*>(malloc(AudioBlockBytes));
        if (!buffer)
            return Fail("Error allocating the sound work buffers!");
    }
    return true;
}

bool AudioSetup(HWND mainWindow)
{
    Audio.mainWindow = mainWindow;
    if (!RunDeviceDialog(mainWindow))
        return false;  // cancelled, or no output listed: ends without a message
    return CreatePlayback(mainWindow) && CreateCapture() && AllocateWorkBuffers();
}

template <typename Object>
static void ReleaseObject(Object*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

void AudioTeardown()
{
    if (Transport) {
        Audio.PlaybackRing->Stop();
        Audio.CaptureRing->Stop();
    }
    // No block step from here on, not even from the timer that the message
    // box's own loop dispatches.
    Transport = 0;
    if (Audio.primary)
        Audio.primary->Stop();
    if (PendingError)
        MessageBoxA(nullptr, PendingError, "Voxotrope", MB_ICONERROR);

    ReleaseObject(Audio.notify);
    for (HANDLE& event : Audio.events) {
        if (event)
            CloseHandle(event);
        event = nullptr;
    }
    ReleaseObject(Audio.CaptureRing);
    ReleaseObject(Audio.capture);
    ReleaseObject(Audio.PlaybackRing);
    ReleaseObject(Audio.primary);
    ReleaseObject(Audio.sound);
    for (int16_t*& buffer : WorkBuffers) {
        free(buffer);
        buffer = nullptr;
    }
}
