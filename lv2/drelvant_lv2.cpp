// The LV2 plug-in: one engine per instance behind the LV2 descriptor, worker and state interfaces.
//
// Threads. run() (audio class) processes, writes console controls into the engine with
// setLiveValue, and never allocates, locks, waits or reads files. Everything that loads settings
// into the engine runs on one control thread at a time under `controlLock`: the worker (preset
// choices and preset files), state save and restore, and activate(). A load reaches the audio
// thread whole, at the engine's next block. Hosts without the worker feature (offline hosts such
// as ffmpeg and lv2apply) get a preset choice loaded inside run(), where their audio thread is
// the only thread.
//
// Console controls act when they change, as the console's controls do: a preset load sets every
// value, and a control the host has not moved leaves it alone. A change that arrives while a load
// is on its way waits for it, so it applies on top of the loaded preset.
//
// Random seed: every activation seeds the engine's random generator (dither, silence guard) with
// kRandomSeed, so the same input and settings give the same output bytes, the output of
// `drelvant process --seed 1`.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include "host/engine_api.h"
#include "lv2/ports.h"
#include "host/rate_bridge.h"

namespace {

constexpr uint32_t kRandomSeed = 1;
constexpr double kEngineRate = 44100.0;
// run() works through the host's block in segments of at most this many frames.
constexpr int kSegmentFrames = 1024;
// The dry path for bypass holds the longest latency at the highest rate (the engine's chain
// stays under 1 s).
constexpr int64_t kDryRingFrames = int64_t{1} << 19;
constexpr double kBypassFadeSeconds = 0.01;
constexpr size_t kMaxPathBytes = 1024;

struct Urids {
    LV2_URID atomString, atomPath, atomObject, atomUrid, patchSet, patchProperty, patchValue;
    LV2_URID settingsText, presetFile;
};

enum WorkKind : int32_t { kWorkFactoryPreset = 1, kWorkPresetFile = 2, kWorkConsoleValues = 3 };

struct WorkMessage {
    int32_t kind;
    int32_t preset;                                     // factory preset 1 ... 7
    uint32_t consoleMask;                               // console controls moved (bit per control)
    float consoleValues[lv2port::kMaxConsoleControls];  // their values
    char path[kMaxPathBytes];                           // preset file, NUL-terminated
};
static_assert(lv2port::kMaxConsoleControls <= 32, "one mask bit per console control");

struct Plugin {
    int channels = 2;
    double rate = kEngineRate;
    bool bridged = false;
    Engine* engine = nullptr;
    RateBridge bridge;
    bool bridgeFresh = false;       // prepared and not yet run since
    int64_t engineCalls = 0;        // engine blocks run on the direct path
    int64_t engineCallsAtStart = 0; // engine blocks run before the last activate()

    // Ports.
    const lv2port::ControlList* ports = nullptr;
    const float* audioIn[2] = {nullptr, nullptr};
    float* audioOut[2] = {nullptr, nullptr};
    float* controls[lv2port::kMaxControls] = {};
    const LV2_Atom_Sequence* messages = nullptr;

    // Host features.
    LV2_URID_Map* map = nullptr;
    LV2_Worker_Schedule* schedule = nullptr;
    Urids urids{};

    std::mutex controlLock;
    ParamHandle consoleHandles[lv2port::kMaxConsoleControls];
    float lastConsole[lv2port::kMaxConsoleControls];
    int lastPreset = 1;
    int loadsInFlight = 0;                     // audio thread only
    // Console values the control side has not heard of yet: moved controls wait in `unsynced`
    // while one message is with the worker (`syncedMask` names the controls it carries).
    uint32_t unsynced = 0;
    uint32_t syncedMask = 0;
    bool syncInFlight = false;
    bool reapplySynced = false;
    int64_t consoleHeldUntil = 0;              // engine block count before which console changes wait
    std::atomic<bool> adoptPortValues{false};  // after a state restore: take the ports as they are

    // Bypass: `wet` fades towards `wetTarget`; the dry signal is delayed by the latency.
    double wet = 1.0, wetTarget = 1.0, fadeStep = 0.0;
    std::vector<float> dryRing;
    int64_t dryWrite = 0;
    std::vector<float> interleaved;  // one segment for the direct path
};

int64_t engineCallsSoFar(const Plugin& plugin) {
    return plugin.bridged ? plugin.bridge.engineCalls : plugin.engineCalls;
}

int64_t totalLatency(const Plugin& plugin) {
    const int64_t engineFrames = audioLatencyFrames(*plugin.engine);
    return plugin.bridged ? rateBridgeLatency(plugin.bridge, engineFrames) : engineFrames;
}

int presetChoice(float value) {
    if (!std::isfinite(value)) return 1;
    return static_cast<int>(std::clamp(std::lrint(value), 1L, static_cast<long>(lv2port::kFactoryPresetCount)));
}

double consoleValue(const lv2port::ControlPort& port, float value) {
    if (!std::isfinite(value)) return port.kind == lv2port::kSwitch ? 0.0 : std::clamp(0.0, port.minimum, port.maximum);
    if (port.kind == lv2port::kSwitch) return value >= 0.5f ? 1.0 : 0.0;
    return std::clamp(static_cast<double>(value), port.minimum, port.maximum);
}

float readPort(const Plugin& plugin, int control, float fallback) {
    const float* port = plugin.controls[control];
    return port != nullptr ? *port : fallback;
}

void writePort(Plugin& plugin, int control, double value) {
    if (float* port = plugin.controls[control]) *port = static_cast<float>(value);
}

// ---- control side ----

bool loadFactory(Plugin& plugin, int preset) {
    std::string error;
    return loadFactoryPreset(*plugin.engine, preset, &error);
}

// The control side takes the console values set on the audio thread, so a saved state and later
// loads know them (setValue hands the same values back to the audio thread).
void syncConsole(Plugin& plugin, const WorkMessage& message) {
    for (int i = 0; i < plugin.ports->consoleCount; ++i) {
        if ((message.consoleMask >> i & 1u) == 0) continue;
        const lv2port::ControlPort& port = plugin.ports->controls[plugin.ports->consoleControl[i]];
        setValue(*plugin.engine, port.key, consoleValue(port, message.consoleValues[i]));
    }
}

LV2_Worker_Status work(LV2_Handle instance, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                       uint32_t size, const void* data) {
    Plugin& plugin = *static_cast<Plugin*>(instance);
    WorkMessage message{};
    std::memcpy(&message, data, std::min<size_t>(size, sizeof message));
    message.path[kMaxPathBytes - 1] = '\0';
    {
        std::lock_guard<std::mutex> hold(plugin.controlLock);
        std::string error;
        if (message.kind == kWorkFactoryPreset) {
            loadFactory(plugin, message.preset);
        } else if (message.kind == kWorkPresetFile) {
            loadPresetFile(*plugin.engine, message.path, &error);
        } else if (message.kind == kWorkConsoleValues) {
            syncConsole(plugin, message);
        }
    }
    const int32_t done = message.kind;
    respond(handle, sizeof done, &done);
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status workResponse(LV2_Handle instance, uint32_t size, const void* data) {
    Plugin& plugin = *static_cast<Plugin*>(instance);
    int32_t kind = 0;
    std::memcpy(&kind, data, std::min<size_t>(size, sizeof kind));
    if (kind == kWorkConsoleValues) {
        // The hand-over brings the values the message carried; the controls it carried are set
        // again from their ports after it, in case they moved meanwhile.
        plugin.syncInFlight = false;
        plugin.reapplySynced = true;
    } else if (plugin.loadsInFlight > 0) {
        --plugin.loadsInFlight;
        plugin.reapplySynced = false;
    }
    plugin.consoleHeldUntil = engineCallsSoFar(plugin) + 1;
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status saveState(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                           const LV2_Feature* const*) {
    Plugin& plugin = *static_cast<Plugin*>(instance);
    if (plugin.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    std::string text;
    {
        std::lock_guard<std::mutex> hold(plugin.controlLock);
        text = presetText(*plugin.engine);
    }
    return store(handle, plugin.urids.settingsText, text.c_str(), text.size() + 1, plugin.urids.atomString,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status restoreState(LV2_Handle instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                              uint32_t, const LV2_Feature* const*) {
    Plugin& plugin = *static_cast<Plugin*>(instance);
    if (plugin.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* value = retrieve(handle, plugin.urids.settingsText, &size, &type, &flags);
    // A state without settings (a preset of port values only) leaves the engine to the ports.
    if (value == nullptr) return LV2_STATE_SUCCESS;
    if (type != plugin.urids.atomString) return LV2_STATE_ERR_BAD_TYPE;
    const char* text = static_cast<const char*>(value);
    const size_t length = strnlen(text, size);
    std::string error;
    {
        std::lock_guard<std::mutex> hold(plugin.controlLock);
        if (!loadPresetText(*plugin.engine, text, length, &error)) return LV2_STATE_ERR_UNKNOWN;
    }
    plugin.adoptPortValues.store(true);
    return LV2_STATE_SUCCESS;
}

// ---- audio side ----

void adoptPorts(Plugin& plugin) {
    plugin.unsynced = 0;
    plugin.reapplySynced = false;
    plugin.lastPreset = presetChoice(readPort(plugin, lv2port::kPresetControl, static_cast<float>(plugin.lastPreset)));
    for (int i = 0; i < plugin.ports->consoleCount; ++i) {
        plugin.lastConsole[i] = readPort(plugin, plugin.ports->consoleControl[i], plugin.lastConsole[i]);
    }
}

void followPresetChoice(Plugin& plugin) {
    const int preset = presetChoice(readPort(plugin, lv2port::kPresetControl, static_cast<float>(plugin.lastPreset)));
    if (preset == plugin.lastPreset) return;
    if (plugin.schedule != nullptr) {
        WorkMessage message{};
        message.kind = kWorkFactoryPreset;
        message.preset = preset;
        const uint32_t size = static_cast<uint32_t>(offsetof(WorkMessage, path));
        if (plugin.schedule->schedule_work(plugin.schedule->handle, size, &message) != LV2_WORKER_SUCCESS) return;
        ++plugin.loadsInFlight;
    } else {
        // No worker: an offline host, whose audio thread is its only thread.
        std::unique_lock<std::mutex> hold(plugin.controlLock, std::try_to_lock);
        if (!hold.owns_lock()) return;
        loadFactory(plugin, preset);
        plugin.consoleHeldUntil = engineCallsSoFar(plugin) + 1;
    }
    plugin.lastPreset = preset;
}

void followConsole(Plugin& plugin) {
    if (plugin.loadsInFlight > 0 || engineCallsSoFar(plugin) < plugin.consoleHeldUntil) return;
    for (int i = 0; i < plugin.ports->consoleCount; ++i) {
        const int control = plugin.ports->consoleControl[i];
        if (!lv2port::actsOn(plugin.channels, control)) continue;
        const float value = readPort(plugin, control, plugin.lastConsole[i]);
        const bool moved = value != plugin.lastConsole[i] && !(std::isnan(value) && std::isnan(plugin.lastConsole[i]));
        const bool reapply = plugin.reapplySynced && (plugin.syncedMask >> i & 1u) != 0;
        if (!moved && !reapply) continue;
        plugin.lastConsole[i] = value;
        if (plugin.consoleHandles[i] != kNoParam) setLiveValue(*plugin.engine, plugin.consoleHandles[i], consoleValue(plugin.ports->controls[control], value));
        if (moved) plugin.unsynced |= 1u << i;
    }
    plugin.reapplySynced = false;
    if (plugin.unsynced == 0 || plugin.syncInFlight) return;
    WorkMessage message{};
    message.kind = kWorkConsoleValues;
    message.consoleMask = plugin.unsynced;
    for (int i = 0; i < plugin.ports->consoleCount; ++i) message.consoleValues[i] = plugin.lastConsole[i];
    if (plugin.schedule != nullptr) {
        const uint32_t size = static_cast<uint32_t>(offsetof(WorkMessage, path));
        if (plugin.schedule->schedule_work(plugin.schedule->handle, size, &message) != LV2_WORKER_SUCCESS) return;
        plugin.syncInFlight = true;
        plugin.syncedMask = plugin.unsynced;
    } else {
        // No worker: an offline host, whose audio thread is its only thread.
        std::unique_lock<std::mutex> hold(plugin.controlLock, std::try_to_lock);
        if (!hold.owns_lock()) return;
        syncConsole(plugin, message);
    }
    plugin.unsynced = 0;
}

// The true-peak ceiling after the chain: on while its switch is, at the level its port gives.
void followCeiling(Plugin& plugin) {
    const TruePeakCeiling now = truePeakCeiling(*plugin.engine);
    const bool on = readPort(plugin, lv2port::kCeilingSwitchControl, now.on ? 1.0f : 0.0f) >= 0.5f;
    const double ceilingDbtp = readPort(plugin, lv2port::kCeilingLevelControl, static_cast<float>(now.ceilingDbtp));
    if (on != now.on || (std::isfinite(ceilingDbtp) && ceilingDbtp != now.ceilingDbtp)) {
        setTruePeakCeiling(*plugin.engine, on, ceilingDbtp);
    }
}

void followMessages(Plugin& plugin) {
    if (plugin.messages == nullptr || plugin.map == nullptr || plugin.schedule == nullptr) return;
    const Urids& u = plugin.urids;
    LV2_ATOM_SEQUENCE_FOREACH(plugin.messages, event) {
        if (event->body.type != u.atomObject) continue;
        const LV2_Atom_Object* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
        if (object->body.otype != u.patchSet) continue;
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(object, u.patchProperty, &property, u.patchValue, &value, 0);
        if (property == nullptr || property->type != u.atomUrid ||
            reinterpret_cast<const LV2_Atom_URID*>(property)->body != u.presetFile)
            continue;
        if (value == nullptr || value->type != u.atomPath || value->size == 0 || value->size > kMaxPathBytes) continue;
        WorkMessage message{};
        message.kind = kWorkPresetFile;
        std::memcpy(message.path, LV2_ATOM_BODY_CONST(value), value->size);
        message.path[value->size - 1] = '\0';
        const uint32_t size = static_cast<uint32_t>(offsetof(WorkMessage, path) + value->size);
        if (plugin.schedule->schedule_work(plugin.schedule->handle, size, &message) == LV2_WORKER_SUCCESS) {
            ++plugin.loadsInFlight;
        }
    }
}

void processDirect(Plugin& plugin, const float* const* in, float* const* out, int frames) {
    const int channels = plugin.channels;
    float* buffer = plugin.interleaved.data();
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const float value = in[c][i];
            buffer[i * channels + c] = std::isfinite(value) ? value : 0.0f;
        }
    }
    processBlockFloat(*plugin.engine, buffer, frames, channels);
    ++plugin.engineCalls;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) out[c][i] = buffer[i * channels + c];
    }
}

// Keeps the input for the dry (bypass) path.
void storeDry(Plugin& plugin, const float* const* in, int frames) {
    const int64_t mask = kDryRingFrames - 1;
    for (int i = 0; i < frames; ++i) {
        float* slot = &plugin.dryRing[static_cast<size_t>(((plugin.dryWrite + i) & mask) * plugin.channels)];
        for (int c = 0; c < plugin.channels; ++c) slot[c] = in[c][i];
    }
}

// Mixes the input, delayed by the latency, into the output by the bypass fade.
void mixDry(Plugin& plugin, float* const* out, int frames, int64_t latency) {
    const int64_t mask = kDryRingFrames - 1;
    const int64_t delay = std::min(latency, kDryRingFrames - kSegmentFrames);
    for (int i = 0; i < frames; ++i) {
        if (plugin.wet != plugin.wetTarget) {
            plugin.wet = plugin.wet < plugin.wetTarget ? std::min(plugin.wetTarget, plugin.wet + plugin.fadeStep)
                                                       : std::max(plugin.wetTarget, plugin.wet - plugin.fadeStep);
        }
        if (plugin.wet == 1.0) continue;
        const float* slot = &plugin.dryRing[static_cast<size_t>(((plugin.dryWrite + i - delay) & mask) * plugin.channels)];
        for (int c = 0; c < plugin.channels; ++c) {
            out[c][i] = static_cast<float>(plugin.wet * out[c][i] + (1.0 - plugin.wet) * slot[c]);
        }
    }
}

double levelDb(double percent) {
    constexpr double floorDb = -90.0;
    if (!(percent > 0.0)) return floorDb;
    return std::max(floorDb, 20.0 * std::log10(percent / 100.0));
}

void writeMeters(Plugin& plugin, int64_t latency) {
    const EngineMeters meters = readMeters(*plugin.engine);
    writePort(plugin, lv2port::kInputLevelControl, levelDb(meters.inputPercent));
    writePort(plugin, lv2port::kOutputLevelControl, levelDb(meters.outputPercent));
    writePort(plugin, lv2port::kAgcLowControl, meters.agcLowDb);
    writePort(plugin, lv2port::kAgcHighControl, meters.agcHighDb);
    writePort(plugin, lv2port::kFinalLimiterControl, std::fabs(meters.finalLimiterDb));
    writePort(plugin, lv2port::kFinalClipperControl, std::fabs(meters.finalClipperDb));
    for (int band = 0; band < lv2port::kBandCount; ++band) {
        const double reduction = std::fabs(meters.bandCompressionDb[band]) + std::fabs(meters.bandLimitingDb[band]);
        writePort(plugin, lv2port::kFirstBandControl + band, reduction);
    }
    writePort(plugin, lv2port::kLatencyControl, static_cast<double>(latency));
}

// ---- descriptor ----

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*, const LV2_Feature* const* features) {
    Plugin* plugin = new (std::nothrow) Plugin;
    if (plugin == nullptr) return nullptr;
    plugin->channels = std::strcmp(descriptor->URI, lv2port::kMonoUri) == 0 ? 1 : 2;
    plugin->rate = rate;
    plugin->bridged = rate != kEngineRate;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) plugin->map = static_cast<LV2_URID_Map*>(features[i]->data);
        if (std::strcmp(features[i]->URI, LV2_WORKER__schedule) == 0) {
            plugin->schedule = static_cast<LV2_Worker_Schedule*>(features[i]->data);
        }
    }
    if (LV2_URID_Map* map = plugin->map) {
        Urids& u = plugin->urids;
        u.atomString = map->map(map->handle, LV2_ATOM__String);
        u.atomPath = map->map(map->handle, LV2_ATOM__Path);
        u.atomObject = map->map(map->handle, LV2_ATOM__Object);
        u.atomUrid = map->map(map->handle, LV2_ATOM__URID);
        u.patchSet = map->map(map->handle, LV2_PATCH__Set);
        u.patchProperty = map->map(map->handle, LV2_PATCH__property);
        u.patchValue = map->map(map->handle, LV2_PATCH__value);
        u.settingsText = map->map(map->handle, lv2port::kSettingsTextKey);
        u.presetFile = map->map(map->handle, lv2port::kPresetFileKey);
    }
    plugin->ports = &lv2port::controlList();
    plugin->engine = plugin->ports->fits ? createEngine(kRandomSeed) : nullptr;
    bool ready = plugin->engine != nullptr;
    if (ready && plugin->bridged) ready = prepareRateBridge(plugin->bridge, rate, plugin->channels);
    if (!ready) {
        releaseRateBridge(plugin->bridge);
        if (plugin->engine != nullptr) destroyEngine(plugin->engine);
        delete plugin;
        return nullptr;
    }
    plugin->bridgeFresh = true;
    for (int i = 0; i < plugin->ports->consoleCount; ++i) {
        const lv2port::ControlPort& port = plugin->ports->controls[plugin->ports->consoleControl[i]];
        plugin->consoleHandles[i] = findParam(*plugin->engine, port.key);
        double value = 0.0;
        getValue(*plugin->engine, port.key, &value);
        plugin->lastConsole[i] = static_cast<float>(value);
    }
    plugin->fadeStep = 1.0 / (kBypassFadeSeconds * rate);
    plugin->dryRing.assign(static_cast<size_t>(kDryRingFrames * plugin->channels), 0.0f);
    plugin->interleaved.assign(static_cast<size_t>(kSegmentFrames * plugin->channels), 0.0f);
    return plugin;
}

void connectPort(LV2_Handle instance, uint32_t port, void* data) {
    Plugin& plugin = *static_cast<Plugin*>(instance);
    const int audioPorts = lv2port::audioPortCount(plugin.channels);
    const int index = static_cast<int>(port);
    if (index < plugin.channels) {
        plugin.audioIn[index] = static_cast<const float*>(data);
    } else if (index < audioPorts) {
        plugin.audioOut[index - plugin.channels] = static_cast<float*>(data);
    } else if (index < lv2port::messagePortIndex(plugin.channels)) {
        plugin.controls[index - audioPorts] = static_cast<float*>(data);
    } else if (index == lv2port::messagePortIndex(plugin.channels)) {
        plugin.messages = static_cast<const LV2_Atom_Sequence*>(data);
    } else if (index < audioPorts + static_cast<int>(plugin.ports->controls.size()) + 1) {
        plugin.controls[index - audioPorts - 1] = static_cast<float*>(data);
    }
}

void activate(LV2_Handle instance) {
    Plugin& plugin = *static_cast<Plugin*>(instance);
    std::lock_guard<std::mutex> hold(plugin.controlLock);
    seedEngine(*plugin.engine, kRandomSeed);
    requestIdleReset(*plugin.engine);
    if (plugin.bridged && !plugin.bridgeFresh) prepareRateBridge(plugin.bridge, plugin.rate, plugin.channels);
    plugin.bridgeFresh = true;
    // The preset the host has chosen before starting is loaded before the first block.
    if (!plugin.adoptPortValues.load()) {
        const int preset = presetChoice(readPort(plugin, lv2port::kPresetControl, static_cast<float>(plugin.lastPreset)));
        if (preset != plugin.lastPreset && loadFactory(plugin, preset)) {
            plugin.lastPreset = preset;
            plugin.consoleHeldUntil = engineCallsSoFar(plugin) + 1;
        }
    }
    plugin.engineCallsAtStart = engineCallsSoFar(plugin);
    // The ceiling starts from silence too (run() is not running now: the host never calls
    // activate() beside it).
    const TruePeakCeiling ceiling = truePeakCeiling(*plugin.engine);
    if (ceiling.on) {
        setTruePeakCeiling(*plugin.engine, false, ceiling.ceilingDbtp);
        setTruePeakCeiling(*plugin.engine, true, ceiling.ceilingDbtp);
    }
    std::fill(plugin.dryRing.begin(), plugin.dryRing.end(), 0.0f);
    plugin.dryWrite = 0;
    plugin.wetTarget = readPort(plugin, lv2port::kEnabledControl, 1.0f) >= 0.5f ? 1.0 : 0.0;
    plugin.wet = plugin.wetTarget;
}

void run(LV2_Handle instance, uint32_t sampleCount) {
    Plugin& plugin = *static_cast<Plugin*>(instance);
    plugin.bridgeFresh = false;
    if (plugin.adoptPortValues.exchange(false)) adoptPorts(plugin);
    followMessages(plugin);
    followPresetChoice(plugin);
    followConsole(plugin);
    plugin.wetTarget = readPort(plugin, lv2port::kEnabledControl, 1.0f) >= 0.5f ? 1.0 : 0.0;
    followCeiling(plugin);
    // Until the engine's first block since activation, the settings it will start with are taken
    // now, so the latency port tells the latency of the audio to come from the first call on
    // (taking them before the first block runs them exactly as the block's start would).
    if (engineCallsSoFar(plugin) == plugin.engineCallsAtStart) takePendingSettings(*plugin.engine);

    const int channels = plugin.channels;
    const int frames = static_cast<int>(sampleCount);
    for (int done = 0; done < frames;) {
        const int count = std::min(kSegmentFrames, frames - done);
        const float* in[2];
        float* out[2];
        for (int c = 0; c < channels; ++c) {
            in[c] = plugin.audioIn[c] + done;
            out[c] = plugin.audioOut[c] + done;
        }
        const bool fading = plugin.wet != 1.0 || plugin.wetTarget != 1.0;
        storeDry(plugin, in, count);
        if (plugin.bridged) {
            processRateBridge(plugin.bridge, *plugin.engine, in, out, count);
        } else {
            processDirect(plugin, in, out, count);
        }
        if (fading) mixDry(plugin, out, count, totalLatency(plugin));
        plugin.dryWrite += count;
        done += count;
    }
    writeMeters(plugin, totalLatency(plugin));
}

void cleanup(LV2_Handle instance) {
    Plugin* plugin = static_cast<Plugin*>(instance);
    releaseRateBridge(plugin->bridge);
    destroyEngine(plugin->engine);
    delete plugin;
}

const void* extensionData(const char* uri) {
    static const LV2_Worker_Interface worker = {work, workResponse, nullptr};
    static const LV2_State_Interface state = {saveState, restoreState};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {lv2port::kStereoUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
    {lv2port::kMonoUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < sizeof kDescriptors / sizeof kDescriptors[0] ? &kDescriptors[index] : nullptr;
}
