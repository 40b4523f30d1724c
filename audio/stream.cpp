#include "stream.h"
#include <cstring>
#include "audio_objects.h"
#include "chain.h"

uint32_t PlayWriteCursor = ResyncRequest;
int Transport;

bool StopWithError(const char* message)
{
    PendingError = message;
    DestroyWindow(Audio.mainWindow);
    return false;
}

bool BlockStep(int half)
{
    void* captured;
    DWORD capturedBytes;
    if (FAILED(Audio.CaptureRing->Lock(HalfBytes * half, HalfBytes, &captured, &capturedBytes,
                                       nullptr, nullptr, 0)))
        return StopWithError("Unable to lock capture buffer! If you have other sound-applications "
                             "running please close them and restart Voxotrope!");

    if (PlayWriteCursor == ResyncRequest) {
        DWORD writeCursor = 0;
        Audio.PlaybackRing->GetCurrentPosition(nullptr, &writeCursor);
        PlayWriteCursor = writeCursor + ResyncLead;
    }
    if (PlayWriteCursor >= RingBytes)
        PlayWriteCursor -= RingBytes;  // at most 15999 + 8000 reaches here

    void* region[2];
    DWORD regionBytes[2];
    if (FAILED(Audio.PlaybackRing->Lock(PlayWriteCursor, HalfBytes, &region[0], &regionBytes[0],
                                        &region[1], &regionBytes[1], 0))) {
        // Hand the captured half back before ending, so the device is not
        // left with a locked region while the tear-down stops it.
        Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
        return StopWithError("Unable to lock playback buffer! If you have other sound-applications "
                             "running please close them and restart Voxotrope!");
    }

    BlockCursor = static_cast<const int16_t*>(captured);
    RunEffectChain();

    const uint8_t* block = reinterpret_cast<const uint8_t*>(BlockCursor);
    memcpy(region[0], block, regionBytes[0]);
    if (regionBytes[1])
        memcpy(region[1], block + regionBytes[0], regionBytes[1]);

    Audio.PlaybackRing->Unlock(region[0], regionBytes[0], region[1], regionBytes[1]);
    Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
    PlayWriteCursor += HalfBytes;  // wrapped by the next step
    return true;
}

void TransportToggle(HWND button)
{
    if (Transport == 0) {
        SetWindowTextA(button, "Stop");
        Audio.PlaybackRing->Play(0, 0, DSBPLAY_LOOPING);
        Audio.CaptureRing->Start(DSCBSTART_LOOPING);
    } else {
        SetWindowTextA(button, "Start");
        Audio.PlaybackRing->Stop();
        Audio.CaptureRing->Stop();
        PlayWriteCursor = ResyncRequest;
    }
    Transport ^= 1;
}
