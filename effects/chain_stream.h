// The effect chain for callers whose sound comes in pieces of any size (a
// sound server's quantum, a plugin host's run): it gathers whole 4000-sample
// blocks, runs the chain on each, and plays the results back exactly one
// block (4000 samples) later. Works in place, allocates nothing, takes no
// lock: StreamProcess may run on an audio thread.
//
// Settings. stream->chain.flags, .pitchFactor and .volumeEighths (values as
// in ChainInstance) are read only when a block is complete, inside
// StreamProcess, so a change written between two calls applies from the next
// block start and one block always has one setting. Write them only on the
// thread that calls StreamProcess, between calls. Another thread (a user
// interface, a command reader) hands its values over through atomics of its
// own, which the audio thread copies into stream->chain before each call.
// AM switched on starts its carrier from the first sample, as opening the
// program's AM panel does.
//
// Carrier. The AM carrier is a carrier block the caller owns and loads off
// the audio thread (ReadCarrierFile, MakeDefaultCarrier). StreamSwapCarrier
// attaches it on the audio thread, between calls; it returns the previous
// one, which the caller frees off the audio thread (FreeCarrierBlock).
// While no carrier is attached, AM passes the sound on as if it were off.
#pragma once
#include <cstdint>
#include "chain.h"

// About 32 KB: keep it static or on the heap, not on an audio thread's stack.
struct ChainStream {
    ChainInstance chain;  // settings and carrier, see above; the rest is the adapter's
    AudioBlock gathered;  // input of the block being gathered
    AudioBlock played;    // the previous block's result, being played out
    int fill;             // samples gathered so far, and played of `played`
    int amBefore;         // AM's flag at the previous block
};

// Start values (every effect off, pitch factor 2, volume 8, no carrier) and
// one block of silence to play first.
void InitChainStream(ChainStream* stream);

// Back to silence and an empty block, the carrier from its first sample;
// the settings and the attached carrier stay (a host's restart of a plugin).
void RestartChainStream(ChainStream* stream);

// Takes `frames` mono samples from `in` and writes as many to `out`: each
// output sample is the chain's result for the input sample 4000 before it,
// silence for the first 4000. `in` and `out` may be the same buffer. Any
// frame count is fine (a host's 1 to 8192, or 0).
void StreamProcess(ChainStream* stream, const int16_t* in, int16_t* out, int frames);

// Attaches the carrier whose first sample is `samples` (null: none) and
// `length` bytes of sample data (even, at least 4, as ReadCarrierFile
// accepts); the next block is modulated from its first sample. Returns the
// previous carrier's samples, null if there was none, for the caller to free
// off the audio thread.
const int16_t* StreamSwapCarrier(ChainStream* stream, const int16_t* samples, uint32_t length);
