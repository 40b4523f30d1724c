// The block buffers and the effect chain: every captured block passes through
// here once, through the enabled effects in a fixed order.
#pragma once
#include <cstdint>
#include "carrier.h"

constexpr int AudioBlockSamples = 4000;  // mono, 16-bit, 22050 Hz: about 181 ms
constexpr int AudioBlockBytes = 2 * AudioBlockSamples;

// One block of signed 16-bit little-endian mono samples.
typedef int16_t AudioBlock[AudioBlockSamples];

// Entries of EffectFlags, in chain order.
enum EffectId { FxPitch, FxVolume, FxTriangle, FxAM, FxReverse, FxCrazy, FxDeeper, EffectCount };

// Slider IDs, which are also the rows of the ParameterTable.
enum SliderId { SliderPitch = 1, SliderVolume = 2, ParameterRows = 8 };

struct ParameterRowsTable {
    int32_t value[ParameterRows];    // what the effect reads
    int32_t minimum[ParameterRows];  // slider only: value at thumb position 0
    int32_t scale[ParameterRows];    // slider only: thumb pixels per value step
};

// Two scratch blocks that the effects write alternately; allocated by the
// audio set-up, never cleared.
extern int16_t* WorkBuffers[2];
// The WorkBuffers entry the next effect writes; carries over between blocks.
extern int WorkIndex;
// The block the next effect reads: the captured half, then each effect's output.
extern const int16_t* BlockCursor;
// Non-zero while the effect's panel exists.
extern int EffectFlags[EffectCount];
extern ParameterRowsTable ParameterTable;

// Last step of every effect: its output becomes the next effect's input.
inline void HandOver()
{
    BlockCursor = WorkBuffers[WorkIndex];
    WorkIndex ^= 1;
}

// Runs each enabled effect in chain order on the block at BlockCursor; the
// result is the block at BlockCursor afterwards.
void RunEffectChain();

// One chain as a value its caller owns: the settings, the carrier and the
// scratch blocks of one stream of sound, so that chains can run side by side.
// The chain reads it only inside RunChainInstance.
struct ChainInstance {
    int flags[EffectCount];    // as EffectFlags: non-zero while the effect is on
    int32_t pitchFactor;       // as the Pitch slider's value: 1 to 3
    int32_t volumeEighths;     // as the Volume slider's value: 8 to 52
    CarrierWaveState carrier;  // the caller's carrier block; samples null: AM passes the block on
    AudioBlock work[2];
    int workIndex;             // carries over between blocks, as WorkIndex
};

// Start values: every effect off, pitch factor 2, volume 8 eighths, no
// carrier, work index 0.
void InitChainInstance(ChainInstance* chain);

// Runs the enabled effects in chain order on the 4000 samples at `block`
// and returns the result: `block` itself when none ran, else one of
// chain->work. Advances the carrier's read position when AM ran.
const int16_t* RunChainInstance(ChainInstance* chain, const int16_t* block);

// Puts ParameterTable and EffectFlags back to their start values (tests and
// the renderer start from a fresh program state).
void ResetChainState();
