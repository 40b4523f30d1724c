#include "stall_watch.h"
#include "audio_objects.h"
#include "stream.h"

static StallWatch CaptureWatch;
static OutputWatch PlaybackWatch;

void StallNotified(StallWatch* watch, DWORD now)
{
    watch->notified = 1;
    watch->lastNotice = now;
}

bool StallSeen(StallWatch* watch, DWORD now, DWORD position)
{
    // Tick differences are unsigned, so they hold across the counter's wrap.
    const bool fresh = !watch->checked || now - watch->lastCheck > StallCheckGap;
    if (fresh && watch->checked)
        watch->lastNotice = now;  // the silence counts from the gap's end
    if (!watch->checked && !watch->notified)
        watch->lastNotice = now;  // the start counts as a notice
    watch->checked = 1;
    watch->lastCheck = now;
    if (fresh || position != watch->position) {
        watch->position = position;
        watch->stillSince = now;
        return false;
    }
    DWORD silence = watch->notified ? StallSilence : StallStartSilence;
    return now - watch->lastNotice >= silence && now - watch->stillSince >= StallStill;
}

void OutputNotified(OutputWatch* watch)
{
    watch->notices++;
}

bool OutputStallSeen(OutputWatch* watch, DWORD now, DWORD position, bool playing)
{
    const bool fresh = !watch->checked || now - watch->lastCheck > StallCheckGap;
    if (fresh)
        watch->moved = 0;  // the device may take as long to come back as to begin
    else if (position != watch->position)
        watch->moved = 1;
    watch->checked = 1;
    watch->lastCheck = now;
    if (fresh || position != watch->position) {
        watch->position = position;
        watch->stillSince = now;
        watch->notices = 0;
        return false;
    }
    const DWORD still = watch->moved && !playing ? OutputStill : StallStartSilence;
    return now - watch->stillSince >= still && watch->notices >= OutputNotices;
}

void StallWatchesReset()
{
    CaptureWatch = StallWatch{};
    PlaybackWatch = OutputWatch{};
}

DWORD StreamWaitTimeout()
{
    return Transport ? StallCheckEvery : INFINITE;
}

void CaptureNotified()
{
    StallNotified(&CaptureWatch, GetTickCount());
    OutputNotified(&PlaybackWatch);
}

bool CaptureStallCheck()
{
    if (!Transport) {
        StallWatchesReset();
        return true;
    }
    DWORD position;
    if (FAILED(Audio.CaptureRing->GetCurrentPosition(&position, nullptr)))
        position = UnknownPosition;
    if (!StallSeen(&CaptureWatch, GetTickCount(), position))
        return true;
    return StopWithError("Sound capture has stopped! If your sound device was unplugged or your sound "
                         "system was shut down please bring it back and restart Voxotrope!");
}

// The buffer says it plays on: not lost, not stopped.
static bool OutputPlaying()
{
    DWORD status = 0;
    return SUCCEEDED(Audio.PlaybackRing->GetStatus(&status)) && (status & DSBSTATUS_PLAYING) &&
           !(status & DSBSTATUS_BUFFERLOST);
}

bool OutputStallCheck()
{
    if (!Transport)
        return true;
    DWORD position;
    if (FAILED(Audio.PlaybackRing->GetCurrentPosition(&position, nullptr)) ||
        OutputStallSeen(&PlaybackWatch, GetTickCount(), position, OutputPlaying()))
        return StopWithError(OutputStoppedMessage);
    return true;
}
