// Where voices and saved settings live (the XDG base folders), and which
// voices there are: the factory voices built into the program, and the
// user's files in ~/.config/voxotrope/voices, which win over a factory voice
// of the same name.
#pragma once
#include <string>
#include <vector>
#include "voice_file.h"

// $XDG_CONFIG_HOME/voxotrope, else ~/.config/voxotrope.
std::string ConfigFolder();
// $XDG_CONFIG_HOME/voxotrope/voices.
std::string VoicesFolder();
// $XDG_STATE_HOME/voxotrope, else ~/.local/state/voxotrope.
std::string StateFolder();
// $XDG_RUNTIME_DIR/voxotrope; empty when XDG_RUNTIME_DIR is not set.
std::string RuntimeFolder();

struct FactoryVoice {
    const char* name;
    const char* text;  // the voice file as it is in the source tree
};
extern const FactoryVoice FactoryVoices[];
extern const int FactoryVoiceCount;

struct VoiceEntry {
    std::string name;
    std::string path;         // the user's file; empty for a factory voice
    const char* factoryText;  // the factory voice's file, or null
};

// Letters, digits, '-', '_' and '.', not first: a file name in the voices
// folder and nothing else.
bool VoiceNameAllowed(const std::string& name);

// Every voice, sorted by name; a user's file hides the factory voice of its
// name. Files in the folder whose names are not voice names are left out.
std::vector<VoiceEntry> ListVoices();

// One line per voice, as --voices prints them: the name, the settings and
// where the voice comes from, or why its file is refused.
std::string VoiceListing();

// The voice's settings. Unknown names and malformed files are refused with
// one line (which file, which line, why).
bool LoadVoice(const std::string& name, Voice* voice, std::string* error);
