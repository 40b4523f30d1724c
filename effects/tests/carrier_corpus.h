// Carrier files, good and malformed, built in memory: one table that the
// native check tests, the Windows loader tests and the fuzzing seeds share.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CarrierFileCase {
    std::string name;            // letters and digits only: a test and file name
    std::vector<uint8_t> bytes;  // the whole file
    const char* message;         // what the user is told; null when accepted
    uint32_t length;             // accepted: the carrier's length in bytes
};

// A canonical PCM mono 22050 Hz 16-bit file holding `samples`.
std::vector<uint8_t> CanonicalWave(const std::vector<int16_t>& samples);

// Writes a little-endian value into `file` at `offset`.
void Put16(std::vector<uint8_t>& file, size_t offset, uint16_t value);
void Put32(std::vector<uint8_t>& file, size_t offset, uint32_t value);
void PutTag(std::vector<uint8_t>& file, size_t offset, const char tag[4]);

std::vector<CarrierFileCase> CarrierFileCorpus();
