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
// loop of the system, a machine too busy to run the program) starts the
// position's watch afresh.
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

// The loop's side, on the program's watch and the real capture ring.
DWORD StreamWaitTimeout();
void CaptureNotified();
// On a stall: the message is pending, the main window destroyed, and the
// result false. Cleared while the Transport is stopped.
bool CaptureStallCheck();
