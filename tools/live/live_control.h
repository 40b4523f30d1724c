// Changing voxotrope-live's settings while it runs: one key in its terminal,
// or one line of a script's on its standard input.
#pragma once
#include <string>
#include "live_chain.h"

enum ControlOutcome { ControlChanged, ControlUnchanged, ControlQuit, ControlError };

// A key pressed in the terminal; ControlUnchanged for keys that mean nothing.
ControlOutcome ControlKey(int key, LiveSettings* settings);
// One command line; on ControlError *error says what is wrong in one line.
ControlOutcome ControlLine(const std::string& line, LiveSettings* settings, std::string* error);

extern const char KeyHelp[];
