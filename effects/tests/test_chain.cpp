#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "chain.h"
#include "carrier.h"

namespace {

// A fresh program state with real WorkBuffers, whose contents start as a
// marker so that unwritten samples show.
struct ChainTest : ::testing::Test {
    AudioBlock work[2];
    void SetUp() override
    {
        ResetChainState();
        for (auto& buffer : work)
            for (auto& s : buffer) s = 0x5A5A;
        WorkBuffers[0] = work[0];
        WorkBuffers[1] = work[1];
    }
    void TearDown() override
    {
        ReleaseCarrier();
        ResetChainState();
    }
    std::vector<int16_t> Run(const int16_t* captured)
    {
        BlockCursor = captured;
        RunEffectChain();
        return std::vector<int16_t>(BlockCursor, BlockCursor + AudioBlockSamples);
    }
};

std::vector<int16_t> Ramp(int start)
{
    std::vector<int16_t> block(AudioBlockSamples);
    for (int k = 0; k < AudioBlockSamples; k++)
        block[k] = static_cast<int16_t>(start + k * 7 - 14000);
    return block;
}

TEST_F(ChainTest, NoEffectPassesTheCapturedBlockItself)
{
    std::vector<int16_t> captured = Ramp(0);
    BlockCursor = captured.data();
    RunEffectChain();
    EXPECT_EQ(BlockCursor, captured.data());
    EXPECT_EQ(WorkIndex, 0);
}

TEST_F(ChainTest, OrderIsFixedWhateverOrderFlagsWereSetIn)
{
    // Reverse then Deeper: out[2i] is captured sample 3999 - i.
    std::vector<int16_t> captured = Ramp(3);
    EffectFlags[FxDeeper] = 1;
    EffectFlags[FxReverse] = 1;
    std::vector<int16_t> out = Run(captured.data());
    for (int i = 0; i < AudioBlockSamples / 2; i++) {
        ASSERT_EQ(out[2 * i], captured[AudioBlockSamples - 1 - i]) << i;
        ASSERT_EQ(out[2 * i + 1], captured[AudioBlockSamples - 1 - i] < 0 ? -1 : 0) << i;
    }
}

TEST_F(ChainTest, EachEffectReadsOneBufferAndWritesTheOther)
{
    std::vector<int16_t> captured = Ramp(1);
    EffectFlags[FxVolume] = EffectFlags[FxReverse] = EffectFlags[FxDeeper] = 1;
    BlockCursor = captured.data();
    RunEffectChain();
    // Three effects wrote 0, 1, 0: the result is in buffer 0, WorkIndex is 1.
    EXPECT_EQ(BlockCursor, WorkBuffers[0]);
    EXPECT_EQ(WorkIndex, 1);
    EXPECT_EQ(BlockCursor, WorkBuffers[WorkIndex ^ 1]);
}

TEST_F(ChainTest, OddEffectCountFlipsWorkIndexButNeverTheResult)
{
    EffectFlags[FxVolume] = 1;
    ParameterTable.value[SliderVolume] = 20;
    std::vector<int16_t> captured = Ramp(5);
    std::vector<int16_t> first = Run(captured.data());
    EXPECT_EQ(WorkIndex, 1);
    std::vector<int16_t> second = Run(captured.data());
    EXPECT_EQ(WorkIndex, 0);
    EXPECT_EQ(first, second);
}

TEST_F(ChainTest, ClosedEffectIsSkippedFromTheNextBlock)
{
    std::vector<int16_t> captured = Ramp(9);
    EffectFlags[FxReverse] = 1;
    std::vector<int16_t> reversed = Run(captured.data());
    EXPECT_EQ(reversed.front(), captured.back());
    EffectFlags[FxReverse] = 0;
    EXPECT_EQ(Run(captured.data()), captured);
}

TEST_F(ChainTest, ParameterTableStartsWithItsTwoRows)
{
    EXPECT_EQ(ParameterTable.value[SliderPitch], 2);
    EXPECT_EQ(ParameterTable.minimum[SliderPitch], 1);
    EXPECT_EQ(ParameterTable.scale[SliderPitch], 18);
    EXPECT_EQ(ParameterTable.value[SliderVolume], 8);
    EXPECT_EQ(ParameterTable.minimum[SliderVolume], 8);
    EXPECT_EQ(ParameterTable.scale[SliderVolume], 1);
}

}  // namespace
