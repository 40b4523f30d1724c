// The chain's command-line options, shared by voxotrope-render and
// voxotrope-live: which effects, their settings, the carrier file, or a
// voice by name.
#pragma once
#include <cstdint>
#include <string>
#include "chain_settings.h"

struct ChainOptions {
    int effects[EffectCount];  // non-zero: on, as EffectFlags
    int32_t pitch;             // the Pitch slider's value, if given
    int32_t volume;            // ... the Volume slider's, if given
    bool pitchGiven;
    bool volumeGiven;
    const char* carrier;       // null: the built-in square wave
    const char* voice;         // --voice NAME, null if not given
    bool effectsGiven;         // --fx was given, even as an empty set
};

enum ParseOutcome { ParseRun, ParseHelp, ParseVersion, ParseListVoices, ParseError };

// The options and operands: at most maxOperands operands (operandNames says
// which, for the error) go into operands[]. Does not check that settings
// match the effects (CheckChainOptions). On ParseError *error holds one line.
ParseOutcome ParseChainArguments(int argc, char** argv, ChainOptions* options, const char** operands,
                                 int maxOperands, const char* operandNames, int* operandCount,
                                 std::string* error);

// --pitch, --volume and --carrier given for an effect that is off would
// change nothing, and --voice with any of them is two answers at once.
bool CheckChainOptions(const ChainOptions& options, std::string* error);

// Any of --fx, --pitch, --volume, --carrier or --voice given.
bool ChainOptionsGiven(const ChainOptions& options);

// The options as settings: start values where none were given.
Voice OptionsVoice(const ChainOptions& options);

// The lines of --help for the shared options, to be joined with a tool's own.
#define CHAIN_OPTIONS_HELP                                                            \
    "  --fx LIST       effects to switch on, separated by commas, in any order:\n"    \
    "                  pitch, volume, triangle, am, reverse, crazy, deeper.\n"        \
    "                  They always run in that order.\n"                              \
    "  --pitch N       pitch factor, 1 to 3 (default 2); needs pitch in --fx\n"       \
    "  --volume N      gain in eighths, 8 to 52: 8 leaves the level, 20 is 2.5\n"     \
    "                  times (default 8); needs volume in --fx\n"                     \
    "  --carrier FILE  AM carrier instead of the built-in square wave: a WAV file,\n" \
    "                  PCM mono 22050 Hz 16 bit with the 44-byte header, checked\n"   \
    "                  as the program's AM panel checks it; needs am in --fx\n"       \
    "  --voice NAME    a voice's settings instead of the four options above\n"        \
    "  --voices        list the voices and exit\n"
