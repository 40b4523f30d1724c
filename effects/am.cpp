// Amplitude modulation by the CarrierWave, which loops on its own across
// block boundaries; the built-in carrier and the carrier block's life.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include "chain.h"
#include "effects.h"
#include "kernels.h"
#include "simd.h"

CarrierWaveState CarrierWave;
void* (*AllocateCarrierBlock)(size_t bytes) = malloc;

constexpr uint32_t DefaultCarrierBytes = 1000;

// out = ((in >> 5) * m) >> 10, kept to its low 16 bits: about in * m / 32768.
// Only m = -32768 against in <= -32737 leaves 16 bits (+32768 stored as
// -32768). SSE2 takes those 16 bits straight from the two halves of the
// 32-bit product: high << 6 | low >> 10.
static void Modulate(const int16_t* in, int16_t* out, const int16_t* carrier, int count)
{
    int k = 0;
#if VOXOTROPE_SSE2
    auto product = [](__m128i m, __m128i x) {
        __m128i y = _mm_srai_epi16(x, 5);
        return _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epi16(m, y), 6), _mm_srli_epi16(_mm_mullo_epi16(m, y), 10));
    };
    auto load = [](const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    // Sixteen samples a step, all loads ahead of both stores.
    for (; k + 16 <= count; k += 16) {
        __m128i first = product(load(carrier + k), load(in + k));
        __m128i second = product(load(carrier + k + 8), load(in + k + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 8), second);
    }
    if (k + 8 <= count) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), product(load(carrier + k), load(in + k)));
        k += 8;
    }
#endif
    for (; k < count; k++)
        out[k] = static_cast<int16_t>((carrier[k] * (in[k] >> 5)) >> 10);
}

// The read position wraps when it reaches the last carrier sample, so that
// sample is never used; between wraps the carrier is read in one stretch.
void AMKernel(const int16_t* in, int16_t* out, CarrierWaveState* carrier)
{
    const int16_t* first = carrier->samples;
    const int16_t* last = first + carrier->length / 2 - 1;
    const int16_t* position = carrier->readPosition;
    if (position < first || position >= last)
        position = first;  // never start on or past the last sample
    for (int k = 0; k < AudioBlockSamples;) {
        int stretch = static_cast<int>(std::min<ptrdiff_t>(AudioBlockSamples - k, last - position));
        Modulate(in + k, out + k, position, stretch);
        k += stretch;
        position += stretch;
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

bool MakeDefaultCarrier(const int16_t** samples, uint32_t* length)
{
    uint8_t* block = static_cast<uint8_t*>(AllocateCarrierBlock(WaveHeaderSize + DefaultCarrierBytes));
    if (!block)
        return false;
    int16_t* wave = reinterpret_cast<int16_t*>(block + WaveHeaderSize);
    for (uint32_t n = 0; n < DefaultCarrierBytes / 2; n++)
        wave[n] = (n & 16) ? 4000 : -4000;  // square wave, period 32, starting low
    *samples = wave;
    *length = DefaultCarrierBytes;
    return true;
}

void FreeCarrierBlock(const int16_t* samples)
{
    if (samples)
        free(const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(samples)) - WaveHeaderSize);
}

bool CreateDefaultCarrier()
{
    const int16_t* samples = nullptr;
    uint32_t length = 0;
    if (!MakeDefaultCarrier(&samples, &length)) {
        ReleaseCarrier();
        return false;
    }
    InstallCarrier(const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(samples)) - WaveHeaderSize, length);
    return true;
}

void ReleaseCarrier()
{
    FreeCarrierBlock(CarrierWave.samples);
    CarrierWave = CarrierWaveState{};
}

void InstallCarrier(uint8_t* block, uint32_t length)
{
    ReleaseCarrier();
    CarrierWave.samples = reinterpret_cast<const int16_t*>(block + WaveHeaderSize);
    CarrierWave.length = length;
    CarrierWave.readPosition = CarrierWave.samples;
}
