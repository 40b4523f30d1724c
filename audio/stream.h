// Block streaming: one captured half through the effect chain into the
// playback ring, and the Start/Stop transport.
#pragma once
#include <windows.h>
#include <cstdint>

constexpr DWORD RingBytes = 16000;
constexpr DWORD HalfBytes = 8000;
// Distance kept beyond the playback device's write cursor after a resync:
// 1999 samples, about 91 ms.
constexpr DWORD ResyncLead = 3998;
// PlayWriteCursor value that asks the next block step to resynchronise.
constexpr uint32_t ResyncRequest = 0xFFFFFFFF;
// How far the write position may stray from its anchored place, ResyncLead
// beyond the device's write cursor, before a block step anchors it there
// again: 2000 bytes (about 45 ms) either way. The block steps jitter against
// the device by less than that, so clocks that agree cause no correction;
// clocks that differ (capture and playback on separate devices, or Wine's
// playback running 0.23 % fast on a 22050 Hz device) do, once per some tens
// of seconds at worst.
constexpr DWORD DriftTolerance = 2000;

// How close before a captured half the capture device's cursor may come
// while the half is read: 1000 bytes, more than the 10-ms period (441 bytes)
// that the device copies into the ring before it moves the cursor on.
constexpr DWORD CaptureMargin = 1000;

// Byte offset of the next write into the PlaybackRing, or ResyncRequest.
// Every message to the main window, a panel or a slider sets ResyncRequest.
extern uint32_t PlayWriteCursor;
// 0 stopped, 1 running.
extern int Transport;

// Whether a block written at `position` lies within DriftTolerance of its
// anchored place and overwrites nothing that the device has yet to play,
// given the PlaybackRing's cursors. `position` may be up to one ring beyond.
bool WritePositionHolds(uint32_t position, DWORD playCursor, DWORD writeCursor);

// Why a block step set the write position from the device's write cursor.
enum Anchor { AnchorNone, AnchorRequested, AnchorCorrection };

// What one block step saw and did. The traced build of the program
// (tools/trace) writes one line per step from it; the program leaves the
// hook null.
struct BlockStepRecord {
    int half;
    DWORD playCursor, writeCursor;  // the PlaybackRing's cursors at the step
    uint32_t position;              // where the block was written
    Anchor anchor;                  // whether and why the position was set anew
    const int16_t* samples;         // the block as it went into the ring; null when skipped
};
extern void (*BlockStepTrace)(const BlockStepRecord& record);

// Processes the captured half `half` (0 or 1). A half that the capture device
// is overwriting, or comes within CaptureMargin of, before or while it is
// read (the step came nearly half a ring late) is dropped: it may hold sound
// from two passes of the ring. Returns false when a lock
// failed: PendingError is set and the main window has been destroyed.
bool BlockStep(int half);

// Ends streaming on a failure: stores `message` as the pending error and
// destroys the main window, whose tear-down shows it. Returns false.
bool StopWithError(const char* message);

// Starts or stops both rings and relabels the Start/Stop button.
void TransportToggle(HWND button);
