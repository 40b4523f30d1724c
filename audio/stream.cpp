#include "stream.h"
#include <cstring>
#include "audio_objects.h"
#include "chain.h"
#include "stall_watch.h"

uint32_t PlayWriteCursor = ResyncRequest;
int Transport;
void (*BlockStepTrace)(const BlockStepRecord& record);

const char* const OutputStoppedMessage =
    "Sound output has stopped! If your output device was unplugged or your sound system was shut "
    "down please bring it back and restart Voxotrope!";

// What the block steps keep between them: where the next block goes when a
// message has asked for a resync (PlayWriteCursor then says nothing), and the
// write lead the device has shown since the Transport started.
static struct {
    uint32_t next;  // ResyncRequest until the first block after a start
    DWORD leadLow, leadHigh;
    int leadSeen;
} Stream = {ResyncRequest, 0, 0, 0};

void StreamReset()
{
    Stream = {ResyncRequest, 0, 0, 0};
}

// Bytes from `from` forward to `to` around the PlaybackRing.
static DWORD RingDistance(DWORD from, DWORD to)
{
    return (to % RingBytes + RingBytes - from % RingBytes) % RingBytes;
}

// How far the capture device has got past the end of `half`: how late the
// step comes. At HalfBytes - CaptureMargin or more it is writing the half
// again, or is about to: it copies a period of sound into the ring before it
// moves its cursor on, so a cursor just short of the half may already have
// overwritten its start. 0 when the device cannot tell.
static DWORD CaptureLate(int half)
{
    DWORD cursor = 0;
    if (FAILED(Audio.CaptureRing->GetCurrentPosition(&cursor, nullptr)))
        return 0;
    return RingDistance(HalfBytes * (half + 1), cursor);
}

// Whether the device has played past a position `ahead` bytes beyond its
// play cursor: one a quarter ring behind it reads as three quarters ahead,
// more than a block fills, and steps later than that drop their half.
static bool PlayedPast(DWORD ahead)
{
    return ahead > RingBytes - RingBytes / 4;
}

static bool Overrun(DWORD late)
{
    return late >= HalfBytes - CaptureMargin;
}

SafeWindow SafeWindowFor(DWORD leadLow, DWORD leadHigh)
{
    const DWORD step = leadHigh - leadLow > CursorStep ? leadHigh - leadLow : CursorStep;
    SafeWindow w;
    w.safeTo = RingBytes - HalfBytes;
    w.safeFrom = leadHigh + step;
    // A device that keeps more than a block ahead leaves no room: the block
    // then ends where the play cursor comes round, and loses its head.
    if (w.safeFrom > w.safeTo)
        w.safeFrom = w.safeTo;
    w.anchored = leadHigh + ResyncLead;
    if (w.anchored + ResyncLead / 2 > w.safeTo)
        w.anchored = (w.safeFrom + w.safeTo) / 2;
    w.keep = 2 * step;
    return w;
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

// A lock that failed because the output device went away (a headset
// unplugged: the buffer is lost, or the device invalidated), not because
// another program holds it.
static bool OutputGone(HRESULT result)
{
    const HRESULT deviceInvalidated = static_cast<HRESULT>(0x88890004);
    return result == DSERR_BUFFERLOST || result == deviceInvalidated;
}

bool StopWithError(const char* message)
{
    PendingError = message;
    DestroyWindow(Audio.mainWindow);
    return false;
}

// Where this step's block goes, in bytes beyond the play cursor, given where
// it would go anyway: `ahead` of the play cursor, right behind the last block
// (none after a start: `continues` false). A block never lands where the
// device has read or over sound it has yet to play, except where the device
// fell so far behind that sound must be cut; a request moves the position
// only forward, and only when it lies further from its anchored place than
// the cursors' own steps. `late` compensates the step's lateness: the
// anchored place is where an on-time step would have put the block, so a
// late step does not push later blocks on.
static DWORD PlaceBlock(bool continues, DWORD ahead, bool requested, DWORD late, const SafeWindow& w,
                        Anchor* anchor)
{
    DWORD target = w.anchored > late + w.safeFrom ? w.anchored - late : w.safeFrom;
    if (!continues) {
        *anchor = AnchorRequested;
        return target;
    }
    if (PlayedPast(ahead) || ahead < w.safeFrom) {
        *anchor = AnchorCorrection;
        return target;
    }
    if (ahead > w.safeTo) {
        // Halfway back to the anchored place: what the device could not play
        // is cut, with room for the clocks to go on drifting, but no more.
        *anchor = AnchorCorrection;
        return (target + w.safeTo) / 2;
    }
    if (requested && ahead + w.keep < target) {
        *anchor = AnchorRequested;
        return target;
    }
    *anchor = requested ? AnchorKept : AnchorNone;
    return ahead;
}

bool BlockStep(int half)
{
    const uint32_t natural = PlayWriteCursor == ResyncRequest ? Stream.next : PlayWriteCursor;
    DWORD late = CaptureLate(half);
    if (Overrun(late)) {
        if (BlockStepTrace)
            BlockStepTrace({half, 0, 0, natural, AnchorNone, nullptr, late, 0, 0});
        return true;
    }

    void* captured;
    DWORD capturedBytes;
    if (FAILED(Audio.CaptureRing->Lock(HalfBytes * half, HalfBytes, &captured, &capturedBytes,
                                       nullptr, nullptr, 0)))
        return StopWithError("Unable to lock capture buffer! If you have other sound-applications "
                             "running please close them and restart Voxotrope!");

    DWORD playCursor = 0, writeCursor = 0;
    if (FAILED(Audio.PlaybackRing->GetCurrentPosition(&playCursor, &writeCursor))) {
        Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
        return StopWithError(OutputStoppedMessage);
    }
    const DWORD lead = RingDistance(playCursor, writeCursor);
    if (!Stream.leadSeen || lead < Stream.leadLow)
        Stream.leadLow = lead;
    if (!Stream.leadSeen || lead > Stream.leadHigh)
        Stream.leadHigh = lead;
    Stream.leadSeen = 1;
    const SafeWindow window = SafeWindowFor(Stream.leadLow, Stream.leadHigh);

    const bool continues = natural != ResyncRequest;
    const DWORD ahead = continues ? RingDistance(playCursor, natural) : 0;
    // Where the last block's sound not yet played ends; 0 when there is none.
    const DWORD unplayed = continues && !PlayedPast(ahead) ? ahead : 0;
    Anchor anchor;
    const DWORD place = PlaceBlock(continues, ahead, PlayWriteCursor == ResyncRequest, late, window, &anchor);
    const DWORD position = (playCursor + place) % RingBytes;
    // What an anchoring skips over is silenced: it may hold the ring's
    // previous pass. That is from the end of the last block on, or from the
    // write cursor where the device has read past it; what the device has yet
    // to play of the last block is never touched, except by a block that cuts
    // it (a device fallen behind).
    DWORD gap = 0, cut = 0;
    if (anchor == AnchorRequested || anchor == AnchorCorrection) {
        const DWORD from = unplayed > lead ? unplayed : lead;
        cut = unplayed > place ? unplayed - place : 0;
        if (place > from) {
            gap = place - from;
            Silence(playCursor + from, gap);
        }
    }
    PlayWriteCursor = position;

    void* region[2];
    DWORD regionBytes[2];
    const HRESULT locked = Audio.PlaybackRing->Lock(PlayWriteCursor, HalfBytes, &region[0], &regionBytes[0],
                                                    &region[1], &regionBytes[1], 0);
    if (FAILED(locked)) {
        // Hand the captured half back before ending, so the device is not
        // left with a locked region while the tear-down stops it.
        Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
        if (OutputGone(locked))
            return StopWithError(OutputStoppedMessage);
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
    const bool torn = Overrun(CaptureLate(half));
    if (BlockStepTrace)
        BlockStepTrace({half, playCursor, writeCursor, PlayWriteCursor, anchor, torn ? nullptr : BlockCursor,
                        late, gap, cut});
    Audio.PlaybackRing->Unlock(region[0], regionBytes[0], region[1], regionBytes[1]);
    Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
    if (!torn)
        PlayWriteCursor += HalfBytes;  // wrapped by the next step
    Stream.next = PlayWriteCursor % RingBytes;
    // What lies beyond the block up to the play cursor's next pass has been
    // played (or holds the dropped block): silenced, a late next block leaves
    // a gap there, not a replay. A device that reads more than half a ring
    // ahead reads on into that next pass before the next block comes (45 ms
    // more for a late step): as far as it may read, short of this block.
    const DWORD end = place + (torn ? 0 : HalfBytes);
    const DWORD mayRead = Stream.leadHigh + HalfBytes + HalfBytes / 4;
    DWORD reach = mayRead > RingBytes ? mayRead : RingBytes;
    if (!torn && reach > end + RingBytes - HalfBytes)
        reach = end + RingBytes - HalfBytes;
    if (reach > end)
        Silence(playCursor + end, reach - end);
    return true;
}

void TransportToggle(HWND button)
{
    if (Transport == 0) {
        SetWindowTextA(button, "Stop");
        // Blocks must keep pace with the devices on a busy machine too.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        Silence(0, RingBytes);  // what was left from before a Stop is not played again
        StreamReset();
        StallWatchesReset();
        Transport = 1;
        if (FAILED(Audio.PlaybackRing->Play(0, 0, DSBPLAY_LOOPING))) {
            StopWithError("Unable to start sound output! If your output device was unplugged or other "
                          "sound-applications are using it please bring it back or close them and restart "
                          "Voxotrope!");
            return;
        }
        if (FAILED(Audio.CaptureRing->Start(DSCBSTART_LOOPING)))
            StopWithError("Unable to start sound capture! If your microphone was unplugged or other "
                          "sound-applications are using it please bring it back or close them and restart "
                          "Voxotrope!");
    } else {
        SetWindowTextA(button, "Start");
        Audio.PlaybackRing->Stop();
        Audio.CaptureRing->Stop();
        PlayWriteCursor = ResyncRequest;
        Stream.next = ResyncRequest;
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
        Transport = 0;
    }
}
