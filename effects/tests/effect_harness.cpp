#include "effect_harness.h"
#include <cstdio>
#include <random>
#include "carrier.h"

constexpr int N = AudioBlockSamples;

Samples Block(std::initializer_list<int> head, int fill)
{
    Samples block(N, static_cast<int16_t>(fill));
    size_t i = 0;
    for (int v : head)
        block[i++] = static_cast<int16_t>(v);
    return block;
}

Samples Head(const Samples& block, size_t count)
{
    return Samples(block.begin(), block.begin() + static_cast<long>(count));
}

std::vector<Samples> RandomBlocks(unsigned seed, int count)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> full(-32768, 32767);
    std::uniform_int_distribution<int> quiet(-40, 40);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<Samples> blocks;
    for (int b = 0; b < count; b++) {
        Samples block(N);
        int kind = b % 4;
        for (int16_t& s : block) {
            int roll = percent(random);
            if (kind == 0)
                s = static_cast<int16_t>(full(random));
            else if (kind == 1)
                s = static_cast<int16_t>(quiet(random));
            else if (kind == 2)
                s = roll < 30 ? 0 : static_cast<int16_t>(full(random) / 8);
            else
                s = roll < 5 ? -32768 : roll < 10 ? 32767 : static_cast<int16_t>(full(random));
        }
        blocks.push_back(block);
    }
    return blocks;
}

std::vector<Samples> SpeechBlocks()
{
    std::vector<Samples> blocks;
#ifdef VOXOTROPE_SPEECH_RAW
    FILE* file = fopen(VOXOTROPE_SPEECH_RAW, "rb");
    if (!file)
        return blocks;
    Samples block(N);
    // Raw little-endian samples, as the build wrote them.
    unsigned char bytes[2 * N];
    while (fread(bytes, 1, sizeof bytes, file) == sizeof bytes) {
        for (int k = 0; k < N; k++)
            block[k] = static_cast<int16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
        blocks.push_back(block);
    }
    fclose(file);
#endif
    return blocks;
}

std::vector<Samples> ManyBlocks()
{
    std::vector<Samples> blocks = RandomBlocks(20240611, 40);
    for (const Samples& block : SpeechBlocks())
        blocks.push_back(block);
    blocks.push_back(Samples(N, 0));
    blocks.push_back(Samples(N, -32768));
    blocks.push_back(Samples(N, 32767));
    Samples alternating(N);
    for (int k = 0; k < N; k++)
        alternating[k] = static_cast<int16_t>(k % 2 ? -32768 : 32767);
    blocks.push_back(alternating);
    return blocks;
}

void EffectTest::SetUp()
{
    ResetChainState();
    for (auto& buffer : work)
        buffer.assign(N, 0x5A5A);
    WorkBuffers[0] = work[0].data();
    WorkBuffers[1] = work[1].data();
}

void EffectTest::TearDown()
{
    ReleaseCarrier();
    ResetChainState();
}

Samples EffectTest::Run(void (*operation)(), const Samples& in)
{
    std::vector<int16_t> captured(in);
    int writes = WorkIndex;
    BlockCursor = captured.data();
    operation();
    EXPECT_EQ(BlockCursor, WorkBuffers[writes]);
    EXPECT_EQ(WorkIndex, writes ^ 1);
    EXPECT_EQ(captured, in) << "the input block was changed";
    return Samples(BlockCursor, BlockCursor + N);
}

namespace {

constexpr int Guard = 64;

struct GuardedRun {
    Samples out;
    std::string violations;
};

GuardedRun RunGuarded(void (*operation)(), const Samples& in, int readable, int16_t guard, int16_t marker)
{
    // Input and both work buffers sit in the middle of arrays whose edges hold
    // `guard`; the input's unreadable tail is filled with it too.
    std::vector<int16_t> input(N + 2 * Guard, guard);
    std::copy(in.begin(), in.begin() + readable, input.begin() + Guard);
    std::vector<int16_t> buffers[2];
    for (auto& buffer : buffers)
        buffer.assign(N + 2 * Guard, marker);
    WorkBuffers[0] = buffers[0].data() + Guard;
    WorkBuffers[1] = buffers[1].data() + Guard;
    WorkIndex = 0;
    BlockCursor = input.data() + Guard;
    const std::vector<int16_t> inputBefore = input;

    operation();

    GuardedRun run;
    if (BlockCursor != WorkBuffers[0] || WorkIndex != 1)
        run.violations += "no hand-over to WorkBuffers[0]; ";
    if (input != inputBefore)
        run.violations += "input array changed; ";
    for (int i = 0; i < Guard; i++)
        if (buffers[0][i] != marker || buffers[0][Guard + N + i] != marker) {
            run.violations += "wrote outside out[0..3999]; ";
            break;
        }
    if (buffers[1] != std::vector<int16_t>(N + 2 * Guard, marker))
        run.violations += "wrote into the other work buffer; ";
    run.out.assign(buffers[0].begin() + Guard, buffers[0].begin() + Guard + N);
    return run;
}

}  // namespace

std::string BoundsViolations(void (*operation)(), const Samples& in, int readable)
{
    const CarrierWaveState carrier = CarrierWave;
    int16_t* const buffers[2] = {WorkBuffers[0], WorkBuffers[1]};
    const int index = WorkIndex;
    GuardedRun first = RunGuarded(operation, in, readable, 12345, 0x5A5A);
    CarrierWave = carrier;
    GuardedRun second = RunGuarded(operation, in, readable, -321, -0x2B2B);
    WorkBuffers[0] = buffers[0];
    WorkBuffers[1] = buffers[1];
    WorkIndex = index;
    std::string violations = first.violations + second.violations;
    // A sample left unwritten keeps its marker, and one computed from a guard
    // follows the guard: either way the two runs differ.
    if (first.out != second.out)
        violations += "output depends on the buffer's old contents or on samples outside the input; ";
    return violations;
}

void RunStaticChain(const int16_t* input, size_t blocks, std::vector<int16_t>* out)
{
    static AudioBlock work[2];
    WorkBuffers[0] = work[0];
    WorkBuffers[1] = work[1];
    for (size_t b = 0; b < blocks; b++) {
        BlockCursor = input + b * AudioBlockSamples;
        RunEffectChain();
        out->insert(out->end(), BlockCursor, BlockCursor + AudioBlockSamples);
    }
}
