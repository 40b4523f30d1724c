// Sample-rate conversion between a host's rate and the chain's 22050 Hz, for
// the plugin: band-limited interpolation with a windowed sinc, the same
// kernel both ways. Time is counted in whole ticks of 1 / (in * out)
// seconds, so that the output's delay is exact and never drifts. Only
// MakeKernel and InitRateConverter allocate; Convert allocates nothing and
// takes no lock.
#pragma once
#include <cstdint>
#include <vector>

// Half the kernel's width, in samples of the lower of the two rates.
constexpr int KernelHalfWidth = 48;

// The kernel's right half, KernelPhases values per sample of the lower rate
// and a zero at the end; both converters of a plugin share it.
std::vector<float> MakeKernel();

struct RateConverter {
    int64_t inRate, outRate;
    int64_t reach;     // ticks either side of an output that the kernel covers
    int64_t delay;     // ticks from an input to the output made at its time
    const float* kernel;
    float gain;
    std::vector<float> history;  // the last inputs, a power of two of them
    int64_t received;  // inputs taken
    int64_t produced;  // outputs made
};

// Ticks of one side of the kernel: how far an output waits for inputs
// after its own time.
int64_t KernelReach(int64_t inRate, int64_t outRate);

// `delay` is in ticks: output m is the input at m * inRate - delay; `chunk`
// the most inputs one Convert takes. Starts from silence.
void InitRateConverter(RateConverter* converter, const std::vector<float>& kernel, int64_t inRate,
                       int64_t outRate, int64_t delay, int chunk);
void RestartRateConverter(RateConverter* converter);

// Takes `count` inputs and writes the outputs they complete, at most
// `room`; returns how many it wrote.
int Convert(RateConverter* converter, const float* in, int count, float* out, int room);
