// The sound file the renderer reads, delivered as mono 22050 Hz 16-bit
// samples: as they are when the file already has that form, otherwise mixed
// down to mono and resampled.
#pragma once
#include <sndfile.h>
#include <soxr.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RenderInput {
    SNDFILE* file;
    SF_INFO info;
    bool direct;               // mono 22050 Hz 16-bit PCM: read sample for sample
    soxr_t resampler;          // null when the rate is already 22050 Hz
    bool ended;                // the file is read to its end (and the resampler flushed)
    std::vector<float> frames; // interleaved, as read
    std::vector<float> mono;   // mixed down
    std::vector<float> ready;  // converted but not yet delivered
    size_t readyFrom;
};

// Opens `path`; on failure *error holds the reason.
bool OpenInput(const char* path, RenderInput* input, std::string* error);

// Fills samples[0..count-1] as far as the file reaches; returns how many
// samples were delivered (fewer than count only at the end), or -1 after a
// read error, which is then in *error.
long ReadInput(RenderInput* input, int16_t* samples, long count, std::string* error);

void CloseInput(RenderInput* input);
