// The AM effect's modulating wave. Every carrier lives in one heap block that
// starts WaveHeaderSize bytes before its samples, built-in or loaded.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t WaveHeaderSize = 44;

struct CarrierWaveState {
    const int16_t* samples;       // first carrier sample; null while no carrier is live
    uint32_t length;              // bytes of sample data: even, at least 4
    const int16_t* readPosition;  // the sample the AM effect uses next
};

extern CarrierWaveState CarrierWave;

// Allocates every carrier block, which ReleaseCarrier gives back with free();
// malloc unless a test puts an allocator that fails in its place.
extern void* (*AllocateCarrierBlock)(size_t bytes);

// A carrier block the caller owns (a ChainInstance's carrier, say), not the
// program's CarrierWave: the built-in square wave into *samples and *length;
// false, leaving both as they were, when its block cannot be allocated.
bool MakeDefaultCarrier(const int16_t** samples, uint32_t* length);

// Gives back the block of the carrier whose first sample is `samples`;
// nothing for null.
void FreeCarrierBlock(const int16_t* samples);

// Installs the built-in square wave (500 samples of -4000/+4000, period 32).
// Returns false, leaving no carrier, when its block cannot be allocated: the
// AM effect must then stay off.
bool CreateDefaultCarrier();

// Frees the carrier block, if one is live, and marks the carrier absent.
void ReleaseCarrier();

// Makes `block` (header included, samples at block + WaveHeaderSize) the
// carrier, after releasing the previous one; the carrier owns it from now on.
void InstallCarrier(uint8_t* block, uint32_t length);
