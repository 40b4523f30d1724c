#include "rate_converter.h"
#include <algorithm>
#include <cmath>

constexpr int KernelPhases = 512;
// The pass band ends a little below the lower rate's half, where a Kaiser
// window of this shape has the stop band (-80 dB) begin before it: 9.4 kHz
// and 10.5 kHz between a host and 22050 Hz.
constexpr double Cutoff = 0.45;  // cycles per sample of the lower rate
constexpr double KaiserBeta = 8.0;

static double BesselI0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; k < 40; k++) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

std::vector<float> MakeKernel()
{
    std::vector<float> kernel(KernelHalfWidth * KernelPhases + 2, 0.0f);
    for (int i = 0; i < KernelHalfWidth * KernelPhases; i++) {
        double x = static_cast<double>(i) / KernelPhases;
        double r = x / KernelHalfWidth;
        double sinc = i == 0 ? 1 : std::sin(2 * M_PI * Cutoff * x) / (2 * M_PI * Cutoff * x);
        kernel[i] = static_cast<float>(2 * Cutoff * sinc * BesselI0(KaiserBeta * std::sqrt(1 - r * r)) /
                                       BesselI0(KaiserBeta));
    }
    return kernel;
}

int64_t KernelReach(int64_t inRate, int64_t outRate)
{
    return KernelHalfWidth * std::max(inRate, outRate);
}

void InitRateConverter(RateConverter* converter, const std::vector<float>& kernel, int64_t inRate,
                       int64_t outRate, int64_t delay, int chunk)
{
    converter->inRate = inRate;
    converter->outRate = outRate;
    converter->reach = KernelReach(inRate, outRate);
    converter->delay = delay;
    converter->kernel = kernel.data();
    // Decimating, the kernel is wider than the inputs' spacing: it sums to
    // in / out there.
    converter->gain = inRate > outRate ? static_cast<float>(outRate) / inRate : 1.0f;
    // The inputs of the kernel's width, of an output up to one input late,
    // and of one call.
    size_t size = 1;
    while (size < static_cast<size_t>((2 * converter->reach + 2 * std::max(inRate, outRate)) / outRate + chunk + 4))
        size *= 2;
    converter->history.assign(size, 0.0f);
    RestartRateConverter(converter);
}

void RestartRateConverter(RateConverter* converter)
{
    std::fill(converter->history.begin(), converter->history.end(), 0.0f);
    converter->received = 0;
    converter->produced = 0;
}

// Floor division for the negative times before the first input.
static int64_t Floor(int64_t a, int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Input n lies at tick n * out, output m at m * in - delay; the inputs less
// than `reach` away make it, those before the first count as silence.
int Convert(RateConverter* c, const float* in, int count, float* out, int room)
{
    const int64_t mask = static_cast<int64_t>(c->history.size()) - 1;
    for (int i = 0; i < count; i++)
        c->history[(c->received + i) & mask] = in[i];
    c->received += count;
    const int64_t wide = std::max(c->inRate, c->outRate);
    const double step = static_cast<double>(c->outRate) * KernelPhases / wide;  // table entries per input
    int made = 0;
    while (made < room) {
        int64_t center = c->produced * c->inRate - c->delay;
        int64_t last = Floor(center + c->reach - 1, c->outRate);
        if (last >= c->received)
            break;
        int64_t first = Floor(center - c->reach, c->outRate) + 1;
        double position = static_cast<double>(center - first * c->outRate) * KernelPhases / wide;
        float sum = 0;
        for (int64_t n = first; n <= last; n++, position -= step) {
            double distance = std::fabs(position);
            int index = static_cast<int>(distance);
            float fraction = static_cast<float>(distance - index);
            float weight = c->kernel[index] + fraction * (c->kernel[index + 1] - c->kernel[index]);
            sum += c->history[n & mask] * weight;
        }
        out[made++] = sum * c->gain;
        c->produced++;
    }
    return made;
}
