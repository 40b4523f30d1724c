#include "live_audio.h"
#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/param/latency-utils.h>
#include <spa/utils/json.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include "live_chain.h"
#include "live_monitor.h"

constexpr int ScratchSamples = 8192;
constexpr const char* SourceName = "voxotrope_live";
// The chain's block in time, what the source adds to the microphone's
// latency at any rate of the graph.
constexpr uint64_t BlockNs = (AudioBlockSamples * SPA_NSEC_PER_SEC + LiveRate / 2) / LiveRate;

struct LiveAudio {
    pw_main_loop* loop;
    pw_context* context;
    pw_core* core;
    pw_registry* registry;
    pw_metadata* defaults;
    pw_stream* capture;
    pw_stream* source;
    spa_latency_info upstream;  // the microphone's, as last handed to the capture
    LiveMonitor* monitor;       // null: no monitor stream could be made
    spa_hook coreListener, registryListener, defaultsListener, captureListener, sourceListener;
    int checkSequence;
    int checksLeft;
    std::string chosen;                     // --source, empty for the default
    std::string defaultSource;              // the default source's node name
    std::map<uint32_t, std::string> sources;  // other programs' and devices' sources by id
    LiveEnd end;
    char failure[256];

    // Data thread only, but for the counter.
    LiveMailbox* mailbox;
    uint32_t seenSettings;
    LiveSettings settings;
    ChainStream stream;
    int16_t scratch[ScratchSamples];  // what finds no room in the source's buffer
    int16_t silence[ScratchSamples];  // input when the capture buffer has no data
    std::atomic<uint64_t> shortfall;
    std::atomic<bool> restart;  // the capture was paused: what the chain holds is stale
};

const spa_pod* LiveFormat(spa_pod_builder* builder, int rate)
{
    spa_audio_info_raw info;
    spa_zero(info);
    info.format = SPA_AUDIO_FORMAT_S16;
    info.rate = rate;
    info.channels = 1;
    info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    return spa_format_audio_raw_build(builder, SPA_PARAM_EnumFormat, &info);
}

static void Finish(LiveAudio* audio, LiveEnd end)
{
    if (audio->end == LiveRunning)
        audio->end = end;
    pw_main_loop_quit(audio->loop);
}

// The capture's turn in a cycle only starts the source's, as PipeWire's
// loopback does; the source's turn takes both buffers.
static void CaptureProcess(void* data)
{
    pw_stream_trigger_process(static_cast<LiveAudio*>(data)->source);
}

// The data thread's cycle: the captured samples through the chain straight
// into the source's buffer, as many as came in. Without a buffer to fill
// they go through all the same, so that the block grid and the delay never
// change while the capture runs.
static void SourceProcess(void* data)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    pw_buffer* in = pw_stream_dequeue_buffer(audio->capture);
    if (!in)
        return;
    // The first sound the capture hands over after a pause was taken before
    // it (seen at every restart): the chain starts afresh, on silence.
    bool stale = audio->restart.exchange(false, std::memory_order_acquire);
    if (stale)
        RestartChainStream(&audio->stream);
    if (TakeSettings(audio->mailbox, &audio->seenSettings, &audio->settings))
        ApplySettings(audio->settings, &audio->stream.chain);
    TakeCarrier(audio->mailbox, &audio->stream);
    spa_data* source = &in->buffer->datas[0];
    uint32_t offset = SPA_MIN(source->chunk->offset, source->maxsize);
    uint32_t count = SPA_MIN(source->chunk->size, source->maxsize - offset) / sizeof(int16_t);
    const int16_t* samples = source->data && !stale ? SPA_PTROFF(source->data, offset, const int16_t) : nullptr;

    pw_buffer* out = pw_stream_dequeue_buffer(audio->source);
    spa_data* target = out ? &out->buffer->datas[0] : nullptr;
    int16_t* played = target && target->data ? static_cast<int16_t*>(target->data) : nullptr;
    uint32_t room = played ? target->maxsize / sizeof(int16_t) : 0;
    for (uint32_t done = 0; done < count;) {
        uint32_t step = SPA_MIN(count - done, (uint32_t)ScratchSamples);
        const int16_t* from = samples ? samples + done : audio->silence;
        if (done + step <= room) {
            StreamProcess(&audio->stream, from, played + done, (int)step);
            HearLiveMonitor(audio->monitor, played + done, step);
        } else {
            StreamProcess(&audio->stream, from, audio->scratch, (int)step);
            HearLiveMonitor(audio->monitor, audio->scratch, step);
            if (played)
                audio->shortfall.fetch_add(step, std::memory_order_relaxed);
        }
        done += step;
    }
    pw_stream_queue_buffer(audio->capture, in);
    if (out) {
        if (played) {
            target->chunk->offset = 0;
            target->chunk->size = SPA_MIN(count, room) * sizeof(int16_t);
            target->chunk->stride = sizeof(int16_t);
        }
        pw_stream_queue_buffer(audio->source, out);
    }
    PlayLiveMonitor(audio->monitor);
}

// A latency PipeWire handed one stream goes on to the other in the same
// direction, one block later: the microphone's (output direction) to the
// source, the recorders' (input direction) to the capture.
static void PassLatency(pw_stream* to, const spa_latency_info& from)
{
    if (!to)
        return;
    spa_latency_info latency = from;
    latency.min_ns += BlockNs;
    latency.max_ns += BlockNs;
    uint8_t buffer[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    const spa_pod* params[1] = {spa_latency_build(&builder, SPA_PARAM_Latency, &latency)};
    pw_stream_update_params(to, params, 1);
}

static void CaptureParamChanged(void* data, uint32_t id, const spa_pod* param)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    spa_latency_info latency;
    if (id == SPA_PARAM_Latency && param && spa_latency_parse(param, &latency) >= 0 &&
        latency.direction == SPA_DIRECTION_OUTPUT) {
        audio->upstream = latency;
        PassLatency(audio->source, latency);
    }
}

// The server's latency on a port replaces every latency the stream gave
// that port, so the source's own goes out again.
static void SourceParamChanged(void* data, uint32_t id, const spa_pod* param)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    spa_latency_info latency;
    if (id == SPA_PARAM_Latency && param && spa_latency_parse(param, &latency) >= 0 &&
        latency.direction == SPA_DIRECTION_INPUT) {
        PassLatency(audio->capture, latency);
        PassLatency(audio->source, audio->upstream);
    }
}

static void StreamFailed(LiveAudio* audio, const char* stream, pw_stream_state state, const char* error)
{
    if (state == PW_STREAM_STATE_ERROR) {
        snprintf(audio->failure, sizeof audio->failure, "%s: %s", stream, error ? error : "no reason given");
        Finish(audio, LiveStreamFailed);
    } else if (state == PW_STREAM_STATE_UNCONNECTED) {
        Finish(audio, LiveServerGone);
    }
}

// Paused: nobody records the source any more, and the microphone stops.
// When someone does again, the chain starts afresh, as the program's first
// block, rather than play what it held from before. Only the source is
// flushed: flushing a capture stream hands its used buffers back as new.
static void CaptureStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (state == PW_STREAM_STATE_PAUSED && audio->source && audio->capture) {  // not while closing
        pw_stream_flush(audio->source, false);
        audio->restart.store(true, std::memory_order_release);
    }
    StreamFailed(audio, "the capture", state, error);
}

static void SourceStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
{
    StreamFailed(static_cast<LiveAudio*>(data), "the source", state, error);
}

static const pw_stream_events CaptureEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .state_changed = CaptureStateChanged,
    .param_changed = CaptureParamChanged,
    .process = CaptureProcess,
};

static const pw_stream_events SourceEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .state_changed = SourceStateChanged,
    .param_changed = SourceParamChanged,
    .process = SourceProcess,
};

// The value is JSON: {"name":"alsa_input..."}.
static int DefaultChanged(void* data, uint32_t subject, const char* key, const char*, const char* value)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (subject != PW_ID_CORE || !key || strcmp(key, "default.audio.source") != 0)
        return 0;
    audio->defaultSource.clear();
    spa_json json, object;
    char field[64], name[256];
    spa_json_init(&json, value ? value : "", value ? strlen(value) : 0);
    if (spa_json_enter_object(&json, &object) <= 0)
        return 0;
    while (spa_json_get_string(&object, field, sizeof field) > 0) {
        if (strcmp(field, "name") == 0 && spa_json_get_string(&object, name, sizeof name) > 0)
            audio->defaultSource = name;
        else if (spa_json_next(&object, &value) <= 0)
            break;
    }
    return 0;
}

static const pw_metadata_events DefaultsEvents = {
    .version = PW_VERSION_METADATA_EVENTS,
    .property = DefaultChanged,
};

// The sources it may record (not its own), and the store of defaults.
static void GlobalAdded(void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict* props)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
        const char* kind = props ? spa_dict_lookup(props, PW_KEY_MEDIA_CLASS) : nullptr;
        const char* node = props ? spa_dict_lookup(props, PW_KEY_NODE_NAME) : nullptr;
        if (kind && node && strncmp(kind, "Audio/Source", 12) == 0 && strcmp(node, SourceName) != 0)
            audio->sources[id] = node;
        return;
    }
    const char* name = props ? spa_dict_lookup(props, PW_KEY_METADATA_NAME) : nullptr;
    if (audio->defaults || strcmp(type, PW_TYPE_INTERFACE_Metadata) != 0 || !name || strcmp(name, "default") != 0)
        return;
    audio->defaults = static_cast<pw_metadata*>(pw_registry_bind(audio->registry, id, type, PW_VERSION_METADATA, 0));
    if (audio->defaults)
        pw_metadata_add_listener(audio->defaults, &audio->defaultsListener, &DefaultsEvents, audio);
}

static void GlobalRemoved(void* data, uint32_t id)
{
    static_cast<LiveAudio*>(data)->sources.erase(id);
}

static const pw_registry_events RegistryEvents = {
    .version = PW_VERSION_REGISTRY_EVENTS,
    .global = GlobalAdded,
    .global_remove = GlobalRemoved,
};

static bool KnownSource(const LiveAudio* audio, const std::string& name)
{
    for (const auto& source : audio->sources)
        if (source.second == name)
            return true;
    return false;
}

static std::string NoSuchSource(const LiveAudio* audio, const std::string& name)
{
    std::string text = "no source '" + name + "'";
    const char* separator = "; the sources are ";
    for (const auto& source : audio->sources) {
        text += separator + source.second;
        separator = ", ";
    }
    return audio->sources.empty() ? text + "; the sound server lists no other source" : text;
}

// Two round trips: the first lists the globals, the second brings the bound
// defaults' properties; then a microphone must be known: the one chosen, or
// a default that is not our own source, or a source the session manager
// takes instead when the default is our own.
static void CoreDone(void* data, uint32_t id, int sequence)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (id != PW_ID_CORE || sequence != audio->checkSequence || audio->checksLeft == 0)
        return;
    if (--audio->checksLeft > 0) {
        audio->checkSequence = pw_core_sync(audio->core, PW_ID_CORE, 0);
        return;
    }
    bool ownDefault = audio->defaultSource.empty() || audio->defaultSource == SourceName;
    if (!audio->chosen.empty() && !KnownSource(audio, audio->chosen)) {
        snprintf(audio->failure, sizeof audio->failure, "%s", NoSuchSource(audio, audio->chosen).c_str());
        Finish(audio, LiveNoMicrophone);
    } else if (audio->chosen.empty() && ownDefault && audio->sources.empty()) {
        snprintf(audio->failure, sizeof audio->failure, "the sound server has no default source%s",
                 audio->defaultSource.empty() ? "" : " but \"Voxotrope microphone\" itself");
        Finish(audio, LiveNoMicrophone);
    }
}

static void CoreError(void* data, uint32_t id, int, int result, const char*)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (id == PW_ID_CORE && result == -EPIPE)
        Finish(audio, LiveServerGone);
}

static const pw_core_events CoreEvents = {
    .version = PW_VERSION_CORE_EVENTS,
    .done = CoreDone,
    .error = CoreError,
};

static pw_stream* NewStream(LiveAudio* audio, const char* name, pw_properties* props, spa_hook* listener,
                            const pw_stream_events* events, pw_direction direction, uint32_t flags)
{
    char group[64];
    snprintf(group, sizeof group, "voxotrope-live-%d", (int)getpid());
    // One group: both are run by the same driver. One link group: the session
    // manager never links the capture to our own source.
    pw_properties_set(props, PW_KEY_NODE_GROUP, group);
    pw_properties_set(props, PW_KEY_NODE_LINK_GROUP, group);
    pw_properties_set(props, PW_KEY_MEDIA_TYPE, "Audio");
    pw_properties_setf(props, PW_KEY_NODE_LATENCY, "512/%d", LiveRate);
    // The resampler between the graph's rate and ours starts full of
    // silence, as the loopback's do: otherwise it holds back a whole quantum
    // for good.
    pw_properties_set(props, "resample.prefill", "true");
    pw_stream* stream = pw_stream_new(audio->core, name, props);
    if (!stream)
        return nullptr;
    pw_stream_add_listener(stream, listener, events, audio);
    uint8_t buffer[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    const spa_pod* params[1] = {LiveFormat(&builder, LiveRate)};
    if (pw_stream_connect(stream, direction, PW_ID_ANY,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                       PW_STREAM_FLAG_RT_PROCESS | flags),
                          params, 1) < 0) {
        pw_stream_destroy(stream);
        return nullptr;
    }
    return stream;
}

LiveAudio* OpenLiveAudio(pw_main_loop* loop, LiveMailbox* mailbox, const char* source, bool monitor,
                         std::string* error)
{
    LiveAudio* audio = new LiveAudio();
    audio->loop = loop;
    audio->mailbox = mailbox;
    InitChainStream(&audio->stream);
    TakeSettings(mailbox, &audio->seenSettings, &audio->settings);
    ApplySettings(audio->settings, &audio->stream.chain);
    TakeCarrier(mailbox, &audio->stream);
    // The configuration PipeWire's own real-time clients use: it gives the
    // data thread real-time priority, where the system allows it.
    audio->context = pw_context_new(pw_main_loop_get_loop(loop),
                                    pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (audio->context)
        audio->core = pw_context_connect(audio->context, nullptr, 0);
    if (!audio->core) {
        *error = std::string("no sound server: cannot connect to PipeWire (") + strerror(errno) + ")";
        CloseLiveAudio(audio);
        return nullptr;
    }
    pw_core_add_listener(audio->core, &audio->coreListener, &CoreEvents, audio);
    audio->registry = pw_core_get_registry(audio->core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(audio->registry, &audio->registryListener, &RegistryEvents, audio);

    // The source first, so that it is ready before the capture triggers it.
    audio->source = NewStream(audio, "Voxotrope microphone",
                              pw_properties_new(PW_KEY_MEDIA_CLASS, "Audio/Source", PW_KEY_NODE_NAME, SourceName,
                                                PW_KEY_NODE_DESCRIPTION, "Voxotrope microphone", PW_KEY_NODE_VIRTUAL,
                                                "true", nullptr),
                              &audio->sourceListener, &SourceEvents, PW_DIRECTION_OUTPUT, PW_STREAM_FLAG_TRIGGER);
    // No media role: the session manager would switch a Bluetooth headset to
    // its call profile for a communication stream. Passive: the microphone is
    // opened only while something records the source.
    pw_properties* captureProps =
        pw_properties_new(PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_NODE_NAME, "voxotrope_live_input",
                          PW_KEY_NODE_DESCRIPTION, "Voxotrope input", PW_KEY_NODE_PASSIVE, "true", nullptr);
    if (source) {
        audio->chosen = source;
        pw_properties_set(captureProps, PW_KEY_TARGET_OBJECT, source);
    }
    audio->capture = audio->source ? NewStream(audio, "Voxotrope input", captureProps, &audio->captureListener,
                                               &CaptureEvents, PW_DIRECTION_INPUT, 0)
                                   : nullptr;
    if (!audio->capture || !audio->source) {
        *error = std::string("cannot create the streams: ") + strerror(errno);
        CloseLiveAudio(audio);
        return nullptr;
    }
    char group[64];
    snprintf(group, sizeof group, "voxotrope-live-%d", (int)getpid());
    audio->monitor = OpenLiveMonitor(audio->core, group, LiveRate, monitor);
    // One block until the microphone's and the recorders' latencies come.
    audio->upstream = SPA_LATENCY_INFO(SPA_DIRECTION_OUTPUT);
    PassLatency(audio->source, audio->upstream);
    PassLatency(audio->capture, SPA_LATENCY_INFO(SPA_DIRECTION_INPUT));
    audio->checksLeft = 2;
    audio->checkSequence = pw_core_sync(audio->core, PW_ID_CORE, 0);
    return audio;
}

LiveEnd LiveAudioEnd(const LiveAudio* audio)
{
    return audio->end;
}

const char* LiveAudioFailure(const LiveAudio* audio)
{
    return audio->failure;
}

// As the desktop's sound settings move a stream: the session manager reads
// the target from the defaults' store and links the capture anew; "-1" sends
// it back to the default.
bool ChooseLiveSource(LiveAudio* audio, const std::string& name, std::string* error)
{
    if (!name.empty() && !KnownSource(audio, name)) {
        *error = NoSuchSource(audio, name);
        return false;
    }
    uint32_t node = pw_stream_get_node_id(audio->capture);
    if (!audio->defaults || node == SPA_ID_INVALID) {
        *error = "the sound server has no session manager to move the capture";
        return false;
    }
    pw_metadata_set_property(audio->defaults, node, PW_KEY_TARGET_OBJECT, nullptr, name.empty() ? "-1" : name.c_str());
    audio->chosen = name;
    return true;
}

void StopLiveAudio(LiveAudio* audio)
{
    Finish(audio, LiveStopped);
}

uint64_t LiveAudioShortfall(const LiveAudio* audio)
{
    return audio->shortfall.load(std::memory_order_relaxed);
}

void SwitchLiveAudioMonitor(LiveAudio* audio, bool on)
{
    if (audio->monitor)
        SwitchLiveMonitor(audio->monitor, on);
}

void CloseLiveAudio(LiveAudio* audio)
{
    // Both stopped before either goes, as the capture triggers the source.
    for (pw_stream* stream : {audio->capture, audio->source})
        if (stream)
            pw_stream_set_active(stream, false);
    if (audio->capture)
        pw_stream_destroy(std::exchange(audio->capture, nullptr));
    if (audio->source)
        pw_stream_destroy(std::exchange(audio->source, nullptr));
    if (audio->monitor)
        CloseLiveMonitor(std::exchange(audio->monitor, nullptr));  // after the streams that fill it
    if (audio->defaults)
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(audio->defaults));
    if (audio->registry)
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(audio->registry));
    if (audio->core)
        pw_core_disconnect(audio->core);
    if (audio->context)
        pw_context_destroy(audio->context);
    // The data thread is gone: every carrier can be freed now.
    FreeCarrierBlock(StreamSwapCarrier(&audio->stream, nullptr, 0));
    delete audio;
}
