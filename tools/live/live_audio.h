// voxotrope-live's PipeWire side: a capture stream on a microphone and the
// "Voxotrope microphone" source, processed together on PipeWire's data
// thread. The capture is passive: the microphone runs only while something
// records the source.
#pragma once
#include <cstdint>
#include <string>

struct pw_main_loop;
struct spa_pod;
struct spa_pod_builder;
struct LiveAudio;
struct LiveMailbox;

constexpr int LiveRate = 22050;

// The format every stream of ours takes: 16-bit mono at `rate`, built into
// `builder`.
const spa_pod* LiveFormat(spa_pod_builder* builder, int rate);

enum LiveEnd { LiveRunning, LiveStopped, LiveNoMicrophone, LiveServerGone, LiveStreamFailed };

// Connects to the server and offers the source, and the monitor on the
// default output (playing if `monitor`); records the source whose node name
// is `source`, or the default microphone when it is null. Null with *error
// on failure. The loop is quit when the audio ends (see LiveAudioEnd).
LiveAudio* OpenLiveAudio(pw_main_loop* loop, LiveMailbox* mailbox, const char* source, bool monitor,
                         std::string* error);
// The changed voice on the default output as well, or no longer.
void SwitchLiveAudioMonitor(LiveAudio* audio, bool on);
LiveEnd LiveAudioEnd(const LiveAudio* audio);
// What is missing (LiveNoMicrophone), or which stream failed and the
// server's own words (LiveStreamFailed).
const char* LiveAudioFailure(const LiveAudio* audio);
// From now on records the source named `name`, or the default microphone
// when `name` is empty; false with *error when there is no such source.
bool ChooseLiveSource(LiveAudio* audio, const std::string& name, std::string* error);
// Ends the loop with LiveStopped (a signal, or the user's quit).
void StopLiveAudio(LiveAudio* audio);
// Samples that found no room in the source's buffer since it started.
uint64_t LiveAudioShortfall(const LiveAudio* audio);
// Disconnects: the source is gone from the graph when this returns.
void CloseLiveAudio(LiveAudio* audio);
