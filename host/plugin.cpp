// The exported entry point, the header and module records, and the plug-in's lifecycle.
#include "host/plugin.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "dsp/frame.h"
#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "host/format_adapter.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/remote_selection.h"
#include "params/settings_text.h"
#include "params/ui_seam.h"
#include "params/version.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kQuitWaitMs = 100;

// The module's one engine: static, as a host expects of a plug-in's state, and bound directly to
// the windows.
Engine moduleEngine;

// "Process all formats": off by default, kept in the settings file only while on. The adapter is
// the audio thread's; the control thread sizes it (reserveFormatAdapter) before switching on.
std::atomic<bool> processAllFormats{false};
FormatAdapter formatAdapter;
bool adapterRunning = false;      // audio thread: the switch was on at the last block
bool lastBlockHighResolution = false;  // audio thread: the last block went through the adapter

bool seedOverridden = false;
uint32_t seedOverride = 0;

// Hand-overs between the user-interface thread and the playback thread, without a lock: the
// playback thread never waits; the user-interface thread waits at most for one poll or one block.
// - The settings text, the preset store and the filter designer belong to the playback thread
//   only while it polls with the console closed. Closing the console hands them over (the window
//   handle is cleared with a release store, read here with acquire); Config takes them back by
//   raising consoleOpening and waiting for a poll in progress to end, after which no poll starts.
// - Quit writes the settings and releases the registry only once no block (and so no poll) runs.
// The flag pairs (consoleOpening / playbackPolling, isQuitting / playbackInBlock) are stored and
// loaded sequentially consistent: of two threads that each raise their flag and then read the
// other's, at least one sees the other's flag raised.
std::atomic<bool> consoleOpening{false};
std::atomic<bool> playbackPolling{false};
std::atomic<bool> playbackInBlock{false};

bool consoleClosedWithRegistry() {
    const WindowEntry* console = moduleEngine.registry.windows;
    return console != nullptr && loadAcquire(console->hwnd) == nullptr;
}

void pollFromPlayback() {
    playbackPolling.store(true);
    if (!consoleOpening.load() && consoleClosedWithRegistry()) PollRemoteSelection(moduleEngine, nullptr);
    playbackPolling.store(false, std::memory_order_release);
}

void takeSettingsFromPlayback() {
    consoleOpening.store(true);
    while (playbackPolling.load()) platform::sleepMs(1);
}

bool isQuitting() { return std::atomic_ref<uint8_t>(moduleEngine.state.isQuitting).load() != 0; }

winampDSPHeader dspHeader = {kDspHeaderVersion, kVersionString, getModule};

}  // namespace

bool initDone = false;

winampDSPModule dspModule = {kVersionString, nullptr, nullptr, Config, Init, ModifySamples, Quit, nullptr};

extern "C" winampDSPHeader* winampDSPGetHeader2(void) { return &dspHeader; }

Registry& ModuleRegistry() { return moduleEngine.registry; }

const char* ModulePresetName() { return moduleEngine.live.presetName; }

void SetModulePresetName(const char* name) {
    char* field = moduleEngine.live.presetName;
    std::memset(field, 0, sizeof moduleEngine.live.presetName);
    std::memcpy(field, name, strnlen(name, sizeof moduleEngine.live.presetName - 1));
}

void ApplyWindowEdits() { CommitSettings(moduleEngine, false, false); }

bool ModuleQuitting() { return loadShared(moduleEngine.state.isQuitting) != 0; }

uint32_t ModuleLastBlockTick() { return loadShared(moduleEngine.state.lastProcessTick); }

int32_t ConsoleListSelection() { return moduleEngine.state.lastListSelection; }

void SetConsoleListSelection(int32_t index) { moduleEngine.state.lastListSelection = index; }

Engine& PluginEngine() { return moduleEngine; }

winampDSPModule* getModule(int index) { return index == 0 ? &dspModule : nullptr; }

void setProcessAllFormats(bool on) {
    if (on) reserveFormatAdapter(formatAdapter);
    processAllFormats.store(on, std::memory_order_release);
}

bool processAllFormatsOn() { return processAllFormats.load(std::memory_order_acquire); }

FormatStatus formatStatus() {
    FormatStatus status;
    status.bps = formatAdapter.shownBps.load(std::memory_order_relaxed);
    status.nch = formatAdapter.shownNch.load(std::memory_order_relaxed);
    status.srate = formatAdapter.shownRate.load(std::memory_order_relaxed);
    status.processed = formatAdapter.shownProcessed.load(std::memory_order_relaxed) != 0;
    status.latencyFrames = formatAdapter.shownLatencyFrames.load(std::memory_order_relaxed);
    return status;
}

void setRandomSeedOverride(bool enabled, uint32_t seed) {
    seedOverridden = enabled;
    seedOverride = seed;
}

int Init(winampDSPModule* module) {
    if (initDone) return 0;
    Engine& engine = moduleEngine;
    ClearEngine(engine, seedOverridden ? seedOverride : static_cast<uint32_t>(std::time(nullptr)), false);
    ProcessorState& state = engine.state;

    ScanPresets(engine);
    ReadTextFile(engine.text, kSettingsFileName);
    state.startupPreset = StartupPresetFromSettings(engine.text);
    setProcessAllFormats(GetNumber(engine.text, kProcessAllFormatsKey, 0.0) != 0.0);

    RegisterEngine(engine);
    state.hooks.canPoll = consoleClosedWithRegistry;
    state.hooks.poll = pollFromPlayback;

    LoadPreset(engine, state.startupPreset);

    storeShared(state.isRunning, uint8_t{1});
    initDone = true;

    const WindowEntry* console = engine.registry.windows;
    if (console != nullptr && console->visible) Config(module);
    return 0;
}

void Config(winampDSPModule* module) {
    if (!loadShared(moduleEngine.state.isRunning)) {
        platform::messageBox(module != nullptr ? module->hwndParent : nullptr,
                             "Drelvant is not running.  Please select / run the plugin before attempting to configure.",
                             "Drelvant Configuration", platform::kIconWarning);
        return;
    }
    takeSettingsFromPlayback();
    WindowEntry* console = moduleEngine.registry.windows;
    for (WindowEntry* window = console; window != nullptr; window = window->next) {
        if (window == console) {
            uiShowConfigWindow(window->templateId);
        } else if (window->hwnd == nullptr && window->visible) {
            uiShowConfigWindow(window->templateId);
        }
    }
    consoleOpening.store(false, std::memory_order_release);
}

int ModifySamples(winampDSPModule*, short int* samples, int numsamples, int bps, int nch, int srate) {
    playbackInBlock.store(true);
    if (isQuitting()) {
        playbackInBlock.store(false, std::memory_order_release);
        return numsamples;
    }
    Engine& engine = moduleEngine;
    const HostFormat format{bps, nch, srate};
    const bool allFormats = processAllFormats.load(std::memory_order_acquire);
    const FormatRoute route = allFormats ? routeOf(format) : FormatRoute::PassThrough;
    if (allFormats && !adapterRunning) restartFormatAdapter(formatAdapter);
    adapterRunning = allFormats;
    int returned = numsamples;
    if (route == FormatRoute::HighResolution) {
        returned = adaptBlock(formatAdapter, engine, samples, numsamples, format);
        lastBlockHighResolution = true;
    } else {
        // The plug-in's own path: 44,100 Hz 16-bit stereo processed exactly, the rest untouched.
        // Coming from the adapter, it starts from rest as after a pause.
        if (lastBlockHighResolution) IdleReset(engine.state);
        lastBlockHighResolution = false;
        restartFormatAdapter(formatAdapter);
        returned = ProcessBlock(samples, numsamples, bps, nch, srate, engine.state, engine.live, engine.random);
        const bool processed = bps == 16 && nch == 2 && srate == 44100;
        formatAdapter.shownLatencyFrames.store(processed ? audioLatencyFrames(engine) : 0, std::memory_order_relaxed);
    }
    formatAdapter.shownBps.store(bps, std::memory_order_relaxed);
    formatAdapter.shownNch.store(nch, std::memory_order_relaxed);
    formatAdapter.shownRate.store(srate, std::memory_order_relaxed);
    formatAdapter.shownProcessed.store(route != FormatRoute::PassThrough || (bps == 16 && nch == 2 && srate == 44100),
                                       std::memory_order_relaxed);
    playbackInBlock.store(false, std::memory_order_release);
    return returned;
}

void Quit(winampDSPModule*) {
    Engine& engine = moduleEngine;
    ProcessorState& state = engine.state;
    if (!loadShared(state.isRunning)) return;
    std::atomic_ref<uint8_t>(state.isQuitting).store(1);
    platform::sleepMs(kQuitWaitMs);
    while (playbackInBlock.load()) platform::sleepMs(1);  // a block slower than the wait

    BeginText(engine.text, kSettingsFileName);
    SaveWindowRecordsAndRelease(engine.registry, engine.text);
    AppendNumber(engine.text, "General.StartupPreset", 0, state.startupPreset);
    if (processAllFormatsOn()) AppendNumber(engine.text, kProcessAllFormatsKey, 0, 1.0);
    WriteTextFile(engine.text);

    storeShared(state.isRunning, uint8_t{0});
}
