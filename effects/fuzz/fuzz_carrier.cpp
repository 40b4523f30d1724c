// Arbitrary bytes as a carrier file: through the header and limit check and,
// whatever the verdict, a few AM blocks with the carrier then in force. ASan
// reports any read outside the file's block; the checks below report a
// carrier that breaks the AM effect's invariants.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include "carrier.h"
#include "carrier_check.h"
#include "chain.h"

static AudioBlock Work[2];
static AudioBlock Input;

static void Require(bool condition)
{
    if (!condition)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResetChainState();
    WorkBuffers[0] = Work[0];
    WorkBuffers[1] = Work[1];
    EffectFlags[FxAM] = 1;
    Require(CreateDefaultCarrier());
    const int16_t* previous = CarrierWave.samples;

    // A block of exactly the file's size, as the loader allocates it.
    uint8_t* block = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (size)
        memcpy(block, data, size);
    CarrierVerdict verdict = AdoptCarrierBlock(block, size, &CarrierWave.samples, &CarrierWave.length);
    if (verdict == CarrierAccepted) {
        Require(CarrierWave.samples == reinterpret_cast<const int16_t*>(block + WaveHeaderSize));
        Require(CarrierWave.length % 2 == 0 && CarrierWave.length >= 4);
        Require(CarrierWave.length <= size - WaveHeaderSize);
    } else {
        Require(CarrierWave.samples == previous && CarrierWave.length == 1000);
        Require(CarrierMessage(verdict) != nullptr);
    }
    CarrierWave.readPosition = CarrierWave.samples;

    for (int k = 0; k < AudioBlockSamples; k++)
        Input[k] = static_cast<int16_t>(size ? data[k % size] * 257 - 32768 : 0);
    const int16_t* last = CarrierWave.samples + CarrierWave.length / 2 - 1;
    for (int b = 0; b < 3; b++) {
        BlockCursor = Input;
        RunEffectChain();
        Require(BlockCursor == WorkBuffers[b % 2]);
        Require(CarrierWave.readPosition >= CarrierWave.samples && CarrierWave.readPosition < last);
    }
    ReleaseCarrier();
    return 0;
}
