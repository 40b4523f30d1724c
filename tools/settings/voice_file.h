// Voice files, and voxotrope-live's saved settings in the same words: one
// setting per line, '#' starts a comment line.
//
//   fx pitch,volume      the effects that are on ("fx none": none)
//   pitch 3              pitch factor, 1 to 3 (default 2)
//   volume 20            volume in eighths, 8 to 52 (default 8)
//   carrier robot.wav    AM carrier file, relative to the file's folder
//
// The saved settings add what only a running instance has:
//
//   voice robot          the voice chosen last
//   edited yes           the settings were changed after it was chosen
//   bypass on            everything is off now; the lines above come back
//   monitor on           the changed voice plays on the default output too
#pragma once
#include <string>
#include "chain_settings.h"

struct SettingsRecord {
    Voice voice;
    std::string voiceName;  // the saved settings' keys, never in a voice file
    bool edited;
    bool bypass;
    bool monitor;
};

enum SettingsKind { VoiceSettings, SavedSettings };

// Reads `text`, the contents of the file `path`, over *record's start values
// (StartSettings, no carrier, nothing saved). Refused: *error is one line,
// "PATH:LINE: why", and *record is unchanged.
bool ParseSettingsText(const std::string& text, const std::string& path, SettingsKind kind, SettingsRecord* record,
                       std::string* error);

// The whole file, for ParseSettingsText; refuses files that cannot be read
// or are larger than any voice file needs to be.
bool ReadSettingsFile(const std::string& path, SettingsKind kind, SettingsRecord* record, std::string* error);

// The text that ParseSettingsText reads back as *record; the carrier path is
// written as it is held (absolute where it came from a file).
std::string FormatSettings(const SettingsRecord& record, SettingsKind kind);

// Writes `text` to `path` whole or not at all: a temporary file beside it,
// flushed to the disk, then renamed over it. Makes missing folders.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string* error);
