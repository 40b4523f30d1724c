#include "carrier_check.h"
#include <cstdlib>
#include "carrier.h"

constexpr uint32_t TagWave = 0x45564157;    // "WAVE"
constexpr uint32_t TagFormat = 0x20746D66;  // "fmt "
constexpr uint32_t PcmMono = 0x00010001;    // format tag 1 and 1 channel, read as one value
constexpr uint32_t CarrierRate = 22050;
constexpr uint32_t CarrierBits = 16;

// Little-endian fields, assembled byte by byte: the block need not be aligned
// and the host's byte order does not matter.
static uint32_t Field32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static uint32_t Field16(const uint8_t* p)
{
    return p[0] | p[1] << 8;
}

CarrierVerdict CheckCarrierFile(const uint8_t* file, size_t count, uint32_t* length)
{
    // Without the whole header there is nothing to test: not a wave file of
    // the kind that can be used.
    if (count < WaveHeaderSize)
        return CarrierNotWave;
    if (Field32(file + 8) != TagWave || Field32(file + 12) != TagFormat)
        return CarrierNotWave;
    if (Field32(file + 20) != PcmMono || Field32(file + 24) != CarrierRate || Field16(file + 34) != CarrierBits)
        return CarrierWrongFormat;
    uint32_t data = Field32(file + 40);
    if (data < 4)
        return CarrierTooFewSamples;
    if (data > count - WaveHeaderSize)
        return CarrierPastEnd;
    if (data % 2)
        return CarrierOddLength;
    *length = data;
    return CarrierAccepted;
}

CarrierVerdict AdoptCarrierBlock(uint8_t* block, size_t count, const int16_t** samples, uint32_t* length)
{
    uint32_t data = 0;
    CarrierVerdict verdict = CheckCarrierFile(block, count, &data);
    if (verdict != CarrierAccepted) {
        free(block);
        return verdict;
    }
    // Every carrier block starts WaveHeaderSize bytes before its samples.
    if (*samples)
        free(const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(*samples)) - WaveHeaderSize);
    *samples = reinterpret_cast<const int16_t*>(block + WaveHeaderSize);
    *length = data;
    return CarrierAccepted;
}

const char* CarrierMessage(CarrierVerdict verdict)
{
    switch (verdict) {
    case CarrierAccepted:
        break;
    case CarrierCannotOpen:
        return "Cannot open file !";
    case CarrierNoMemory:
        return "Not enough memory !";
    case CarrierCannotRead:
        return "Cannot read file !";
    case CarrierNotWave:
        return "Not a wave file !";
    case CarrierWrongFormat:
        return "Wrong format, has to be: Mono, 22050 Hz, 16 Bit !";
    case CarrierTooFewSamples:
        return "Too few samples, has to be: at least 2 !";
    case CarrierPastEnd:
        return "Data length past end of file !";
    case CarrierOddLength:
        return "Odd data length, has to be: whole 16 Bit samples !";
    }
    return nullptr;
}
