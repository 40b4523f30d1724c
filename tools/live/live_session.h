// What voxotrope-live has in force beyond the chain's settings, and every
// command that changes it, from its terminal, its standard input or the
// control socket: the voice chosen last, the bypass, the monitor; and the
// saved settings it starts with.
#pragma once
#include <cstdint>
#include <string>
#include "chain_settings.h"
#include "voice_file.h"

struct LiveSession {
    ChainSettings settings;  // what the chain runs: all off while bypassed
    std::string carrier;     // the AM carrier file in force, empty: the square wave
    std::string voiceName;   // the voice chosen last, where next and previous start
    bool edited;             // settings changed since that voice was chosen
    bool bypass;
    Voice beforeBypass;      // what the next bypass brings back
    bool monitor;
};

// What a command did, for the caller to hand on: the settings to the audio
// thread, a new carrier block (the caller's to post or free), the monitor.
struct CommandResult {
    std::string answer;  // the one-line answer: the status, or "error: ..."
    bool quit;
    bool settingsChanged;
    bool monitorChanged;
    bool saveNeeded;     // anything the saved settings hold has changed
    const int16_t* carrierSamples;  // a carrier block read for the command, or null
    uint32_t carrierLength;
};

// Start values: every effect off, pitch 2, volume 8, no voice, monitor off.
void InitLiveSession(LiveSession* session);

// Runs one command line: those of ControlLine, and voice NAME, voices, next,
// previous, toggle LIST, bypass, carrier FILE and monitor on|off. Reads voice
// and carrier files: main thread only.
void RunCommand(LiveSession* session, const std::string& line, CommandResult* result);

// A terminal key's change of the settings (ControlKey), as the commands
// that change settings do it: it ends a bypass and marks the voice edited.
void EditSettings(LiveSession* session, const ChainSettings& settings);

// The status line: "fx am  pitch 2  volume 8  voice robot  monitor off".
std::string DescribeSession(const LiveSession& session);

// The saved settings, and the session from them.
SettingsRecord SessionRecord(const LiveSession& session);
void SessionFromRecord(const SettingsRecord& record, LiveSession* session);
// $XDG_STATE_HOME/voxotrope/live.state
std::string SavedSettingsPath();

// Reads the carrier file (or makes the square wave for an empty path) into a
// new block; refused with one line naming the file, or the voice file's line
// that named it.
bool ReadSessionCarrier(const Voice& voice, const int16_t** samples, uint32_t* length, std::string* error);
