// The plugin's rate converter on its own: a tone keeps its level and its
// time to the tick over seconds of host calls of any size, the same input
// gives the same output however it is cut into calls, and what lies above
// the lower rate's band does not fold back into it.
#include <gtest/gtest.h>
#include <cmath>
#include <random>
#include <vector>
#include "rate_converter.h"

namespace {

struct RatePair {
    int64_t in, out;
};

constexpr int Chunk = 2048;

// Converts `input` in calls of 1 to Chunk inputs (all of Chunk when
// `steady`), room enough for what each call completes.
std::vector<float> ConvertInCalls(const RatePair& rates, const std::vector<float>& input, bool steady)
{
    static const std::vector<float> kernel = MakeKernel();
    RateConverter converter;
    InitRateConverter(&converter, kernel, rates.in, rates.out, 0, Chunk);
    std::mt19937 random(7);
    std::vector<float> output, room(Chunk * rates.out / rates.in + 8);
    for (size_t done = 0; done < input.size();) {
        int count = steady ? Chunk : std::uniform_int_distribution<int>(1, Chunk)(random);
        count = static_cast<int>(std::min<size_t>(count, input.size() - done));
        int made = Convert(&converter, input.data() + done, count, room.data(), static_cast<int>(room.size()));
        output.insert(output.end(), room.begin(), room.begin() + made);
        done += count;
    }
    return output;
}

std::vector<float> Tone(double hertz, int64_t rate, double seconds)
{
    std::vector<float> tone(static_cast<size_t>(seconds * rate));
    for (size_t n = 0; n < tone.size(); n++)
        tone[n] = static_cast<float>(0.5 * std::sin(2 * M_PI * hertz * static_cast<double>(n) / rate));
    return tone;
}

class RateConversion : public testing::TestWithParam<RatePair> {};

// Output m is the input's time m / out seconds. An output too many or too
// few, or a tick lost per call, moves every later sample off the tone.
TEST_P(RateConversion, ToneKeepsLevelAndTimeOverSecondsOfCalls)
{
    const RatePair rates = GetParam();
    const double hertz = 1000;
    std::vector<float> input = Tone(hertz, rates.in, 5);
    std::vector<float> output = ConvertInCalls(rates, input, false);
    // Made: every output whose kernel ends within the inputs given.
    const int64_t reach = KernelReach(rates.in, rates.out);
    const int64_t received = static_cast<int64_t>(input.size());
    int64_t complete = 0;
    while ((complete * rates.in + reach - 1) / rates.out < received)
        complete++;
    ASSERT_EQ(static_cast<int64_t>(output.size()), complete);
    // Past the kernel's first reach, where the silence before the input ends.
    double worst = 0;
    for (size_t m = static_cast<size_t>(2 * reach / rates.in) + 1; m < output.size(); m++) {
        double expected = 0.5 * std::sin(2 * M_PI * hertz * static_cast<double>(m) / rates.out);
        worst = std::max(worst, std::fabs(output[m] - expected));
    }
    EXPECT_LT(20 * std::log10(worst / 0.5), -60) << "worst difference " << worst;
}

TEST_P(RateConversion, SameOutputHoweverTheCallsCutTheInput)
{
    std::vector<float> noise(static_cast<size_t>(GetParam().in));
    std::mt19937 random(3);
    for (float& sample : noise)
        sample = std::uniform_real_distribution<float>(-1, 1)(random);
    EXPECT_EQ(ConvertInCalls(GetParam(), noise, true), ConvertInCalls(GetParam(), noise, false));
}

INSTANTIATE_TEST_SUITE_P(Rates, RateConversion,
                         testing::Values(RatePair{48000, 22050}, RatePair{22050, 48000}, RatePair{44100, 22050},
                                         RatePair{22050, 44100}, RatePair{8000, 22050}, RatePair{192000, 22050}),
                         [](const testing::TestParamInfo<RatePair>& info) {
                             return std::to_string(info.param.in) + "to" + std::to_string(info.param.out);
                         });

// From a host's rate down to 22050 Hz, a tone above 11025 Hz would fold
// back as one below it: it must come out at least 70 dB under its level.
TEST(RateConversionDown, ToneAboveTheBandDoesNotFoldBack)
{
    for (double hertz : {12000.0, 15000.0, 20000.0}) {
        std::vector<float> output = ConvertInCalls({48000, 22050}, Tone(hertz, 48000, 1), false);
        double worst = 0;
        for (size_t m = 200; m < output.size(); m++)
            worst = std::max(worst, static_cast<double>(std::fabs(output[m])));
        EXPECT_LT(20 * std::log10(worst / 0.5), -70) << hertz << " Hz";
    }
}

}  // namespace
