// The streaming adapter against the block step as the renderer runs it
// (the program's static chain, block by block): the same samples exactly one
// block later, whatever sizes the sound arrives in.
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>
#include "chain_stream.h"
#include "effect_harness.h"

namespace {

constexpr int N = AudioBlockSamples;

struct Setting {
    const char* name;
    std::vector<EffectId> on;
    int32_t pitch;
    int32_t volume;
};

// Speech where it was generated, then random blocks of every kind.
std::vector<int16_t> Input(unsigned seed, int blocks)
{
    std::vector<int16_t> input;
    for (const Samples& block : SpeechBlocks())
        input.insert(input.end(), block.begin(), block.end());
    for (const Samples& block : RandomBlocks(seed, blocks))
        input.insert(input.end(), block.begin(), block.end());
    return input;
}

// What the renderer writes: the static chain on each whole block, AM with
// the built-in carrier from its first sample.
std::vector<int16_t> Rendered(const Setting& setting, const std::vector<int16_t>& input)
{
    ResetChainState();
    for (EffectId fx : setting.on)
        EffectFlags[fx] = 1;
    ParameterTable.value[SliderPitch] = setting.pitch;
    ParameterTable.value[SliderVolume] = setting.volume;
    EXPECT_TRUE(CreateDefaultCarrier());
    std::vector<int16_t> out;
    RunStaticChain(input.data(), (input.size() + N - 1) / N, &out);
    ReleaseCarrier();
    ResetChainState();
    return out;
}

void Configure(ChainStream* stream, const Setting& setting)
{
    InitChainStream(stream);
    for (EffectId fx : setting.on)
        stream->chain.flags[fx] = 1;
    stream->chain.pitchFactor = setting.pitch;
    stream->chain.volumeEighths = setting.volume;
    const int16_t* samples = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(MakeDefaultCarrier(&samples, &length));
    EXPECT_EQ(StreamSwapCarrier(stream, samples, length), nullptr);
}

// One chunk of 1 to 8192 samples, every other one processed in place; a
// heap copy of exactly its size so that AddressSanitizer sees overruns.
void Feed(ChainStream* stream, const int16_t* in, int16_t* out, int frames, bool inPlace)
{
    std::vector<int16_t> chunk(in, in + frames);
    if (inPlace) {
        StreamProcess(stream, chunk.data(), chunk.data(), frames);
    } else {
        std::vector<int16_t> played(frames);
        StreamProcess(stream, chunk.data(), played.data(), frames);
        chunk = played;
    }
    std::copy(chunk.begin(), chunk.end(), out);
}

struct StreamSetting : ::testing::TestWithParam<Setting> {};

TEST_P(StreamSetting, RandomChunksGiveTheRenderedBlocksOneBlockLater)
{
    const Setting& setting = GetParam();
    std::vector<int16_t> input = Input(11, 30);
    std::vector<int16_t> expected = Rendered(setting, input);
    input.resize(input.size() + N);  // one block more brings the last one out

    auto stream = std::make_unique<ChainStream>();
    Configure(stream.get(), setting);
    std::vector<int16_t> out(input.size());
    std::mt19937 random(5);
    std::uniform_int_distribution<int> size(1, 8192);
    bool inPlace = false;
    for (size_t at = 0; at < input.size(); inPlace = !inPlace) {
        int frames = static_cast<int>(std::min<size_t>(size(random), input.size() - at));
        Feed(stream.get(), input.data() + at, out.data() + at, frames, inPlace);
        at += frames;
    }
    for (int k = 0; k < N; k++)
        ASSERT_EQ(out[k], 0) << "silence before the first block, sample " << k;
    for (size_t k = 0; k < expected.size(); k++)
        ASSERT_EQ(out[N + k], expected[k]) << "sample " << k << ", block " << k / N;
    FreeCarrierBlock(StreamSwapCarrier(stream.get(), nullptr, 0));
}

INSTANTIATE_TEST_SUITE_P(Settings, StreamSetting, ::testing::Values(
    Setting{"None", {}, 2, 8},
    Setting{"AllSeven", {FxPitch, FxVolume, FxTriangle, FxAM, FxReverse, FxCrazy, FxDeeper}, 3, 20},
    Setting{"PitchLoudAM", {FxPitch, FxVolume, FxAM}, 2, 52},
    Setting{"ReverseDeeper", {FxReverse, FxDeeper}, 1, 8}),
    [](const auto& info) { return std::string(info.param.name); });

// No state is shared between instances: two streams fed in alternation, in
// different chunk sizes, give what each gives when it runs alone.
TEST(ChainStream, InterleavedInstancesEqualSeparateRuns)
{
    const Setting first{"first", {FxPitch, FxAM, FxCrazy}, 3, 8};
    const Setting second{"second", {FxVolume, FxAM, FxReverse}, 2, 30};
    std::vector<int16_t> inputs[2] = {Input(21, 12), Input(22, 12)};
    auto run = [](const Setting& setting, const std::vector<int16_t>& input, int frames) {
        auto stream = std::make_unique<ChainStream>();
        Configure(stream.get(), setting);
        std::vector<int16_t> out(input.size());
        for (size_t at = 0; at < input.size(); at += frames)
            Feed(stream.get(), input.data() + at, out.data() + at,
                 static_cast<int>(std::min<size_t>(frames, input.size() - at)), false);
        FreeCarrierBlock(StreamSwapCarrier(stream.get(), nullptr, 0));
        return out;
    };
    std::vector<int16_t> alone[2] = {run(first, inputs[0], N), run(second, inputs[1], N)};

    auto streams = std::make_unique<ChainStream[]>(2);
    Configure(&streams[0], first);
    Configure(&streams[1], second);
    std::vector<int16_t> together[2] = {std::vector<int16_t>(inputs[0].size()),
                                        std::vector<int16_t>(inputs[1].size())};
    const int frames[2] = {1031, 256};
    size_t at[2] = {0, 0};
    while (at[0] < inputs[0].size() || at[1] < inputs[1].size()) {
        for (int s = 0; s < 2; s++) {
            int count = static_cast<int>(std::min<size_t>(frames[s], inputs[s].size() - at[s]));
            Feed(&streams[s], inputs[s].data() + at[s], together[s].data() + at[s], count, true);
            at[s] += count;
        }
    }
    for (int s = 0; s < 2; s++) {
        EXPECT_EQ(together[s], alone[s]) << "stream " << s;
        FreeCarrierBlock(StreamSwapCarrier(&streams[s], nullptr, 0));
    }
}

// A setting written between calls, mid-block, applies to the whole block in
// progress and not to the one already played; a carrier attached mid-block
// modulates that block from its own first sample, and so does AM switched
// off and on again.
TEST(ChainStream, ChangesBetweenCallsApplyFromTheBlockInProgress)
{
    Samples ones(6 * N, 1000);
    std::vector<int16_t> out(6 * N);
    auto stream = std::make_unique<ChainStream>();
    InitChainStream(stream.get());
    auto feed = [&](int from, int to) { StreamProcess(stream.get(), &ones[from], &out[from], to - from); };
    feed(0, N + 100);  // block 0 passes unchanged
    stream->chain.flags[FxVolume] = 1;
    stream->chain.volumeEighths = 16;
    feed(N + 100, 2 * N + 1);
    // A 4-sample carrier 10, 20, 30, 40 behind its header room: 40 is never used.
    static const int16_t carrierBlock[WaveHeaderSize / 2 + 4] = {
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 20, 30, 40};
    stream->chain.flags[FxAM] = 1;
    EXPECT_EQ(StreamSwapCarrier(stream.get(), carrierBlock + WaveHeaderSize / 2, 8), nullptr);
    feed(2 * N + 1, 3 * N + 7);
    stream->chain.flags[FxAM] = 0;
    feed(3 * N + 7, 4 * N + 7);
    stream->chain.flags[FxAM] = 1;
    feed(4 * N + 7, 6 * N);

    EXPECT_EQ(out[N], 1000) << "block 0, played during block 1, is unchanged";
    EXPECT_EQ(out[2 * N - 1], 1000);
    EXPECT_EQ(out[2 * N], 2000) << "block 1 at volume 16 from its first sample";
    EXPECT_EQ(out[3 * N - 1], 2000);
    // Block 2: 2000 >> 5 = 62, times 10, 20, 30, 10 ..., shifted by 10.
    EXPECT_EQ(out[3 * N], 0);
    EXPECT_EQ(out[3 * N + 1], 1);
    EXPECT_EQ(out[3 * N + 2], 1);
    EXPECT_EQ(out[3 * N + 3], 0);
    EXPECT_EQ(out[4 * N], 2000) << "block 3 without AM";
    EXPECT_EQ(out[5 * N], 0) << "block 4: the carrier from its first sample, 10, 20, 30";
    EXPECT_EQ(out[5 * N + 1], 1);
    EXPECT_EQ(out[5 * N + 3], 0);
    EXPECT_EQ(StreamSwapCarrier(stream.get(), nullptr, 0), carrierBlock + WaveHeaderSize / 2);
}

}  // namespace
