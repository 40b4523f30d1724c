#include "render_options.h"

const char RenderUsage[] =
    "Usage: voxotrope-render [--fx LIST] [--pitch N] [--volume N] [--carrier FILE] IN OUT\n"
    "       voxotrope-render --voice NAME IN OUT\n"
    "Runs the sound file IN through Voxotrope's effect chain, block by block as\n"
    "the program does, and writes OUT as a WAV file, mono, 22050 Hz, 16 bit.\n"
    "\n" CHAIN_OPTIONS_HELP
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Without --fx or --voice the sound passes unchanged. Voices are the built-in\n"
    "ones and the user's files in ~/.config/voxotrope/voices/NAME.voice, which\n"
    "win over a built-in voice of the same name.\n"
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

ParseOutcome ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error)
{
    const char* operands[2] = {};
    int operandCount = 0;
    *options = RenderOptions{};
    ParseOutcome outcome =
        ParseChainArguments(argc, argv, &options->chain, operands, 2, "IN and OUT", &operandCount, error);
    if (outcome != ParseRun)
        return outcome;
    if (operandCount < 2) {
        *error = operandCount == 0 ? "missing IN and OUT (see --help)" : "missing OUT (see --help)";
        return ParseError;
    }
    options->input = operands[0];
    options->output = operands[1];
    return CheckChainOptions(options->chain, error) ? ParseRun : ParseError;
}
