#include "live_chain.h"

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

void ApplySettings(const LiveSettings& settings, ChainInstance* chain)
{
    for (int fx = 0; fx < EffectCount; fx++)
        chain->flags[fx] = settings.effects[fx];
    chain->pitchFactor = settings.pitch;
    chain->volumeEighths = settings.volume;
}

static void FreeParcel(CarrierParcel* parcel)
{
    FreeCarrierBlock(parcel->samples);
    delete parcel;
}

void PostCarrier(LiveMailbox* mailbox, const int16_t* samples, uint32_t length)
{
    CarrierParcel* parcel = new CarrierParcel{samples, length, nullptr};
    if (CarrierParcel* unused = mailbox->offered.exchange(parcel, std::memory_order_acq_rel))
        FreeParcel(unused);
}

void TakeCarrier(LiveMailbox* mailbox, ChainStream* stream)
{
    CarrierParcel* parcel = mailbox->offered.exchange(nullptr, std::memory_order_acq_rel);
    if (!parcel)
        return;
    parcel->samples = StreamSwapCarrier(stream, parcel->samples, parcel->length);
    parcel->next = mailbox->returned.load(std::memory_order_relaxed);
    while (!mailbox->returned.compare_exchange_weak(parcel->next, parcel, std::memory_order_release,
                                                    std::memory_order_relaxed)) {
    }
}

void FreeReturnedCarriers(LiveMailbox* mailbox)
{
    CarrierParcel* parcel = mailbox->returned.exchange(nullptr, std::memory_order_acquire);
    while (parcel) {
        CarrierParcel* next = parcel->next;
        FreeParcel(parcel);
        parcel = next;
    }
}
