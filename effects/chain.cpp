#include "chain.h"
#include "effects.h"

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

// The chain knows its effects through this one table, in chain order.
static void (*const ChainOrder[EffectCount])() = {
    Pitch, Volume, Triangle, AM, Reverse, Crazy, Deeper,
};

void RunEffectChain()
{
    for (int fx = 0; fx < EffectCount; fx++)
        if (EffectFlags[fx])
            ChainOrder[fx]();
}

void ResetChainState()
{
    ParameterTable = StartParameters;
    for (int& flag : EffectFlags)
        flag = 0;
    WorkIndex = 0;
}
