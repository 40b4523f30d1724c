#include "live_audio.h"
#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/param/latency-utils.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include "live_chain.h"
#include "live_monitor.h"

constexpr int ScratchSamples = 8192;
constexpr const char* SourceName = "voxotrope_live";

struct LiveAudio {
    pw_main_loop* loop;
    pw_context* context;
    pw_core* core;
    pw_registry* registry;
    pw_metadata* defaults;
    pw_stream* capture;
    pw_stream* source;
    LiveMonitor* monitor;  // null: no monitor stream could be made
    spa_hook coreListener, registryListener, defaultsListener, captureListener, sourceListener;
    int checkSequence;
    int checksLeft;
    bool hasDefaultSource;
    LiveEnd end;
    char failure[160];

    // Data thread only, but for the counter.
    LiveMailbox* mailbox;
    uint32_t seenSettings;
    LiveSettings settings;
    ChainStream stream;
    int16_t scratch[ScratchSamples];  // what finds no room in the source's buffer
    int16_t silence[ScratchSamples];  // input when the capture buffer has no data
    std::atomic<uint64_t> shortfall;
    std::atomic<bool> captured;  // the capture has delivered sound once
};

static void Finish(LiveAudio* audio, LiveEnd end)
{
    if (audio->end == LiveRunning)
        audio->end = end;
    pw_main_loop_quit(audio->loop);
}

// The data thread's cycle: the captured samples through the chain straight
// into the source's buffer, in the same cycle, as many as came in. Without a
// buffer to fill (nobody records the source) they go through all the same,
// so that the block grid and the delay never change.
static void Process(void* data)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    pw_buffer* in = pw_stream_dequeue_buffer(audio->capture);
    if (!in)
        return;
    audio->captured.store(true, std::memory_order_relaxed);
    if (TakeSettings(audio->mailbox, &audio->seenSettings, &audio->settings))
        ApplySettings(audio->settings, &audio->stream.chain);
    TakeCarrier(audio->mailbox, &audio->stream);
    spa_data* source = &in->buffer->datas[0];
    uint32_t offset = SPA_MIN(source->chunk->offset, source->maxsize);
    uint32_t count = SPA_MIN(source->chunk->size, source->maxsize - offset) / sizeof(int16_t);
    const int16_t* samples = source->data ? SPA_PTROFF(source->data, offset, const int16_t) : nullptr;

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
    pw_stream_trigger_process(audio->source);
    PlayLiveMonitor(audio->monitor);
}

// The chain's block on top of what the microphone reports,
// so that recorders can line the source up with other sound.
static void ReportLatency(LiveAudio* audio, const spa_latency_info* upstream)
{
    uint8_t buffer[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    spa_latency_info latency;
    spa_zero(latency);
    if (upstream)
        latency = *upstream;
    latency.direction = SPA_DIRECTION_INPUT;
    latency.min_rate += AudioBlockSamples;
    latency.max_rate += AudioBlockSamples;
    const spa_pod* params[1] = {spa_latency_build(&builder, SPA_PARAM_Latency, &latency)};
    pw_stream_update_params(audio->source, params, 1);
}

static void CaptureParamChanged(void* data, uint32_t id, const spa_pod* param)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    spa_latency_info upstream;
    if (id == SPA_PARAM_Latency && param && spa_latency_parse(param, &upstream) >= 0 &&
        upstream.direction == SPA_DIRECTION_INPUT)
        ReportLatency(audio, &upstream);
}

static void StreamStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
        snprintf(audio->failure, sizeof audio->failure, "%s", error ? error : "unknown error");
        Finish(audio, LiveStreamFailed);
    } else if (state == PW_STREAM_STATE_UNCONNECTED) {
        Finish(audio, LiveServerGone);
    }
}

// The session manager fails a capture stream it finds no source for.
static void CaptureStateChanged(void* data, pw_stream_state old, pw_stream_state state, const char* error)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (state == PW_STREAM_STATE_ERROR && !audio->captured.load(std::memory_order_relaxed))
        Finish(audio, LiveNoMicrophone);
    StreamStateChanged(data, old, state, error);
}

static const pw_stream_events CaptureEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .state_changed = CaptureStateChanged,
    .param_changed = CaptureParamChanged,
    .process = Process,
};

static const pw_stream_events SourceEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .state_changed = StreamStateChanged,
};

static int DefaultChanged(void* data, uint32_t subject, const char* key, const char*, const char* value)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (subject == PW_ID_CORE && key && strcmp(key, "default.audio.source") == 0)
        audio->hasDefaultSource = value != nullptr;
    return 0;
}

static const pw_metadata_events DefaultsEvents = {
    .version = PW_VERSION_METADATA_EVENTS,
    .property = DefaultChanged,
};

static void GlobalAdded(void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict* props)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    const char* name = props ? spa_dict_lookup(props, PW_KEY_METADATA_NAME) : nullptr;
    if (audio->defaults || strcmp(type, PW_TYPE_INTERFACE_Metadata) != 0 || !name || strcmp(name, "default") != 0)
        return;
    audio->defaults = static_cast<pw_metadata*>(pw_registry_bind(audio->registry, id, type, PW_VERSION_METADATA, 0));
    if (audio->defaults)
        pw_metadata_add_listener(audio->defaults, &audio->defaultsListener, &DefaultsEvents, audio);
}

static const pw_registry_events RegistryEvents = {
    .version = PW_VERSION_REGISTRY_EVENTS,
    .global = GlobalAdded,
};

// Two round trips: the first lists the globals, the second brings the bound
// defaults' properties; then a microphone must be known.
static void CoreDone(void* data, uint32_t id, int sequence)
{
    LiveAudio* audio = static_cast<LiveAudio*>(data);
    if (id != PW_ID_CORE || sequence != audio->checkSequence || audio->checksLeft == 0)
        return;
    if (--audio->checksLeft > 0) {
        audio->checkSequence = pw_core_sync(audio->core, PW_ID_CORE, 0);
        return;
    }
    if (!audio->hasDefaultSource)
        Finish(audio, LiveNoMicrophone);
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
    pw_stream* stream = pw_stream_new(audio->core, name, props);
    if (!stream)
        return nullptr;
    pw_stream_add_listener(stream, listener, events, audio);
    uint8_t buffer[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    spa_audio_info_raw info;
    spa_zero(info);
    info.format = SPA_AUDIO_FORMAT_S16;
    info.rate = LiveRate;
    info.channels = 1;
    info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    if (pw_stream_connect(stream, direction, PW_ID_ANY,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                       PW_STREAM_FLAG_RT_PROCESS | flags),
                          params, 1) < 0) {
        pw_stream_destroy(stream);
        return nullptr;
    }
    return stream;
}

LiveAudio* OpenLiveAudio(pw_main_loop* loop, LiveMailbox* mailbox, bool monitor, std::string* error)
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

    audio->capture = NewStream(audio, "Voxotrope input",
                               pw_properties_new(PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Communication",
                                                 PW_KEY_NODE_NAME, "voxotrope_live_input", PW_KEY_NODE_DESCRIPTION,
                                                 "Voxotrope input", nullptr),
                               &audio->captureListener, &CaptureEvents, PW_DIRECTION_INPUT, 0);
    audio->source = NewStream(audio, "Voxotrope microphone",
                              pw_properties_new(PW_KEY_MEDIA_CLASS, "Audio/Source", PW_KEY_NODE_NAME, SourceName,
                                                PW_KEY_NODE_DESCRIPTION, "Voxotrope microphone", PW_KEY_NODE_VIRTUAL,
                                                "true", nullptr),
                              &audio->sourceListener, &SourceEvents, PW_DIRECTION_OUTPUT, PW_STREAM_FLAG_TRIGGER);
    if (!audio->capture || !audio->source) {
        *error = std::string("cannot create the streams: ") + strerror(errno);
        CloseLiveAudio(audio);
        return nullptr;
    }
    char group[64];
    snprintf(group, sizeof group, "voxotrope-live-%d", (int)getpid());
    audio->monitor = OpenLiveMonitor(audio->core, group, LiveRate, monitor);
    ReportLatency(audio, nullptr);
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
    if (audio->capture)
        pw_stream_destroy(audio->capture);
    if (audio->source)
        pw_stream_destroy(audio->source);
    if (audio->monitor)
        CloseLiveMonitor(audio->monitor);  // after the streams that fill it
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
