#include "live_monitor.h"
#include <pipewire/pipewire.h>
#include <spa/pod/builder.h>
#include <spa/utils/ringbuffer.h>
#include <atomic>
#include "live_audio.h"

// A few cycles of the largest quantum; what finds no room is not heard.
constexpr uint32_t HeldSamples = 16384;

struct LiveMonitor {
    pw_stream* stream;
    spa_hook listener;
    std::atomic<bool> on;
    spa_ringbuffer ring;
    int16_t held[HeldSamples];
};

// The monitor's turn, started by PlayLiveMonitor: what the source's turn
// kept goes into the stream's buffer.
static void MonitorProcess(void* data)
{
    LiveMonitor* monitor = static_cast<LiveMonitor*>(data);
    pw_buffer* out = pw_stream_dequeue_buffer(monitor->stream);
    if (!out)
        return;
    spa_data* target = &out->buffer->datas[0];
    uint32_t index;
    int32_t kept = spa_ringbuffer_get_read_index(&monitor->ring, &index);
    uint32_t count = 0;
    if (target->data && kept > 0) {
        count = SPA_MIN((uint32_t)kept, target->maxsize / (uint32_t)sizeof(int16_t));
        spa_ringbuffer_read_data(&monitor->ring, monitor->held, sizeof monitor->held,
                                 (index * sizeof(int16_t)) % sizeof monitor->held, target->data,
                                 count * sizeof(int16_t));
        spa_ringbuffer_read_update(&monitor->ring, index + count);
    }
    target->chunk->offset = 0;
    target->chunk->size = count * sizeof(int16_t);
    target->chunk->stride = sizeof(int16_t);
    pw_stream_queue_buffer(monitor->stream, out);
}

static const pw_stream_events MonitorEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .process = MonitorProcess,
};

LiveMonitor* OpenLiveMonitor(pw_core* core, const char* group, int rate, bool on)
{
    // The session manager links it to the default output, and follows it.
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_NODE_NAME, "voxotrope_live_monitor",
        PW_KEY_NODE_DESCRIPTION, "Voxotrope monitor", PW_KEY_MEDIA_NAME, "Voxotrope monitor", PW_KEY_NODE_GROUP,
        group, PW_KEY_NODE_LINK_GROUP, group, nullptr);
    pw_properties_setf(props, PW_KEY_NODE_LATENCY, "512/%d", rate);
    LiveMonitor* monitor = new LiveMonitor();
    monitor->on = on;
    spa_ringbuffer_init(&monitor->ring);
    monitor->stream = pw_stream_new(core, "Voxotrope monitor", props);
    if (!monitor->stream) {
        delete monitor;
        return nullptr;
    }
    pw_stream_add_listener(monitor->stream, &monitor->listener, &MonitorEvents, monitor);
    uint8_t buffer[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    const spa_pod* params[1] = {LiveFormat(&builder, rate)};
    // Its turn comes when the source's has samples for it: a trigger stream.
    int flags = PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS |
                PW_STREAM_FLAG_TRIGGER | (on ? 0 : PW_STREAM_FLAG_INACTIVE);
    if (pw_stream_connect(monitor->stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, static_cast<pw_stream_flags>(flags), params,
                          1) < 0) {
        CloseLiveMonitor(monitor);
        return nullptr;
    }
    return monitor;
}

void SwitchLiveMonitor(LiveMonitor* monitor, bool on)
{
    monitor->on.store(on, std::memory_order_release);
    pw_stream_set_active(monitor->stream, on);
}

void CloseLiveMonitor(LiveMonitor* monitor)
{
    pw_stream_destroy(monitor->stream);
    delete monitor;
}

void HearLiveMonitor(LiveMonitor* monitor, const int16_t* samples, uint32_t count)
{
    if (!monitor || !monitor->on.load(std::memory_order_acquire))
        return;
    uint32_t index;
    int32_t kept = spa_ringbuffer_get_write_index(&monitor->ring, &index);
    count = SPA_MIN(count, HeldSamples - (uint32_t)SPA_CLAMP(kept, 0, (int32_t)HeldSamples));
    spa_ringbuffer_write_data(&monitor->ring, monitor->held, sizeof monitor->held,
                              (index * sizeof(int16_t)) % sizeof monitor->held, samples, count * sizeof(int16_t));
    spa_ringbuffer_write_update(&monitor->ring, index + count);
}

void PlayLiveMonitor(LiveMonitor* monitor)
{
    if (monitor && monitor->on.load(std::memory_order_acquire))
        pw_stream_trigger_process(monitor->stream);
}
