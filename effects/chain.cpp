#include "chain.h"
#include "effects.h"
#include "kernels.h"

static const ParameterRowsTable StartParameters = {
    {0, 2, 8, 0, 0, 0, 0, 0},   // Pitch factor 2; Volume gain 8 eighths = 1
    {0, 1, 8, 0, 0, 0, 0, 0},
    {0, 18, 1, 0, 0, 0, 0, 0},
};

int16_t* WorkBuffers[2];
int WorkIndex;
const int16_t* BlockCursor;
int EffectFlags[EffectCount];
ParameterRowsTable ParameterTable = StartParameters;

// What one pass of the chain reads and writes, wherever the caller keeps it:
// the program's static state or a ChainInstance.
struct ChainPass {
    const int* flags;
    int32_t pitchFactor;
    int32_t volumeEighths;
    CarrierWaveState* carrier;
    int16_t* work[2];
    int* workIndex;
};

// Without a live carrier of at least two samples AM does not run: the block
// passes on as if it were off.
static bool CarrierLive(const CarrierWaveState* carrier)
{
    return carrier->samples && carrier->length >= 4;
}

// The chain knows its effects through this one table, in chain order.
static void (*const ChainOrder[EffectCount])(const int16_t*, int16_t*, const ChainPass&) = {
    [](const int16_t* in, int16_t* out, const ChainPass& pass) { PitchKernel(in, out, pass.pitchFactor); },
    [](const int16_t* in, int16_t* out, const ChainPass& pass) { VolumeKernel(in, out, pass.volumeEighths); },
    [](const int16_t* in, int16_t* out, const ChainPass&) { TriangleKernel(in, out); },
    [](const int16_t* in, int16_t* out, const ChainPass& pass) { AMKernel(in, out, pass.carrier); },
    [](const int16_t* in, int16_t* out, const ChainPass&) { ReverseKernel(in, out); },
    [](const int16_t* in, int16_t* out, const ChainPass&) { CrazyKernel(in, out); },
    [](const int16_t* in, int16_t* out, const ChainPass&) { DeeperKernel(in, out); },
};

// Each effect writes work[*workIndex], which then becomes the next one's
// input, and the index flips (the hand-over).
static const int16_t* RunPass(const ChainPass& pass, const int16_t* block)
{
    for (int fx = 0; fx < EffectCount; fx++) {
        if (!pass.flags[fx] || (fx == FxAM && !CarrierLive(pass.carrier)))
            continue;
        int16_t* out = pass.work[*pass.workIndex];
        ChainOrder[fx](block, out, pass);
        block = out;
        *pass.workIndex ^= 1;
    }
    return block;
}

void RunEffectChain()
{
    ChainPass pass = {EffectFlags, ParameterTable.value[SliderPitch], ParameterTable.value[SliderVolume],
                      &CarrierWave, {WorkBuffers[0], WorkBuffers[1]}, &WorkIndex};
    BlockCursor = RunPass(pass, BlockCursor);
}

void InitChainInstance(ChainInstance* chain)
{
    for (int& flag : chain->flags)
        flag = 0;
    chain->pitchFactor = StartParameters.value[SliderPitch];
    chain->volumeEighths = StartParameters.value[SliderVolume];
    chain->carrier = CarrierWaveState{};
    chain->workIndex = 0;
}

const int16_t* RunChainInstance(ChainInstance* chain, const int16_t* block)
{
    ChainPass pass = {chain->flags, chain->pitchFactor, chain->volumeEighths,
                      &chain->carrier, {chain->work[0], chain->work[1]}, &chain->workIndex};
    return RunPass(pass, block);
}

void ResetChainState()
{
    ParameterTable = StartParameters;
    for (int& flag : EffectFlags)
        flag = 0;
    WorkIndex = 0;
}
