// What the tools set on the effect chain, and the words for it: the effect
// names, the sliders' ranges and the one-line description the tools print.
#pragma once
#include <cstdint>
#include <string>
#include "chain.h"

// Slider limits: Pitch 1 to 3; Volume from its start value 8 (unchanged
// level) up to 52, the highest value the slider can reach.
constexpr int32_t PitchLowest = 1, PitchHighest = 3;
constexpr int32_t VolumeLowest = 8, VolumeHighest = 52;

// The names of the effects, in chain order (EffectId).
extern const char* const EffectNames[EffectCount];

struct ChainSettings {
    int effects[EffectCount];  // non-zero: on, as EffectFlags
    int32_t pitch;             // pitch factor, 1 to 3
    int32_t volume;            // volume in eighths, 8 to 52
};

// A voice: the chain's settings and the AM carrier file, empty for the
// built-in square wave.
struct Voice {
    ChainSettings settings;
    std::string carrier;
    std::string carrierWhere;  // "FILE:LINE" of a voice file's carrier line, for a refusal
};

// A refused carrier file in one line: "FILE: why", or with the voice file's
// line that named it, "VOICE:LINE: carrier FILE: why".
std::string CarrierRefusal(const Voice& voice, const char* why);

// The program's start values: every effect off, pitch 2, volume 8.
ChainSettings StartSettings();
bool SameSettings(const ChainSettings& a, const ChainSettings& b);

// A comma-separated list of effect names in any case: sets effects[] of each
// to 1. `what` starts the error line ("--fx", a file's line).
bool AddEffects(const char* what, const char* list, int effects[EffectCount], std::string* error);

// Decimal digits only, within lowest..highest.
bool ParseWholeNumber(const char* what, const char* text, int32_t lowest, int32_t highest, int32_t* value,
                      std::string* error);

// "pitch,volume", or "none".
std::string EffectList(const ChainSettings& settings);
// "fx pitch,volume  pitch 3  volume 20", or "fx none  pitch 2  volume 8".
std::string DescribeSettings(const ChainSettings& settings);
