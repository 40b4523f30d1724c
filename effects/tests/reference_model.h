// A slow, plain model of the seven effects, written from their rules in words
// rather than from the kernels: whole-number arithmetic in 64 bits with
// explicit floor division and explicit 16-bit wrap-around. Tests compare the
// kernels against it on blocks that no hand-made table covers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

using Samples = std::vector<int16_t>;

namespace model {

int64_t FloorDiv(int64_t a, int64_t b);
int16_t Wrap16(int64_t v);

// Pitch without the output limit: every sample the repetitions produce, so
// that tests can see how far past the block end the last cycle reached.
Samples PitchUnlimited(const Samples& in, int factor);
Samples Pitch(const Samples& in, int factor);
Samples Triangle(const Samples& in);
Samples Crazy(const Samples& in);
Samples Volume(const Samples& in, int gain);
Samples Reverse(const Samples& in);
Samples Deeper(const Samples& in);

// AM with a carrier given as its samples and the index of the next one to
// use; `next` is advanced the way the effect advances its read position.
Samples AM(const Samples& in, const Samples& carrier, size_t* next);

}  // namespace model
