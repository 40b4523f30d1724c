#include "live_chain.h"
#include <cstring>

void PostSettings(LiveMailbox* mailbox, const LiveSettings& settings)
{
    uint32_t sequence = mailbox->sequence.load(std::memory_order_relaxed);
    mailbox->sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (int fx = 0; fx < EffectCount; fx++)
        mailbox->values[fx].store(settings.effects[fx], std::memory_order_relaxed);
    mailbox->values[EffectCount].store(settings.pitch, std::memory_order_relaxed);
    mailbox->values[EffectCount + 1].store(settings.volume, std::memory_order_relaxed);
    mailbox->sequence.store(sequence + 2, std::memory_order_release);
}

bool TakeSettings(LiveMailbox* mailbox, uint32_t* seen, LiveSettings* settings)
{
    uint32_t before = mailbox->sequence.load(std::memory_order_acquire);
    if (before == *seen || (before & 1))
        return false;
    LiveSettings copy;
    for (int fx = 0; fx < EffectCount; fx++)
        copy.effects[fx] = mailbox->values[fx].load(std::memory_order_relaxed);
    copy.pitch = mailbox->values[EffectCount].load(std::memory_order_relaxed);
    copy.volume = mailbox->values[EffectCount + 1].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (mailbox->sequence.load(std::memory_order_relaxed) != before)
        return false;
    *settings = copy;
    *seen = before;
    return true;
}

void StartLiveChain(LiveChain* chain)
{
    memset(chain, 0, sizeof *chain);
    ResetChainState();
    WorkBuffers[0] = chain->work[0];
    WorkBuffers[1] = chain->work[1];
}

void ApplySettings(const LiveSettings& settings)
{
    for (int fx = 0; fx < EffectCount; fx++)
        EffectFlags[fx] = settings.effects[fx];
    ParameterTable.value[SliderPitch] = settings.pitch;
    ParameterTable.value[SliderVolume] = settings.volume;
}

void RunLiveChain(LiveChain* chain, const int16_t* in, int16_t* out, int count)
{
    while (count > 0) {
        int step = AudioBlockSamples - chain->fill;
        if (step > count)
            step = count;
        memcpy(chain->input + chain->fill, in, sizeof(int16_t) * step);
        memcpy(out, chain->output + chain->fill, sizeof(int16_t) * step);
        chain->fill += step;
        in += step;
        out += step;
        count -= step;
        if (chain->fill == AudioBlockSamples) {
            BlockCursor = chain->input;
            RunEffectChain();
            memcpy(chain->output, BlockCursor, AudioBlockBytes);
            chain->fill = 0;
        }
    }
}
