// Volume, Reverse and Deeper: one pass over the block, sample by sample.
#include "chain.h"
#include "effects.h"
#include "kernels.h"

constexpr int N = AudioBlockSamples;

// out = floor(in * gain / 8), saturated to -32768..32767. The product stays
// within 32 bits for any gain a slider sets (|in * 52| <= 1703936).
void VolumeKernel(const int16_t* in, int16_t* out, int32_t gain)
{
    for (int k = 0; k < N; k++) {
        int32_t q = (in[k] * gain) >> 3;
        out[k] = static_cast<int16_t>(q < -32768 ? -32768 : q > 32767 ? 32767 : q);
    }
}

void ReverseKernel(const int16_t* in, int16_t* out)
{
    for (int k = 0; k < N; k++)
        out[k] = in[N - 1 - k];
}

// The first half of the block at half speed: each sample followed by its
// sign extension (0 or -1), as if stored as a 32-bit little-endian word.
// The second half of the input is never read.
void DeeperKernel(const int16_t* in, int16_t* out)
{
    for (int i = 0; i < N / 2; i++) {
        out[2 * i] = in[i];
        out[2 * i + 1] = in[i] < 0 ? -1 : 0;
    }
}

void Volume()
{
    VolumeKernel(BlockCursor, WorkBuffers[WorkIndex], ParameterTable.value[SliderVolume]);
    HandOver();
}

void Reverse()
{
    ReverseKernel(BlockCursor, WorkBuffers[WorkIndex]);
    HandOver();
}

void Deeper()
{
    DeeperKernel(BlockCursor, WorkBuffers[WorkIndex]);
    HandOver();
}
