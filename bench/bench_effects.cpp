// Time per 4000-sample block for each effect, for the chain with all seven
// on, and for a plain 8000-byte copy as the floor, on speech and on white
// noise. Speech comes from bench/make-inputs.sh (--speech=FILE, raw 16-bit
// little-endian mono); both data sets are 100 blocks, 800 KB.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "carrier.h"
#include "chain.h"
#include "effects.h"

namespace {

constexpr int N = AudioBlockSamples;
constexpr size_t BlocksPerSet = 100;
using Blocks = std::vector<std::vector<int16_t>>;

std::string SpeechPath = "build/bench-inputs/speech.raw";

Blocks LoadSpeech()
{
    Blocks blocks;
    FILE* file = fopen(SpeechPath.c_str(), "rb");
    if (!file)
        return blocks;
    unsigned char bytes[2 * N];
    while (blocks.size() < BlocksPerSet && fread(bytes, 1, sizeof bytes, file) == sizeof bytes) {
        std::vector<int16_t> block(N);
        for (int k = 0; k < N; k++)
            block[k] = static_cast<int16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
        blocks.push_back(block);
    }
    fclose(file);
    return blocks;
}

Blocks MakeNoise()
{
    std::mt19937 random(1);
    std::uniform_int_distribution<int> any(-32768, 32767);
    Blocks blocks(BlocksPerSet, std::vector<int16_t>(N));
    for (auto& block : blocks)
        for (int16_t& s : block)
            s = static_cast<int16_t>(any(random));
    return blocks;
}

const Blocks& Speech()
{
    static const Blocks blocks = LoadSpeech();
    return blocks;
}

const Blocks& Noise()
{
    static const Blocks blocks = MakeNoise();
    return blocks;
}

AudioBlock Work[2];

// The program's state with the chosen effects on, at the benchmark settings:
// Pitch at its start value 2, Volume at 20 (2.5 times), the default carrier.
void Prepare(const int (&on)[EffectCount])
{
    ResetChainState();
    WorkBuffers[0] = Work[0];
    WorkBuffers[1] = Work[1];
    ParameterTable.value[SliderVolume] = 20;
    for (int fx = 0; fx < EffectCount; fx++)
        EffectFlags[fx] = on[fx];
    CreateDefaultCarrier();
}

// Runs `step` once per iteration on the next block of the data set, as the
// block step would: BlockCursor at the captured samples, then the effect.
template <typename Step>
void PerBlock(benchmark::State& state, const Blocks& blocks, Step step)
{
    if (blocks.empty()) {
        state.SkipWithError(("no speech samples in " + SpeechPath + ": run bench/make-inputs.sh").c_str());
        return;
    }
    size_t next = 0;
    for (auto _ : state) {
        BlockCursor = blocks[next].data();
        step();
        benchmark::DoNotOptimize(BlockCursor);
        benchmark::ClobberMemory();
        if (++next == blocks.size())
            next = 0;
    }
    ReleaseCarrier();
    state.SetBytesProcessed(int64_t(state.iterations()) * AudioBlockBytes);
}

void Copy(benchmark::State& state, const Blocks& (*data)())
{
    Prepare({});
    PerBlock(state, data(), [] {
        memcpy(WorkBuffers[WorkIndex], BlockCursor, AudioBlockBytes);
        HandOver();
    });
}

void Effect(benchmark::State& state, const Blocks& (*data)(), void (*operation)())
{
    Prepare({});
    PerBlock(state, data(), operation);
}

void AllSeven(benchmark::State& state, const Blocks& (*data)())
{
    Prepare({1, 1, 1, 1, 1, 1, 1});
    PerBlock(state, data(), RunEffectChain);
}

struct Named {
    const char* name;
    void (*operation)();
};

const Named Operations[] = {
    {"Pitch", Pitch}, {"Volume", Volume}, {"Triangle", Triangle}, {"AM", AM},
    {"Reverse", Reverse}, {"Crazy", Crazy}, {"Deeper", Deeper},
};

struct DataSet {
    const char* name;
    const Blocks& (*blocks)();
};

const DataSet DataSets[] = {{"speech", Speech}, {"noise", Noise}};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; i++) {
        if (strncmp(argv[i], "--speech=", 9) == 0) {
            SpeechPath = argv[i] + 9;
        } else {
            fprintf(stderr, "voxotrope-bench: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    for (const DataSet& data : DataSets) {
        std::string suffix = std::string("/") + data.name;
        benchmark::RegisterBenchmark(("Copy8000" + suffix).c_str(), Copy, data.blocks);
        for (const Named& op : Operations)
            benchmark::RegisterBenchmark((op.name + suffix).c_str(), Effect, data.blocks, op.operation);
        benchmark::RegisterBenchmark(("AllSeven" + suffix).c_str(), AllSeven, data.blocks);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
