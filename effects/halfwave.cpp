// Pitch, Triangle and Crazy: each block is cut into half-waves, runs of one
// sign class (negative, or zero and positive) that start at a non-zero sample.
// Runs of zeros where a unit would begin are copied as they are.
#include "chain.h"
#include "effects.h"
#include "kernels.h"

constexpr int N = AudioBlockSamples;

// First position after s whose sample has the other sign class than in[s]
// (sign bits differ), or N.
static int HalfWaveEnd(const int16_t* in, int s)
{
    int q = s + 1;
    while (q < N && (in[q] ^ in[s]) >= 0)
        q++;
    return q;
}

// Copies the zero run at p, if any, and returns the position after it.
static int CopyZeroRun(const int16_t* in, int16_t* out, int p)
{
    while (p < N && in[p] == 0)
        out[p++] = 0;
    return p;
}

// Largest sample of a positive half-wave, smallest of a negative one, with
// the distance of its first occurrence from s.
static int16_t HalfWavePeak(const int16_t* in, int s, int e, int* distance)
{
    int16_t peak = 0;
    *distance = 0;
    for (int q = s; q < e; q++) {
        if (in[s] > 0 ? in[q] > peak : in[q] < peak) {
            peak = in[q];
            *distance = q - s;
        }
    }
    return peak;
}

// Plays each wave cycle (a half-wave and the one after it) `factor` times,
// taking every factor-th sample. The input samples the stride overshoots are
// skipped so that output and input stay aligned; output beyond out[N-1] is
// dropped.
void PitchKernel(const int16_t* in, int16_t* out, int32_t factor)
{
    if (factor < 1)
        factor = 1;  // no slider sets it below 1; a stride of 0 would never end
    int p = 0;
    int n = 0;
    while ((p = CopyZeroRun(in, out, p)) < N) {
        int s = p;
        n = p;
        int m = HalfWaveEnd(in, s);
        int e = m < N ? HalfWaveEnd(in, m) : N;
        int q = s;
        for (int repeat = 0; repeat < factor; repeat++) {
            for (q = s; q < e; q += factor) {
                if (n < N)
                    out[n] = in[q];
                n++;
            }
        }
        p = q;  // s + factor * R, from e to e + factor - 1
    }
}

// Replaces each half-wave by the straight ramp from 0 on its first sample
// through its peak. slope = peak * 32768 / d (Q15, truncated); sample k is
// floor(k * slope / 32768) kept to its low 16 bits, so ramps wrap, never clip.
void TriangleKernel(const int16_t* in, int16_t* out)
{
    int p = 0;
    while ((p = CopyZeroRun(in, out, p)) < N) {
        int s = p;
        int e = HalfWaveEnd(in, s);
        int d;
        int16_t peak = HalfWavePeak(in, s, e, &d);
        int32_t slope = d == 0 ? 0 : peak * 32768 / d;
        for (int k = 0; k < e - s; k++)
            out[s + k] = static_cast<int16_t>((int64_t{k} * slope) >> 15);
        p = e;
    }
}

// Multiplies each half-wave by the whole number 32767 / |peak| (truncated),
// so its peak lands in 16384..32767 in magnitude; products never leave 16
// bits. A negative peak of -32768 gives gain 0.
void CrazyKernel(const int16_t* in, int16_t* out)
{
    int p = 0;
    while ((p = CopyZeroRun(in, out, p)) < N) {
        int s = p;
        int e = HalfWaveEnd(in, s);
        int d;
        int16_t peak = HalfWavePeak(in, s, e, &d);
        int16_t gain = static_cast<int16_t>(in[s] > 0 ? 32767 / peak : -32767 / peak);
        for (int q = s; q < e; q++)
            out[q] = static_cast<int16_t>(in[q] * gain);
        p = e;
    }
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
