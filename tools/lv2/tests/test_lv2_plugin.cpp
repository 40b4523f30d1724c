// The plugin in a small host of our own, for what lv2apply cannot reach: the
// carrier file parameter through the worker, the notification of its path,
// the state, the enabled port, the log, the latency at odd rates. Expected
// samples come from the static chain as the renderer runs it with the same
// carrier file.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <unistd.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <filesystem>
#include <cmath>
#include <cstdarg>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>
#include "carrier_corpus.h"
#include "carrier_read.h"
#include "effect_harness.h"

namespace {

namespace fs = std::filesystem;
constexpr int N = AudioBlockSamples;
constexpr const char* Carrier = "urn:voxotrope:lv2#carrier";

// One plugin instance with every port connected, a URID map, and a worker
// that runs the scheduled work between two runs, as a host's worker thread
// would, and hands the responses back before the next run.
struct Host {
    static std::vector<std::string> uris;
    void* library = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle plugin = nullptr;
    const LV2_Worker_Interface* worker = nullptr;
    const LV2_State_Interface* state = nullptr;
    std::vector<std::vector<uint8_t>> work, responses;
    float controls[15] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 8, 0, 1};
    bool running = false;
    std::vector<std::string> runLog;  // what the plugin logged from run(), other than traces
    alignas(8) uint8_t control[1024], notify[1024];
    LV2_Atom_Forge forge;

    static LV2_URID Map(LV2_URID_Map_Handle, const char* uri)
    {
        for (size_t i = 0; i < uris.size(); i++)
            if (uris[i] == uri)
                return static_cast<LV2_URID>(i + 1);
        uris.push_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    LV2_URID Urid(const char* uri) { return Map(nullptr, uri); }

    LV2_URID_Map map = {nullptr, Map};
    static int Printf(LV2_Log_Handle host, LV2_URID type, const char* format, ...)
    {
        Host* self = static_cast<Host*>(host);
        if (self->running && type != self->Urid(LV2_LOG__Trace))
            self->runLog.push_back(format);
        return 0;
    }
    static int Vprintf(LV2_Log_Handle host, LV2_URID type, const char* format, va_list)
    {
        return Printf(host, type, format);
    }
    LV2_Log_Log log = {this, Printf, Vprintf};
    LV2_Worker_Schedule schedule = {this, [](LV2_Worker_Schedule_Handle host, uint32_t size, const void* data) {
        auto bytes = static_cast<const uint8_t*>(data);
        static_cast<Host*>(host)->work.emplace_back(bytes, bytes + size);
        return LV2_WORKER_SUCCESS;
    }};

    explicit Host(double rate = 22050)
    {
        library = dlopen(VOXOTROPE_LV2_BINARY, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(library, nullptr) << dlerror();
        if (!library)
            return;
        auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
        descriptor = entry(0);
        LV2_Feature mapFeature = {LV2_URID__map, &map};
        LV2_Feature scheduleFeature = {LV2_WORKER__schedule, &schedule};
        LV2_Feature logFeature = {LV2_LOG__log, &log};
        const LV2_Feature* features[] = {&mapFeature, &scheduleFeature, &logFeature, nullptr};
        plugin = descriptor->instantiate(descriptor, rate, "", features);
        worker = static_cast<const LV2_Worker_Interface*>(descriptor->extension_data(LV2_WORKER__interface));
        state = static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
        for (uint32_t port = 4; port < 15; port++)
            descriptor->connect_port(plugin, port, &controls[port]);
        descriptor->connect_port(plugin, 2, control);
        descriptor->connect_port(plugin, 3, notify);
        lv2_atom_forge_init(&forge, &map);
        descriptor->activate(plugin);
        ClearControl();
    }
    ~Host()
    {
        if (plugin)
            descriptor->cleanup(plugin);
        if (library)
            dlclose(library);
    }

    void ClearControl()
    {
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(control);
        sequence->atom = {sizeof(LV2_Atom_Sequence_Body), Urid(LV2_ATOM__Sequence)};
        sequence->body = {0, 0};
    }
    // A patch:Set of the carrier; a string instead of a path is a host's mistake.
    void SetCarrier(const std::string& path, bool asPath = true)
    {
        lv2_atom_forge_set_buffer(&forge, control, sizeof control);
        LV2_Atom_Forge_Frame sequence, object;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, Urid(LV2_PATCH__Set));
        lv2_atom_forge_key(&forge, Urid(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, Urid(Carrier));
        lv2_atom_forge_key(&forge, Urid(LV2_PATCH__value));
        if (asPath)
            lv2_atom_forge_path(&forge, path.c_str(), static_cast<uint32_t>(path.size()));
        else
            lv2_atom_forge_string(&forge, path.c_str(), static_cast<uint32_t>(path.size()));
        lv2_atom_forge_pop(&forge, &object);
        lv2_atom_forge_pop(&forge, &sequence);
    }

    // One run over `frames` samples in place, then the worker's turn.
    void Run(float* audio, uint32_t frames)
    {
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(notify);
        sequence->atom.size = sizeof notify - sizeof(LV2_Atom);
        descriptor->connect_port(plugin, 0, audio);
        descriptor->connect_port(plugin, 1, audio);
        running = true;
        descriptor->run(plugin, frames);
        running = false;
        ClearControl();
        for (const auto& message : std::exchange(work, {}))
            worker->work(plugin, [](LV2_Worker_Respond_Handle host, uint32_t size, const void* data) {
                auto bytes = static_cast<const uint8_t*>(data);
                static_cast<Host*>(host)->responses.emplace_back(bytes, bytes + size);
                return LV2_WORKER_SUCCESS;
            }, this, static_cast<uint32_t>(message.size()), message.data());
        for (const auto& response : std::exchange(responses, {}))
            worker->work_response(plugin, static_cast<uint32_t>(response.size()), response.data());
    }

    // The carrier path the last run announced on its notify port, "-" if none.
    std::string Announced()
    {
        auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(notify);
        LV2_ATOM_SEQUENCE_FOREACH (sequence, event) {
            auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
            const LV2_Atom* property = nullptr;
            const LV2_Atom* value = nullptr;
            lv2_atom_object_get(object, Urid(LV2_PATCH__property), &property, Urid(LV2_PATCH__value), &value, 0);
            if (object->body.otype == Urid(LV2_PATCH__Set) && property && value &&
                reinterpret_cast<const LV2_Atom_URID*>(property)->body == Urid(Carrier))
                return static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
        }
        return "-";
    }

    // The whole input in runs of 1000 samples: the output, one block late.
    std::vector<int16_t> Play(const std::vector<int16_t>& input)
    {
        std::vector<int16_t> out;
        for (size_t at = 0; at < input.size(); at += 1000) {
            std::vector<float> audio(input.begin() + at, input.begin() + std::min(at + 1000, input.size()));
            for (float& v : audio)
                v /= 32768.0f;
            Run(audio.data(), static_cast<uint32_t>(audio.size()));
            for (float v : audio)
                out.push_back(static_cast<int16_t>(v * 32768.0f));
        }
        return out;
    }
};
std::vector<std::string> Host::uris;

struct PluginTest : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("voxotrope-lv2-" + std::to_string(getpid()));
    std::vector<int16_t> input;
    void SetUp() override
    {
        fs::create_directories(dir);
        for (const Samples& block : SpeechBlocks())
            input.insert(input.end(), block.begin(), block.end());
        for (const Samples& block : RandomBlocks(3, 4))
            input.insert(input.end(), block.begin(), block.end());
        input.resize(input.size() + N);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path WriteCarrier(const char* name, const std::vector<int16_t>& samples)
    {
        std::vector<uint8_t> bytes = CanonicalWave(samples);
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return dir / name;
    }

    // The renderer's way: the static chain, block by block, the carrier from
    // the file (or the square wave), from its first sample.
    std::vector<int16_t> Rendered(const fs::path& carrier)
    {
        ResetChainState();
        EffectFlags[FxVolume] = EffectFlags[FxAM] = 1;
        ParameterTable.value[SliderVolume] = 20;
        if (carrier.empty())
            EXPECT_TRUE(CreateDefaultCarrier());
        else
            EXPECT_EQ(ReadCarrierFile(carrier.c_str(), &CarrierWave.samples, &CarrierWave.length), CarrierAccepted);
        CarrierWave.readPosition = CarrierWave.samples;
        std::vector<int16_t> out(N);  // the block of delay
        RunStaticChain(input.data(), (input.size() - 1) / N, &out);
        ReleaseCarrier();
        ResetChainState();
        return out;
    }
};

void VolumeAndAM(Host& host)
{
    host.controls[5] = host.controls[7] = 1;
    host.controls[12] = 20;
}

TEST_F(PluginTest, CarrierFileSetBeforeTheFirstBlockModulatesItFromItsStart)
{
    fs::path carrier = WriteCarrier("odd.wav", {9000, -3000, 12000, 700, -20000, 31000, 5});
    Host host;
    ASSERT_NE(host.plugin, nullptr);
    VolumeAndAM(host);
    host.SetCarrier(carrier);  // the worker loads it after the first run
    std::vector<int16_t> out = host.Play(input);
    EXPECT_EQ(out, Rendered(carrier));
}

TEST_F(PluginTest, RefusedFileLeavesTheSquareWave)
{
    fs::path stereo = dir / "stereo.wav";
    std::vector<uint8_t> bytes = CanonicalWave({1, 2, 3, 4});
    Put16(bytes, 22, 2);
    std::ofstream(stereo, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    Host host;
    VolumeAndAM(host);
    host.SetCarrier(stereo);
    EXPECT_EQ(host.Play(input), Rendered({}));
}

// A refused file was not announced back, so the host showed a file that was
// not playing; and run() logged a refusal through stdio or the host's log.
TEST_F(PluginTest, RefusalAnnouncesTheCarrierInForceAndRunOnlyTraces)
{
    fs::path good = WriteCarrier("good.wav", {100, 200, 300, 400});
    Host host;
    float audio[1] = {};
    host.Run(audio, 1);
    EXPECT_EQ(host.Announced(), "-");
    host.SetCarrier(good);
    host.Run(audio, 1);
    host.Run(audio, 1);
    ASSERT_EQ(host.Announced(), good.string());
    for (bool asPath : {true, false}) {
        host.SetCarrier((dir / "missing.wav").string(), asPath);
        host.Run(audio, 1);  // a wrong type is answered at once, a file after the worker's turn
        std::string announced = host.Announced();
        host.Run(audio, 1);
        EXPECT_EQ(announced == "-" ? host.Announced() : announced, good.string())
            << (asPath ? "a missing file" : "not a path");
    }
    EXPECT_TRUE(host.runLog.empty()) << host.runLog.front();
}

// A second load frees the first carrier (the sanitizer build sees a leak or
// a double free); the state keeps the second, and a new instance restored
// from it plays as the renderer does with that file.
TEST_F(PluginTest, StateKeepsTheCarrierInForce)
{
    fs::path first = WriteCarrier("first.wav", {100, 200, 300, 400});
    fs::path second = WriteCarrier("second.wav", {-8000, 8000, 16000, -16000, 0});
    std::map<uint32_t, std::pair<std::string, uint32_t>> saved;
    auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
        (*static_cast<decltype(saved)*>(handle))[key] = {std::string(static_cast<const char*>(value), size), type};
        return LV2_STATE_SUCCESS;
    };
    {
        Host host;
        host.SetCarrier(first);
        float audio[1] = {};
        host.Run(audio, 1);
        host.Run(audio, 1);
        EXPECT_EQ(host.Announced(), first.string());
        host.SetCarrier(second);
        host.Run(audio, 1);
        host.Run(audio, 1);
        EXPECT_EQ(host.Announced(), second.string());
        ASSERT_EQ(host.state->save(host.plugin, store, &saved, 0, nullptr), LV2_STATE_SUCCESS);
    }
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.begin()->second.first, second.string() + '\0');

    auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
        auto& state = *static_cast<decltype(saved)*>(handle);
        auto found = state.find(key);
        if (found == state.end())
            return static_cast<const void*>(nullptr);
        *size = found->second.first.size();
        *type = found->second.second;
        *flags = LV2_STATE_IS_POD;
        return static_cast<const void*>(found->second.first.data());
    };
    Host restored;
    VolumeAndAM(restored);
    ASSERT_EQ(restored.state->restore(restored.plugin, retrieve, &saved, 0, nullptr), LV2_STATE_SUCCESS);
    EXPECT_EQ(restored.Play(input), Rendered(second));

    // A file that cannot be read now: the square wave plays and says so, the
    // path is saved again (it was dropped, and lost at the next save).
    fs::remove(second);
    Host moved;
    VolumeAndAM(moved);
    ASSERT_EQ(moved.state->restore(moved.plugin, retrieve, &saved, 0, nullptr), LV2_STATE_SUCCESS);
    float audio[1] = {};
    moved.Run(audio, 1);
    EXPECT_EQ(moved.Announced(), "");
    moved.descriptor->activate(moved.plugin);
    EXPECT_EQ(moved.Play(input), Rendered({}));
    decltype(saved) again;
    ASSERT_EQ(moved.state->save(moved.plugin, store, &again, 0, nullptr), LV2_STATE_SUCCESS);
    EXPECT_EQ(again, saved);

    decltype(saved) empty;
    Host reverted;
    VolumeAndAM(reverted);
    reverted.SetCarrier(first);
    reverted.Run(audio, 1);
    ASSERT_EQ(reverted.state->restore(reverted.plugin, retrieve, &empty, 0, nullptr), LV2_STATE_SUCCESS);
    reverted.descriptor->activate(reverted.plugin);
    EXPECT_EQ(reverted.Play(input), Rendered({})) << "a state without a carrier brings back the square wave";
}

// The plugin ran the chain at the host's rate and said 4000 frames
// whatever the rate. An impulse must come out exactly as many frames late
// as the latency port says; at 22050 Hz unchanged, 4000 late.
class PluginRates : public testing::TestWithParam<double> {};

TEST_P(PluginRates, LatencyPortIsTheDelay)
{
    Host host(GetParam());
    ASSERT_NE(host.plugin, nullptr);
    std::vector<float> audio(static_cast<size_t>(GetParam() / 2), 0.0f);
    constexpr size_t At = 1000;
    audio[At] = 0.5f;
    for (size_t done = 0; done < audio.size(); done += 300)
        host.Run(audio.data() + done, static_cast<uint32_t>(std::min<size_t>(300, audio.size() - done)));
    size_t peak = 0;
    for (size_t i = 0; i < audio.size(); i++)
        if (std::fabs(audio[i]) > std::fabs(audio[peak]))
            peak = i;
    EXPECT_EQ(peak - At, static_cast<size_t>(host.controls[13]));
    if (GetParam() == 22050) {
        EXPECT_EQ(audio[peak], 0.5f);
    }
}

INSTANTIATE_TEST_SUITE_P(Lv2, PluginRates, testing::Values(8000, 16000, 22050, 22051, 44100, 48000, 96000, 192000));

// A host that bypassed by no longer calling run() heard up to a block of
// old sound when it called it again. Through the enabled port: the voice
// goes from the chain's (2.5 times louder) to the input's and back without
// a step larger than the louder sine's own, and what the chain held before
// the bypass is gone after it.
TEST(PluginEnabled, SwitchesWithoutClickOrOldSound)
{
    constexpr double Rate = 48000;
    Host host(Rate);
    host.controls[5] = 1;
    host.controls[12] = 20;
    constexpr size_t Half = 24000;  // 220 periods of 440 Hz: ends where it began
    std::vector<float> audio(4 * Half, 0.0f);
    for (size_t i = 0; i < 2 * Half; i++)
        audio[i] = 0.2f * static_cast<float>(std::sin(2 * M_PI * 440 * static_cast<double>(i % Half) / Rate));
    const float enabled[] = {1, 0, 0, 1};  // per quarter: sine, sine, silence, silence
    for (size_t done = 0; done < audio.size(); done += 480) {
        host.controls[14] = enabled[done / Half];
        host.Run(audio.data() + done, 480);
    }
    float largest = 0;  // from after the chain's sound began, which rings a little as any band-limited start
    for (size_t i = Half / 2; i < audio.size(); i++)
        largest = std::max(largest, std::fabs(audio[i] - audio[i - 1]));
    EXPECT_LT(largest, 0.5 * 2 * M_PI * 440 / Rate * 1.05);
    for (size_t i = 3 * Half; i < audio.size(); i++)
        ASSERT_LT(std::fabs(audio[i]), 1e-4) << "at " << i;
}

}  // namespace
