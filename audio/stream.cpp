#include "stream.h"
#include <cstring>
#include "audio_objects.h"
#include "chain.h"

uint32_t PlayWriteCursor = ResyncRequest;
int Transport;
void (*BlockStepTrace)(const BlockStepRecord& record);

// Bytes from `from` forward to `to` around the PlaybackRing.
static DWORD RingDistance(DWORD from, DWORD to)
{
    return (to % RingBytes + RingBytes - from % RingBytes) % RingBytes;
}

// Whether the capture device is writing `half` or is about to: its cursor
// lies inside the half or less than CaptureMargin before it. The device copies
// a period of sound into the ring before it moves its cursor on, so a cursor
// just short of the half may already have overwritten its start.
static bool CaptureReaches(int half)
{
    DWORD cursor = 0;
    if (FAILED(Audio.CaptureRing->GetCurrentPosition(&cursor, nullptr)))
        return false;
    return RingDistance(HalfBytes * half + RingBytes - CaptureMargin, cursor) < HalfBytes + CaptureMargin;
}

bool WritePositionHolds(uint32_t position, DWORD playCursor, DWORD writeCursor)
{
    const DWORD beyondWrite = RingDistance(writeCursor, position);
    return beyondWrite + DriftTolerance >= ResyncLead && beyondWrite <= ResyncLead + DriftTolerance &&
           RingDistance(playCursor, position) <= RingBytes - HalfBytes;
}

static void Silence(DWORD from, DWORD bytes)
{
    void* region[2];
    DWORD regionBytes[2];
    if (bytes == 0 || FAILED(Audio.PlaybackRing->Lock(from % RingBytes, bytes, &region[0], &regionBytes[0],
                                                      &region[1], &regionBytes[1], 0)))
        return;
    memset(region[0], 0, regionBytes[0]);
    if (regionBytes[1])
        memset(region[1], 0, regionBytes[1]);
    Audio.PlaybackRing->Unlock(region[0], regionBytes[0], region[1], regionBytes[1]);
}

// When the write position is set anew, silences what lies between the
// device's write cursor and the new position, except sound still waiting to
// be played there: the device would otherwise play what the ring held from
// its previous pass.
static void SilenceGap(uint32_t previous, DWORD position, DWORD playCursor, DWORD writeCursor)
{
    DWORD from = writeCursor;
    const DWORD waiting = RingDistance(playCursor, previous);
    if (previous != ResyncRequest && waiting <= HalfBytes && waiting > RingDistance(playCursor, writeCursor))
        from = previous;
    const DWORD start = RingDistance(playCursor, from), end = RingDistance(playCursor, position);
    if (start < end)
        Silence(from, end - start);
}

bool StopWithError(const char* message)
{
    PendingError = message;
    DestroyWindow(Audio.mainWindow);
    return false;
}

bool BlockStep(int half)
{
    if (CaptureReaches(half)) {
        if (BlockStepTrace)
            BlockStepTrace({half, 0, 0, PlayWriteCursor, AnchorNone, nullptr});
        return true;
    }

    void* captured;
    DWORD capturedBytes;
    if (FAILED(Audio.CaptureRing->Lock(HalfBytes * half, HalfBytes, &captured, &capturedBytes,
                                       nullptr, nullptr, 0)))
        return StopWithError("Unable to lock capture buffer! If you have other sound-applications "
                             "running please close them and restart Voxotrope!");

    // Anchored anew when asked to, and when the device's clock has carried
    // the write position out of its window.
    DWORD playCursor = 0, writeCursor = 0;
    const bool cursorsKnown = SUCCEEDED(Audio.PlaybackRing->GetCurrentPosition(&playCursor, &writeCursor));
    const uint32_t previous = PlayWriteCursor;
    Anchor anchor = AnchorNone;
    if (PlayWriteCursor == ResyncRequest)
        anchor = AnchorRequested;
    else if (cursorsKnown && !WritePositionHolds(PlayWriteCursor, playCursor, writeCursor))
        anchor = AnchorCorrection;
    if (anchor != AnchorNone)
        PlayWriteCursor = writeCursor + ResyncLead;
    if (PlayWriteCursor >= RingBytes)
        PlayWriteCursor -= RingBytes;  // at most 15999 + 8000 reaches here
    if (anchor != AnchorNone && cursorsKnown)
        SilenceGap(previous, PlayWriteCursor, playCursor, writeCursor);

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

    // A step that came almost half a ring late may have read the half while
    // the capture device began to overwrite it: the block is dropped, as a
    // skipped half, and the next one goes in its place.
    const bool torn = CaptureReaches(half);
    if (BlockStepTrace)
        BlockStepTrace({half, playCursor, writeCursor, PlayWriteCursor, anchor, torn ? nullptr : BlockCursor});
    Audio.PlaybackRing->Unlock(region[0], regionBytes[0], region[1], regionBytes[1]);
    Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
    if (!torn)
        PlayWriteCursor += HalfBytes;  // wrapped by the next step
    // What lies beyond the block up to the play cursor's next pass has been
    // played (or holds the dropped block): silenced, a late next block leaves
    // a gap there, not a replay.
    if (cursorsKnown)
        Silence(PlayWriteCursor, RingDistance(PlayWriteCursor, playCursor));
    return true;
}

void TransportToggle(HWND button)
{
    if (Transport == 0) {
        SetWindowTextA(button, "Stop");
        // Blocks must keep pace with the devices on a busy machine too.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        Silence(0, RingBytes);  // what was left from before a Stop is not played again
        Audio.PlaybackRing->Play(0, 0, DSBPLAY_LOOPING);
        Audio.CaptureRing->Start(DSCBSTART_LOOPING);
    } else {
        SetWindowTextA(button, "Start");
        Audio.PlaybackRing->Stop();
        Audio.CaptureRing->Stop();
        PlayWriteCursor = ResyncRequest;
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    }
    Transport ^= 1;
}
