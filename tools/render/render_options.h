// The renderer's command line: which effects, their settings, the carrier
// file and the two operands.
#pragma once
#include <cstdint>
#include <string>
#include "chain.h"

struct RenderOptions {
    int effects[EffectCount];  // non-zero: on, as EffectFlags
    int32_t pitch;             // ParameterTable value of the Pitch slider, if given
    int32_t volume;            // ... of the Volume slider, if given
    bool pitchGiven;
    bool volumeGiven;
    const char* carrier;       // null: the built-in square wave
    const char* input;
    const char* output;
};

enum ParseOutcome { ParseRun, ParseHelp, ParseVersion, ParseError };

// Reads argv into *options. Settings not given stay at the program's start
// values, which the chain state holds.
// On ParseError *error holds one line saying what is wrong.
ParseOutcome ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);

extern const char RenderUsage[];
