// Pitch, Triangle and Crazy: worked examples, gain table, and properties over
// random and speech blocks against the reference model.
#include <algorithm>
#include <cstdlib>
#include "effect_harness.h"
#include "effects.h"

namespace {

constexpr int N = AudioBlockSamples;

struct Example {
    const char* name;
    void (*operation)();
    int pitchFactor;  // used by Pitch only
    Samples in;
    Samples expectedHead;  // the first samples of the output
};

void PrintTo(const Example& example, std::ostream* os) { *os << example.name; }

const Example Examples[] = {
    // Pitch: 0, 0, then the cycle 100 200 300 200 | -100 -200 -100, taken at
    // every P-th position; the 50 that the stride jumps over is skipped.
    {"PitchTwoWorkedExample", Pitch, 2, Block({0, 0, 100, 200, 300, 200, -100, -200, -100, 50, 80}),
     {0, 0, 100, 300, -100, -100, 100, 300, -100, -100, 80}},
    {"PitchThreeWorkedExample", Pitch, 3, Block({0, 0, 100, 200, 300, 200, -100, -200, -100, 50, 80}),
     {0, 0, 100, 200, -100, 100, 200, -100, 100, 200, -100}},
    // A cycle that starts negative owns the zero that ends its first half.
    {"PitchCycleStartingNegative", Pitch, 2, Block({-5, -3, 0, 4, -1}), {-5, 0, -5, 0, -1}},
    {"PitchZerosInsidePositiveHalfWave", Pitch, 2, Block({5, 0, 0, 3, -2, -4, 7}), {5, 0, -2, 5, 0, -2, 7}},
    {"PitchNegativeHalfWaveThenZeros", Pitch, 2, Block({-5, 0, 0, 3, -2}, -2), {-5, 0, -5, 0, -2}},

    {"TriangleWorkedExample", Triangle, 0, Block({0, 10, 40, 70, 100, 60, -10, -40, -70, -100, -100, -5, 0, 7}),
     {0, 0, 33, 66, 99, 133, 0, -34, -67, -100, -134, -167, 0, 0, 0}},
    // Products 60000 and 90000 keep only their low 16 bits.
    {"TriangleRampWraps", Triangle, 0, Block({1000, 30000, 20000, 10000}, -1), {0, 30000, -5536, 24464, 0}},
    {"TriangleFortyThousandWraps", Triangle, 0, Block({100, 20000, 1, -1}), {0, 20000, -25536, 0}},
    {"TrianglePeakFirstGivesZeros", Triangle, 0, Block({30000, 100, 100}, -1), {0, 0, 0, 0, 0}},
    {"TriangleLengthOneHalfWaves", Triangle, 0, Block({5, -5, 7, -7, 32767, -32768}), {0, 0, 0, 0, 0, 0}},
    {"TriangleNegativePeakAtThree", Triangle, 0, Block({-1, -2, -3, -32768, -1}),
     {0, -10923, -21846, -32768, 21845}},

    {"CrazyWorkedExample", Crazy, 0, Block({0, 1000, 4000, 3000, 0, -500, -7000, -2000, 5}),
     {0, 8000, 32000, 24000, 0, -2000, -28000, -8000, 32765, 0}},
    {"CrazySmallHalfWaves", Crazy, 0, Block({1, -1, 2, 0, 0, -3}), {32767, -32767, 32766, 0, 0, -32766, 0}},
    {"CrazyMinus32768GivesZeros", Crazy, 0, Block({-5, -32768, -7, 1}), {0, 0, 0, 32767}},
    {"CrazyMinus32767PassesUnchanged", Crazy, 0, Block({-5, -32767, -7, 1}), {-5, -32767, -7, 32767}},
    {"Crazy32767PassesUnchanged", Crazy, 0, Block({5, 32767, 9, -1}), {5, 32767, 9, -32767}},
    {"CrazyDoublesPeaksFrom10923To16383", Crazy, 0, Block({100, 10923, -16383, -7, 16383, -1}),
     {200, 21846, -32766, -14, 32766, -32767}},
};

struct HalfWaveExample : EffectTest, ::testing::WithParamInterface<Example> {};

TEST_P(HalfWaveExample, GivesTheWorkedOutput)
{
    const Example& example = GetParam();
    ParameterTable.value[SliderPitch] = example.pitchFactor;
    Samples out = Run(example.operation, example.in);
    EXPECT_EQ(Head(out, example.expectedHead.size()), example.expectedHead);
}

INSTANTIATE_TEST_SUITE_P(Worked, HalfWaveExample, ::testing::ValuesIn(Examples),
                         [](const auto& info) { return std::string(info.param.name); });

struct GainRow {
    int peak;
    int gain;
};

const GainRow GainRows[] = {
    {1, 32767},    {-1, 32767},   {2, 16383},    {-2, 16383},   {3, 10922},  {-3, 10922},
    {4000, 8},     {-4000, 8},    {7000, 4},     {-7000, 4},    {8192, 3},   {10922, 3},
    {-8192, 3},    {-10922, 3},   {10923, 2},    {16383, 2},    {-10923, 2}, {-16383, 2},
    {16384, 1},    {32767, 1},    {-16384, 1},   {-32767, 1},   {-32768, 0},
};

struct CrazyGain : EffectTest, ::testing::WithParamInterface<GainRow> {};

TEST_P(CrazyGain, ScalesTheWholeHalfWaveByTheTableGain)
{
    const GainRow row = GetParam();
    // The peak first, then a smaller sample of the same sign class.
    int smaller = row.peak / 3;
    Samples out = Run(Crazy, Block({row.peak, smaller}));
    EXPECT_EQ(out[0], row.peak * row.gain);
    EXPECT_EQ(out[1], smaller * row.gain);
}

INSTANTIATE_TEST_SUITE_P(Table, CrazyGain, ::testing::ValuesIn(GainRows));

using PitchTest = EffectTest;

TEST_F(PitchTest, AllPositiveBlockRepeatsEveryPthSample)
{
    Samples in(N);
    for (int k = 0; k < N; k++)
        in[k] = static_cast<int16_t>(k + 1);

    ParameterTable.value[SliderPitch] = 2;
    Samples expected;
    for (int pass = 0; pass < 2; pass++)
        for (int k = 0; k < N; k += 2)
            expected.push_back(in[k]);
    EXPECT_EQ(Run(Pitch, in), expected);

    // 1334 samples twice, then the third pass cut after 1332.
    ParameterTable.value[SliderPitch] = 3;
    expected.clear();
    for (int pass = 0; pass < 3; pass++)
        for (int k = 0; k < N && expected.size() < N; k += 3)
            expected.push_back(in[k]);
    ASSERT_EQ(expected.size(), size_t{N});
    EXPECT_EQ(expected[2 * 1334 + 1331], in[3993]);
    EXPECT_EQ(Run(Pitch, in), expected);
}

TEST_F(PitchTest, WithoutZerosFactorThreeOvershootsByTwoAndFactorTwoEndsExactly)
{
    for (const Samples& block : RandomBlocks(77, 12)) {
        Samples in = block;
        for (int16_t& s : in)
            if (s == 0) s = 1;
        EXPECT_EQ(model::PitchUnlimited(in, 3).size(), size_t{N + 2});
        EXPECT_EQ(model::PitchUnlimited(in, 2).size(), size_t{N});
        ParameterTable.value[SliderPitch] = 3;
        EXPECT_EQ(Run(Pitch, in), model::Pitch(in, 3));
        ParameterTable.value[SliderPitch] = 2;
        EXPECT_EQ(Run(Pitch, in), model::Pitch(in, 2));
    }
}

TEST_F(PitchTest, SkippedSampleNeverReachesTheOutput)
{
    ParameterTable.value[SliderPitch] = 2;
    Samples out = Run(Pitch, Block({0, 0, 100, 200, 300, 200, -100, -200, -100, 50, 80}));
    EXPECT_EQ(std::count(out.begin(), out.end(), 50), 0);
}

TEST_F(PitchTest, FactorOneIsTheIdentityBlockAfterBlock)
{
    ParameterTable.value[SliderPitch] = 1;
    EffectFlags[FxPitch] = 1;
    for (const Samples& in : ManyBlocks()) {
        BlockCursor = in.data();
        RunEffectChain();
        ASSERT_EQ(Samples(BlockCursor, BlockCursor + N), in);
    }
}

using HalfWaveModel = EffectTest;

// Blocks of alternating half-waves whose lengths run through 1 to 40 from a
// shifting start, so that every length meets every position, the block end
// included; each has its peak somewhere inside, sometimes twice, sometimes
// the extreme -32768 or 32767, and positive ones hold zeros. The kernels
// treat short and long half-waves, and those near the block end, each in
// their own way.
std::vector<Samples> HalfWavesOfEveryLength()
{
    std::vector<Samples> blocks;
    for (int shift = 0; shift < 41; shift++) {
        Samples block(N);
        int length = 1 + shift % 40;
        int sign = shift % 2 ? -1 : 1;
        int k = shift % 3 == 0 ? 2 : 0;  // some blocks open with a zero run
        for (int wave = 0; k < N; wave++) {
            int peakAt = (wave * 7) % length;
            int top = wave % 11 == 0 ? 32767 : 300 + (wave * 977) % 20000;
            for (int i = 0; i < length && k < N; i++, k++) {
                int v = i == peakAt || (wave % 5 == 0 && i == (peakAt + 3) % length) ? top : 1 + (i * 131 + wave) % top;
                if (sign > 0 && wave % 4 == 1 && i % 3 == 2)
                    v = 0;
                if (sign < 0 && wave % 13 == 0 && i == peakAt)
                    v = 32768;
                block[k] = static_cast<int16_t>(sign * v);
            }
            sign = -sign;
            length = length % 40 + 1;
        }
        blocks.push_back(block);
    }
    return blocks;
}

// Random and speech blocks, and the half-waves of every length.
std::vector<Samples> TestBlocks()
{
    std::vector<Samples> blocks = ManyBlocks();
    for (const Samples& block : HalfWavesOfEveryLength())
        blocks.push_back(block);
    return blocks;
}

TEST_F(HalfWaveModel, AllThreeMatchTheModelOnRandomSpeechAndShapedBlocks)
{
    for (const Samples& in : TestBlocks()) {
        for (int factor = 1; factor <= 4; factor++) {
            ParameterTable.value[SliderPitch] = factor;
            ASSERT_EQ(Run(Pitch, in), model::Pitch(in, factor)) << "P = " << factor;
        }
        ASSERT_EQ(Run(Triangle, in), model::Triangle(in));
        ASSERT_EQ(Run(Crazy, in), model::Crazy(in));
    }
}

TEST_F(HalfWaveModel, SilentBlockStaysSilent)
{
    const Samples silence(N, 0);
    for (int factor = 1; factor <= 3; factor++) {
        ParameterTable.value[SliderPitch] = factor;
        EXPECT_EQ(Run(Pitch, silence), silence);
    }
    EXPECT_EQ(Run(Triangle, silence), silence);
    EXPECT_EQ(Run(Crazy, silence), silence);
}

// The half-waves of `in`: [start, end) of each run that starts at a non-zero
// sample, found from the sign bits alone.
std::vector<std::pair<int, int>> HalfWaves(const Samples& in)
{
    std::vector<std::pair<int, int>> waves;
    int p = 0;
    while (p < N) {
        if (in[p] == 0) {
            p++;
            continue;
        }
        int e = p + 1;
        while (e < N && (in[e] < 0) == (in[p] < 0))
            e++;
        waves.push_back({p, e});
        p = e;
    }
    return waves;
}

TEST_F(HalfWaveModel, CrazyPeaksLandBetween16384And32767)
{
    for (const Samples& in : ManyBlocks()) {
        Samples out = Run(Crazy, in);
        for (auto [s, e] : HalfWaves(in)) {
            int inputMinimum = *std::min_element(in.begin() + s, in.begin() + e);
            int peak = 0;
            for (int q = s; q < e; q++)
                peak = std::max(peak, std::abs(int{out[q]}));
            if (inputMinimum == -32768)
                ASSERT_EQ(peak, 0) << "half-wave at " << s;
            else
                ASSERT_TRUE(peak >= 16384 && peak <= 32767) << "half-wave at " << s << ": " << peak;
        }
    }
}

TEST_F(HalfWaveModel, TriangleStartsAtZeroAndMeetsThePeak)
{
    for (const Samples& in : ManyBlocks()) {
        Samples out = Run(Triangle, in);
        for (auto [s, e] : HalfWaves(in)) {
            ASSERT_EQ(out[s], 0);
            auto first = in.begin() + s;
            auto peakAt = in[s] > 0 ? std::max_element(first, in.begin() + e) : std::min_element(first, in.begin() + e);
            int peak = *peakAt;
            int reached = out[peakAt - in.begin()];
            if (peakAt == first)
                continue;  // a peak on the first sample makes the whole run zero
            if (peak < 0)
                ASSERT_EQ(reached, peak) << "half-wave at " << s;
            else
                ASSERT_TRUE(reached == peak || reached == peak - 1) << "half-wave at " << s;
        }
    }
}

TEST_F(HalfWaveModel, HalfWaveAcrossBlocksIsCutAtTheBoundary)
{
    // One rising positive run across two blocks: each block shapes its part
    // on its own, so the second block's ramp starts again at 0.
    Samples first(N), second(N);
    for (int k = 0; k < N; k++) {
        first[k] = static_cast<int16_t>(k < 3000 ? -1 - k % 50 : 1 + (k - 3000) * 3);
        second[k] = static_cast<int16_t>(k < 500 ? 3001 + k * 3 : -7);
    }
    EffectFlags[FxTriangle] = 1;
    BlockCursor = first.data();
    RunEffectChain();
    EXPECT_EQ(Samples(BlockCursor, BlockCursor + N), model::Triangle(first));
    BlockCursor = second.data();
    RunEffectChain();
    Samples out(BlockCursor, BlockCursor + N);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out, model::Triangle(second));

    EffectFlags[FxTriangle] = 0;
    EffectFlags[FxCrazy] = 1;
    BlockCursor = second.data();
    RunEffectChain();
    // The second block's positive run peaks at 3001 + 499 * 3 = 4498: gain 7.
    EXPECT_EQ(BlockCursor[0], 3001 * 7);
}

struct HalfWaveBounds : EffectTest, ::testing::WithParamInterface<int> {};

TEST_P(HalfWaveBounds, WritesTheWholeBlockAndNothingElse)
{
    // 0: Triangle, 4: Crazy, 1 to 3: Pitch with that factor.
    int which = GetParam();
    void (*operation)() = which == 0 ? Triangle : which == 4 ? Crazy : Pitch;
    ParameterTable.value[SliderPitch] = which;
    for (const Samples& in : TestBlocks())
        ASSERT_EQ(BoundsViolations(operation, in), "");
}

INSTANTIATE_TEST_SUITE_P(Operations, HalfWaveBounds, ::testing::Values(0, 1, 2, 3, 4));

}  // namespace
