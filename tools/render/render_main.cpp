// voxotrope-render: runs a sound file through the program's own effect
// chain, block by block, the way the block step runs each captured half.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "carrier.h"
#include "carrier_read.h"
#include "chain.h"
#include "render_input.h"
#include "render_options.h"
#include "render_output.h"
#include "voice_library.h"

// Blocks read, processed and written at a time: large reads and writes, and
// still little memory for an hour of sound.
constexpr long ChunkBlocks = 64;
constexpr long ChunkSamples = ChunkBlocks * AudioBlockSamples;

static int Refuse(const std::string& line)
{
    fprintf(stderr, "voxotrope-render: %s\n", line.c_str());
    return 2;
}

// The program's state when the panels of the chosen effects are open: flags,
// slider values, and the AM panel's carrier.
static bool SetUpChain(const ChainOptions& options, std::string* error)
{
    Voice voice = OptionsVoice(options);
    if (options.voice && !LoadVoice(options.voice, &voice, error))
        return false;
    ResetChainState();
    for (int fx = 0; fx < EffectCount; fx++)
        EffectFlags[fx] = voice.settings.effects[fx];
    ParameterTable.value[SliderPitch] = voice.settings.pitch;
    ParameterTable.value[SliderVolume] = voice.settings.volume;
    if (!EffectFlags[FxAM])
        return true;
    if (voice.carrier.empty()) {
        if (CreateDefaultCarrier())
            return true;
        *error = CarrierMessage(CarrierNoMemory);
        return false;
    }
    CarrierVerdict verdict = ReadCarrierFile(voice.carrier.c_str(), &CarrierWave.samples, &CarrierWave.length);
    CarrierWave.readPosition = CarrierWave.samples;
    if (verdict == CarrierAccepted)
        return true;
    *error = CarrierRefusal(voice, CarrierMessage(verdict));
    return false;
}

// Every whole block of the input through the chain into the output; the last
// block is padded with silence.
static bool Render(const char* inputPath, RenderInput* input, RenderOutput* output, std::string* error)
{
    std::vector<int16_t> captured(ChunkSamples), played(ChunkSamples);
    static AudioBlock work[2];
    WorkBuffers[0] = work[0];
    WorkBuffers[1] = work[1];
    for (;;) {
        long got = ReadInput(input, captured.data(), ChunkSamples, error);
        if (got < 0) {
            *error = std::string("cannot read ") + inputPath + ": " + *error;
            return false;
        }
        long blocks = (got + AudioBlockSamples - 1) / AudioBlockSamples;
        std::fill(captured.begin() + got, captured.begin() + blocks * AudioBlockSamples, 0);
        for (long b = 0; b < blocks; b++) {
            BlockCursor = captured.data() + b * AudioBlockSamples;
            RunEffectChain();
            memcpy(played.data() + b * AudioBlockSamples, BlockCursor, AudioBlockBytes);
        }
        if (blocks && !WriteOutput(output, played.data(), blocks * AudioBlockSamples, error)) {
            *error = "cannot write " + output->path + ": " + *error;
            return false;
        }
        if (got < ChunkSamples)
            return true;
    }
}

int main(int argc, char** argv)
{
    RenderOptions options;
    std::string error;
    switch (ParseRenderOptions(argc, argv, &options, &error)) {
    case ParseHelp:
        fputs(RenderUsage, stdout);
        return 0;
    case ParseVersion:
        printf("voxotrope-render %s\n", VOXOTROPE_VERSION);
        return 0;
    case ParseListVoices:
        fputs(VoiceListing().c_str(), stdout);
        return 0;
    case ParseError:
        return Refuse(error);
    case ParseRun:
        break;
    }
    if (!SetUpChain(options.chain, &error))
        return Refuse(error);

    RenderInput input;
    if (!OpenInput(options.input, &input, &error))
        return Refuse(std::string("cannot read ") + options.input + ": " + error);
    RenderOutput output;
    if (!CreateOutput(options.output, &output, &error)) {
        CloseInput(&input);
        return Refuse(std::string("cannot write ") + options.output + ": " + error);
    }
    bool done = Render(options.input, &input, &output, &error);
    if (done && !CommitOutput(&output, &error)) {
        error = std::string("cannot write ") + options.output + ": " + error;
        done = false;
    }
    if (!done)
        AbandonOutput(&output);
    CloseInput(&input);
    ReleaseCarrier();
    return done ? 0 : Refuse(error);
}
