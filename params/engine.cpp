// Engine start-up, shut-down, and the hand-over of settings to the audio thread.
#include "params/engine.h"

#include <cstring>

#include "dsp/derived_parameters.h"
#include "dsp/shared_value.h"
#include "params/ui_seam.h"

namespace {

// The test tone window's start-up values; the tone itself is off.
constexpr double kStartupToneLevelDb = -12.0;
constexpr double kStartupToneFrequencyHz = 640.0;

}  // namespace

void ClearEngine(Engine& engine, uint32_t seed, bool stagedSettings) {
    seedEngineRandom(engine.random, seed);
    std::memset(&engine.live, 0, sizeof engine.live);
    std::memset(&engine.staging, 0, sizeof engine.staging);
    ClearProcessorState(engine.state);
    ProcessorState& state = engine.state;
    state.testTone.levelDb = kStartupToneLevelDb;
    state.testTone.frequencyHz = kStartupToneFrequencyHz;
    state.lastListSelection = -1;
    initSettingsHandover(engine.handover);
    std::memset(&engine.presets, 0, sizeof engine.presets);
    engine.stagedSettings = stagedSettings;
}

void RegisterEngine(Engine& engine) {
    engine.registry.dialogProc = engine.stagedSettings ? nullptr : uiDialogProc();
    RegisterAllWindows(engine.registry, engine.text, boundParams(engine), engine.state);
    DesignStartupFilters(engine.state);
}

void ReleaseEngine(Engine& engine) {
    SaveWindowRecordsAndRelease(engine.registry, engine.text);
    std::memset(engine.text.text, 0, sizeof engine.text.text);
}

void CommitSettings(Engine& engine, bool force, bool resetFilters) {
    ProcessorState& state = engine.state;
    if (!engine.stagedSettings) {
        UpdateDerivedParameters(state, engine.live, force);
        if (resetFilters) storeShared(state.lastProcessTick, uint32_t{0});
        return;
    }
    SettingsHandover& handover = engine.handover;
    ComputeDerivedDesign(state, engine.staging, force);
    ZeroIdleMeters(state, engine.staging);
    if (resetFilters) ++handover.resetsRequested;
    HandedOverSettings& slot = handover.slots[handover.indices.back];
    std::memcpy(&slot.params, &engine.staging, sizeof slot.params);
    slot.design = state.designs.designer;
    slot.resetCount = handover.resetsRequested;
    publishSettings(handover);
}

void TakeHandedOverSettings(Engine& engine) {
    const HandedOverSettings* settings = takeSettings(engine.handover);
    if (settings != nullptr) ApplyHandedOverSettings(engine, *settings);
}

void ApplyHandedOverSettings(Engine& engine, const HandedOverSettings& handed) {
    SettingsHandover& handover = engine.handover;
    const HandedOverSettings* settings = &handed;
    ProcessorState& state = engine.state;
    std::memcpy(&engine.live, &settings->params, sizeof engine.live);
    InstallDesign(state, settings->design);
    if (settings->resetCount != handover.resetsTaken) {
        handover.resetsTaken = settings->resetCount;
        storeShared(state.lastProcessTick, uint32_t{0});
    }
}
