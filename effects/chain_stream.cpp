#include "chain_stream.h"
#include <cstring>

void InitChainStream(ChainStream* stream)
{
    InitChainInstance(&stream->chain);
    RestartChainStream(stream);
}

void RestartChainStream(ChainStream* stream)
{
    memset(stream->played, 0, sizeof stream->played);
    stream->fill = 0;
    stream->amBefore = 0;
    stream->chain.carrier.readPosition = stream->chain.carrier.samples;
}

// Input and output share one position in their blocks: the sample that goes
// out is the one gathered exactly a block ago. The input is stored before
// the output is written, so that `out` may be `in`.
void StreamProcess(ChainStream* stream, const int16_t* in, int16_t* out, int frames)
{
    while (frames > 0) {
        int step = AudioBlockSamples - stream->fill;
        if (step > frames)
            step = frames;
        memcpy(stream->gathered + stream->fill, in, step * sizeof(int16_t));
        memcpy(out, stream->played + stream->fill, step * sizeof(int16_t));
        in += step;
        out += step;
        frames -= step;
        stream->fill += step;
        if (stream->fill == AudioBlockSamples) {
            ChainInstance& chain = stream->chain;
            if (chain.flags[FxAM] && !stream->amBefore)
                chain.carrier.readPosition = chain.carrier.samples;
            stream->amBefore = chain.flags[FxAM];
            const int16_t* result = RunChainInstance(&stream->chain, stream->gathered);
            memcpy(stream->played, result, sizeof stream->played);
            stream->fill = 0;
        }
    }
}

const int16_t* StreamSwapCarrier(ChainStream* stream, const int16_t* samples, uint32_t length)
{
    const int16_t* previous = stream->chain.carrier.samples;
    stream->chain.carrier.samples = samples;
    stream->chain.carrier.length = samples ? length : 0;
    stream->chain.carrier.readPosition = samples;
    return previous;
}
