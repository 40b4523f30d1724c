// Hearing yourself: while the monitor is on, the samples that go to the
// "Voxotrope microphone" in a cycle go to the default output as well, in the
// same cycle, so that the delay is the same; off, its stream is paused and
// the output can sleep.
#pragma once
#include <cstdint>

struct pw_core;
struct LiveMonitor;

// A playback stream in the node group `group` (driven with the capture);
// paused unless `on`. Null when the stream cannot be made.
LiveMonitor* OpenLiveMonitor(pw_core* core, const char* group, int rate, bool on);
// Main thread: on or off from now on.
void SwitchLiveMonitor(LiveMonitor* monitor, bool on);
void CloseLiveMonitor(LiveMonitor* monitor);

// The data thread, in the source's turn: Hear keeps samples made for the
// source while on, Play has the monitor's own turn take them. The stream's
// buffers are touched only in its own turn. No allocation, no lock.
void HearLiveMonitor(LiveMonitor* monitor, const int16_t* samples, uint32_t count);
void PlayLiveMonitor(LiveMonitor* monitor);
