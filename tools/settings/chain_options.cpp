#include "chain_options.h"
#include <cstring>

// One option, with its value already split off (or null when none was
// attached with '='); takes the next argument as the value if it needs one.
static ParseOutcome Option(const char* arg, int argc, char** argv, int* i, ChainOptions* options,
                           std::string* error)
{
    const char* equals = strchr(arg, '=');
    std::string name = equals ? std::string(arg, equals) : std::string(arg);
    if (name == "--help" || name == "-h" || name == "--version" || name == "--voices") {
        if (equals) {
            *error = name + " takes no value";
            return ParseError;
        }
        return name == "--version" ? ParseVersion : name == "--voices" ? ParseListVoices : ParseHelp;
    }
    if (name != "--fx" && name != "--pitch" && name != "--volume" && name != "--carrier" && name != "--voice") {
        *error = "unknown option '" + name + "' (see --help)";
        return ParseError;
    }
    const char* value = equals ? equals + 1 : nullptr;
    if (!value) {
        if (*i + 1 >= argc) {
            *error = name + " needs a value (see --help)";
            return ParseError;
        }
        value = argv[++*i];
    }
    bool good = true;
    if (name == "--fx") {
        good = AddEffects("--fx", value, options->effects, error);
        options->effectsGiven = true;
    } else if (name == "--pitch") {
        good = ParseWholeNumber("--pitch", value, PitchLowest, PitchHighest, &options->pitch, error);
        options->pitchGiven = true;
    } else if (name == "--volume") {
        good = ParseWholeNumber("--volume", value, VolumeLowest, VolumeHighest, &options->volume, error);
        options->volumeGiven = true;
    } else if (*value == '\0') {
        *error = name + (name == "--voice" ? " needs a name" : " needs a file name");
        return ParseError;
    } else if (name == "--voice") {
        options->voice = value;
    } else {
        options->carrier = value;
    }
    return good ? ParseRun : ParseError;
}

static bool Fail(std::string* error, const std::string& line)
{
    *error = line;
    return false;
}

bool CheckChainOptions(const ChainOptions& options, std::string* error)
{
    if (options.voice && (options.effectsGiven || options.pitchGiven || options.volumeGiven || options.carrier))
        return Fail(error, "--voice takes the place of --fx, --pitch, --volume and --carrier: give one or the other");
    if (options.pitchGiven && !options.effects[FxPitch])
        return Fail(error, "--pitch needs pitch in --fx");
    if (options.volumeGiven && !options.effects[FxVolume])
        return Fail(error, "--volume needs volume in --fx");
    if (options.carrier && !options.effects[FxAM])
        return Fail(error, "--carrier needs am in --fx");
    return true;
}

bool ChainOptionsGiven(const ChainOptions& options)
{
    return options.effectsGiven || options.pitchGiven || options.volumeGiven || options.carrier || options.voice;
}

Voice OptionsVoice(const ChainOptions& options)
{
    Voice voice{StartSettings(), options.carrier ? options.carrier : "", ""};
    for (int fx = 0; fx < EffectCount; fx++)
        voice.settings.effects[fx] = options.effects[fx];
    if (options.pitchGiven)
        voice.settings.pitch = options.pitch;
    if (options.volumeGiven)
        voice.settings.volume = options.volume;
    return voice;
}

ParseOutcome ParseChainArguments(int argc, char** argv, ChainOptions* options, const char** operands,
                                 int maxOperands, const char* operandNames, int* operandCount,
                                 std::string* error)
{
    *options = ChainOptions{};
    *operandCount = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!optionsEnded && strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            ParseOutcome outcome = Option(arg, argc, argv, &i, options, error);
            if (outcome != ParseRun)
                return outcome;
            continue;
        }
        if (*operandCount == maxOperands) {
            *error = std::string("unexpected argument '") + arg + "'" +
                     (maxOperands ? std::string(" after ") + operandNames : std::string());
            return ParseError;
        }
        operands[(*operandCount)++] = arg;
    }
    return ParseRun;
}
