// The effect chain as an LV2 plugin: one mono ChainStream per instance, run
// at 22050 Hz whatever the host's rate (converted in and out), the effects
// and their settings as control ports, the AM carrier as a file parameter
// that the worker loads and frees off the audio thread and that the
// plugin's state keeps.
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
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>
#include "carrier.h"
#include "carrier_read.h"
#include "chain_stream.h"
#include "rate_converter.h"

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
    PortEnabled,
};

// Longest carrier path a load request carries through the worker.
constexpr size_t PathLimit = 4096;
// Host frames converted at a time on the way in and out of the chain.
constexpr int Stretch = 256;
constexpr int ChainRate = 22050;
constexpr int LowestRate = 1000, HighestRate = 768000;

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
    const float* enabled;

    // The host's rate and, where it is not the chain's, the conversions.
    int64_t rate;
    bool converting;
    uint32_t delayFrames;         // the whole delay, in host frames
    std::vector<float> kernel;
    RateConverter down, up;
    std::vector<float> inner;     // one stretch at the chain's rate
    std::vector<int16_t> samples;
    // Disabled, the input comes out as late as the chain's result would;
    // switching fades between the two, so that neither clicks.
    std::vector<float> dry;
    size_t dryPosition;
    float mix;                    // 1: the chain's result, 0: the input; below 0 at the start
    float mixStep;

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

// Sets up the conversions for the host's rate. The chain's samples lie at
// the input's own times (the down conversion waits for the inputs its
// kernel reaches), so that its blocks start where the renderer's start; the
// up conversion is as late as it must be to have its inputs in time, and a
// whole number of host frames in all, so that the latency port says it
// exactly.
static bool SetRate(Plugin* self, double rate)
{
    if (!(rate >= LowestRate && rate <= HighestRate))
        return false;
    self->rate = std::llround(rate);
    self->converting = self->rate != ChainRate;
    self->delayFrames = AudioBlockSamples;
    if (self->converting) {
        const int64_t host = self->rate, block = int64_t{AudioBlockSamples} * host;  // a block, in ticks
        const int64_t reach = KernelReach(host, ChainRate);
        self->delayFrames = static_cast<uint32_t>((2 * reach + block + ChainRate - 1) / ChainRate - 1);
        self->kernel = MakeKernel();
        InitRateConverter(&self->down, self->kernel, host, ChainRate, 0, Stretch);
        int innerMost = static_cast<int>(Stretch * ChainRate / host) + 2;
        InitRateConverter(&self->up, self->kernel, ChainRate, host, self->delayFrames * ChainRate - block, innerMost);
        self->inner.assign(innerMost, 0.0f);
        self->samples.assign(innerMost, 0);
    } else {
        self->samples.assign(Stretch, 0);
    }
    self->dry.assign(self->delayFrames, 0.0f);
    self->mixStep = 100.0f / static_cast<float>(self->rate);  // 10 ms
    self->mix = -1;
    return true;
}

static LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features)
{
    Plugin* self = new (std::nothrow) Plugin();
    if (!self)
        return nullptr;
    LV2_Log_Log* log = nullptr;
    lv2_features_query(features, LV2_URID__map, &self->map, false, LV2_WORKER__schedule, &self->schedule, false,
                       LV2_LOG__log, &log, false, nullptr);
    lv2_log_logger_init(&self->logger, self->map, log);
    bool rated = false;
    try {
        rated = SetRate(self, rate);
    } catch (const std::bad_alloc&) {
    }
    if (!rated) {
        lv2_log_error(&self->logger, "Voxotrope: cannot run at %g Hz\n", rate);
        delete self;
        return nullptr;
    }
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
    case PortEnabled: self->enabled = static_cast<const float*>(data); break;
    default:
        if (port >= PortFirstEffect && port < PortPitchFactor)
            self->effects[port - PortFirstEffect] = static_cast<const float*>(data);
    }
}

static void Activate(LV2_Handle instance)
{
    Plugin* self = static_cast<Plugin*>(instance);
    RestartChainStream(&self->stream);
    if (self->converting) {
        RestartRateConverter(&self->down);
        RestartRateConverter(&self->up);
    }
    std::fill(self->dry.begin(), self->dry.end(), 0.0f);
    self->dryPosition = 0;
    self->mix = -1;
}

// On the audio thread only the host's own log, and only as a trace (a
// logger without one would print).
#define TRACE(self, ...) \
    ((self)->logger.log ? lv2_log_trace(&(self)->logger, __VA_ARGS__) : 0)

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
            TRACE(self, "Voxotrope: the AM carrier needs a file path\n");
            self->announce = true;
            continue;
        }
        if (!self->schedule) {
            TRACE(self, "Voxotrope: this host cannot load an AM carrier (no worker)\n");
            self->announce = true;
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
    // The carrier in force: a file's path, or an empty path for the square
    // wave.
    if (self->announce) {
        const char* path = self->carrierPath ? self->carrierPath : "";
        LV2_Atom_Forge_Frame frame;
        lv2_atom_forge_frame_time(&self->forge, 0);
        if (lv2_atom_forge_object(&self->forge, &frame, 0, self->uris.patchSet)) {
            lv2_atom_forge_key(&self->forge, self->uris.patchProperty);
            lv2_atom_forge_urid(&self->forge, self->uris.carrier);
            lv2_atom_forge_key(&self->forge, self->uris.patchValue);
            lv2_atom_forge_path(&self->forge, path, static_cast<uint32_t>(strlen(path)));
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

// The chain's result for `count` host frames, `delayFrames` late.
static void RunChain(Plugin* self, const float* in, float* wet, int count)
{
    int16_t* samples = self->samples.data();
    if (!self->converting) {
        for (int k = 0; k < count; k++)
            samples[k] = ToSample(in[k]);
        StreamProcess(&self->stream, samples, samples, count);
        for (int k = 0; k < count; k++)
            wet[k] = samples[k] / 32768.0f;
        return;
    }
    float* inner = self->inner.data();
    int made = Convert(&self->down, in, count, inner, static_cast<int>(self->inner.size()));
    for (int k = 0; k < made; k++)
        samples[k] = ToSample(inner[k]);
    StreamProcess(&self->stream, samples, samples, made);
    for (int k = 0; k < made; k++)
        inner[k] = samples[k] / 32768.0f;
    Convert(&self->up, inner, made, wet, count);  // always `count`: the up conversion is late enough
}

// The chain's result or the input as late, faded from one to the other
// over 10 ms when the enabled port changes. The input is read before the
// output is written, as the host may give both the same buffer.
static void Mix(Plugin* self, const float* in, const float* wet, float* out, int count, float target)
{
    if (self->mix < 0)
        self->mix = target;
    for (int k = 0; k < count; k++) {
        float dry = self->dry[self->dryPosition];
        self->dry[self->dryPosition] = in[k];
        self->dryPosition = self->dryPosition + 1 == self->dry.size() ? 0 : self->dryPosition + 1;
        if (self->mix != target)
            self->mix = target > self->mix ? std::min(target, self->mix + self->mixStep)
                                           : std::max(target, self->mix - self->mixStep);
        out[k] = self->mix == 1.0f ? wet[k] : self->mix == 0.0f ? dry : dry + self->mix * (wet[k] - dry);
    }
}

static void Run(LV2_Handle instance, uint32_t frames)
{
    Plugin* self = static_cast<Plugin*>(instance);
    if (self->latency)
        *self->latency = static_cast<float>(self->delayFrames);
    ReadControl(self);
    WriteNotify(self);
    TakeSettings(self);
    if (!self->in || !self->out)
        return;
    float target = !self->enabled || *self->enabled >= 0.5f ? 1.0f : 0.0f;
    float wet[Stretch];
    for (uint32_t done = 0; done < frames;) {
        int count = static_cast<int>(frames - done < Stretch ? frames - done : Stretch);
        RunChain(self, self->in + done, wet, count);
        Mix(self, self->in + done, wet, self->out + done, count, target);
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
    if (!loaded.path)  // refused: the audio thread announces the carrier still in force
        return respond(handle, sizeof loaded, &loaded);
    if (respond(handle, sizeof loaded, &loaded) != LV2_WORKER_SUCCESS) {
        FreeCarrierBlock(loaded.samples);
        free(loaded.path);
        return LV2_WORKER_ERR_NO_SPACE;
    }
    SetSavedPath(self, path);
    return LV2_WORKER_SUCCESS;
}

// On the audio thread, between runs: the new carrier goes in from its first
// sample, and the worker frees the file carrier it replaced. A refused file
// changes nothing, but the host hears which carrier is in force.
static LV2_Worker_Status WorkResponse(LV2_Handle instance, uint32_t size, const void* data)
{
    Plugin* self = static_cast<Plugin*>(instance);
    if (size != sizeof(LoadedCarrier))
        return LV2_WORKER_ERR_UNKNOWN;
    LoadedCarrier loaded;
    memcpy(&loaded, data, sizeof loaded);
    self->announce = true;
    if (!loaded.samples)
        return LV2_WORKER_SUCCESS;
    WorkFreeMessage old = {WorkFree, StreamSwapCarrier(&self->stream, loaded.samples, loaded.length),
                           self->carrierPath};
    self->carrierPath = loaded.path;
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
// directly; a state without a carrier brings back the square wave. A file
// that cannot be read now leaves the square wave playing, but its path is
// kept for the next save: the file may come back (a project opened on
// another machine, a disk not yet mounted).
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
    AttachNow(self, samples, length, kept);
    if (!kept)
        SetSavedPath(self, path);
    FreeMappedPath(freePath, absolute);
    return LV2_STATE_SUCCESS;
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
