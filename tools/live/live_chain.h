// Settings and carriers from the main thread to the audio thread, which
// takes them between two calls of StreamProcess without waiting.
#pragma once
#include <atomic>
#include <cstdint>
#include "chain_settings.h"
#include "chain_stream.h"

using LiveSettings = ChainSettings;

// A carrier on its way to the audio thread, and back to be freed.
struct CarrierParcel {
    const int16_t* samples;
    uint32_t length;
    CarrierParcel* next;  // in the list of parcels to free
};

// One writer (the main thread), one reader (the audio thread). Settings: a
// sequence count that is odd while the writer is busy; the reader keeps its
// settings when it sees a write under way and tries again on its next call.
// Carriers: one parcel offered at a time; the audio thread sends the parcel
// back holding the carrier it replaced.
struct LiveMailbox {
    std::atomic<uint32_t> sequence;
    std::atomic<int32_t> values[EffectCount + 2];
    std::atomic<CarrierParcel*> offered;
    std::atomic<CarrierParcel*> returned;
};

void PostSettings(LiveMailbox* mailbox, const LiveSettings& settings);
// True when settings newer than the last taken were read whole into *settings.
bool TakeSettings(LiveMailbox* mailbox, uint32_t* seen, LiveSettings* settings);
void ApplySettings(const LiveSettings& settings, ChainInstance* chain);

// Main thread: hands the carrier block over (the mailbox owns it from now
// on); a parcel offered before and not yet taken is freed unused.
void PostCarrier(LiveMailbox* mailbox, const int16_t* samples, uint32_t length);
// Audio thread, between calls: attaches an offered carrier. No allocation,
// no lock, no system call.
void TakeCarrier(LiveMailbox* mailbox, ChainStream* stream);
// Main thread: frees the carriers the audio thread has replaced; at the end,
// after the audio thread has stopped, with the stream's own as well.
void FreeReturnedCarriers(LiveMailbox* mailbox);
