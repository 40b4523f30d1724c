// The effect chain as a stream: any number of samples in and out per call,
// whole 4000-sample blocks inside, so every sample comes out exactly one
// block after it went in. Settings come from the main thread through a
// mailbox that the audio thread reads without waiting.
#pragma once
#include <atomic>
#include <cstdint>
#include "chain.h"

struct LiveSettings {
    int effects[EffectCount];  // non-zero: on
    int32_t pitch;             // ParameterTable value of the Pitch slider
    int32_t volume;            // ... of the Volume slider
};

// One writer (the main thread), one reader (the audio thread): a sequence
// count that is odd while the writer is busy; the reader keeps its settings
// when it sees a write under way and tries again on its next call.
struct LiveMailbox {
    std::atomic<uint32_t> sequence;
    std::atomic<int32_t> values[EffectCount + 2];
};

void PostSettings(LiveMailbox* mailbox, const LiveSettings& settings);
// True when settings newer than the last taken were read whole into *settings.
bool TakeSettings(LiveMailbox* mailbox, uint32_t* seen, LiveSettings* settings);

struct LiveChain {
    AudioBlock input;   // the block being gathered
    AudioBlock output;  // the last processed block, being handed out
    AudioBlock work[2];
    int fill;           // samples of input gathered; as many of output handed out
};

// Starts from silence with the chain in its start state.
void StartLiveChain(LiveChain* chain);
void ApplySettings(const LiveSettings& settings);
// Audio thread: no allocation, no lock, no system call.
void RunLiveChain(LiveChain* chain, const int16_t* in, int16_t* out, int count);
