#include "live_control.h"
#include <cstring>
#include <sstream>
#include "chain_options.h"

const char KeyHelp[] =
    "keys: p v t a r c d switch pitch, volume, triangle, am, reverse, crazy, deeper;\n"
    "      1 2 3 pitch factor; + - volume by one eighth; > < next, previous voice;\n"
    "      b bypass; m monitor; 0 all off; q quit\n";

ControlOutcome ControlKey(int key, LiveSettings* settings)
{
    for (int fx = 0; fx < EffectCount; fx++)
        if (key == EffectNames[fx][0]) {
            settings->effects[fx] = !settings->effects[fx];
            return ControlChanged;
        }
    int32_t volume = settings->volume;
    switch (key) {
    case '1':
    case '2':
    case '3':
        settings->pitch = key - '0';
        return ControlChanged;
    case '+':
    case '=':
        volume++;
        break;
    case '-':
        volume--;
        break;
    case '0':
        for (int& flag : settings->effects)
            flag = 0;
        return ControlChanged;
    case 'q':
        return ControlQuit;
    default:
        return ControlUnchanged;
    }
    if (volume < VolumeLowest || volume > VolumeHighest)
        return ControlUnchanged;
    settings->volume = volume;
    return ControlChanged;
}

// The value goes through the command line's own parser, so that a command
// takes and refuses exactly what the option does.
static bool ParseAsOption(const char* option, const std::string& value, ChainOptions* options, std::string* error)
{
    std::string program = "voxotrope-live", name = option, copy = value;
    char* argv[] = {program.data(), name.data(), copy.data(), nullptr};
    int operandCount = 0;
    return ParseChainArguments(3, argv, options, nullptr, 0, "", &operandCount, error) == ParseRun;
}

ControlOutcome ControlLine(const std::string& line, LiveSettings* settings, std::string* error)
{
    std::istringstream words(line);
    std::string command, value, extra;
    words >> command >> value >> extra;
    if (!extra.empty()) {
        *error = "one value per command: '" + line + "'";
        return ControlError;
    }
    ChainOptions options;
    if (command.empty() || command == "status")
        return ControlUnchanged;
    if (command == "quit")
        return ControlQuit;
    if (command == "fx" && (value.empty() || value == "none")) {
        for (int& flag : settings->effects)
            flag = 0;
        return ControlChanged;
    }
    if (command == "fx" || command == "on" || command == "off") {
        if (!ParseAsOption("--fx", value, &options, error))
            return ControlError;
        for (int fx = 0; fx < EffectCount; fx++) {
            if (command == "fx")
                settings->effects[fx] = options.effects[fx];
            else if (options.effects[fx])
                settings->effects[fx] = command == "on";
        }
        return ControlChanged;
    }
    if (command == "pitch" || command == "volume") {
        if (!ParseAsOption(("--" + command).c_str(), value, &options, error))
            return ControlError;
        if (command == "pitch")
            settings->pitch = options.pitch;
        else
            settings->volume = options.volume;
        return ControlChanged;
    }
    if (command == "carrier")  // with a file, the caller reads it before it gets here
        *error = "carrier needs a file";
    else
        *error = "unknown command '" + command +
                 "' (fx, on, off, toggle, pitch, volume, carrier, voice, voices, next, previous, bypass, monitor, "
                 "source, status, quit)";
    return ControlError;
}
