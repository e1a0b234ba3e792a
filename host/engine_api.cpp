// The host API over the engine record: creation, presets, values by key, both audio paths.
#include "host/engine_api.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "dsp/frame.h"
#include "dsp/shared_value.h"
#include "host/sample_guard.h"
#include "params/engine.h"
#include "params/preset_file.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"

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

}  // namespace

Engine* createEngine(uint32_t seed) {
    Engine* engine = new (std::nothrow) Engine();
    if (engine == nullptr) return nullptr;
    ClearEngine(*engine, seed, true);
    engine->state.hooks.tickCount = steadyClock;
    RegisterEngine(*engine);
    LoadPreset(*engine, 0);
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
}

void processBlockDouble(Engine& engine, double* interleaved, int frames, int channels) {
    TakeHandedOverSettings(engine);
    if (frames > 0 && (channels == 1 || channels == 2)) {
        silenceNonFinite(interleaved, static_cast<size_t>(frames) * static_cast<size_t>(channels));
    }
    ProcessFloatBlock(interleaved, frames, channels, engine.state, engine.live, engine.random);
}

int64_t latencyFrames(const Engine& engine) { return ProcessingDelayFrames(boundParams(engine)); }

int64_t audioLatencyFrames(const Engine& engine) { return ProcessingDelayFrames(engine.live); }

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
    meters.clipped = std::atomic_ref<uint8_t>(engine.state.clipFlag).exchange(0) != 0;
    return meters;
}
