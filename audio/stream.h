// Block streaming: one captured half through the effect chain into the
// playback ring, and the Start/Stop transport.
#pragma once
#include <windows.h>
#include <cstdint>

// The program's one sound format, for the primary buffer and both rings.
constexpr WAVEFORMATEX SoundFormat = {WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
// Every position the program reads, writes or compares in either ring is a
// whole number of samples: a block written one byte off plays as full-scale
// noise, each sample made of two neighbours' halves.
constexpr DWORD SampleBytes = SoundFormat.nBlockAlign;
constexpr DWORD WholeSamples(DWORD bytes) { return bytes / SampleBytes * SampleBytes; }

constexpr DWORD RingBytes = 16000;
constexpr DWORD HalfBytes = 8000;
// Capture offsets of the last sample of each half: the device signals a
// half's event when its cursor reaches them.
constexpr DWORD NotifyOffset[2] = {HalfBytes - SampleBytes, RingBytes - SampleBytes};
// Distance kept beyond the playback device's write cursor after a resync:
// 1999 samples, about 91 ms.
constexpr DWORD ResyncLead = 3998;
// PlayWriteCursor value that asks the next block step to resynchronise.
constexpr uint32_t ResyncRequest = 0xFFFFFFFF;
// The smallest step in which a device's cursors move that the program
// assumes: 10 ms, as both Windows and Wine move theirs, in whole samples
// (221 of them, 442 bytes). A device whose write lead is seen to vary by
// more counts that as its step.
constexpr DWORD CursorStep = WholeSamples(SoundFormat.nAvgBytesPerSec / 100 + SampleBytes - 1);

// How close before a captured half the capture device's cursor may come
// while the half is read: 1000 bytes, more than the 10-ms period (441 bytes)
// that the device copies into the ring before it moves the cursor on.
constexpr DWORD CaptureMargin = 1000;

// The lead readings the placement goes by: the last LeadHistory steps, about
// three seconds, so that a stream moved to another device, or one odd
// reading, is outgrown. A reading of more than LeadMost is none: the write
// cursor read behind the play cursor shows as nearly a whole ring ahead.
constexpr int LeadHistory = 16;
constexpr DWORD LeadMost = RingBytes - RingBytes / 4;

// Byte offset of the next write into the PlaybackRing, or ResyncRequest.
// Every message to the main window, a panel or a slider sets ResyncRequest.
extern uint32_t PlayWriteCursor;
// 0 stopped, 1 running.
extern int Transport;

// Where blocks may go, in bytes beyond the play cursor, for the device as
// the last LeadHistory steps have seen it: a block must start at or beyond
// `safeFrom` (the device has read up to its write cursor, and may move on by
// a cursor step while the block is written) and end before the device reads
// there again one pass on, so start at most `safeTo` beyond the play cursor:
// half a ring plus the lowest lead, for what lies between the play and the
// write cursor the device has read already. `anchored` is where an anchoring
// puts a block of a step that came on time: ResyncLead beyond the write
// cursor, or the middle of the safe window for a device whose write lead
// leaves too little room above that. `keep` is how far the position may lie
// from there and still be kept on a request: the device's and the capture's
// cursor steps together. The device's step is the spread of its lead, or
// what the spread of how its play cursor moved against the capture's from
// one step to the next (`motion`) shows beyond the capture's own CursorStep,
// or CursorStep, whichever is largest.
struct SafeWindow {
    DWORD safeFrom, safeTo, anchored, keep;
};
SafeWindow SafeWindowFor(DWORD leadLow, DWORD leadHigh, DWORD motion);

// Why a block step set the write position from the device's cursors: a
// message asked for it and it moved; a correction; or a message asked for
// it and it stayed, being already where it belongs.
enum Anchor { AnchorNone, AnchorRequested, AnchorCorrection, AnchorKept };

// What one block step saw and did. The traced build of the program
// (tools/trace) writes one line per step from it; the program leaves the
// hook null.
struct BlockStepRecord {
    int half;
    DWORD playCursor, writeCursor;  // the PlaybackRing's cursors at the step
    uint32_t position;              // where the block was written
    Anchor anchor;                  // whether and why the position was set anew
    const int16_t* samples;         // the block as it went into the ring; null when skipped
    DWORD late;                     // bytes the capture device had gone past the half's notification
    DWORD gap;                      // bytes of silence an anchoring left before the block
    DWORD cut;                      // bytes of unplayed sound a correction wrote over
};
extern void (*BlockStepTrace)(const BlockStepRecord& record);

// Processes the captured half `half` (0 or 1). A half that the capture device
// is overwriting, or comes within CaptureMargin of, before or while it is
// read (the step came nearly half a ring late) is dropped: it may hold sound
// from two passes of the ring. A block follows the last one only while the
// device has not played past it; after a dropped half, a step held back (a
// starved thread, sleep) or a play cursor that jumped beyond the last block,
// it is anchored afresh, and what lies between the device's write cursor and
// it is silenced. Returns false when a lock failed or the playback ring
// cannot tell its cursors (the output device is gone): PendingError is set
// and the main window has been destroyed.
bool BlockStep(int half);

// The clock by which a step tells how long it was held back, in ms: a play
// cursor shows only where it is in the ring, not how many passes it made.
extern DWORD(WINAPI* StreamClock)();

extern const char* const OutputStoppedMessage;

// Forgets what the block steps have seen of the devices: the next block is
// anchored afresh. The Transport does it when it starts.
void StreamReset();

// Ends streaming on a failure: stores `message` as the pending error and
// destroys the main window, whose tear-down shows it. Returns false.
bool StopWithError(const char* message);

// Starts or stops both rings and relabels the Start/Stop button.
void TransportToggle(HWND button);
