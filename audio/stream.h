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

// Byte offset of the next write into the PlaybackRing, or ResyncRequest.
// Every message to the main window, a panel or a slider sets ResyncRequest.
extern uint32_t PlayWriteCursor;
// 0 stopped, 1 running.
extern int Transport;

// Processes the captured half `half` (0 or 1). Returns false when a lock
// failed: PendingError is set and the main window has been destroyed.
bool BlockStep(int half);

// Ends streaming on a failure: stores `message` as the pending error and
// destroys the main window, whose tear-down shows it. Returns false.
bool StopWithError(const char* message);

// Starts or stops both rings and relabels the Start/Stop button.
void TransportToggle(HWND button);
