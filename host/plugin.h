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
