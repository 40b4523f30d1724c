#include "render_options.h"
#include <cstdlib>
#include <cstring>
#include <strings.h>

const char RenderUsage[] =
    "Usage: voxotrope-render [--fx LIST] [--pitch N] [--volume N] [--carrier FILE] IN OUT\n"
    "Runs the sound file IN through Voxotrope's effect chain, block by block as\n"
    "the program does, and writes OUT as a WAV file, mono, 22050 Hz, 16 bit.\n"
    "\n"
    "  --fx LIST       effects to switch on, separated by commas, in any order:\n"
    "                  pitch, volume, triangle, am, reverse, crazy, deeper.\n"
    "                  They always run in that order. Default: none.\n"
    "  --pitch N       pitch factor, 1 to 3 (default 2); needs pitch in --fx\n"
    "  --volume N      gain in eighths, 8 to 52: 8 leaves the level, 20 is 2.5\n"
    "                  times (default 8); needs volume in --fx\n"
    "  --carrier FILE  AM carrier instead of the built-in square wave: a WAV file,\n"
    "                  PCM mono 22050 Hz 16 bit with the 44-byte header, checked\n"
    "                  as the program's AM panel checks it; needs am in --fx\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "IN is any file libsndfile reads. A mono 22050 Hz 16-bit PCM file is used\n"
    "sample for sample; any other is mixed down to mono and resampled to\n"
    "22050 Hz. The sound goes through in blocks of 4000 samples, the last one\n"
    "padded with silence, and OUT keeps every whole block: it is longer than IN\n"
    "by up to 3999 samples (181 ms), so that nothing Reverse, Pitch or Deeper\n"
    "moves into the padded tail is cut off.\n"
    "\n"
    "OUT is written under a temporary name in its own folder and renamed when\n"
    "complete: on any error no new file is left and an existing OUT is kept.\n"
    "Exit status: 0 on success, 2 on any error, told in one line on stderr.\n";

// The names --fx takes, in chain order (EffectId).
const char* const EffectNames[EffectCount] = {
    "pitch", "volume", "triangle", "am", "reverse", "crazy", "deeper",
};

static bool Fail(std::string* error, const std::string& line)
{
    *error = line;
    return false;
}

bool AddEffects(const char* list, int effects[EffectCount], std::string* error)
{
    const char* item = list;
    for (;;) {
        size_t length = strcspn(item, ",");
        if (length == 0)
            return Fail(error, std::string("--fx: empty effect name in '") + list + "'");
        int found = -1;
        for (int fx = 0; fx < EffectCount; fx++)
            if (strlen(EffectNames[fx]) == length && strncasecmp(item, EffectNames[fx], length) == 0)
                found = fx;
        if (found < 0)
            return Fail(error, "--fx: unknown effect '" + std::string(item, length) +
                                   "' (pitch, volume, triangle, am, reverse, crazy, deeper)");
        effects[found] = 1;
        if (item[length] == '\0')
            return true;
        item += length + 1;
    }
}

// Decimal digits only, within lowest..highest.
static bool ParseSetting(const char* name, const char* text, int32_t lowest, int32_t highest,
                         int32_t* value, std::string* error)
{
    char* end = nullptr;
    long number = strtol(text, &end, 10);
    bool digits = text[0] >= '0' && text[0] <= '9' && *end == '\0';
    if (!digits || number < lowest || number > highest)
        return Fail(error, std::string(name) + ": '" + text + "' is not a whole number from " +
                               std::to_string(lowest) + " to " + std::to_string(highest));
    *value = static_cast<int32_t>(number);
    return true;
}

// One option, with its value already split off (or null when none was
// attached with '='); takes the next argument as the value if it needs one.
static ParseOutcome Option(const char* arg, int argc, char** argv, int* i, RenderOptions* options,
                           std::string* error)
{
    const char* equals = strchr(arg, '=');
    std::string name = equals ? std::string(arg, equals) : std::string(arg);
    if (name == "--help" || name == "-h" || name == "--version") {
        if (equals) {
            *error = name + " takes no value";
            return ParseError;
        }
        return name == "--version" ? ParseVersion : ParseHelp;
    }
    if (name != "--fx" && name != "--pitch" && name != "--volume" && name != "--carrier") {
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
        good = AddEffects(value, options->effects, error);
    } else if (name == "--pitch") {
        good = ParseSetting("--pitch", value, PitchLowest, PitchHighest, &options->pitch, error);
        options->pitchGiven = true;
    } else if (name == "--volume") {
        good = ParseSetting("--volume", value, VolumeLowest, VolumeHighest, &options->volume, error);
        options->volumeGiven = true;
    } else {
        if (*value == '\0') {
            *error = "--carrier needs a file name";
            return ParseError;
        }
        options->carrier = value;
    }
    return good ? ParseRun : ParseError;
}

// A setting for an effect that is off would change nothing: say so rather
// than render something the user did not ask for.
bool SettingsMatchEffects(const RenderOptions& options, std::string* error)
{
    if (options.pitchGiven && !options.effects[FxPitch])
        return Fail(error, "--pitch needs pitch in --fx");
    if (options.volumeGiven && !options.effects[FxVolume])
        return Fail(error, "--volume needs volume in --fx");
    if (options.carrier && !options.effects[FxAM])
        return Fail(error, "--carrier needs am in --fx");
    return true;
}

ParseOutcome ParseChainArguments(int argc, char** argv, RenderOptions* options, const char** operands,
                                 int maxOperands, const char* operandNames, int* operandCount,
                                 std::string* error)
{
    *options = RenderOptions{};
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

ParseOutcome ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error)
{
    const char* operands[2] = {};
    int operandCount = 0;
    ParseOutcome outcome = ParseChainArguments(argc, argv, options, operands, 2, "IN and OUT", &operandCount, error);
    if (outcome != ParseRun)
        return outcome;
    if (operandCount < 2) {
        *error = operandCount == 0 ? "missing IN and OUT (see --help)" : "missing OUT (see --help)";
        return ParseError;
    }
    options->input = operands[0];
    options->output = operands[1];
    return SettingsMatchEffects(*options, error) ? ParseRun : ParseError;
}
