// Shared scaffolding for the effect tests: running one effect operation the
// way the chain does, guard checks around its buffers, and test blocks.
#pragma once
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>
#include "chain.h"
#include "reference_model.h"

// A full block: `head` followed by `fill` up to 4000 samples.
Samples Block(std::initializer_list<int> head, int fill = 0);
// The first `count` samples of `block`.
Samples Head(const Samples& block, size_t count);

// Random blocks of several kinds (full range, quiet, with zero runs, with
// -32768 and 32767 sprinkled in), the same every run.
std::vector<Samples> RandomBlocks(unsigned seed, int count);
// Consecutive 4000-sample blocks of generated speech; empty if the speech
// file was not generated at build time.
std::vector<Samples> SpeechBlocks();
// Both of the above, plus a few hand-picked extremes.
std::vector<Samples> ManyBlocks();

// A fresh chain state whose WorkBuffers are two heap blocks of exactly 4000
// samples, so that AddressSanitizer sees any access beyond them.
struct EffectTest : ::testing::Test {
    std::vector<int16_t> work[2];
    void SetUp() override;
    void TearDown() override;
    // Runs `operation` once on `in` (copied into its own exact heap block)
    // and returns what it wrote; checks the hand-over on the way.
    Samples Run(void (*operation)(), const Samples& in);
};

// Runs `operation` on `in` placed inside larger arrays full of guard values,
// twice with different guard and marker values, and reports every way in
// which it stepped outside its block: an empty string means it wrote exactly
// out[0..3999] of WorkBuffers[WorkIndex], left the input, the other buffer
// and all guards alone, and read nothing outside in[0..readable-1].
std::string BoundsViolations(void (*operation)(), const Samples& in, int readable = AudioBlockSamples);

// The static chain as the program and the renderer run it, on `blocks` whole
// blocks from `input`, appended to `out`; the caller sets the flags, the
// parameters and the carrier.
void RunStaticChain(const int16_t* input, size_t blocks, std::vector<int16_t>* out);
