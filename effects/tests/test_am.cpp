// AM: the product table, the default carrier, its 499-sample loop across
// blocks, carriers of other lengths, and the carrier's life.
#include <cstdlib>
#include <cstring>
#include <random>
#include "carrier.h"
#include "effect_harness.h"
#include "effects.h"

namespace {

constexpr int N = AudioBlockSamples;

// Installs `samples` as the carrier, in a heap block of exactly the header
// plus the sample bytes, so that AddressSanitizer sees a read past the end.
void InstallSamples(const Samples& samples)
{
    uint32_t bytes = static_cast<uint32_t>(2 * samples.size());
    uint8_t* block = static_cast<uint8_t*>(AllocateCarrierBlock(WaveHeaderSize + bytes));
    memcpy(block + WaveHeaderSize, samples.data(), bytes);
    InstallCarrier(block, bytes);
}

struct AMTest : EffectTest {
    void TearDown() override
    {
        AllocateCarrierBlock = malloc;
        EffectTest::TearDown();
    }
};

struct ProductRow {
    int m;
    int in;
    int out;
};

void PrintTo(const ProductRow& row, std::ostream* os) { *os << "m " << row.m << ", in " << row.in; }

const ProductRow ProductRows[] = {
    {4000, 1000, 121},   {-4000, 1000, -122}, {4000, -1000, -125},        {-4000, -1000, 125},
    {4000, 31, 0},       {4000, -1, -4},      {-4000, -1, 3},             {32767, 32767, 32735},
    {-32768, -32768, -32768},
    // The edge rows: 0 to 31 give 0; -32 to -1 give -4 or 3.
    {4000, 0, 0},        {-4000, 31, 0},      {4000, -32, -4},            {-4000, -32, 3},
    {-32768, -32737, -32768}, {-32768, -32736, 32736},
};

struct AMProduct : AMTest, ::testing::WithParamInterface<ProductRow> {};

// A carrier of two samples always yields its first one, so the table's m is
// used for every sample of the block.
TEST_P(AMProduct, GivesTheRowsOutputForEverySample)
{
    const ProductRow row = GetParam();
    InstallSamples({static_cast<int16_t>(row.m), 12345});
    EXPECT_EQ(Run(AM, Samples(N, static_cast<int16_t>(row.in))), Samples(N, static_cast<int16_t>(row.out)));
    EXPECT_EQ(CarrierWave.readPosition, CarrierWave.samples);
}

INSTANTIATE_TEST_SUITE_P(Rows, AMProduct, ::testing::ValuesIn(ProductRows));

size_t LastRequest;
void* RecordingAllocate(size_t bytes)
{
    LastRequest = bytes;
    return malloc(bytes);
}

TEST_F(AMTest, DefaultCarrierIsTheSquareWaveInA1044ByteBlock)
{
    AllocateCarrierBlock = RecordingAllocate;
    ASSERT_TRUE(CreateDefaultCarrier());
    EXPECT_EQ(LastRequest, 1044u);
    EXPECT_EQ(CarrierWave.length, 1000u);
    EXPECT_EQ(CarrierWave.readPosition, CarrierWave.samples);
    for (int n = 0; n < 500; n++) {
        bool high = (n / 16) % 2 == 1;
        ASSERT_EQ(CarrierWave.samples[n], high ? 4000 : -4000) << n;
    }
    for (int n = 480; n <= 495; n++)
        EXPECT_EQ(CarrierWave.samples[n], -4000);
    for (int n = 496; n <= 499; n++)
        EXPECT_EQ(CarrierWave.samples[n], 4000);
}

TEST_F(AMTest, DefaultCarrierLoopsEvery499SamplesAcrossBlocks)
{
    ASSERT_TRUE(CreateDefaultCarrier());
    EffectFlags[FxAM] = 1;
    const Samples thousand(N, 1000);
    for (int block = 0; block < 13; block++) {
        BlockCursor = thousand.data();
        RunEffectChain();
        for (int k = 0; k < N; k++) {
            long t = long{block} * N + k;  // sample count since the panel opened
            int phase = static_cast<int>(t % 499);
            ASSERT_EQ(BlockCursor[k], phase % 32 >= 16 ? 121 : -122) << "block " << block << ", sample " << k;
        }
        // Each block starts 8 positions further into the cycle.
        ASSERT_EQ(CarrierWave.readPosition - CarrierWave.samples, (8 * (block + 1)) % 499);
    }
}

TEST_F(AMTest, FirstBlockRunsOfSixteen)
{
    ASSERT_TRUE(CreateDefaultCarrier());
    Samples out = Run(AM, Samples(N, 1000));
    for (int k = 0; k < 480; k++)
        ASSERT_EQ(out[k], (k / 16) % 2 ? 121 : -122) << k;
    // 496, 497, 498 are high; the 499th sample starts low again.
    EXPECT_EQ(Samples(out.begin() + 494, out.begin() + 501), Samples({-122, -122, 121, 121, 121, -122, -122}));
}

TEST_F(AMTest, SilenceStaysSilentWhateverTheCarrier)
{
    InstallSamples({-32768, 32767, 5, -7, 0});
    EXPECT_EQ(Run(AM, Samples(N, 0)), Samples(N, 0));
    ASSERT_TRUE(CreateDefaultCarrier());
    EXPECT_EQ(Run(AM, Samples(N, 0)), Samples(N, 0));
}

TEST_F(AMTest, FourSampleCarrierNeverUsesItsLastSample)
{
    // in = -32768 gives y = -1024, so out = -m exactly.
    InstallSamples({10, 20, 30, 40});
    const Samples in(N, -32768);
    Samples out = Run(AM, in);
    for (int k = 0; k < N; k++)
        ASSERT_EQ(out[k], -10 * (1 + k % 3)) << k;
    // 4000 = 3 x 1333 + 1: the next block goes on with 20.
    out = Run(AM, in);
    EXPECT_EQ(Head(out, 4), Samples({-20, -30, -10, -20}));
}

TEST_F(AMTest, CarriersOfManyLengthsMatchTheModelAndKeepTheReadPositionInside)
{
    std::mt19937 random(99);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<Samples> blocks = RandomBlocks(3, 6);
    for (const Samples& block : SpeechBlocks())
        blocks.push_back(block);
    for (size_t length : {2, 3, 4, 5, 32, 499, 500, 3999, 4000, 4001, 9001}) {
        Samples carrier(length);
        for (int16_t& s : carrier)
            s = static_cast<int16_t>(any(random));
        carrier.back() = 32767;  // never used: a stray read shows in the output
        InstallSamples(carrier);
        size_t next = 0;
        for (const Samples& in : blocks) {
            ASSERT_EQ(Run(AM, in), model::AM(in, carrier, &next)) << "carrier of " << length;
            ptrdiff_t at = CarrierWave.readPosition - CarrierWave.samples;
            ASSERT_EQ(at, static_cast<ptrdiff_t>(next));
            ASSERT_TRUE(at >= 0 && at <= static_cast<ptrdiff_t>(length) - 2);
        }
    }
}

TEST_F(AMTest, ReopeningBringsBackTheSquareWaveFromItsFirstSample)
{
    InstallSamples({10, 20, 30, 40});
    Run(AM, Samples(N, 1000));
    ReleaseCarrier();
    ASSERT_TRUE(CreateDefaultCarrier());
    Samples out = Run(AM, Samples(N, 1000));
    EXPECT_EQ(Head(out, 17), Samples({-122, -122, -122, -122, -122, -122, -122, -122, -122, -122, -122, -122, -122,
                                      -122, -122, -122, 121}));
}

void* FailingAllocate(size_t) { return nullptr; }

// Regression: a failed allocation of the default carrier used to leave AM
// free to run on a carrier that did not exist.
TEST_F(AMTest, FailedAllocationLeavesNoCarrierAndAMOff)
{
    InstallSamples({10, 20, 30});
    AllocateCarrierBlock = FailingAllocate;
    EXPECT_FALSE(CreateDefaultCarrier());
    EXPECT_EQ(CarrierWave.samples, nullptr);
    EXPECT_EQ(CarrierWave.readPosition, nullptr);

    // Even with its flag set, AM does not run: the block passes untouched.
    const Samples captured = RandomBlocks(8, 1)[0];
    EffectFlags[FxAM] = 1;
    BlockCursor = captured.data();
    RunEffectChain();
    EXPECT_EQ(BlockCursor, captured.data());
    EXPECT_EQ(WorkIndex, 0);
    EXPECT_EQ(work[0], std::vector<int16_t>(N, 0x5A5A));
}

// Regression: a carrier shorter than two samples never meets the looping
// test, and the read position ran on past the carrier block.
TEST_F(AMTest, TooShortCarrierIsNeverRun)
{
    InstallSamples({777});
    EffectFlags[FxAM] = 1;
    const Samples captured(N, 1000);
    BlockCursor = captured.data();
    RunEffectChain();
    EXPECT_EQ(BlockCursor, captured.data());
}

TEST_F(AMTest, WritesTheWholeBlockAndNothingElse)
{
    ASSERT_TRUE(CreateDefaultCarrier());
    for (const Samples& in : ManyBlocks())
        ASSERT_EQ(BoundsViolations(AM, in), "");
    InstallSamples({-32768, 1, 32767});
    for (const Samples& in : ManyBlocks())
        ASSERT_EQ(BoundsViolations(AM, in), "");
}

}  // namespace
