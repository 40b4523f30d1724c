// Volume, Reverse and Deeper: one pass over the block, sample by sample.
#include "chain.h"
#include "effects.h"
#include "kernels.h"
#include "simd.h"

constexpr int N = AudioBlockSamples;

// out = floor(in * gain / 8), saturated to -32768..32767. The product stays
// within 32 bits for any gain a slider sets (|in * 52| <= 1703936). SSE2
// forms the exact 32-bit products from their 16-bit halves and saturates with
// the signed pack, which is the same clamp.
void VolumeKernel(const int16_t* in, int16_t* out, int32_t gain)
{
    int k = 0;
#if VOXOTROPE_SSE2
    if (gain >= -32768 && gain <= 32767) {
        const __m128i g = _mm_set1_epi16(static_cast<int16_t>(gain));
        auto scale = [g](__m128i x) {
            __m128i low = _mm_mullo_epi16(x, g);
            __m128i high = _mm_mulhi_epi16(x, g);
            __m128i first = _mm_srai_epi32(_mm_unpacklo_epi16(low, high), 3);
            __m128i second = _mm_srai_epi32(_mm_unpackhi_epi16(low, high), 3);
            return _mm_packs_epi32(first, second);
        };
        // Sixteen samples a step, both loads ahead of both stores.
        for (; k + 16 <= N; k += 16) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
            __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k + 8));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), scale(x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 8), scale(y));
        }
    }
#endif
    for (; k < N; k++) {
        int32_t q = (in[k] * gain) >> 3;
        out[k] = static_cast<int16_t>(q < -32768 ? -32768 : q > 32767 ? 32767 : q);
    }
}

void ReverseKernel(const int16_t* in, int16_t* out)
{
    int k = 0;
#if VOXOTROPE_SSE2
    auto reversed = [](__m128i x) {
        x = _mm_shuffle_epi32(x, _MM_SHUFFLE(0, 1, 2, 3));  // pairs in reverse order
        x = _mm_shufflelo_epi16(x, _MM_SHUFFLE(2, 3, 0, 1));  // then each pair swapped
        return _mm_shufflehi_epi16(x, _MM_SHUFFLE(2, 3, 0, 1));
    };
    // Sixteen samples a step, both loads ahead of both stores.
    for (; k + 16 <= N; k += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + N - 8 - k));
        __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + N - 16 - k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), reversed(x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 8), reversed(y));
    }
#endif
    for (; k < N; k++)
        out[k] = in[N - 1 - k];
}

// The first half of the block at half speed: each sample followed by its
// sign extension (0 or -1), as if stored as a 32-bit little-endian word.
// The second half of the input is never read.
void DeeperKernel(const int16_t* in, int16_t* out)
{
    int i = 0;
#if VOXOTROPE_SSE2
    for (; i + 16 <= N / 2; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
        __m128i xSign = _mm_srai_epi16(x, 15);
        __m128i ySign = _mm_srai_epi16(y, 15);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi16(x, xSign));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 8), _mm_unpackhi_epi16(x, xSign));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), _mm_unpacklo_epi16(y, ySign));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 24), _mm_unpackhi_epi16(y, ySign));
    }
#endif
    for (; i < N / 2; i++) {
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
