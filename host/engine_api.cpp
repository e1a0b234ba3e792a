// The host API over the engine record: creation, presets, values by key, both audio paths.
#include "host/engine_api.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "dsp/frame.h"
#include "dsp/lane_width.h"
#include "dsp/shared_value.h"
#include "host/sample_guard.h"
#include "params/engine.h"
#include "params/preset_file.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "params/version.h"

namespace {

// Engines of the host API run on a clock of their own that never advances: their filters are
// cleared after a preset load or on request, never because the process paused.
uint32_t steadyClock() { return 1; }

void setError(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
}

bool isKeyed(const ParamEntry& param) {
    return param.key[0] != '\0' && param.value != nullptr &&
           (param.kind == VerticalSlider || param.kind == HorizontalSlider || param.kind == CheckBox);
}

const ParamEntry* findEntry(const Engine& engine, const char* key) {
    if (key == nullptr || key[0] == '\0') return nullptr;
    for (const WindowEntry* window = engine.registry.windows; window != nullptr; window = window->next) {
        for (const ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (isKeyed(*param) && std::strcmp(param->key, key) == 0) return param;
        }
    }
    return nullptr;
}

bool loadText(Engine& engine, const std::string& text, const std::string& origin, std::string* error) {
    if (!LoadPresetFileText(engine, text.data(), text.size())) {
        setError(error, origin + " is not a preset file (it has no General.Name or General.BaseFactoryPreset line)");
        return false;
    }
    return true;
}

// The meters in chain order: a name pattern ("%d" the band, 1 ... 10), the count and where the
// first value lives in the engine state.
struct MeterGroup {
    const char* name;
    const char* unit;
    int count;
    const double* (*first)(const ProcessorState& state);
};

constexpr MeterGroup kMeterGroups[] = {
    {"Input.Percent", "%", 1, [](const ProcessorState& s) { return &s.inputMeter; }},
    {"StereoImage.Enhance.dB", "dB", 1, [](const ProcessorState& s) { return &s.stereoImage.meterDb; }},
    {"AGC.Low.dB", "dB", 1, [](const ProcessorState& s) { return &s.agc.meterLowDb; }},
    {"AGC.High.dB", "dB", 1, [](const ProcessorState& s) { return &s.agc.meterHighDb; }},
    {"AGC.Reduction.dB", "dB", 1, [](const ProcessorState& s) { return &s.agc.meterReductionDb; }},
    {"DynamicEQ.Band%d.dB", "dB", kBandCount, [](const ProcessorState& s) { return &s.tenBand.dynamicEq.meter[0]; }},
    {"Compressor.Band%d.dB", "dB", kBandCount, [](const ProcessorState& s) { return &s.tenBand.compressor.meter[0]; }},
    {"Expander.Band%d.dB", "dB", kBandCount, [](const ProcessorState& s) { return &s.tenBand.expander.meter[0]; }},
    {"Limiter.Band%d.dB", "dB", kBandCount, [](const ProcessorState& s) { return &s.tenBand.limiter.meter[0]; }},
    {"Saturator.Band%d.dB", "dB", kBandCount, [](const ProcessorState& s) { return &s.tenBand.saturator.meter[0]; }},
    {"FinalLimiter.dB", "dB", 1, [](const ProcessorState& s) { return &s.finalLimiter.meterDb; }},
    {"FinalClipper.dB", "dB", 1, [](const ProcessorState& s) { return &s.finalClipper.meterDb; }},
    {"Output.Percent", "%", 1, [](const ProcessorState& s) { return &s.outputMeter; }},
};

constexpr int countMeters() {
    int count = 0;
    for (const MeterGroup& group : kMeterGroups) count += group.count;
    return count;
}
constexpr int kMeterCount = countMeters();

struct MeterRow {
    char name[40];
    const char* unit;
    const MeterGroup* group;
    int member;  // band index within the group
};

// The rows with their names written out, made once.
const MeterRow* meterRows() {
    static const struct Rows {
        MeterRow row[kMeterCount];
        Rows() : row{} {
            int index = 0;
            for (const MeterGroup& group : kMeterGroups) {
                for (int member = 0; member < group.count; ++member, ++index) {
                    std::snprintf(row[index].name, sizeof row[index].name, group.name, member + 1);
                    row[index].unit = group.unit;
                    row[index].group = &group;
                    row[index].member = member;
                }
            }
        }
    } rows;
    return rows.row;
}

const double* meterValue(const Engine& engine, int index) {
    const MeterRow& row = meterRows()[index];
    return row.group->first(engine.state) + row.member;
}

}  // namespace

Engine* createEngine(uint32_t seed) {
    Engine* engine = new (std::nothrow) Engine();
    if (engine == nullptr) return nullptr;
    ClearEngine(*engine, seed, true);
    engine->state.hooks.tickCount = steadyClock;
    RegisterEngine(*engine);
    LoadPreset(*engine, 0);
    setUpCeilingStage(engine->ceiling);
    return engine;
}

void destroyEngine(Engine* engine) {
    if (engine == nullptr) return;
    ReleaseEngine(*engine);
    delete engine;
}

void seedEngine(Engine& engine, uint32_t seed) { seedEngineRandom(engine.random, seed); }

bool loadFactoryPreset(Engine& engine, int factory, std::string* error) {
    if (factory < 1 || factory > kFactoryResources) {
        setError(error, "there is no factory preset F" + std::to_string(factory) + " (F1 ... F" +
                            std::to_string(kFactoryResources) + " exist)");
        return false;
    }
    return LoadPreset(engine, 1 - factory);
}

bool loadUserPreset(Engine& engine, const std::string& settingsDirectory, int slot, std::string* error) {
    if (slot < 1 || slot > kUserSlots) {
        setError(error, "user preset slots are 1 ... 99, not " + std::to_string(slot));
        return false;
    }
    if (settingsDirectory.empty() || !DirectoryExists(settingsDirectory)) {
        setError(error, "settings directory '" + settingsDirectory + "' does not exist");
        return false;
    }
    SetHostDirectory(engine.text, settingsDirectory.back() == '/' ? settingsDirectory : settingsDirectory + "/");
    char fileName[kPresetFileNameSize];
    PresetFileName(slot, fileName);
    const std::string path = ResolvePath(engine.text, fileName);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        setError(error, "user preset slot " + std::to_string(slot) + " is empty (no " + path + ")");
        return false;
    }
    std::fclose(file);
    return LoadPreset(engine, slot);
}

bool loadPresetFile(Engine& engine, const std::string& path, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        setError(error, "cannot read '" + path + "': " + std::strerror(errno));
        return false;
    }
    std::string bytes(kSettingsTextMaxFileBytes, '\0');
    const std::size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        setError(error, "cannot read '" + path + "'");
        return false;
    }
    return loadText(engine, presetFileText(bytes.data(), size), "'" + path + "'", error);
}

bool loadPresetText(Engine& engine, const char* text, std::size_t size, std::string* error) {
    if (text == nullptr) size = 0;
    return loadText(engine, presetFileText(text != nullptr ? text : "", size), "the text", error);
}

std::string presetFileText(const char* bytes, std::size_t size) {
    std::size_t start = 0;
    if (size >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF && static_cast<unsigned char>(bytes[1]) == 0xBB &&
        static_cast<unsigned char>(bytes[2]) == 0xBF) {
        start = 3;
    }
    std::string text;
    text.reserve(size + size / 16);
    for (std::size_t i = start; i < size; ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            text += "\r\n";
            if (i + 1 < size && bytes[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            text += "\r\n";
        } else {
            text += c;
        }
    }
    return text;
}

std::string presetName(const Engine& engine) {
    const LiveParams& params = boundParams(engine);
    return std::string(params.presetName, strnlen(params.presetName, sizeof params.presetName));
}

double basePreset(const Engine& engine) { return engine.presets.baseFactoryPreset; }

std::string presetText(Engine& engine) {
    BuildPresetText(engine, "DV_Preset.ini");
    return std::string(engine.text.text);
}

bool getValue(const Engine& engine, const char* key, double* value) {
    const ParamEntry* param = findEntry(engine, key);
    if (param == nullptr) return false;
    if (param->kind == CheckBox) {
        *value = loadShared(*static_cast<const uint8_t*>(param->value)) != 0 ? 1.0 : 0.0;
    } else {
        *value = loadShared(*static_cast<const double*>(param->value));
    }
    return true;
}

bool setValue(Engine& engine, const char* key, double value) {
    const ParamEntry* param = findEntry(engine, key);
    if (param == nullptr) return false;
    if (param->kind == CheckBox) {
        storeShared(*static_cast<uint8_t*>(param->value), static_cast<uint8_t>(value != 0.0 ? 1 : 0));
    } else {
        storeShared(*static_cast<double*>(param->value), value);
    }
    CommitSettings(engine, false, false);
    return true;
}

// A handle is the value's byte offset in the live block, doubled, plus 1 for a switch.
ParamHandle findParam(const Engine& engine, const char* key) {
    const ParamEntry* param = findEntry(engine, key);
    if (param == nullptr) return kNoParam;
    const char* base = reinterpret_cast<const char*>(&boundParams(engine));
    const ParamHandle offset = static_cast<ParamHandle>(static_cast<const char*>(param->value) - base);
    return offset * 2 + (param->kind == CheckBox ? 1 : 0);
}

void setLiveValue(Engine& engine, ParamHandle param, double value) {
    if (param < 0 || static_cast<std::size_t>(param / 2) >= sizeof(LiveParams)) return;
    char* at = reinterpret_cast<char*>(&engine.live) + param / 2;
    if (param % 2 != 0) {
        storeShared(*reinterpret_cast<uint8_t*>(at), static_cast<uint8_t>(value != 0.0 ? 1 : 0));
    } else {
        storeShared(*reinterpret_cast<double*>(at), value);
    }
}

void processBlock16(Engine& engine, int16_t* interleaved, int frames) {
    TakeHandedOverSettings(engine);
    ProcessBlock(interleaved, frames, 16, 2, 44100, engine.state, engine.live, engine.random);
}

void processBlockFloat(Engine& engine, float* interleaved, int frames, int channels) {
    TakeHandedOverSettings(engine);
    if (frames > 0 && (channels == 1 || channels == 2)) {
        silenceNonFinite(interleaved, static_cast<size_t>(frames) * static_cast<size_t>(channels));
    }
    ProcessFloatBlock(interleaved, frames, channels, engine.state, engine.live, engine.random);
    processCeiling(engine.ceiling, interleaved, frames, channels);
}

void processBlockDouble(Engine& engine, double* interleaved, int frames, int channels) {
    TakeHandedOverSettings(engine);
    if (frames > 0 && (channels == 1 || channels == 2)) {
        silenceNonFinite(interleaved, static_cast<size_t>(frames) * static_cast<size_t>(channels));
    }
    ProcessFloatBlock(interleaved, frames, channels, engine.state, engine.live, engine.random);
    processCeiling(engine.ceiling, interleaved, frames, channels);
}

static_assert(kDefaultTruePeakCeilingDbtp == kDefaultCeilingDbtp && kLowestTruePeakCeilingDbtp == kLowestStageCeilingDbtp &&
                  kHighestTruePeakCeilingDbtp == kHighestStageCeilingDbtp,
              "the host API names the ceiling stage's own range");

void setTruePeakCeiling(Engine& engine, bool on, double ceilingDbtp) { setCeiling(engine.ceiling, on, ceilingDbtp); }

void requestTruePeakCeiling(Engine& engine, bool on, double ceilingDbtp) {
    requestCeiling(engine.ceiling, on, ceilingDbtp);
}

TruePeakCeiling truePeakCeiling(const Engine& engine) {
    return {isOn(engine.ceiling.on), loadShared(engine.ceiling.ceilingDbtp)};
}

int64_t latencyFrames(const Engine& engine) {
    return ProcessingDelayFrames(boundParams(engine)) + ceilingLatencyFrames(engine.ceiling);
}

int64_t audioLatencyFrames(const Engine& engine) {
    return ProcessingDelayFrames(engine.live) + ceilingLatencyFrames(engine.ceiling);
}

void takePendingSettings(Engine& engine) {
    TakeHandedOverSettings(engine);
    takeCeilingRequest(engine.ceiling);
}

void requestIdleReset(Engine& engine) { CommitSettings(engine, false, true); }

EngineMeters readMeters(Engine& engine) {
    const ProcessorState& state = engine.state;
    EngineMeters meters{};
    meters.inputPercent = loadShared(state.inputMeter);
    meters.outputPercent = loadShared(state.outputMeter);
    meters.agcLowDb = loadShared(state.agc.meterLowDb);
    meters.agcHighDb = loadShared(state.agc.meterHighDb);
    meters.agcReductionDb = loadShared(state.agc.meterReductionDb);
    meters.stereoEnhanceDb = loadShared(state.stereoImage.meterDb);
    for (int band = 0; band < kBandCount; ++band) {
        meters.bandCompressionDb[band] = loadShared(state.tenBand.compressor.meter[band]);
        meters.bandLimitingDb[band] = loadShared(state.tenBand.limiter.meter[band]);
    }
    meters.finalLimiterDb = loadShared(state.finalLimiter.meterDb);
    meters.finalClipperDb = loadShared(state.finalClipper.meterDb);
    meters.clipped = takeClipFlag(engine);
    return meters;
}

bool takeClipFlag(Engine& engine) { return std::atomic_ref<uint8_t>(engine.state.clipFlag).exchange(0) != 0; }

const char* engineVersion() { return kVersionString; }

int engineLaneWidth() { return static_cast<int>(widestLanes()); }

int meterCount() { return kMeterCount; }

MeterInfo meterInfo(const Engine& engine, int index) {
    if (index < 0 || index >= kMeterCount) return {"", "", "", 0.0, 0.0};
    const MeterRow& row = meterRows()[index];
    MeterInfo info{row.name, row.unit, "", 0.0, 0.0};
    // The window and the range are the registry's: the meter's row there is bound to the same value.
    const double* value = meterValue(engine, index);
    for (const WindowEntry* window = engine.registry.windows; window != nullptr; window = window->next) {
        for (const ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->kind == Meter && param->value == value) {
                info.window = window->name;
                info.minValue = param->minValue;
                info.maxValue = param->maxValue;
                return info;
            }
        }
    }
    return info;
}

int findMeter(const char* name) {
    if (name == nullptr) return -1;
    for (int index = 0; index < kMeterCount; ++index) {
        if (std::strcmp(meterRows()[index].name, name) == 0) return index;
    }
    return -1;
}

double readMeter(const Engine& engine, int index) {
    if (index < 0 || index >= kMeterCount) return 0.0;
    return loadShared(*meterValue(engine, index));
}

CaptureRingView captureRing(const Engine& engine) {
    static_assert(kCaptureRingFrames == kCaptureFrames);
    return {engine.state.capture.samples, &engine.state.capture.writeIndex};
}

Engine* createEngineCopy(const Engine& source, uint32_t seed) {
    Engine* engine = createEngine(seed);
    if (engine == nullptr) return nullptr;
    std::memcpy(static_cast<void*>(&engine->staging), &boundParams(source), sizeof engine->staging);
    engine->presets.baseFactoryPreset = source.presets.baseFactoryPreset;
    CommitSettings(*engine, true, true);
    return engine;
}
