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

// What the block steps keep between them: where the sound the last step
// left in the ring ends, seen from the play cursor of that step, and the
// write leads the device has shown lately.
static struct {
    int follows;  // the next block may go right behind the last one
    DWORD play;   // the play cursor at the last step that wrote the ring
    DWORD tick;   // StreamClock then
    DWORD end;    // bytes from `play` to the end of the sound it left; 0 after a start
    DWORD capture;  // the capture cursor then; UnknownCursor where it could not tell
    DWORD leads[LeadHistory];
    int leadCount, leadNext;
    // How much further, or less far, the play cursor moved than the capture
    // cursor from one step to the next: their steps together, which a device
    // that moves both its cursors at once shows in no lead.
    DWORD motions[LeadHistory];
    int motionCount, motionNext;
} Stream;

constexpr DWORD UnknownCursor = 0xFFFFFFFF;

DWORD(WINAPI* StreamClock)() = GetTickCount;

void StreamReset()
{
    Stream = {};
    Stream.capture = UnknownCursor;
}

// Bytes from `from` forward to `to` around the PlaybackRing.
static DWORD RingDistance(DWORD from, DWORD to)
{
    return (to % RingBytes + RingBytes - from % RingBytes) % RingBytes;
}

// The capture device's cursor, whole samples; UnknownCursor when it cannot
// tell.
static DWORD CaptureCursor()
{
    DWORD cursor = 0;
    if (FAILED(Audio.CaptureRing->GetCurrentPosition(&cursor, nullptr)))
        return UnknownCursor;
    return WholeSamples(cursor % RingBytes);
}

// How far the capture device has got past the notification of `half`: how
// late the step comes. A cursor at the notification offset is on time. At
// HalfBytes - CaptureMargin or more it is writing the half again, or is
// about to: it copies a period of sound into the ring before it moves its
// cursor on, so a cursor just short of the half may already have overwritten
// its start. 0 when the device cannot tell.
static DWORD CaptureLate(int half, DWORD cursor)
{
    return cursor == UnknownCursor ? 0 : RingDistance(NotifyOffset[half], cursor);
}

static bool Overrun(DWORD late)
{
    return late >= HalfBytes - CaptureMargin;
}

// Keeps `value` among the last LeadHistory of a kind.
static void Note(DWORD* values, int* count, int* next, DWORD value)
{
    values[*next] = value;
    *next = (*next + 1) % LeadHistory;
    if (*count < LeadHistory)
        (*count)++;
}

// The lowest and highest of them; none yet reads as 0.
static void Range(const DWORD* values, int count, DWORD* low, DWORD* high)
{
    *low = *high = 0;
    for (int i = 0; i < count; i++) {
        if (i == 0 || values[i] < *low)
            *low = values[i];
        if (i == 0 || values[i] > *high)
            *high = values[i];
    }
}

SafeWindow SafeWindowFor(DWORD leadLow, DWORD leadHigh, DWORD motion)
{
    DWORD step = leadHigh - leadLow > CursorStep ? leadHigh - leadLow : CursorStep;
    // The motion holds the capture cursor's own step as well.
    if (motion > step + CursorStep)
        step = motion - CursorStep;
    SafeWindow w;
    w.safeTo = RingBytes - HalfBytes + leadLow;
    w.safeFrom = leadHigh + step;
    // Leads that swing wider than half a ring (readings from two devices)
    // leave no room: the block then ends where the device reads again.
    if (w.safeFrom > w.safeTo)
        w.safeFrom = w.safeTo;
    w.anchored = leadHigh + ResyncLead;
    if (w.anchored + ResyncLead / 2 > w.safeTo)
        w.anchored = WholeSamples((w.safeFrom + w.safeTo) / 2);
    w.keep = 2 * step;
    return w;
}

// How far the play cursor has moved since the last step that wrote the ring.
// The cursor tells that only modulo the ring; whole passes, which a step
// held back for longer than one makes invisible, come from the clock.
static DWORD PlayedSince(DWORD playCursor, DWORD now)
{
    const DWORD seen = RingDistance(Stream.play, playCursor);
    const uint64_t expected = uint64_t(now - Stream.tick) * SoundFormat.nAvgBytesPerSec / 1000;
    if (expected < seen + RingBytes / 2)
        return seen;
    const uint64_t passes = (expected - seen + RingBytes / 2) / RingBytes;
    return passes > 3 ? 4 * RingBytes : seen + static_cast<DWORD>(passes) * RingBytes;
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

// Where this step's block goes, in bytes beyond the play cursor. While the
// last block's sound still plays (`follows`) it would go right behind it,
// `ahead` of the play cursor; otherwise it is anchored. A block never lands
// where the device has read or over sound it has yet to play, except where
// the device fell so far behind that sound must be cut; a request moves the
// position only forward, and only when it lies further from its anchored
// place than the cursors' own steps. `late` compensates the step's
// lateness: the anchored place is where an on-time step would have put the
// block, so a late step does not push later blocks on. Up to a cursor step
// of it is the capture cursor's own coarseness, not lateness: an on-time
// step keeps the whole of the window's margin below the anchored place.
static DWORD PlaceBlock(bool follows, DWORD ahead, bool requested, DWORD late, const SafeWindow& w,
                        Anchor* anchor)
{
    late = late > CursorStep ? late - CursorStep : 0;
    DWORD target = w.anchored > late + w.safeFrom ? w.anchored - late : w.safeFrom;
    if (!follows || ahead < w.safeFrom) {
        // The first block after a start is anchored as a request would.
        *anchor = Stream.end == 0 ? AnchorRequested : AnchorCorrection;
        return target;
    }
    if (ahead > w.safeTo) {
        // Halfway back to the anchored place: what the device could not play
        // is cut, with room for the clocks to go on drifting, but no more.
        *anchor = AnchorCorrection;
        return WholeSamples((target + w.safeTo) / 2);
    }
    if (requested && ahead + w.keep < target) {
        *anchor = AnchorRequested;
        return target;
    }
    *anchor = requested ? AnchorKept : AnchorNone;
    return ahead;
}

// What a step sees of the playback device, and of the sound the last step
// left in the ring.
struct DeviceView {
    DWORD play, write;  // the cursors, whole samples
    DWORD lead;         // this reading's, or the last steps' highest where it cannot be one
    DWORD leadLow, leadHigh;  // of the last steps
    DWORD now;          // StreamClock
    DWORD capture;      // the capture cursor
    DWORD unplayed;     // bytes beyond `play` where the last step's sound ends; 0 when played
    SafeWindow window;
};

// False when the ring cannot tell its cursors: the output device is gone.
static bool ViewDevice(DeviceView* v, DWORD capture)
{
    DWORD playCursor = 0, writeCursor = 0;
    if (FAILED(Audio.PlaybackRing->GetCurrentPosition(&playCursor, &writeCursor)))
        return false;
    // Whole samples: the play cursor rounded down, the write cursor up.
    v->play = WholeSamples(playCursor % RingBytes);
    v->write = WholeSamples(writeCursor % RingBytes + SampleBytes - 1) % RingBytes;
    v->now = StreamClock();
    v->capture = capture;
    v->lead = RingDistance(v->play, v->write);
    if (v->lead <= LeadMost)
        Note(Stream.leads, &Stream.leadCount, &Stream.leadNext, v->lead);
    const DWORD played = PlayedSince(v->play, v->now);
    // From one step to the next, while the play cursor moved less than a half
    // ring, so that its reading is no pass off.
    if (Stream.follows && capture != UnknownCursor && Stream.capture != UnknownCursor && played < HalfBytes * 3 / 2) {
        const DWORD captured = RingDistance(Stream.capture, capture);
        Note(Stream.motions, &Stream.motionCount, &Stream.motionNext,
             played > captured ? played - captured : captured - played);
    }
    DWORD motionLow, motion;
    Range(Stream.leads, Stream.leadCount, &v->leadLow, &v->leadHigh);
    Range(Stream.motions, Stream.motionCount, &motionLow, &motion);
    if (v->lead > LeadMost)
        v->lead = v->leadHigh;
    v->window = SafeWindowFor(v->leadLow, v->leadHigh, WholeSamples(motion));
    v->unplayed = Stream.end > played ? Stream.end - played : 0;
    return true;
}

// The step is done: the sound in the ring ends `end` beyond the play cursor.
// What lies beyond it up to the play cursor's next pass has been played (or
// holds a dropped block): silenced, a late next step leaves a gap there, not
// a replay. A device that reads more than half a ring ahead reads on into
// that next pass before the next step comes (45 ms more for a late one): as
// far as it may read, but never beyond where it reads now, one pass on.
static void StepDone(const DeviceView& v, DWORD end, bool wrote)
{
    Stream.follows = wrote;
    Stream.play = v.play;
    Stream.tick = v.now;
    Stream.capture = v.capture;
    Stream.end = end;
    const DWORD mayRead = v.leadHigh + HalfBytes + HalfBytes / 4;
    DWORD reach = mayRead > RingBytes ? mayRead : RingBytes;
    if (reach > RingBytes + v.leadLow)
        reach = RingBytes + v.leadLow;
    if (reach > end)
        Silence(v.play + end, reach - end);
}

bool BlockStep(int half)
{
    const bool requested = PlayWriteCursor == ResyncRequest;
    const DWORD capture = CaptureCursor();
    const DWORD late = CaptureLate(half, capture);
    DeviceView v;
    if (Overrun(late)) {
        // Nothing to play; but the device may soon come round to sound it
        // played before, which is silenced.
        if (!ViewDevice(&v, capture))
            return StopWithError(OutputStoppedMessage);
        StepDone(v, v.unplayed > v.lead ? v.unplayed : v.lead, false);
        if (BlockStepTrace)
            BlockStepTrace({half, v.play, v.write, PlayWriteCursor, AnchorNone, nullptr, late, 0, 0});
        return true;
    }

    void* captured;
    DWORD capturedBytes;
    if (FAILED(Audio.CaptureRing->Lock(HalfBytes * half, HalfBytes, &captured, &capturedBytes,
                                       nullptr, nullptr, 0)))
        return StopWithError("Unable to lock capture buffer! If you have other sound-applications "
                             "running please close them and restart Voxotrope!");
    if (!ViewDevice(&v, capture)) {
        Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
        return StopWithError(OutputStoppedMessage);
    }

    Anchor anchor;
    const DWORD place = PlaceBlock(Stream.follows && v.unplayed > 0, v.unplayed, requested, late, v.window, &anchor);
    // What an anchoring skips over is silenced: it may hold the ring's
    // previous pass. That is from the end of the last block on, or from the
    // write cursor where the device has read past it; what the device has yet
    // to play of the last block is never touched, except by a block that cuts
    // it (a device fallen behind).
    DWORD gap = 0, cut = 0;
    if (anchor == AnchorRequested || anchor == AnchorCorrection) {
        const DWORD from = v.unplayed > v.lead ? v.unplayed : v.lead;
        cut = v.unplayed > place ? v.unplayed - place : 0;
        if (place > from) {
            gap = place - from;
            Silence(v.play + from, gap);
        }
    }
    PlayWriteCursor = (v.play + place) % RingBytes;

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
    // skipped half, and silence goes into the ring in its place.
    const bool torn = Overrun(CaptureLate(half, CaptureCursor()));
    if (torn) {
        memset(region[0], 0, regionBytes[0]);
        if (regionBytes[1])
            memset(region[1], 0, regionBytes[1]);
    }
    if (BlockStepTrace)
        BlockStepTrace({half, v.play, v.write, PlayWriteCursor, anchor, torn ? nullptr : BlockCursor, late, gap,
                        cut});
    Audio.PlaybackRing->Unlock(region[0], regionBytes[0], region[1], regionBytes[1]);
    Audio.CaptureRing->Unlock(captured, HalfBytes, nullptr, 0);
    if (!torn)
        PlayWriteCursor += HalfBytes;  // wrapped by the next step
    StepDone(v, place + (torn ? 0 : HalfBytes), !torn);
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
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
        Transport = 0;
    }
}
