// Capture that stops while the Transport runs: a USB headset unplugged, the
// sound server gone. Its notifications stop and no block step would ever run
// again, so the loop looks for that between its waits and ends the program
// with a message, as a failed lock does.
#pragma once
#include <windows.h>

// While the Transport runs the loop's wait times out after this, so that
// missing notifications are noticed; while it is stopped the wait is endless.
constexpr DWORD StallCheckEvery = 200;  // ms
// Stalled: no notification for StallSilence, and the capture position seen
// unchanged for StallStill by checks no more than StallCheckGap apart. Before
// the first notification after a start the silence may last StallStartSilence:
// a device can take two seconds to begin. A longer gap between checks (a modal
// loop of the system, a machine too busy to run the program, a laptop that
// slept: the tick count goes on through sleep) starts the watch afresh: the
// silence and the position count from the gap's end, so that a device has a
// second to wake up.
constexpr DWORD StallSilence = 1000;
constexpr DWORD StallStartSilence = 5000;
constexpr DWORD StallStill = 500;
constexpr DWORD StallCheckGap = 1000;
// The position of a device that cannot report one.
constexpr DWORD UnknownPosition = 0xFFFFFFFF;

struct StallWatch {
    int checked;       // a check has been made since the start
    int notified;      // a notification has come since the start
    DWORD lastNotice;  // tick of the last notification, or of the first check
    DWORD lastCheck;   // tick of the last check
    DWORD position;    // capture position at the last check
    DWORD stillSince;  // tick of the check that first saw that position
};

// A capture notification at tick `now`.
void StallNotified(StallWatch* watch, DWORD now);
// A check at tick `now` that saw the capture position `position`; true when
// the capture has stalled.
bool StallSeen(StallWatch* watch, DWORD now, DWORD position);

// Output that stops while capture runs: a headset unplugged, a device
// invalidated. Its play cursor stands still; a machine too busy to run the
// sound threads stops capture as well, so the capture's notifications must
// go on for the output to count as stopped: for OutputStill, with at least
// OutputNotices of them, by checks no more than StallCheckGap apart. Before
// the cursor first moves after a start, and again after a gap between
// checks (a headset that takes a second and a half to come back after
// sleep), the limit is StallStartSilence; so it is for a buffer that says it
// plays on, which is waited for that long before it counts as stopped.
constexpr DWORD OutputStill = 1000;
constexpr int OutputNotices = 4;

struct OutputWatch {
    int checked;
    int moved;         // the play cursor has moved since the start or the last gap
    DWORD lastCheck;
    DWORD position;    // play cursor at the last check
    DWORD stillSince;  // tick of the check that first saw that position
    int notices;       // capture notifications since then
};

void OutputNotified(OutputWatch* watch);
// A check at tick `now` that saw the play cursor at `position`, and the
// buffer's word that it is `playing` (not lost, not stopped); true when the
// output has stopped.
bool OutputStallSeen(OutputWatch* watch, DWORD now, DWORD position, bool playing);

// The loop's side, on the program's watch and the real capture ring.
DWORD StreamWaitTimeout();
void CaptureNotified();
// On a stall: the message is pending, the main window destroyed, and the
// result false. Cleared while the Transport is stopped.
bool CaptureStallCheck();
// The same for the output: a play cursor that stands still, or a playback
// ring that cannot tell its cursors any more.
bool OutputStallCheck();
// Both watches start afresh (the Transport starts).
void StallWatchesReset();
