#include "carrier_corpus.h"

namespace {

const char* const NotWave = "Not a wave file !";
const char* const WrongFormat = "Wrong format, has to be: Mono, 22050 Hz, 16 Bit !";
const char* const TooFew = "Too few samples, has to be: at least 2 !";
const char* const PastEnd = "Data length past end of file !";
const char* const Odd = "Odd data length, has to be: whole 16 Bit samples !";

std::vector<int16_t> Samples(size_t count)
{
    std::vector<int16_t> samples(count);
    for (size_t n = 0; n < count; n++)
        samples[n] = static_cast<int16_t>(n * 64 - 16000);
    return samples;
}

// A canonical file whose header field at `offset` is replaced.
std::vector<uint8_t> With32(size_t samples, size_t offset, uint32_t value)
{
    std::vector<uint8_t> file = CanonicalWave(Samples(samples));
    Put32(file, offset, value);
    return file;
}

std::vector<uint8_t> With16(size_t samples, size_t offset, uint16_t value)
{
    std::vector<uint8_t> file = CanonicalWave(Samples(samples));
    Put16(file, offset, value);
    return file;
}

std::vector<uint8_t> WithTag(size_t samples, size_t offset, const char tag[4])
{
    std::vector<uint8_t> file = CanonicalWave(Samples(samples));
    PutTag(file, offset, tag);
    return file;
}

// A 16-byte format chunk, then a "LIST" chunk of `listBytes`, then the data
// chunk: offset 40 holds the LIST chunk's size.
std::vector<uint8_t> ListBeforeData(uint32_t listBytes)
{
    std::vector<uint8_t> file = CanonicalWave({});
    PutTag(file, 36, "LIST");
    Put32(file, 40, listBytes);
    for (uint32_t i = 0; i < listBytes; i++)
        file.push_back(static_cast<uint8_t>('a' + i % 26));
    if (listBytes % 2)
        file.push_back(0);  // chunks are padded to even sizes
    std::vector<uint8_t> data = CanonicalWave(Samples(8));
    file.insert(file.end(), data.begin() + 36, data.end());
    return file;
}

// An 18-byte format chunk (with its extension size): the data chunk starts
// two bytes later than the fixed layout expects.
std::vector<uint8_t> Format18()
{
    std::vector<uint8_t> canonical = CanonicalWave(Samples(500));
    std::vector<uint8_t> file(canonical.begin(), canonical.begin() + 36);
    Put32(file, 16, 18);
    file.push_back(0);
    file.push_back(0);
    file.insert(file.end(), canonical.begin() + 36, canonical.end());
    return file;
}

}  // namespace

void Put16(std::vector<uint8_t>& file, size_t offset, uint16_t value)
{
    file[offset] = static_cast<uint8_t>(value);
    file[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& file, size_t offset, uint32_t value)
{
    Put16(file, offset, static_cast<uint16_t>(value));
    Put16(file, offset + 2, static_cast<uint16_t>(value >> 16));
}

void PutTag(std::vector<uint8_t>& file, size_t offset, const char tag[4])
{
    for (int i = 0; i < 4; i++)
        file[offset + i] = static_cast<uint8_t>(tag[i]);
}

std::vector<uint8_t> CanonicalWave(const std::vector<int16_t>& samples)
{
    uint32_t data = static_cast<uint32_t>(2 * samples.size());
    std::vector<uint8_t> file(44 + data);
    PutTag(file, 0, "RIFF");
    Put32(file, 4, 36 + data);
    PutTag(file, 8, "WAVE");
    PutTag(file, 12, "fmt ");
    Put32(file, 16, 16);
    Put16(file, 20, 1);
    Put16(file, 22, 1);
    Put32(file, 24, 22050);
    Put32(file, 28, 44100);
    Put16(file, 32, 2);
    Put16(file, 34, 16);
    PutTag(file, 36, "data");
    Put32(file, 40, data);
    for (size_t n = 0; n < samples.size(); n++)
        Put16(file, 44 + 2 * n, static_cast<uint16_t>(samples[n]));
    return file;
}

std::vector<CarrierFileCase> CarrierFileCorpus()
{
    std::vector<uint8_t> bytes43 = CanonicalWave({});
    bytes43.pop_back();
    std::vector<uint8_t> cutShort = CanonicalWave(Samples(500));
    cutShort.resize(44 + 500);
    std::vector<uint8_t> oddLength = With32(500, 40, 999);
    std::vector<uint8_t> oddWithinPadding = With32(4, 40, 7);
    std::vector<uint8_t> trailingChunk = CanonicalWave({10, 20, 30, 40});
    std::vector<uint8_t> junk = ListBeforeData(6);
    trailingChunk.insert(trailingChunk.end(), junk.begin() + 36, junk.end());
    std::vector<uint8_t> untested = CanonicalWave(Samples(4));
    Put32(untested, 4, 0xDEADBEEF);   // RIFF size
    Put32(untested, 16, 40);          // format chunk size
    Put32(untested, 28, 7);           // bytes per second
    Put16(untested, 32, 9);           // block alignment
    PutTag(untested, 36, "junk");     // data tag
    std::vector<uint8_t> stereoNoData = With16(0, 22, 2);
    std::vector<uint8_t> neitherWaveNorMono = With16(4, 22, 2);
    PutTag(neitherWaveNorMono, 8, "AVI ");

    return {
        {"Empty", {}, NotWave, 0},
        {"Bytes43", bytes43, NotWave, 0},
        {"Header44Length0", CanonicalWave({}), TooFew, 0},
        {"Length2", CanonicalWave({1234}), TooFew, 0},
        {"Length3", With32(2, 40, 3), TooFew, 0},
        {"Length4", CanonicalWave({-5, 7}), nullptr, 4},
        {"OddLength", oddLength, Odd, 0},
        {"OddLengthWithinFile", oddWithinPadding, Odd, 0},
        {"LengthPastEnd", cutShort, PastEnd, 0},
        {"LengthOneSamplePastEnd", With32(500, 40, 1002), PastEnd, 0},
        {"LengthAllOnes", With32(500, 40, 0xFFFFFFFF), PastEnd, 0},
        {"WaveMissing", WithTag(4, 8, "AVI "), NotWave, 0},
        {"WaveLowerCase", WithTag(4, 8, "wave"), NotWave, 0},
        {"FmtMissing", WithTag(4, 12, "LIST"), NotWave, 0},
        {"FmtWithoutBlank", WithTag(4, 12, "fmt\0"), NotWave, 0},
        {"FmtUpperCase", WithTag(4, 12, "FMT "), NotWave, 0},
        {"Stereo", With16(4, 22, 2), WrongFormat, 0},
        {"Rate44100", With32(4, 24, 44100), WrongFormat, 0},
        {"Bits8", With16(4, 34, 8), WrongFormat, 0},
        {"FloatTag3", With16(4, 20, 3), WrongFormat, 0},
        {"ExtensibleTag", With16(4, 20, 0xFFFE), WrongFormat, 0},
        {"StereoWithNoData", stereoNoData, WrongFormat, 0},
        {"NotWaveAndStereo", neitherWaveNorMono, NotWave, 0},
        {"NotRiffFirstTag", WithTag(4, 0, "RIFX"), nullptr, 8},
        {"ListChunkBeforeData", ListBeforeData(26), nullptr, 26},
        {"OddListChunkBeforeData", ListBeforeData(25), Odd, 0},
        {"FormatChunk18", Format18(), PastEnd, 0},
        {"UntestedFieldsAnyValue", untested, nullptr, 8},
        {"TrailingChunkAfterData", trailingChunk, nullptr, 8},
        {"Canonical1000", CanonicalWave(Samples(500)), nullptr, 1000},
        {"File52", CanonicalWave({10, 20, 30, 40}), nullptr, 8},
    };
}
