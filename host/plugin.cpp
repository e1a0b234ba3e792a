// The exported entry point, the header and module records, and the plug-in's lifecycle.
#include "host/plugin.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "dsp/derived_parameters.h"
#include "dsp/engine_random.h"
#include "dsp/frame.h"
#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "host/ui_seam.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/remote_selection.h"
#include "params/settings_text.h"
#include "platform/platform.h"

const char kVersionString[] = "Drelvant v1.20";

namespace {

constexpr uint32_t kQuitWaitMs = 100;
constexpr double kStartupToneLevelDb = -12.0;
constexpr double kStartupToneFrequencyHz = 640.0;
constexpr int kConsoleTemplate = 101;

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

bool consoleClosedWithRegistry() { return WindowList != nullptr && loadAcquire(WindowList->hwnd) == nullptr; }

void pollFromPlayback() {
    playbackPolling.store(true);
    if (!consoleOpening.load() && consoleClosedWithRegistry()) PollRemoteSelection(nullptr);
    playbackPolling.store(false, std::memory_order_release);
}

void takeSettingsFromPlayback() {
    consoleOpening.store(true);
    while (playbackPolling.load()) platform::sleepMs(1);
}

bool isQuitting() { return std::atomic_ref<uint8_t>(processorState.isQuitting).load() != 0; }

winampDSPHeader dspHeader = {kDspHeaderVersion, kVersionString, getModule};

}  // namespace

bool initDone = false;

winampDSPModule dspModule = {kVersionString, nullptr, nullptr, Config, Init, ModifySamples, Quit, nullptr};

extern "C" winampDSPHeader* winampDSPGetHeader2(void) { return &dspHeader; }

winampDSPModule* getModule(int index) { return index == 0 ? &dspModule : nullptr; }

void setRandomSeedOverride(bool enabled, uint32_t seed) {
    seedOverridden = enabled;
    seedOverride = seed;
}

int Init(winampDSPModule* module) {
    if (initDone) return 0;
    seedEngineRandom(seedOverridden ? seedOverride : static_cast<uint32_t>(std::time(nullptr)));

    std::memset(&liveParams, 0, sizeof liveParams);
    ClearProcessorState(processorState);

    processorState.testTone.levelDb = kStartupToneLevelDb;
    processorState.testTone.frequencyHz = kStartupToneFrequencyHz;
    processorState.lastListSelection = -1;

    ScanPresets();
    ReadTextFile(kSettingsFileName);
    processorState.startupPreset = static_cast<int32_t>(GetNumber("General.StartupPreset", 0));

    RegisterAllWindows(liveParams, processorState);
    processorState.hooks.canPoll = consoleClosedWithRegistry;
    processorState.hooks.poll = pollFromPlayback;

    LoadPreset(processorState.startupPreset);

    storeShared(processorState.isRunning, uint8_t{1});
    initDone = true;

    if (WindowList != nullptr && WindowList->visible) Config(module);
    return 0;
}

void Config(winampDSPModule* module) {
    if (!loadShared(processorState.isRunning)) {
        platform::messageBox(module != nullptr ? module->hwndParent : nullptr,
                             "Drelvant is not running.  Please select / run the plugin before attempting to configure.",
                             "Drelvant Configuration", platform::kIconWarning);
        return;
    }
    takeSettingsFromPlayback();
    for (WindowEntry* window = WindowList; window != nullptr; window = window->next) {
        if (window == WindowList) {
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
    const int returned = ProcessBlock(samples, numsamples, bps, nch, srate, processorState, liveParams);
    playbackInBlock.store(false, std::memory_order_release);
    return returned;
}

void Quit(winampDSPModule*) {
    if (!loadShared(processorState.isRunning)) return;
    std::atomic_ref<uint8_t>(processorState.isQuitting).store(1);
    platform::sleepMs(kQuitWaitMs);
    while (playbackInBlock.load()) platform::sleepMs(1);  // a block slower than the wait

    BeginText(kSettingsFileName);
    SaveWindowRecordsAndRelease();
    AppendNumber("General.StartupPreset", 0, processorState.startupPreset);
    WriteTextFile();

    storeShared(processorState.isRunning, uint8_t{0});
}
