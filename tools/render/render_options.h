// The renderer's command line: which effects, their settings, the carrier
// file and the two operands.
#pragma once
#include <cstdint>
#include <string>
#include "chain.h"

// Slider limits: Pitch 1 to 3; Volume from its start value 8 (unchanged
// level) up to 52, the highest value the slider can reach.
constexpr int32_t PitchLowest = 1, PitchHighest = 3;
constexpr int32_t VolumeLowest = 8, VolumeHighest = 52;

// The names --fx takes, in chain order (EffectId).
extern const char* const EffectNames[EffectCount];

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

// The options and operands alone, for the renderer and voxotrope-live: at
// most maxOperands operands (operandNames says which, for the error) go into
// operands[]. Does not check that settings match the effects.
ParseOutcome ParseChainArguments(int argc, char** argv, RenderOptions* options, const char** operands,
                                 int maxOperands, const char* operandNames, int* operandCount,
                                 std::string* error);

// --fx's list: sets effects[] of each named effect to 1.
bool AddEffects(const char* list, int effects[EffectCount], std::string* error);

// --pitch, --volume and --carrier given for an effect that is off.
bool SettingsMatchEffects(const RenderOptions& options, std::string* error);

extern const char RenderUsage[];
