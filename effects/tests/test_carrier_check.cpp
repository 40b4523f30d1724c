#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "carrier.h"
#include "carrier_check.h"
#include "carrier_corpus.h"
#include "chain.h"

namespace {

// A block of exactly the file's size, as the loader allocates it, so that
// ASan reports any read past the bytes of the file.
uint8_t* FileBlock(const std::vector<uint8_t>& file)
{
    uint8_t* block = static_cast<uint8_t*>(malloc(file.empty() ? 1 : file.size()));
    if (!file.empty())
        memcpy(block, file.data(), file.size());
    return block;
}

int16_t SampleAt(const std::vector<uint8_t>& file, size_t offset)
{
    return static_cast<int16_t>(file[offset] | file[offset + 1] << 8);
}

// The AM effect alone, on real WorkBuffers, with the carrier in CarrierWave.
struct CarrierTest : ::testing::Test {
    AudioBlock work[2];
    AudioBlock input;
    void SetUp() override
    {
        ResetChainState();
        WorkBuffers[0] = work[0];
        WorkBuffers[1] = work[1];
        EffectFlags[FxAM] = 1;
        ReleaseCarrier();
    }
    void TearDown() override
    {
        ReleaseCarrier();
        ResetChainState();
    }
    std::vector<int16_t> RunBlock(int16_t constant)
    {
        for (auto& s : input) s = constant;
        BlockCursor = input;
        RunEffectChain();
        return std::vector<int16_t>(BlockCursor, BlockCursor + AudioBlockSamples);
    }
    // What the AM panel does after every load attempt.
    CarrierVerdict Load(const std::vector<uint8_t>& file)
    {
        CarrierVerdict verdict = AdoptCarrierBlock(FileBlock(file), file.size(), &CarrierWave.samples, &CarrierWave.length);
        CarrierWave.readPosition = CarrierWave.samples;
        return verdict;
    }
};

struct CorpusTest : CarrierTest, ::testing::WithParamInterface<CarrierFileCase> {};

TEST_P(CorpusTest, MessageAndCarrierInForce)
{
    const CarrierFileCase& file = GetParam();
    ASSERT_TRUE(CreateDefaultCarrier());
    RunBlock(1000);  // move the read position off the first sample
    const int16_t* before = CarrierWave.samples;

    CarrierVerdict verdict = Load(file.bytes);
    const char* message = CarrierMessage(verdict);
    if (file.message) {
        ASSERT_NE(message, nullptr);
        EXPECT_STREQ(message, file.message);
        EXPECT_EQ(CarrierWave.samples, before);
        EXPECT_EQ(CarrierWave.length, 1000u);
        // The square wave restarts from its first sample, -4000:
        // (1024 >> 5) * -4000 >> 10 = -125, for 16 samples, then +125.
        std::vector<int16_t> out = RunBlock(1024);
        EXPECT_EQ(out[0], -125);
        EXPECT_EQ(out[15], -125);
        EXPECT_EQ(out[16], 125);
    } else {
        EXPECT_EQ(verdict, CarrierAccepted);
        EXPECT_EQ(message, nullptr);
        ASSERT_EQ(CarrierWave.length, file.length);
        for (uint32_t n = 0; n < file.length / 2; n++)
            ASSERT_EQ(CarrierWave.samples[n], SampleAt(file.bytes, 44 + 2 * n)) << n;
        // From the new carrier's first sample: 32767 >> 5 = 1023, times m, >> 10.
        std::vector<int16_t> out = RunBlock(32767);
        EXPECT_EQ(out[0], (SampleAt(file.bytes, 44) * 1023) >> 10);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusTest, ::testing::ValuesIn(CarrierFileCorpus()),
                         [](const auto& info) { return info.param.name; });

TEST_F(CarrierTest, File52CyclesThroughItsFirstThreeSamples)
{
    Load(CanonicalWave({10, 20, 30, 40}));
    // 1023 * 10 >> 10 = 9, 1023 * 20 >> 10 = 19, 1023 * 30 >> 10 = 29.
    const int16_t cycle[3] = {9, 19, 29};
    for (int b = 0; b < 2; b++) {
        std::vector<int16_t> out = RunBlock(32767);
        for (int k = 0; k < AudioBlockSamples; k++)
            ASSERT_EQ(out[k], cycle[(b * AudioBlockSamples + k) % 3]) << b << " " << k;
    }
}

TEST_F(CarrierTest, Canonical1000CyclesThrough499Samples)
{
    std::vector<int16_t> samples(500);
    for (int n = 0; n < 500; n++)
        samples[n] = static_cast<int16_t>(n * 64);
    Load(CanonicalWave(samples));
    // 1024 >> 5 = 32, and 32 * 64n >> 10 = 2n; sample 499 is never used.
    for (int b = 0; b < 3; b++) {
        std::vector<int16_t> out = RunBlock(1024);
        for (int k = 0; k < AudioBlockSamples; k++)
            ASSERT_EQ(out[k], 2 * ((b * AudioBlockSamples + k) % 499)) << b << " " << k;
    }
}

// Only the bytes actually read count, however large the block behind them.
TEST(CarrierCheck, UsesTheCountReadNotTheBlock)
{
    std::vector<uint8_t> file = CanonicalWave(std::vector<int16_t>(500, 7));
    uint32_t length = 0;
    EXPECT_EQ(CheckCarrierFile(file.data(), file.size(), &length), CarrierAccepted);
    EXPECT_EQ(length, 1000u);
    EXPECT_EQ(CheckCarrierFile(file.data(), file.size() - 1, &length), CarrierPastEnd);
    EXPECT_EQ(CheckCarrierFile(file.data(), 44, &length), CarrierPastEnd);
    EXPECT_EQ(CheckCarrierFile(file.data(), 43, &length), CarrierNotWave);
    EXPECT_EQ(CheckCarrierFile(file.data(), 0, &length), CarrierNotWave);
    EXPECT_EQ(length, 1000u);  // refusals leave it alone
}

// A late load after the panel released its carrier must not free that block
// again: with no carrier live, the new block is simply installed.
TEST_F(CarrierTest, LoadWithoutPreviousCarrierFreesNothing)
{
    ASSERT_TRUE(CreateDefaultCarrier());
    ReleaseCarrier();
    ASSERT_EQ(CarrierWave.samples, nullptr);
    EXPECT_EQ(Load(CanonicalWave({10, 20, 30, 40})), CarrierAccepted);
    EXPECT_EQ(CarrierWave.length, 8u);
    EXPECT_EQ(CarrierWave.samples[2], 30);
}

// Each successful load frees the block it replaces (LSan reports otherwise),
// and a refusal in between changes nothing.
TEST_F(CarrierTest, SuccessiveLoadsReplaceAndFree)
{
    ASSERT_TRUE(CreateDefaultCarrier());
    EXPECT_EQ(Load(CanonicalWave({1, 2, 3})), CarrierAccepted);
    EXPECT_EQ(Load(CanonicalWave({4})), CarrierTooFewSamples);
    EXPECT_EQ(CarrierWave.length, 6u);
    EXPECT_EQ(CarrierWave.samples[0], 1);
    EXPECT_EQ(Load(CanonicalWave({5, 6})), CarrierAccepted);
    EXPECT_EQ(CarrierWave.length, 4u);
    EXPECT_EQ(CarrierWave.samples[0], 5);
}

// The texts that no file content leads to: the open, the allocation and the
// read failed.
TEST(CarrierCheck, OpenAndMemoryTexts)
{
    EXPECT_STREQ(CarrierMessage(CarrierNoMemory), "Not enough memory !");
    EXPECT_STREQ(CarrierMessage(CarrierCannotOpen), "Cannot open file !");
    EXPECT_STREQ(CarrierMessage(CarrierCannotRead), "Cannot read file !");
}

}  // namespace
