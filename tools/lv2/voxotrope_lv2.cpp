// The effect chain as an LV2 plugin: one mono ChainStream per instance, the
// effects and their settings as control ports, the AM carrier as a file
// parameter that the worker loads and frees off the audio thread and that
// the plugin's state keeps.
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/core/lv2_util.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include "carrier.h"
#include "carrier_read.h"
#include "chain_stream.h"

#define VOXOTROPE_URI "urn:voxotrope:lv2"
#define VOXOTROPE_CARRIER VOXOTROPE_URI "#carrier"

enum PortIndex : uint32_t {
    PortIn,
    PortOut,
    PortControl,
    PortNotify,
    PortFirstEffect,  // pitch ... deeper, in chain order
    PortPitchFactor = PortFirstEffect + static_cast<uint32_t>(EffectCount),
    PortVolumeEighths,
    PortLatency,
};

// Longest carrier path a load request carries through the worker.
constexpr size_t PathLimit = 4096;
// Samples converted at a time on the way in and out of the chain.
constexpr int Stretch = 256;

struct Uris {
    LV2_URID atomPath, atomResource, atomURID;
    LV2_URID patchGet, patchSet, patchProperty, patchValue;
    LV2_URID carrier;
};

// What the worker is asked to do, and what it answers: a load carries the
// path after the kind; a free carries what the audio thread let go of.
enum WorkKind : uint32_t { WorkLoad, WorkFree };
struct WorkFreeMessage {
    uint32_t kind;
    const int16_t* samples;
    char* path;
};
struct LoadedCarrier {
    const int16_t* samples;
    uint32_t length;
    char* path;
};

struct Plugin {
    ChainStream stream;
    const float* in;
    float* out;
    const LV2_Atom_Sequence* control;
    LV2_Atom_Sequence* notify;
    const float* effects[EffectCount];
    const float* pitchFactor;
    const float* volumeEighths;
    float* latency;

    LV2_URID_Map* map;
    LV2_Worker_Schedule* schedule;
    LV2_Log_Logger logger;
    LV2_Atom_Forge forge;
    Uris uris;

    const int16_t* squareWave;  // the built-in carrier, attached while no file is
    uint32_t squareLength;
    char* carrierPath;          // audio thread's: the attached file, for notify
    bool announce;              // tell the host the carrier path at the next run

    std::mutex savedLock;       // the worker and save() run off the audio thread
    std::string savedPath;      // the file the state keeps, empty for none
};

static int RoundedSetting(const float* port, int lowest, int highest, int fallback)
{
    if (!port || !std::isfinite(*port))
        return fallback;
    long value = std::lround(*port);
    return static_cast<int>(value < lowest ? lowest : value > highest ? highest : value);
}

// Full scale is 32768: a sample x read as x / 32768 comes back as x.
static int16_t ToSample(float value)
{
    float scaled = value * 32768.0f;
    if (!(scaled == scaled))
        return 0;
    if (scaled <= -32768.0f)
        return -32768;
    if (scaled >= 32767.0f)
        return 32767;
    return static_cast<int16_t>(std::lrint(scaled));
}

static LV2_Handle Instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const* features)
{
    Plugin* self = new (std::nothrow) Plugin();
    if (!self)
        return nullptr;
    LV2_Log_Log* log = nullptr;
    lv2_features_query(features, LV2_URID__map, &self->map, false, LV2_WORKER__schedule, &self->schedule, false,
                       LV2_LOG__log, &log, false, nullptr);
    lv2_log_logger_init(&self->logger, self->map, log);
    if (!MakeDefaultCarrier(&self->squareWave, &self->squareLength)) {
        delete self;
        return nullptr;
    }
    InitChainStream(&self->stream);
    StreamSwapCarrier(&self->stream, self->squareWave, self->squareLength);
    if (self->map) {
        LV2_URID_Map* map = self->map;
        auto uri = [map](const char* name) { return map->map(map->handle, name); };
        self->uris = Uris{uri(LV2_ATOM__Path), uri(LV2_ATOM__Resource), uri(LV2_ATOM__URID),
                          uri(LV2_PATCH__Get), uri(LV2_PATCH__Set), uri(LV2_PATCH__property),
                          uri(LV2_PATCH__value), uri(VOXOTROPE_CARRIER)};
        lv2_atom_forge_init(&self->forge, map);
    }
    return self;
}

static void ConnectPort(LV2_Handle instance, uint32_t port, void* data)
{
    Plugin* self = static_cast<Plugin*>(instance);
    switch (port) {
    case PortIn: self->in = static_cast<const float*>(data); break;
    case PortOut: self->out = static_cast<float*>(data); break;
    case PortControl: self->control = static_cast<const LV2_Atom_Sequence*>(data); break;
    case PortNotify: self->notify = static_cast<LV2_Atom_Sequence*>(data); break;
    case PortPitchFactor: self->pitchFactor = static_cast<const float*>(data); break;
    case PortVolumeEighths: self->volumeEighths = static_cast<const float*>(data); break;
    case PortLatency: self->latency = static_cast<float*>(data); break;
    default:
        if (port >= PortFirstEffect && port < PortPitchFactor)
            self->effects[port - PortFirstEffect] = static_cast<const float*>(data);
    }
}

static void Activate(LV2_Handle instance)
{
    RestartChainStream(&static_cast<Plugin*>(instance)->stream);
}

// A patch:Set of the carrier asks the worker to load the file; a patch:Get
// asks for the path in force.
static void ReadControl(Plugin* self)
{
    if (!self->control || !self->map)
        return;
    const Uris& uris = self->uris;
    LV2_ATOM_SEQUENCE_FOREACH (self->control, event) {
        const LV2_Atom_Object* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
        if (object->atom.type != uris.atomResource && object->atom.type != self->forge.Object)
            continue;
        if (object->body.otype == uris.patchGet) {
            self->announce = true;
            continue;
        }
        if (object->body.otype != uris.patchSet)
            continue;
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(object, uris.patchProperty, &property, uris.patchValue, &value, 0);
        if (!property || property->type != uris.atomURID ||
            reinterpret_cast<const LV2_Atom_URID*>(property)->body != uris.carrier)
            continue;
        if (!value || value->type != uris.atomPath || value->size == 0 || value->size >= PathLimit) {
            lv2_log_error(&self->logger, "Voxotrope: the AM carrier needs a file path\n");
            continue;
        }
        if (!self->schedule) {
            lv2_log_error(&self->logger, "Voxotrope: this host cannot load an AM carrier (no worker)\n");
            continue;
        }
        // The kind, then the path with its terminating zero.
        char message[sizeof(uint32_t) + PathLimit];
        const uint32_t kind = WorkLoad;
        memcpy(message, &kind, sizeof kind);
        memcpy(message + sizeof kind, LV2_ATOM_BODY_CONST(value), value->size);
        message[sizeof kind + value->size - 1] = '\0';
        self->schedule->schedule_work(self->schedule->handle, sizeof kind + value->size, message);
    }
}

static void WriteNotify(Plugin* self)
{
    if (!self->notify || !self->map)
        return;
    uint32_t capacity = self->notify->atom.size;
    lv2_atom_forge_set_buffer(&self->forge, reinterpret_cast<uint8_t*>(self->notify), capacity);
    LV2_Atom_Forge_Frame sequence;
    if (!lv2_atom_forge_sequence_head(&self->forge, &sequence, 0))
        return;
    if (self->announce && self->carrierPath) {
        LV2_Atom_Forge_Frame frame;
        lv2_atom_forge_frame_time(&self->forge, 0);
        if (lv2_atom_forge_object(&self->forge, &frame, 0, self->uris.patchSet)) {
            lv2_atom_forge_key(&self->forge, self->uris.patchProperty);
            lv2_atom_forge_urid(&self->forge, self->uris.carrier);
            lv2_atom_forge_key(&self->forge, self->uris.patchValue);
            lv2_atom_forge_path(&self->forge, self->carrierPath, static_cast<uint32_t>(strlen(self->carrierPath)));
            lv2_atom_forge_pop(&self->forge, &frame);
        }
    }
    self->announce = false;
    lv2_atom_forge_pop(&self->forge, &sequence);
}

// The ports' values become the chain's settings for the blocks completed in
// this run.
static void TakeSettings(Plugin* self)
{
    ChainInstance& chain = self->stream.chain;
    for (int fx = 0; fx < EffectCount; fx++)
        chain.flags[fx] = self->effects[fx] && *self->effects[fx] >= 0.5f;
    chain.pitchFactor = RoundedSetting(self->pitchFactor, 1, 3, 2);
    chain.volumeEighths = RoundedSetting(self->volumeEighths, 8, 52, 8);
}

static void Run(LV2_Handle instance, uint32_t frames)
{
    Plugin* self = static_cast<Plugin*>(instance);
    if (self->latency)
        *self->latency = AudioBlockSamples;
    ReadControl(self);
    WriteNotify(self);
    TakeSettings(self);
    if (!self->in || !self->out)
        return;
    int16_t samples[Stretch];
    for (uint32_t done = 0; done < frames;) {
        int count = static_cast<int>(frames - done < Stretch ? frames - done : Stretch);
        for (int k = 0; k < count; k++)
            samples[k] = ToSample(self->in[done + k]);
        StreamProcess(&self->stream, samples, samples, count);
        for (int k = 0; k < count; k++)
            self->out[done + k] = samples[k] / 32768.0f;
        done += count;
    }
}

static void SetSavedPath(Plugin* self, const char* path)
{
    std::lock_guard<std::mutex> hold(self->savedLock);
    self->savedPath = path ? path : "";
}

// Attaches a carrier outside the audio thread (state restore) and frees the
// file carrier it replaces; null samples bring back the square wave.
static void AttachNow(Plugin* self, const int16_t* samples, uint32_t length, char* path)
{
    if (!samples) {
        samples = self->squareWave;
        length = self->squareLength;
    }
    const int16_t* previous = StreamSwapCarrier(&self->stream, samples, length);
    if (previous != self->squareWave)
        FreeCarrierBlock(previous);
    free(self->carrierPath);
    self->carrierPath = path;
    SetSavedPath(self, path);
    self->announce = true;
}

// Reads and checks a carrier file off the audio thread. Returns a copy of
// the path, the plugin's to keep with the carrier; null, logged, with
// nothing left to free, when the file was refused or memory ran out.
static char* ReadCarrier(Plugin* self, const char* path, const int16_t** samples, uint32_t* length)
{
    CarrierVerdict verdict = ReadCarrierFile(path, samples, length);
    char* kept = verdict == CarrierAccepted ? strdup(path) : nullptr;
    if (verdict == CarrierAccepted && !kept) {
        FreeCarrierBlock(*samples);
        *samples = nullptr;
        verdict = CarrierNoMemory;
    }
    if (!kept)
        lv2_log_error(&self->logger, "Voxotrope: %s: %s\n", path, CarrierMessage(verdict));
    return kept;
}

// A path the host's map-path feature made, given back to it.
static void FreeMappedPath(LV2_State_Free_Path* freePath, char* path)
{
    if (path && freePath)
        freePath->free_path(freePath->handle, path);
    else
        free(path);
}

static LV2_Worker_Status Work(LV2_Handle instance, LV2_Worker_Respond_Function respond,
                              LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
{
    Plugin* self = static_cast<Plugin*>(instance);
    uint32_t kind;
    if (size < sizeof kind)
        return LV2_WORKER_ERR_UNKNOWN;
    memcpy(&kind, data, sizeof kind);
    if (kind == WorkFree && size == sizeof(WorkFreeMessage)) {
        WorkFreeMessage message;
        memcpy(&message, data, sizeof message);
        FreeCarrierBlock(message.samples);
        free(message.path);
        return LV2_WORKER_SUCCESS;
    }
    if (kind != WorkLoad || size <= sizeof kind)
        return LV2_WORKER_ERR_UNKNOWN;
    const char* path = static_cast<const char*>(data) + sizeof kind;
    LoadedCarrier loaded = {nullptr, 0, nullptr};
    loaded.path = ReadCarrier(self, path, &loaded.samples, &loaded.length);
    if (!loaded.path)
        return LV2_WORKER_SUCCESS;
    if (respond(handle, sizeof loaded, &loaded) != LV2_WORKER_SUCCESS) {
        FreeCarrierBlock(loaded.samples);
        free(loaded.path);
        return LV2_WORKER_ERR_NO_SPACE;
    }
    SetSavedPath(self, path);
    return LV2_WORKER_SUCCESS;
}

// On the audio thread, between runs: the new carrier goes in from its first
// sample, and the worker frees the file carrier it replaced.
static LV2_Worker_Status WorkResponse(LV2_Handle instance, uint32_t size, const void* data)
{
    Plugin* self = static_cast<Plugin*>(instance);
    if (size != sizeof(LoadedCarrier))
        return LV2_WORKER_ERR_UNKNOWN;
    LoadedCarrier loaded;
    memcpy(&loaded, data, sizeof loaded);
    WorkFreeMessage old = {WorkFree, StreamSwapCarrier(&self->stream, loaded.samples, loaded.length),
                           self->carrierPath};
    self->carrierPath = loaded.path;
    self->announce = true;
    if (old.samples == self->squareWave)
        old.samples = nullptr;
    if (old.samples || old.path)
        self->schedule->schedule_work(self->schedule->handle, sizeof old, &old);
    return LV2_WORKER_SUCCESS;
}

static LV2_State_Status Save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                             uint32_t, const LV2_Feature* const* features)
{
    Plugin* self = static_cast<Plugin*>(instance);
    if (!self->map)
        return LV2_STATE_ERR_NO_FEATURE;
    std::string path;
    {
        std::lock_guard<std::mutex> hold(self->savedLock);
        path = self->savedPath;
    }
    if (path.empty())
        return LV2_STATE_SUCCESS;
    LV2_State_Map_Path* mapPath = nullptr;
    LV2_State_Free_Path* freePath = nullptr;
    lv2_features_query(features, LV2_STATE__mapPath, &mapPath, false, LV2_STATE__freePath, &freePath, false,
                       nullptr);
    char* abstract = mapPath ? mapPath->abstract_path(mapPath->handle, path.c_str()) : nullptr;
    const char* stored = abstract ? abstract : path.c_str();
    LV2_State_Status status = store(handle, self->uris.carrier, stored, strlen(stored) + 1, self->uris.atomPath,
                                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    FreeMappedPath(freePath, abstract);
    return status;
}

// Never runs at the same time as run(), so the carrier is attached here
// directly; a state without a carrier brings back the square wave.
static LV2_State_Status Restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                                LV2_State_Handle handle, uint32_t, const LV2_Feature* const* features)
{
    Plugin* self = static_cast<Plugin*>(instance);
    if (!self->map)
        return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const char* value = static_cast<const char*>(retrieve(handle, self->uris.carrier, &size, &type, &flags));
    if (!value) {
        AttachNow(self, nullptr, 0, nullptr);
        return LV2_STATE_SUCCESS;
    }
    if (type != self->uris.atomPath || size == 0 || value[size - 1] != '\0')
        return LV2_STATE_ERR_BAD_TYPE;
    LV2_State_Map_Path* mapPath = nullptr;
    LV2_State_Free_Path* freePath = nullptr;
    lv2_features_query(features, LV2_STATE__mapPath, &mapPath, false, LV2_STATE__freePath, &freePath, false,
                       nullptr);
    char* absolute = mapPath ? mapPath->absolute_path(mapPath->handle, value) : nullptr;
    const char* path = absolute ? absolute : value;
    const int16_t* samples = nullptr;
    uint32_t length = 0;
    char* kept = ReadCarrier(self, path, &samples, &length);
    if (kept)
        AttachNow(self, samples, length, kept);
    FreeMappedPath(freePath, absolute);
    return kept ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
}

static void Cleanup(LV2_Handle instance)
{
    Plugin* self = static_cast<Plugin*>(instance);
    const int16_t* attached = StreamSwapCarrier(&self->stream, nullptr, 0);
    if (attached != self->squareWave)
        FreeCarrierBlock(attached);
    FreeCarrierBlock(self->squareWave);
    free(self->carrierPath);
    delete self;
}

static const void* ExtensionData(const char* uri)
{
    static const LV2_State_Interface state = {Save, Restore};
    static const LV2_Worker_Interface worker = {Work, WorkResponse, nullptr};
    if (!strcmp(uri, LV2_STATE__interface))
        return &state;
    if (!strcmp(uri, LV2_WORKER__interface))
        return &worker;
    return nullptr;
}

static const LV2_Descriptor Descriptor = {
    VOXOTROPE_URI, Instantiate, ConnectPort, Activate, Run, nullptr, Cleanup, ExtensionData,
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &Descriptor : nullptr;
}
