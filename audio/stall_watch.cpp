#include "stall_watch.h"
#include "audio_objects.h"
#include "stream.h"

static StallWatch CaptureWatch;

void StallNotified(StallWatch* watch, DWORD now)
{
    watch->notified = 1;
    watch->lastNotice = now;
}

bool StallSeen(StallWatch* watch, DWORD now, DWORD position)
{
    // Tick differences are unsigned, so they hold across the counter's wrap.
    bool fresh = !watch->checked || now - watch->lastCheck > StallCheckGap;
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

DWORD StreamWaitTimeout()
{
    return Transport ? StallCheckEvery : INFINITE;
}

void CaptureNotified()
{
    StallNotified(&CaptureWatch, GetTickCount());
}

bool CaptureStallCheck()
{
    if (!Transport) {
        CaptureWatch = StallWatch{};
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
