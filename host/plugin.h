// Start-up, configuration, per-block and shut-down entries of the plug-in module.
#pragma once

#include <cstdint>

#include "host/winamp_dsp.h"

int Init(winampDSPModule* module);
void Config(winampDSPModule* module);
int ModifySamples(winampDSPModule* module, short int* samples, int numsamples, int bps, int nch, int srate);
void Quit(winampDSPModule* module);

winampDSPModule* getModule(int index);

struct Engine;
// The module's one engine (its state, live values, registry and settings text), for the windows.
Engine& PluginEngine();

// What the windows read and change of the module, on the user-interface thread.
struct Registry;
// The registry of the module's engine: its windows and their parameters, bound to the live values.
Registry& ModuleRegistry();
// The current setting's name ("General.Name"), as the console's name box shows and edits it.
const char* ModulePresetName();
void SetModulePresetName(const char* name);
// Redesigns the filters for what the windows changed since the last call.
void ApplyWindowEdits();
// True once Quit has begun: the windows stop acting on input.
bool ModuleQuitting();
// The tick of the module's last processed block (the engine's millisecond clock).
uint32_t ModuleLastBlockTick();
// The console's preset list selection, kept while the module is loaded; -1 for none.
int32_t ConsoleListSelection();
void SetConsoleListSelection(int32_t index);

// The module record handed to the host.
extern winampDSPModule dspModule;

// Set at the end of Init and never cleared: start-up runs at most once per load of the library.
extern bool initDone;

// The seed Init gives the random generator; the command-line processor fixes it for
// reproducible output. Unset, Init seeds from the clock.
void setRandomSeedOverride(bool enabled, uint32_t seed);

constexpr const char* kSettingsFileName = "dsp_Drelvant.ini";

// "Process all formats (resampled to 44.1 kHz)": with it on, 8/16/24/32-bit mono or stereo at
// 8 kHz ... 192 kHz runs through the high-resolution path (see host/format_adapter.h). Kept in the
// settings file under this key only while on; never in presets. Control thread.
constexpr const char* kProcessAllFormatsKey = "General.ProcessAllFormats";
void setProcessAllFormats(bool on);
bool processAllFormatsOn();

// What the host plays now, for the windows: the format of the last block, whether it is
// processed, and the frames (at its rate) from a sample's entry to its exit.
struct FormatStatus {
    int bps = 0, nch = 0, srate = 0;
    bool processed = false;
    int64_t latencyFrames = 0;
};
FormatStatus formatStatus();
