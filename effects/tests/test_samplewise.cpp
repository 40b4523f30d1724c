// Volume, Reverse and Deeper: table rows, whole-range checks and properties.
#include <random>
#include "carrier.h"
#include "effect_harness.h"
#include "effects.h"

namespace {

constexpr int N = AudioBlockSamples;

struct VolumeRow {
    int in;
    int gain;
    int out;
};

void PrintTo(const VolumeRow& row, std::ostream* os) { *os << row.in << " x " << row.gain << "/8"; }

const VolumeRow VolumeRows[] = {
    {1234, 8, 1234},    {-1, 8, -1},          {1000, 20, 2500},    {-1001, 20, -2503},   {1, 9, 1},
    {-1, 9, -2},        {-3, 9, -4},          {29127, 9, 32767},   {5825, 45, 32765},    {5826, 45, 32767},
    {-5825, 45, -32766}, {-5826, 45, -32768}, {-32768, 45, -32768},
};

struct VolumeTable : EffectTest, ::testing::WithParamInterface<VolumeRow> {};

TEST_P(VolumeTable, GivesTheRowsOutputForEverySample)
{
    const VolumeRow row = GetParam();
    ParameterTable.value[SliderVolume] = row.gain;
    EXPECT_EQ(Run(Volume, Samples(N, static_cast<int16_t>(row.in))), Samples(N, static_cast<int16_t>(row.out)));
}

INSTANTIATE_TEST_SUITE_P(Rows, VolumeTable, ::testing::ValuesIn(VolumeRows));

using VolumeTest = EffectTest;

// Every 16-bit input at every gain a slider can set, in blocks of 4000.
TEST_F(VolumeTest, EveryInputAtEveryGainMatchesFloorAndSaturation)
{
    for (int gain = 8; gain <= 52; gain++) {
        ParameterTable.value[SliderVolume] = gain;
        for (int start = -32768; start < 32768; start += N) {
            Samples in(N);
            for (int k = 0; k < N; k++)
                in[k] = static_cast<int16_t>(start + k);  // wraps past 32767 on the last block
            Samples out = Run(Volume, in);
            for (int k = 0; k < N; k++) {
                int64_t p = int64_t{in[k]} * gain;
                bool saturates = p < -262144 || p >= 262144;
                if (saturates)
                    ASSERT_EQ(out[k], p < 0 ? -32768 : 32767) << in[k] << " at gain " << gain;
                else
                    ASSERT_EQ(out[k], model::FloorDiv(p, 8)) << in[k] << " at gain " << gain;
            }
        }
    }
}

TEST_F(VolumeTest, GainEightIsTheIdentity)
{
    ParameterTable.value[SliderVolume] = 8;
    for (const Samples& in : ManyBlocks())
        ASSERT_EQ(Run(Volume, in), in);
}

using ReverseTest = EffectTest;

TEST_F(ReverseTest, RampComesOutBackwards)
{
    Samples ramp(N), expected(N);
    for (int k = 0; k < N; k++) {
        ramp[k] = static_cast<int16_t>(k);
        expected[k] = static_cast<int16_t>(3999 - k);
    }
    EXPECT_EQ(Run(Reverse, ramp), expected);
}

TEST_F(ReverseTest, TwiceIsTheIdentity)
{
    EffectFlags[FxReverse] = 1;
    for (const Samples& in : ManyBlocks()) {
        Samples once = Run(Reverse, in);
        ASSERT_EQ(once.front(), in.back());
        ASSERT_EQ(Run(Reverse, once), in);
    }
}

using DeeperTest = EffectTest;

TEST_F(DeeperTest, TableRows)
{
    EXPECT_EQ(Head(Run(Deeper, Block({100, -200, 300})), 6), Samples({100, 0, -200, -1, 300, 0}));
    EXPECT_EQ(Head(Run(Deeper, Block({-32768, 0, 32767})), 6), Samples({-32768, -1, 0, 0, 32767, 0}));
}

TEST_F(DeeperTest, SecondHalfIsIgnored)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (const Samples& in : ManyBlocks()) {
        Samples changed = in;
        for (int k = N / 2; k < N; k++)
            changed[k] = static_cast<int16_t>(any(random));
        Samples out = Run(Deeper, in);
        ASSERT_EQ(Run(Deeper, changed), out);
        ASSERT_EQ(out, model::Deeper(in));
    }
}

TEST_F(DeeperTest, SilentOrNegativeFirstHalf)
{
    Samples in(N, 0);
    for (int k = N / 2; k < N; k++)
        in[k] = -9;
    EXPECT_EQ(Run(Deeper, in), Samples(N, 0));

    for (int k = 0; k < N / 2; k++)
        in[k] = static_cast<int16_t>(-1 - k);
    Samples out = Run(Deeper, in);
    for (int i = 0; i < N / 2; i++) {
        ASSERT_EQ(out[2 * i], -1 - i);
        ASSERT_EQ(out[2 * i + 1], -1);
    }
}

using SampleWiseChain = EffectTest;

TEST_F(SampleWiseChain, ReverseRunsBeforeDeeper)
{
    Samples captured(N);
    for (int k = 0; k < N; k++)
        captured[k] = static_cast<int16_t>(k * 13 - 20000);
    EffectFlags[FxDeeper] = EffectFlags[FxReverse] = 1;
    BlockCursor = captured.data();
    RunEffectChain();
    for (int i = 0; i < N / 2; i++)
        ASSERT_EQ(BlockCursor[2 * i], captured[3999 - i]) << i;
}

TEST_F(SampleWiseChain, AMSeesTheSaturatedVolumeOutput)
{
    // 10000 at gain 52 saturates to 32767; 32767 >> 5 = 1023, and 1023 times
    // -4000 and +4000, shifted by 10, gives -3997 and 3996.
    ASSERT_TRUE(CreateDefaultCarrier());
    ParameterTable.value[SliderVolume] = 52;
    EffectFlags[FxVolume] = EffectFlags[FxAM] = 1;
    Samples captured(N, 10000);
    BlockCursor = captured.data();
    RunEffectChain();
    for (int k = 0; k < 32; k++)
        ASSERT_EQ(BlockCursor[k], k < 16 ? -3997 : 3996) << k;
}

struct SampleWiseBounds : EffectTest, ::testing::WithParamInterface<int> {};

TEST_P(SampleWiseBounds, WritesTheWholeBlockAndNothingElse)
{
    // 0: Reverse, 1: Deeper (which may read only the first half), otherwise
    // Volume at that gain.
    int which = GetParam();
    ParameterTable.value[SliderVolume] = which;
    for (const Samples& in : ManyBlocks()) {
        if (which == 0)
            ASSERT_EQ(BoundsViolations(Reverse, in), "");
        else if (which == 1)
            ASSERT_EQ(BoundsViolations(Deeper, in, N / 2), "");
        else
            ASSERT_EQ(BoundsViolations(Volume, in), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, SampleWiseBounds, ::testing::Values(0, 1, 8, 20, 52));

}  // namespace
