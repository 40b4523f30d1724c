// Amplitude modulation by the CarrierWave, which loops on its own across
// block boundaries; the built-in carrier and the carrier block's life.
#include <cstdlib>
#include "chain.h"
#include "effects.h"
#include "kernels.h"

CarrierWaveState CarrierWave;
void* (*AllocateCarrierBlock)(size_t bytes) = malloc;

constexpr uint32_t DefaultCarrierBytes = 1000;

// out = ((in >> 5) * m) >> 10, kept to its low 16 bits: about in * m / 32768.
// Only m = -32768 against in <= -32737 leaves 16 bits (+32768 stored as
// -32768). The read position wraps when it reaches the last carrier sample,
// so that sample is never used.
void AMKernel(const int16_t* in, int16_t* out, CarrierWaveState* carrier)
{
    const int16_t* first = carrier->samples;
    const int16_t* last = first + carrier->length / 2 - 1;
    const int16_t* position = carrier->readPosition;
    if (position < first || position >= last)
        position = first;  // never start on or past the last sample
    for (int k = 0; k < AudioBlockSamples; k++) {
        int32_t m = *position++;
        int32_t y = in[k] >> 5;
        out[k] = static_cast<int16_t>((m * y) >> 10);
        if (position == last)
            position = first;
    }
    carrier->readPosition = position;
}

// Without a live carrier of at least two samples the effect does not run:
// the block passes on as if AM were off.
void AM()
{
    if (!CarrierWave.samples || CarrierWave.length < 4)
        return;
    AMKernel(BlockCursor, WorkBuffers[WorkIndex], &CarrierWave);
    HandOver();
}

bool CreateDefaultCarrier()
{
    uint8_t* block = static_cast<uint8_t*>(AllocateCarrierBlock(WaveHeaderSize + DefaultCarrierBytes));
    if (!block) {
        ReleaseCarrier();
        return false;
    }
    int16_t* samples = reinterpret_cast<int16_t*>(block + WaveHeaderSize);
    for (uint32_t n = 0; n < DefaultCarrierBytes / 2; n++)
        samples[n] = (n & 16) ? 4000 : -4000;  // square wave, period 32, starting low
    InstallCarrier(block, DefaultCarrierBytes);
    return true;
}

void ReleaseCarrier()
{
    if (CarrierWave.samples)
        free(const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(CarrierWave.samples)) - WaveHeaderSize);
    CarrierWave = CarrierWaveState{};
}

void InstallCarrier(uint8_t* block, uint32_t length)
{
    ReleaseCarrier();
    CarrierWave.samples = reinterpret_cast<const int16_t*>(block + WaveHeaderSize);
    CarrierWave.length = length;
    CarrierWave.readPosition = CarrierWave.samples;
}
