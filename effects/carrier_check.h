// Which files may become the AM carrier, and what the user is told about the
// others. One check serves the program's loader and the renderer, so both
// accept the same files and refuse the rest with the same words.
//
// Accepted: a PCM, mono, 22050 Hz, 16-bit WAV file with the canonical 44-byte
// header, read at fixed offsets (no chunk walking): "WAVE" at 8, "fmt " at 12,
// tag and channels 1 and 1 at 20, rate at 24, bits at 34, data length at 40,
// samples from byte 44 on. The data length must be even, at least 4 (two
// samples, as the AM loop needs) and lie within the bytes read.
#pragma once
#include <cstddef>
#include <cstdint>

enum CarrierVerdict {
    CarrierAccepted,
    CarrierCannotOpen,     // the open itself failed (missing, held exclusively, no access)
    CarrierNoMemory,       // no block as large as the file
    CarrierCannotRead,     // the size query or the read failed
    CarrierNotWave,        // shorter than the header, or no "WAVE" / "fmt " tag
    CarrierWrongFormat,    // not PCM mono 22050 Hz 16 bit
    CarrierTooFewSamples,  // data length below 4
    CarrierPastEnd,        // data length larger than the bytes after the header
    CarrierOddLength,      // data length odd: not whole 16-bit samples
};

// Checks the `count` bytes read from a carrier file at `file`; reads nothing
// beyond them. On acceptance *length receives the data length.
CarrierVerdict CheckCarrierFile(const uint8_t* file, size_t count, uint32_t* length);

// Takes over `block`, the `count` bytes read from a carrier file, allocated
// like every carrier block (AllocateCarrierBlock, given back with free).
// Accepted: the previous carrier block (if *samples is not null) is freed
// and the block becomes the carrier, *samples := block + 44 and *length :=
// its data length. Refused: the block is freed and *samples and
// *length stay as they were. The caller restarts the read position.
CarrierVerdict AdoptCarrierBlock(uint8_t* block, size_t count, const int16_t** samples, uint32_t* length);

// The text the user is shown for a refusal; null for CarrierAccepted.
const char* CarrierMessage(CarrierVerdict verdict);
