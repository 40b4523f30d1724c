// voxotrope-live's PipeWire side: a capture stream on the default microphone
// and the "Voxotrope microphone" source, processed together on PipeWire's
// data thread.
#pragma once
#include <cstdint>
#include <string>

struct pw_main_loop;
struct LiveAudio;
struct LiveMailbox;

constexpr int LiveRate = 22050;

enum LiveEnd { LiveRunning, LiveStopped, LiveNoMicrophone, LiveServerGone, LiveStreamFailed };

// Connects to the server and offers the source, and the monitor on the
// default output (playing if `monitor`); null with *error on failure.
// The loop is quit when the audio ends (see LiveAudioEnd).
LiveAudio* OpenLiveAudio(pw_main_loop* loop, LiveMailbox* mailbox, bool monitor, std::string* error);
// The changed voice on the default output as well, or no longer.
void SwitchLiveAudioMonitor(LiveAudio* audio, bool on);
LiveEnd LiveAudioEnd(const LiveAudio* audio);
// What the server said when a stream failed (LiveStreamFailed).
const char* LiveAudioFailure(const LiveAudio* audio);
// Ends the loop with LiveStopped (a signal, or the user's quit).
void StopLiveAudio(LiveAudio* audio);
// Samples that found no room in the source's buffer since it started.
uint64_t LiveAudioShortfall(const LiveAudio* audio);
// Disconnects: the source is gone from the graph when this returns.
void CloseLiveAudio(LiveAudio* audio);
