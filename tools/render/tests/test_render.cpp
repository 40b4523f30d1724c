// voxotrope-render as users run it: files in, a WAV file out, exit status
// and the one line on stderr. Expected samples come from the reference model
// of the effects or from hand-computed values.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include "carrier_corpus.h"
#include "effect_harness.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int N = AudioBlockSamples;

struct Outcome {
    int status;          // exit status, or -signal
    std::string error;   // what went to stderr
    std::string output;  // what went to stdout
};

std::string Slurp(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct Sound {
    SF_INFO info{};
    std::vector<int16_t> samples;
};

// Writes frames (interleaved) in the given format, 16-bit full scale as 1.0.
void WriteSound(const fs::path& path, const std::vector<int16_t>& frames, int channels, int rate,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_count_t count = static_cast<sf_count_t>(frames.size() / channels);
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
        // Short samples would be stored unscaled in a float file.
        std::vector<float> scaled(frames.begin(), frames.end());
        for (float& v : scaled)
            v /= 32768.0f;
        sf_writef_float(file, scaled.data(), count);
    } else {
        sf_writef_short(file, frames.data(), count);
    }
    sf_close(file);
}

Sound ReadSound(const fs::path& path)
{
    Sound sound;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (!file)
        return sound;
    sound.samples.resize(static_cast<size_t>(sound.info.frames * sound.info.channels));
    sf_read_short(file, sound.samples.data(), static_cast<sf_count_t>(sound.samples.size()));
    sf_close(file);
    return sound;
}

std::vector<int16_t> Concatenate(const std::vector<Samples>& blocks, size_t count)
{
    std::vector<int16_t> all;
    for (const Samples& block : blocks)
        all.insert(all.end(), block.begin(), block.end());
    all.resize(count);
    return all;
}

// Each test gets a folder of its own, removed afterwards.
struct RenderTest : ::testing::Test {
    fs::path folder;
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "render-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        // The renderer finds the test's voices, never the user's.
        // (Named as the captured streams, which Listing leaves out.)
        setenv("XDG_CONFIG_HOME", (folder / "..config").c_str(), 1);
        fs::create_directories(folder / "..config/voxotrope/voices");
        std::ofstream(folder / "..config/voxotrope/voices/broken.voice") << "fx am\nloud yes\n";
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path At(const std::string& name) const { return folder / name; }

    pid_t Spawn(const std::vector<std::string>& args)
    {
        std::vector<char*> argv{const_cast<char*>(VOXOTROPE_RENDER)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (folder / "..stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (folder / "..stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t child = -1;
        if (posix_spawn(&child, VOXOTROPE_RENDER, &actions, nullptr, argv.data(), environ) != 0)
            ADD_FAILURE() << "cannot start " << VOXOTROPE_RENDER;
        posix_spawn_file_actions_destroy(&actions);
        return child;
    }

    Outcome Wait(pid_t child)
    {
        int status = 0;
        if (child <= 0 || waitpid(child, &status, 0) != child)
            return Outcome{-1, "", ""};
        Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status),
                        Slurp(folder / "..stderr"), Slurp(folder / "..stdout")};
        fs::remove(folder / "..stdout");
        fs::remove(folder / "..stderr");
        return outcome;
    }

    Outcome Render(const std::vector<std::string>& args) { return Wait(Spawn(args)); }

    // Names in the folder, apart from the captured output streams.
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().rfind("..", 0) != 0)
                names.insert(entry.path().filename().string());
        return names;
    }
};

// The default carrier, from its description: 500 samples, -4000 unless bit 4
// of the index is set.
Samples DefaultCarrier()
{
    Samples carrier(500);
    for (size_t n = 0; n < carrier.size(); n++)
        carrier[n] = static_cast<int16_t>((n & 16) ? 4000 : -4000);
    return carrier;
}

struct Chain {
    const char* name;
    const char* fx;  // as given on the command line
    int pitch;
    int volume;
    std::vector<int> on;  // EffectId, in chain order
};

// The model chain over whole blocks, the AM position carried from block to
// block.
std::vector<int16_t> ModelChain(const Chain& chain, const std::vector<int16_t>& input)
{
    Samples carrier = DefaultCarrier();
    size_t next = 0;
    std::vector<int16_t> out;
    for (size_t start = 0; start < input.size(); start += N) {
        Samples block(N, 0);
        std::copy(input.begin() + static_cast<long>(start),
                  input.begin() + static_cast<long>(std::min(input.size(), start + N)), block.begin());
        for (int fx : chain.on) {
            switch (fx) {
            case FxPitch: block = model::Pitch(block, chain.pitch); break;
            case FxVolume: block = model::Volume(block, chain.volume); break;
            case FxTriangle: block = model::Triangle(block); break;
            case FxAM: block = model::AM(block, carrier, &next); break;
            case FxReverse: block = model::Reverse(block); break;
            case FxCrazy: block = model::Crazy(block); break;
            case FxDeeper: block = model::Deeper(block); break;
            }
        }
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

struct RenderChain : RenderTest, ::testing::WithParamInterface<Chain> {};

// Across more than one read chunk of 64 blocks, so that what carries over
// between chunks is covered too; the last block is a partial one.
TEST_P(RenderChain, MatchesTheModelBlockByBlock)
{
    const Chain& chain = GetParam();
    std::vector<Samples> blocks = RandomBlocks(77, 40);
    for (const Samples& block : SpeechBlocks())
        blocks.push_back(block);
    while (blocks.size() < 66)
        blocks.push_back(blocks[blocks.size() % 40]);
    std::vector<int16_t> input = Concatenate(blocks, 65 * N + 1234);
    WriteSound(At("in.wav"), input, 1, 22050);

    std::vector<std::string> args{At("in.wav"), At("out.wav")};
    if (*chain.fx)
        args.insert(args.begin(), {"--fx", chain.fx});
    if (chain.pitch != 2)
        args.insert(args.begin(), "--pitch=" + std::to_string(chain.pitch));
    if (chain.volume != 8)
        args.insert(args.begin(), {"--volume", std::to_string(chain.volume)});
    Outcome outcome = Render(args);
    ASSERT_EQ(outcome.status, 0) << outcome.error;
    EXPECT_EQ(outcome.error, "");

    Sound out = ReadSound(At("out.wav"));
    EXPECT_EQ(out.info.channels, 1);
    EXPECT_EQ(out.info.samplerate, 22050);
    EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<int16_t> expected = ModelChain(chain, input);
    ASSERT_EQ(out.samples.size(), 66u * N) << "every whole block is kept";
    for (size_t k = 0; k < expected.size(); k++)
        ASSERT_EQ(out.samples[k], expected[k]) << "sample " << k << ", block " << k / N;
}

INSTANTIATE_TEST_SUITE_P(Chains, RenderChain, ::testing::Values(
    Chain{"None", "", 2, 8, {}},
    Chain{"AllSeven", "deeper,crazy,reverse,am,triangle,volume,pitch", 2, 20,
          {FxPitch, FxVolume, FxTriangle, FxAM, FxReverse, FxCrazy, FxDeeper}},
    Chain{"PitchThreeLoudAM", "AM,Volume,Pitch", 3, 52, {FxPitch, FxVolume, FxAM}},
    Chain{"ReverseThenDeeper", "deeper,reverse", 2, 8, {FxReverse, FxDeeper}},
    Chain{"TriangleCrazy", "crazy,triangle,crazy", 2, 8, {FxTriangle, FxCrazy}}),
    [](const auto& info) { return std::string(info.param.name); });

// The settings reach the effects as the values they read: hand-computed
// samples of Volume at gain 45 and of Pitch at factor 3.
TEST_F(RenderTest, SettingsAreTheValuesTheEffectsRead)
{
    WriteSound(At("loud.wav"), {5825, 5826, -5825, -5826, 1000, -1001, -32768, 32767}, 1, 22050);
    ASSERT_EQ(Render({"--fx", "volume", "--volume", "45", At("loud.wav"), At("loud-out.wav")}).status, 0);
    std::vector<int16_t> loud = ReadSound(At("loud-out.wav")).samples;
    ASSERT_EQ(loud.size(), size_t{N});
    EXPECT_EQ(Head(loud, 8), (Samples{32765, 32767, -32766, -32768, 5625, -5631, -32768, 32767}));

    WriteSound(At("pitch.wav"), {0, 0, 100, 200, 300, 200, -100, -200, -100, 50, 80}, 1, 22050);
    ASSERT_EQ(Render({"--fx=pitch", "--pitch", "3", At("pitch.wav"), At("pitch-out.wav")}).status, 0);
    std::vector<int16_t> pitched = ReadSound(At("pitch-out.wav")).samples;
    EXPECT_EQ(Head(pitched, 11), (Samples{0, 0, 100, 200, -100, 100, 200, -100, 100, 200, -100}));
}

struct Format {
    const char* name;
    const char* file;
    int format;
};

struct RenderExactFormat : RenderTest, ::testing::WithParamInterface<Format> {};

// Mono 22050 Hz sound that holds 16-bit values comes through unchanged,
// whatever the container or sample width, extremes included.
TEST_P(RenderExactFormat, SixteenBitValuesComeBackUnchanged)
{
    std::vector<int16_t> input = Concatenate(RandomBlocks(5, 3), 2 * N + 17);
    input[0] = -32768;
    input[1] = 32767;
    WriteSound(At(GetParam().file), input, 1, 22050, GetParam().format);
    Outcome outcome = Render({At(GetParam().file), At("out.wav")});
    ASSERT_EQ(outcome.status, 0) << outcome.error;
    std::vector<int16_t> out = ReadSound(At("out.wav")).samples;
    ASSERT_EQ(out.size(), 3u * N);
    EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(input.size()), out.end(), [](int16_t s) { return s == 0; }))
        << "the padded tail is silence";
}

INSTANTIATE_TEST_SUITE_P(Formats, RenderExactFormat, ::testing::Values(
    Format{"Wav16", "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    Format{"Aiff16BigEndian", "in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    Format{"Flac16", "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    Format{"Wav24", "in24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
    Format{"WavFloat", "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<int16_t> Sine(int frames, int rate, double hertz, double amplitude, int channels, bool opposite)
{
    std::vector<int16_t> out;
    for (int f = 0; f < frames; f++) {
        double v = amplitude * std::sin(2 * M_PI * hertz * f / rate);
        for (int c = 0; c < channels; c++)
            out.push_back(static_cast<int16_t>(std::lround(opposite && c == 1 ? -v : v)));
    }
    return out;
}

// 44100 Hz stereo: 48000 frames become 24000 mono samples, six whole blocks,
// with the tone intact to the end (nothing held back in the resampler).
TEST_F(RenderTest, StereoAt44100IsMixedDownAndHalved)
{
    WriteSound(At("stereo.wav"), Sine(48000, 44100, 441, 16000, 2, false), 2, 44100);
    Outcome outcome = Render({At("stereo.wav"), At("out.wav")});
    ASSERT_EQ(outcome.status, 0) << outcome.error;
    Sound out = ReadSound(At("out.wav"));
    EXPECT_EQ(out.info.channels, 1);
    EXPECT_EQ(out.info.samplerate, 22050);
    ASSERT_EQ(out.samples.size(), 24000u);
    // 441 Hz at 22050 Hz: a period of 50 samples, peaks near 16000.
    auto peak = [&](size_t from, size_t to) {
        int top = 0;
        for (size_t k = from; k < to; k++)
            top = std::max(top, std::abs(int{out.samples[k]}));
        return top;
    };
    EXPECT_NEAR(peak(1000, 2000), 16000, 200);
    EXPECT_NEAR(peak(23900, 23990), 16000, 400) << "the resampler gave up what it held back";
    int crossings = 0;
    for (size_t k = 1001; k < 21001; k++)
        crossings += (out.samples[k - 1] < 0) != (out.samples[k] < 0);
    EXPECT_NEAR(crossings, 800, 2) << "20000 samples of a 50-sample period";
}

// The channels are averaged, not one of them taken: opposite channels cancel.
TEST_F(RenderTest, OppositeChannelsCancel)
{
    WriteSound(At("opposite.wav"), Sine(8000, 44100, 441, 16000, 2, true), 2, 44100);
    ASSERT_EQ(Render({At("opposite.wav"), At("out.wav")}).status, 0);
    std::vector<int16_t> out = ReadSound(At("out.wav")).samples;
    ASSERT_EQ(out.size(), size_t{N});
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return std::abs(s) <= 1; }));
}

TEST_F(RenderTest, EmptyInputGivesAnEmptyFile)
{
    WriteSound(At("empty.wav"), {}, 1, 22050);
    ASSERT_EQ(Render({"--fx", "reverse", At("empty.wav"), At("out.wav")}).status, 0);
    Sound out = ReadSound(At("out.wav"));
    EXPECT_EQ(out.info.samplerate, 22050);
    EXPECT_EQ(out.info.frames, 0);
}

TEST_F(RenderTest, HelpAndVersionGoToStandardOutput)
{
    Outcome help = Render({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("Usage: voxotrope-render", 0), 0u);
    EXPECT_NE(help.output.find("3999 samples"), std::string::npos) << "the padded tail is explained";
    EXPECT_EQ(help.error, "");
    Outcome version = Render({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("voxotrope-render ", 0), 0u);
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;  // "IN" and "OUT" stand for the files
    const char* says;               // part of the one line on stderr
};

struct RenderRefusal : RenderTest, ::testing::WithParamInterface<Refusal> {
    std::vector<std::string> Arguments()
    {
        std::vector<std::string> args;
        for (const std::string& arg : GetParam().args)
            args.push_back(arg == "IN" ? At("in.wav").string() : arg == "OUT" ? At("out.wav").string()
                           : arg.rfind("@", 0) == 0 ? (folder / arg.substr(1)).string() : arg);
        return args;
    }
    void CheckOneLine(const Outcome& outcome)
    {
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.error.find(GetParam().says), std::string::npos) << outcome.error;
        EXPECT_EQ(outcome.error.rfind("voxotrope-render: ", 0), 0u) << outcome.error;
        ASSERT_FALSE(outcome.error.empty());
        EXPECT_EQ(outcome.error.find('\n'), outcome.error.size() - 1) << "one line: " << outcome.error;
    }
};

// Exit status 2, one line, and no file: neither the output nor a temporary
// one; an existing output stays as it was.
TEST_P(RenderRefusal, OneLineNoFile)
{
    WriteSound(At("in.wav"), Concatenate(RandomBlocks(3, 1), 1000), 1, 22050);
    std::ofstream(At("text.wav")) << "this is no sound file\n";
    fs::create_directory(At("folder"));
    std::set<std::string> before = Listing();

    CheckOneLine(Render(Arguments()));
    EXPECT_EQ(Listing(), before);

    std::ofstream(At("out.wav")) << "kept";
    CheckOneLine(Render(Arguments()));
    EXPECT_EQ(Slurp(At("out.wav")), "kept");
}

INSTANTIATE_TEST_SUITE_P(Refusals, RenderRefusal, ::testing::Values(
    Refusal{"UnknownOption", {"--loud", "IN", "OUT"}, "unknown option '--loud'"},
    Refusal{"ShortOption", {"-x", "IN", "OUT"}, "unknown option '-x'"},
    Refusal{"UnknownEffect", {"--fx", "pitch,echo", "IN", "OUT"}, "unknown effect 'echo'"},
    Refusal{"EmptyEffect", {"--fx", "pitch,", "IN", "OUT"}, "empty effect name"},
    Refusal{"ValueMissing", {"IN", "OUT", "--fx"}, "--fx needs a value"},
    Refusal{"PitchZero", {"--fx", "pitch", "--pitch", "0", "IN", "OUT"}, "from 1 to 3"},
    Refusal{"PitchFour", {"--fx", "pitch", "--pitch", "4", "IN", "OUT"}, "from 1 to 3"},
    Refusal{"PitchNotNumber", {"--fx", "pitch", "--pitch", "2x", "IN", "OUT"}, "from 1 to 3"},
    Refusal{"VolumeSeven", {"--fx", "volume", "--volume", "7", "IN", "OUT"}, "from 8 to 52"},
    Refusal{"VolumeFiftyThree", {"--fx", "volume", "--volume=53", "IN", "OUT"}, "from 8 to 52"},
    Refusal{"VolumeNegative", {"--fx", "volume", "--volume", "-9", "IN", "OUT"}, "from 8 to 52"},
    Refusal{"PitchWithoutEffect", {"--pitch", "3", "IN", "OUT"}, "--pitch needs pitch in --fx"},
    Refusal{"VolumeWithoutEffect", {"--fx", "pitch", "--volume", "20", "IN", "OUT"}, "--volume needs volume"},
    Refusal{"CarrierWithoutAM", {"--carrier", "IN", "IN", "OUT"}, "--carrier needs am in --fx"},
    Refusal{"VoiceAndEffects", {"--voice", "robot", "--fx", "am", "IN", "OUT"}, "--voice takes the place of --fx"},
    Refusal{"VoiceUnknown", {"--voice", "nobody", "IN", "OUT"}, "no voice 'nobody'"},
    Refusal{"VoiceMalformed", {"--voice", "broken", "IN", "OUT"}, "voices/broken.voice:2: unknown setting 'loud'"},
    Refusal{"OutMissing", {"IN"}, "missing OUT"},
    Refusal{"ThirdOperand", {"IN", "OUT", "@more.wav"}, "unexpected argument"},
    Refusal{"InputMissing", {"@absent.wav", "OUT"}, "cannot read"},
    Refusal{"InputNotSound", {"@text.wav", "OUT"}, "cannot read"},
    Refusal{"InputFolder", {"@folder", "OUT"}, "cannot read"},
    Refusal{"OutputInMissingFolder", {"IN", "@absent/out.wav"}, "cannot write"},
    Refusal{"OutputIsFolder", {"IN", "@folder"}, "cannot write"},
    Refusal{"CarrierMissing", {"--fx", "am", "--carrier", "@absent.wav", "IN", "OUT"}, "Cannot open file !"},
    Refusal{"CarrierNotWave", {"--fx", "am", "--carrier", "@text.wav", "IN", "OUT"}, "Not a wave file !"},
    Refusal{"CarrierFolder", {"--fx", "am", "--carrier", "@folder", "IN", "OUT"}, "Cannot read file !"}),
    [](const auto& info) { return std::string(info.param.name); });

// Killed half-way, the renderer removes its temporary file. The input is a
// pipe that delivers a header and a few samples and then waits, so the run is
// caught while it writes.
TEST_F(RenderTest, InterruptedRunLeavesNoFile)
{
    ASSERT_EQ(mkfifo(At("pipe.wav").c_str(), 0600), 0);
    pid_t child = Spawn({At("pipe.wav"), At("out.wav")});
    // Read and write: the open does not wait for the renderer to open its end.
    int pipe = open(At("pipe.wav").c_str(), O_RDWR);
    ASSERT_GE(pipe, 0);
    std::vector<uint8_t> start = CanonicalWave(std::vector<int16_t>(3 * N, 1000));
    ASSERT_EQ(write(pipe, start.data(), start.size()), static_cast<ssize_t>(start.size()));

    bool writing = false;
    for (int wait = 0; wait < 1000 && !writing; wait++) {
        for (const std::string& name : Listing())
            writing |= name.rfind(".voxotrope-render.", 0) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(writing);
    kill(child, SIGTERM);
    Outcome outcome = Wait(child);
    close(pipe);
    EXPECT_EQ(outcome.status, -SIGTERM);
    EXPECT_EQ(Listing(), std::set<std::string>{"pipe.wav"});
}

struct RenderCarrier : RenderTest, ::testing::WithParamInterface<CarrierFileCase> {};

// The same files as the program's loader: accepted or refused with its words.
TEST_P(RenderCarrier, AcceptedOrRefusedAsTheLoaderDoes)
{
    const CarrierFileCase& file = GetParam();
    std::ofstream(At("carrier.wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<long>(file.bytes.size()));
    WriteSound(At("in.wav"), std::vector<int16_t>(100, 1000), 1, 22050);
    Outcome outcome = Render({"--fx", "am", "--carrier", At("carrier.wav"), At("in.wav"), At("out.wav")});
    if (file.message) {
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.error, "voxotrope-render: " + At("carrier.wav").string() + ": " + file.message + "\n");
        EXPECT_FALSE(fs::exists(At("out.wav")));
    } else {
        EXPECT_EQ(outcome.status, 0) << outcome.error;
        EXPECT_EQ(ReadSound(At("out.wav")).samples.size(), size_t{N});
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RenderCarrier, ::testing::ValuesIn(CarrierFileCorpus()),
                         [](const auto& info) { return info.param.name; });

// A carrier of four samples is used as its first three, looping on its own
// across the block boundary: with in = 1024, out = (1024 >> 5) * m >> 10.
TEST_F(RenderTest, CarrierFileLoopsAcrossBlocks)
{
    std::vector<uint8_t> carrier = CanonicalWave({1024, 2048, 3072, 4096});
    std::ofstream(At("carrier.wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(carrier.data()), static_cast<long>(carrier.size()));
    WriteSound(At("in.wav"), std::vector<int16_t>(2 * N, 1024), 1, 22050);
    Outcome outcome = Render({"--carrier", At("carrier.wav"), "--fx", "am", At("in.wav"), At("out.wav")});
    ASSERT_EQ(outcome.status, 0) << outcome.error;
    std::vector<int16_t> out = ReadSound(At("out.wav")).samples;
    ASSERT_EQ(out.size(), 2u * N);
    for (size_t k = 0; k < out.size(); k++)
        ASSERT_EQ(out[k], 32 * static_cast<int>(k % 3 + 1)) << k;
}

// A voice renders as its settings given as options; the user's file of a
// factory voice's name is the one used, and its carrier is found beside it.
TEST_F(RenderTest, VoiceIsItsSettings)
{
    WriteSound(At("in.wav"), Concatenate(RandomBlocks(5, 3), 3 * N), 1, 22050);
    std::vector<uint8_t> carrier = CanonicalWave(std::vector<int16_t>(300, 9000));
    std::ofstream(At("..config/voxotrope/voices/buzz.wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(carrier.data()), static_cast<long>(carrier.size()));
    std::ofstream(At("..config/voxotrope/voices/robot.voice")) << "# mine\nfx volume,am\nvolume 20\ncarrier buzz.wav\n";
    ASSERT_EQ(Render({"--voice", "robot", At("in.wav"), At("voice.wav")}).status, 0);
    ASSERT_EQ(Render({"--fx", "am,volume", "--volume", "20", "--carrier", At("..config/voxotrope/voices/buzz.wav"),
                      At("in.wav"), At("options.wav")})
                  .status,
              0);
    EXPECT_EQ(ReadSound(At("voice.wav")).samples, ReadSound(At("options.wav")).samples);

    fs::remove(At("..config/voxotrope/voices/buzz.wav"));
    Outcome refused = Render({"--voice", "robot", At("in.wav"), At("voice.wav")});
    EXPECT_EQ(refused.error, "voxotrope-render: " + At("..config/voxotrope/voices/robot.voice").string() + ":4: carrier " +
                                 At("..config/voxotrope/voices/buzz.wav").string() + ": Cannot open file !\n");
}

}  // namespace
