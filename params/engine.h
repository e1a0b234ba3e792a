// One engine: everything one processor needs, from its audio state to the text it reads presets from.
#pragma once

#include <cstdint>

#include "delivery/ceiling_stage.h"
#include "dsp/engine_random.h"
#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_handover.h"
#include "params/settings_text.h"

// The Winamp module owns one engine, whose registry is bound to the live values the audio thread
// reads, so that its windows edit them directly. Engines made through the host API bind their
// registry to `staging` instead: the control thread edits and loads there, and whole settings
// reach the audio thread through `handover`.
struct Engine {
    EngineRandom random;
    LiveParams live;        // what the audio thread reads
    ProcessorState state;
    SettingsText text;
    Registry registry;
    PresetStore presets;
    LiveParams staging;     // host-API engines: the control thread's values
    SettingsHandover handover;
    bool stagedSettings;    // registry bound to `staging` (host API) rather than `live`
    CeilingStage ceiling;   // host-API engines: the optional true-peak ceiling after the chain
};

// The values the registry is bound to: the ones presets are applied to and windows show.
inline LiveParams& boundParams(Engine& engine) { return engine.stagedSettings ? engine.staging : engine.live; }
inline const LiveParams& boundParams(const Engine& engine) {
    return engine.stagedSettings ? engine.staging : engine.live;
}

// Start-up, in two steps around the reading of the settings file (which holds the windows'
// places). ClearEngine seeds the generator and clears the values, the processor state and the
// hand-over; RegisterEngine registers the windows and puts the start-up filter designs in place.
// A preset load follows.
void ClearEngine(Engine& engine, uint32_t seed, bool stagedSettings);
void RegisterEngine(Engine& engine);
// Shut-down: frees the registry (destroying open windows) without writing any file.
void ReleaseEngine(Engine& engine);

// Hands what was applied to the bound values on: the module redesigns in place (forced) and, with
// `resetFilters`, asks for cleared filter memories at the next block; host-API engines pass the
// values, their designs and the reset to the audio thread in one piece.
void CommitSettings(Engine& engine, bool force, bool resetFilters);

// Audio thread, before each block of a host-API engine: takes settings handed over since the
// last block. ApplyHandedOverSettings puts settings already taken (takeSettings) in place.
void TakeHandedOverSettings(Engine& engine);
void ApplyHandedOverSettings(Engine& engine, const HandedOverSettings& settings);
