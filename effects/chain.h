// The block buffers and the effect chain: every captured block passes through
// here once, through the enabled effects in a fixed order.
#pragma once
#include <cstdint>

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

// Puts ParameterTable and EffectFlags back to their start values (tests and
// the renderer start from a fresh program state).
void ResetChainState();
