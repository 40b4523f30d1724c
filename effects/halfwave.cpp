// Pitch, Triangle and Crazy: each block is cut into half-waves, runs of one
// sign class (negative, or zero and positive) that start at a non-zero
// sample. Runs of zeros where a unit would begin are copied as they are.
//
// The block is first turned into a bit map of sign edges, so that the end of
// every run is one bit search away. Triangle and Crazy then walk the sign
// runs: a negative run is one half-wave; a non-negative run is the zero run
// that may open it followed by one positive half-wave. The SSE2 parts write
// eight samples at a time and may write a few samples past the end of a run;
// those belong to later runs, which are written after it, so only the last
// write of every sample stands. Nothing is read or written outside the block.
#include <algorithm>
#include <bit>
#include <cstring>
#include "chain.h"
#include "effects.h"
#include "kernels.h"
#include "simd.h"

constexpr int N = AudioBlockSamples;
constexpr int EdgeWords = N / 64 + 1;

// Bit q of `edges` is set where in[q] has the other sign class than in[q-1]
// (1 <= q < N), and bit N is set so that every search ends there.
static void FindSignEdges(const int16_t* in, uint64_t* edges)
{
    uint64_t signs[EdgeWords] = {};
    int q = 0;
#if VOXOTROPE_SSE2
    for (; q + 16 <= N; q += 16) {
        // The saturating pack keeps each sample's sign; one bit per sample.
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + q));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + q + 8));
        uint64_t bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
        signs[q >> 6] |= bits << (q & 63);
    }
#endif
    for (; q < N; q++)
        signs[q >> 6] |= static_cast<uint64_t>(in[q] < 0) << (q & 63);
    uint64_t carry = signs[0] & 1;  // no edge before the first sample
    for (int w = 0; w < EdgeWords; w++) {
        edges[w] = signs[w] ^ (signs[w] << 1 | carry);
        carry = signs[w] >> 63;
    }
    edges[N >> 6] |= uint64_t{1} << (N & 63);
}

// Walks the edges in increasing order, one word of the bit map at a time,
// so that finding the next edge costs a bit count, not a search from q.
struct EdgeWalk {
    const uint64_t* edges;
    int word = 0;
    uint64_t bits = edges[0];

    // First edge after q (q < N): the first position after q whose sample
    // has the other sign class than the run that holds q, or N. The edges up
    // to it are used up, so q must not go back.
    int After(int q)
    {
        for (;;) {
            while (bits == 0)
                bits = edges[++word];
            int edge = word * 64 + std::countr_zero(bits);
            bits &= bits - 1;
            if (edge > q)
                return edge;
        }
    }
};

// flip is 0 for a non-negative run and -1 for a negative one: in ^ flip is
// then the sample itself or ~sample = -sample - 1, never negative, and the
// largest of them marks the largest sample of a non-negative run and the
// smallest of a negative one, -32768 included.
static int RunTop(const int16_t* in, int s, int e, int16_t flip)
{
    int q = s;
    int top = 0;
#if VOXOTROPE_SSE2
    const __m128i f = _mm_set1_epi16(flip);
    __m128i best = _mm_setzero_si128();
    for (; q + 8 <= e; q += 8)
        best = _mm_max_epi16(best, _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + q)), f));
    if (q < e && q + 8 <= N) {
        // The rest of the run; lanes past its end count as 0.
        __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + q)), f);
        __m128i inside = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<int16_t>(e - q)), _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
        best = _mm_max_epi16(best, _mm_and_si128(x, inside));
        q = e;
    }
    best = _mm_max_epi16(best, _mm_shuffle_epi32(best, _MM_SHUFFLE(1, 0, 3, 2)));
    best = _mm_max_epi16(best, _mm_shuffle_epi32(best, _MM_SHUFFLE(2, 3, 0, 1)));
    best = _mm_max_epi16(best, _mm_shufflelo_epi16(best, _MM_SHUFFLE(2, 3, 0, 1)));
    top = static_cast<int16_t>(_mm_cvtsi128_si32(best));
#endif
    for (; q < e; q++)
        top = std::max(top, in[q] ^ flip);
    return top;
}

// First position from s on where in ^ flip equals top; the caller knows it
// lies before the run's end.
static int FirstAt(const int16_t* in, int s, int16_t flip, int top)
{
    int q = s;
#if VOXOTROPE_SSE2
    const __m128i f = _mm_set1_epi16(flip);
    const __m128i t = _mm_set1_epi16(static_cast<int16_t>(top));
    for (; q + 8 <= N; q += 8) {
        __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + q)), f);
        int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(x, t));
        if (hits)
            return q + std::countr_zero(static_cast<unsigned>(hits)) / 2;
    }
#endif
    while ((in[q] ^ flip) != top)
        q++;
    return q;
}

#if VOXOTROPE_SSE2
// Most half-waves are short: one of up to 16 samples, not too near the block
// end, is handled in one straight stretch without loops.
constexpr int WindowSamples = 16;

static bool InWindow(int s, int e)
{
    return e - s <= WindowSamples && s + WindowSamples <= N;
}

// The 16 samples from s, each XOR flip, with the lanes past the run's end
// set to 0 (which never exceeds a real lane's value).
struct Window {
    __m128i low, high;
};

static Window LoadWindow(const int16_t* in, int s, int e, int16_t flip)
{
    const __m128i f = _mm_set1_epi16(flip);
    const __m128i length = _mm_set1_epi16(static_cast<int16_t>(e - s));
    __m128i low = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + s)), f);
    __m128i high = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + s + 8)), f);
    low = _mm_and_si128(low, _mm_cmpgt_epi16(length, _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7)));
    high = _mm_and_si128(high, _mm_cmpgt_epi16(length, _mm_setr_epi16(8, 9, 10, 11, 12, 13, 14, 15)));
    return {low, high};
}

// The largest lane of the window, in every lane.
static __m128i WindowTop(const Window& w)
{
    __m128i best = _mm_max_epi16(w.low, w.high);
    best = _mm_max_epi16(best, _mm_shuffle_epi32(best, _MM_SHUFFLE(1, 0, 3, 2)));
    best = _mm_max_epi16(best, _mm_shuffle_epi32(best, _MM_SHUFFLE(2, 3, 0, 1)));
    best = _mm_max_epi16(best, _mm_shufflelo_epi16(best, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_shuffle_epi32(_mm_shufflelo_epi16(best, 0), 0);
}
#endif

// out[n + i] = in[s + factor * i] for i = 0 to count - 1, as far as out
// reaches (n + i < N).
static void Stride(const int16_t* in, int16_t* out, int s, int n, int count, int factor)
{
    int i = 0;
#if VOXOTROPE_SSE2
    if (factor == 2) {
        // Every other sample: the low half of each 32-bit pair, sign-extended
        // and packed again.
        // Sixteen at a time: most repetitions take one step.
        for (; i < count && s + 2 * i + 32 <= N && n + i + 16 <= N; i += 16) {
            const __m128i* from = reinterpret_cast<const __m128i*>(in + s + 2 * i);
            __m128i a = _mm_srai_epi32(_mm_slli_epi32(_mm_loadu_si128(from), 16), 16);
            __m128i b = _mm_srai_epi32(_mm_slli_epi32(_mm_loadu_si128(from + 1), 16), 16);
            __m128i c = _mm_srai_epi32(_mm_slli_epi32(_mm_loadu_si128(from + 2), 16), 16);
            __m128i d = _mm_srai_epi32(_mm_slli_epi32(_mm_loadu_si128(from + 3), 16), 16);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + i), _mm_packs_epi32(a, b));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + i + 8), _mm_packs_epi32(c, d));
        }
    }
#endif
    for (; i < count && n + i < N; i++)
        out[n + i] = in[s + factor * i];
}

// Plays each wave cycle (a half-wave and the one after it) `factor` times,
// taking every factor-th sample. The input samples the stride overshoots are
// skipped so that output and input stay aligned; output beyond out[N-1] is
// dropped. Fixed is the factor when known here (the slider's 2 and 3, whose
// divisions then become shifts and multiplications), 0 otherwise.
template <int Fixed>
static void PitchCycles(const int16_t* in, int16_t* out, int32_t factor)
{
    const int f = Fixed ? Fixed : factor;
    uint64_t edges[EdgeWords];
    FindSignEdges(in, edges);
    EdgeWalk walk{edges};
    int p = 0;
    while (p < N) {
        if (in[p] == 0) {  // zero run
            out[p] = 0;
            p++;
            continue;
        }
        int s = p;
        int m = walk.After(s);
        int e = m < N ? walk.After(m) : N;
        int repeat = (e - s + f - 1) / f;  // R, samples per repetition
        for (int r = 0; r < f; r++)
            Stride(in, out, s, s + r * repeat, repeat, f);
        p = s + f * repeat;  // from e to e + f - 1
    }
}

void PitchKernel(const int16_t* in, int16_t* out, int32_t factor)
{
    if (factor == 2)
        PitchCycles<2>(in, out, 2);
    else if (factor == 3)
        PitchCycles<3>(in, out, 3);
    else if (factor > 3 && factor < N)
        PitchCycles<0>(in, out, factor);
    else if (factor >= N)
        PitchCycles<0>(in, out, N);  // the same: one sample per cycle, repeated
    else
        // 1 copies every wave cycle once, unchanged: the block itself; so
        // does anything below 1, for which a stride of 0 would never end.
        memcpy(out, in, AudioBlockBytes);
}

// Writes the ramp floor(k * slope / 32768), k from 0, over out[s..e-1],
// kept to its low 16 bits: bits 15 to 30 of k * slope, which wrapping 32-bit
// arithmetic gives as well as exact arithmetic.
static void Ramp(int16_t* out, int s, int e, int32_t slope)
{
    const uint32_t step = static_cast<uint32_t>(slope);
    int q = s;
#if VOXOTROPE_SSE2
    __m128i low = _mm_setr_epi32(0, static_cast<int>(step), static_cast<int>(2 * step), static_cast<int>(3 * step));
    __m128i high = _mm_add_epi32(low, _mm_set1_epi32(static_cast<int>(4 * step)));
    const __m128i eight = _mm_set1_epi32(static_cast<int>(8 * step));
    for (; q < e && q + 8 <= N; q += 8) {
        // << 1 then >> 16 with sign fill: bits 15 to 30, ready for the pack.
        __m128i a = _mm_srai_epi32(_mm_slli_epi32(low, 1), 16);
        __m128i b = _mm_srai_epi32(_mm_slli_epi32(high, 1), 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + q), _mm_packs_epi32(a, b));
        low = _mm_add_epi32(low, eight);
        high = _mm_add_epi32(high, eight);
    }
#endif
    for (uint32_t product = static_cast<uint32_t>(q - s) * step; q < e; q++, product += step)
        out[q] = static_cast<int16_t>(product >> 15);
}

// Calls shape(s, e, flip) for every sign run [s, e) of the block, in order;
// flip is 0 for a non-negative run and -1 for a negative one.
template <typename Shape>
static void ForEachSignRun(const int16_t* in, Shape shape)
{
    uint64_t edges[EdgeWords];
    FindSignEdges(in, edges);
    EdgeWalk walk{edges};
    for (int s = 0; s < N;) {
        int e = walk.After(s);
        shape(s, e, static_cast<int16_t>(in[s] >> 15));
        s = e;
    }
}

// slope = peak * 32768 / d, truncated; 0 when the peak is the first sample.
static int32_t Slope(int32_t peak, int d)
{
    // Divides every time and masks: a branch on d would depend on the whole
    // peak search and guess wrong on every short half-wave.
    int32_t quotient = peak * 32768 / (d + (d == 0));
    return quotient & -static_cast<int32_t>(d != 0);
}

// The ramp over the half-wave [s, e).
static void TriangleHalfWave(const int16_t* in, int16_t* out, int s, int e, int16_t flip)
{
#if VOXOTROPE_SSE2
    if (InWindow(s, e)) {
        Window w = LoadWindow(in, s, e, flip);
        __m128i top = WindowTop(w);
        // The peak's first lane: lanes past the end come after it.
        unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(w.low, top))) |
                        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(w.high, top))) << 16;
        int32_t peak = static_cast<int16_t>(_mm_cvtsi128_si32(top)) ^ flip;
        __m128i step = _mm_set1_epi32(Slope(peak, std::countr_zero(hits) / 2));
        // k * slope for k = 0 to 15, then bits 15 to 30 of each.
        __m128i k0 = _mm_add_epi32(_mm_and_si128(step, _mm_setr_epi32(0, -1, 0, -1)),
                                   _mm_and_si128(_mm_add_epi32(step, step), _mm_setr_epi32(0, 0, -1, -1)));
        __m128i k4 = _mm_add_epi32(k0, _mm_slli_epi32(step, 2));
        __m128i k8 = _mm_add_epi32(k0, _mm_slli_epi32(step, 3));
        __m128i k12 = _mm_add_epi32(k4, _mm_slli_epi32(step, 3));
        auto bits = [](__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 1), 16); };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + s), _mm_packs_epi32(bits(k0), bits(k4)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + s + 8), _mm_packs_epi32(bits(k8), bits(k12)));
        return;
    }
#endif
    int top = RunTop(in, s, e, flip);
    int d = FirstAt(in, s, flip, top) - s;
    Ramp(out, s, e, Slope(top ^ flip, d));
}

// Replaces each half-wave by the straight ramp from 0 on its first sample
// through its peak. slope = peak * 32768 / d (Q15, truncated), d the distance
// of the peak's first occurrence; sample k is floor(k * slope / 32768) kept to
// its low 16 bits, so ramps wrap, never clip.
void TriangleKernel(const int16_t* in, int16_t* out)
{
    ForEachSignRun(in, [in, out](int s, int e, int16_t flip) {
        while (s < e && in[s] == 0)  // the zero run that may open a non-negative run
            out[s++] = 0;
        if (s < e)
            TriangleHalfWave(in, out, s, e, flip);
    });
}

// out = in * gain over out[s..e-1], kept to 16 bits (the gain keeps every
// product inside them).
static void Scale(const int16_t* in, int16_t* out, int s, int e, int16_t gain)
{
    int q = s;
#if VOXOTROPE_SSE2
    const __m128i g = _mm_set1_epi16(gain);
    for (; q < e && q + 8 <= N; q += 8) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + q));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + q), _mm_mullo_epi16(x, g));
    }
#endif
    for (; q < e; q++)
        out[q] = static_cast<int16_t>(in[q] * gain);
}

// Multiplies each half-wave by the whole number 32767 / |peak| (truncated),
// so its peak lands in 16384..32767 in magnitude; products never leave 16
// bits. A negative peak of -32768 gives gain 0. The zeros that open a
// non-negative run stay zeros whatever the gain.
void CrazyKernel(const int16_t* in, int16_t* out)
{
    ForEachSignRun(in, [in, out](int s, int e, int16_t flip) {
        // |peak| is top for a non-negative run and top + 1 for a negative one;
        // a run of zeros alone has no peak and any gain.
#if VOXOTROPE_SSE2
        if (InWindow(s, e)) {
            int magnitude = static_cast<int16_t>(_mm_cvtsi128_si32(WindowTop(LoadWindow(in, s, e, flip)))) - flip;
            const __m128i g = _mm_set1_epi16(static_cast<int16_t>(32767 / (magnitude ? magnitude : 1)));
            const __m128i* from = reinterpret_cast<const __m128i*>(in + s);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + s), _mm_mullo_epi16(_mm_loadu_si128(from), g));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + s + 8), _mm_mullo_epi16(_mm_loadu_si128(from + 1), g));
            return;
        }
#endif
        int magnitude = RunTop(in, s, e, flip) - flip;
        Scale(in, out, s, e, static_cast<int16_t>(32767 / (magnitude ? magnitude : 1)));
    });
}

void Pitch()
{
    PitchKernel(BlockCursor, WorkBuffers[WorkIndex], ParameterTable.value[SliderPitch]);
    HandOver();
}

void Triangle()
{
    TriangleKernel(BlockCursor, WorkBuffers[WorkIndex]);
    HandOver();
}

void Crazy()
{
    CrazyKernel(BlockCursor, WorkBuffers[WorkIndex]);
    HandOver();
}
