// Two threads as a host runs them: audio blocks on one; presets, files, live edits, meters and the
// console opening and closing on the other.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dsp/derived_parameters.h"
#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/remote_selection.h"
#include "params/settings_text.h"
#include "platform/platform.h"
#include "tests/stress/audio_thread_probe.h"

namespace {

constexpr int kMaxBlockFrames = 4608;      // the largest block a Winamp output plug-in hands over
constexpr uint32_t kPauseMs = 6500;        // longer than the idle-reset time
constexpr int kBlocksBetweenPauses = 300;
constexpr int kRoundsBetweenClosedConsole = 40;
constexpr int kSelectionsPerClosedConsole = 3;
constexpr auto kSelectionPatience = std::chrono::seconds(60);  // only a broken poll waits this long
constexpr int kDefaultSeconds = 20;
constexpr int kEditPassesPerRound = 8;
constexpr uint32_t kClockStepPerBlockMs = 200;  // on top of the block's length: polls every ~10 blocks

// The engine's clock: the audio thread moves it by a little more than the length of each block it
// hands over, and by more than the idle-reset time for a pause, so the audio-thread poll (every
// 2 s of this clock) and the idle reset come round many times a second.
std::atomic<uint32_t> engineClockMs{100000};
uint32_t engineClock() { return engineClockMs.load(std::memory_order_relaxed); }

// The plug-in's own poll hook, wrapped so that the poll (which may open files and load a preset on
// the audio thread by design) is kept out of the audio thread's evidence and counted.
void (*pluginPoll)() = nullptr;
std::atomic<long> audioThreadPolls{0};
void watchedPoll() {
    endAudioSection();
    pluginPoll();
    audioThreadPolls.fetch_add(1, std::memory_order_relaxed);
    beginAudioSection();
}

struct AudioThreadReport {
    long long blocks = 0;
    long long processedBlocks = 0;
    long long frames = 0;
    long long badBlocks = 0;  // processed: a sample outside the clamp, unless the block came back untouched (bypass)
    long long alteredUnprocessed = 0;
    long long pauses = 0;
    double longestBlockMs = 0;
    int longestBlockFrames = 0;
};

std::atomic<long long> blocksDone{0};

unsigned nextNoise(unsigned& state) {
    state = state * 1103515245u + 12345u;
    return state >> 16;
}

// Writes the command as an automation program must when the plug-in polls at any moment: whole,
// under another name, then renamed into place (a poll that opened a half-written file would read
// the wrong number and delete the file: the command has no handshake with its writer).
void writeSelection(const std::string& path, const char* text) {
    const std::string partial = path + ".part";
    if (FILE* file = std::fopen(partial.c_str(), "wb")) {
        std::fputs(text, file);
        std::fclose(file);
        std::rename(partial.c_str(), path.c_str());
    }
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Sets every slider and check box of the registry (test tones included) to a value derived from
// `step`: mostly inside the range as a dragged control gives, sometimes beyond it or extreme as a
// hand-edited file gives (files never give infinities or NaN: those keep the base value).
// Returns the number of values written.
long editEveryValue(unsigned step) {
    long written = 0;
    for (WindowEntry* window = PluginEngine().registry.windows; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->value == nullptr) continue;
            const unsigned mix = step * 7919u + static_cast<unsigned>(param->controlId) * 104729u;
            if (param->kind == CheckBox) {
                storeShared(*static_cast<uint8_t*>(param->value), static_cast<uint8_t>(mix % 3 == 0 ? 0 : mix % 7));
                ++written;
            } else if (param->kind != Meter) {
                const double span = param->maxValue - param->minValue;
                const double fraction = (mix % 1000u) / 1000.0;
                double value = param->minValue + span * fraction;
                if (mix % 97 == 0) value = param->maxValue + span * fraction;
                if (mix % 89 == 0) value = param->minValue - span * fraction;
                if (mix % 383 == 0) value = (mix & 1) != 0 ? 3.0e38 : -3.0e38;
                if (mix % 211 == 0) value = 0.0;
                storeShared(*static_cast<double*>(param->value), value);
                ++written;
            }
        }
    }
    // The main bypass stays off most of the time so that the chain runs.
    storeShared(PluginEngine().live.general.mainBypass, static_cast<uint8_t>(step % 16 == 0));
    return written;
}

// What the console's timers read from the engine: every meter, the input and output meters, the
// clip flag, the capture ring and its index.
double readEveryMeter() {
    double sum = 0;
    for (WindowEntry* window = PluginEngine().registry.windows; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->kind == Meter && param->value != nullptr) sum += loadShared(*static_cast<const double*>(param->value));
        }
    }
    const uint16_t newest = loadShared(PluginEngine().state.capture.writeIndex);
    for (uint16_t i = 0; i < 1024; ++i) sum += loadShared(PluginEngine().state.capture.samples[static_cast<uint16_t>(newest - i)]);
    if (isOn(PluginEngine().state.clipFlag)) storeShared(PluginEngine().state.clipFlag, uint8_t{0});
    return sum;
}

void processOnAudioThread(winampDSPModule* module, const std::atomic<bool>& stop, AudioThreadReport& report) {
    std::vector<short> block(2 * kMaxBlockFrames);
    std::vector<short> input(2 * kMaxBlockFrames);
    unsigned noise = 1;
    while (!stop.load(std::memory_order_relaxed)) {
        const unsigned choice = nextNoise(noise);
        int frames = 1 + static_cast<int>(nextNoise(noise) % kMaxBlockFrames);
        if (choice % 64 == 0) frames = 0;
        int bps = 16, nch = 2, srate = 44100;
        switch (choice % 23) {
            case 1: srate = 48000; break;
            case 2: nch = 1; break;
            case 3: bps = 8; break;
            case 4: srate = 22050; break;
            default: break;
        }
        const bool processedFormat = bps == 16 && nch == 2 && srate == 44100;
        const int values = frames * nch * bps / 16;
        for (int i = 0; i < values; ++i) input[i] = static_cast<short>(nextNoise(noise));
        if (choice % 29 == 0) {
            for (int i = 0; i < values; ++i) input[i] = (i & 2) != 0 ? -32768 : 32767;  // full-scale square
        }
        std::memcpy(block.data(), input.data(), sizeof(short) * values);

        const auto started = std::chrono::steady_clock::now();
        beginAudioSection();
        const int returned = module->ModifySamples(module, block.data(), frames, bps, nch, srate);
        endAudioSection();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        if (ms > report.longestBlockMs) {
            report.longestBlockMs = ms;
            report.longestBlockFrames = frames;
        }

        const bool untouched = std::memcmp(block.data(), input.data(), sizeof(short) * values) == 0;
        if (returned != frames) ++report.badBlocks;
        if (processedFormat) {
            ++report.processedBlocks;
            bool insideClamp = true;
            for (int i = 0; i < values; ++i) insideClamp = insideClamp && block[i] <= 32764 && block[i] >= -32764;
            if (!insideClamp && !untouched) ++report.badBlocks;
        } else if (!untouched) {
            ++report.alteredUnprocessed;
        }
        ++report.blocks;
        report.frames += frames;
        blocksDone.fetch_add(1, std::memory_order_relaxed);

        uint32_t advanceMs = static_cast<uint32_t>(frames * 1000 / 44100) + kClockStepPerBlockMs;
        if (report.blocks % kBlocksBetweenPauses == 0) {
            advanceMs += kPauseMs;
            ++report.pauses;
        }
        engineClockMs.fetch_add(advanceMs, std::memory_order_relaxed);
    }
}

int stressSeconds() {
    const char* text = std::getenv("DRELVANT_STRESS_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : kDefaultSeconds;
}

}  // namespace

TEST(ThreadStress, AudioNeverWaitsAndStaysInsideTheClamp) {
    char pattern[] = "/tmp/drelvant-stress-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string directory = std::string(pattern) + "/";
    const std::string selectionPath = directory + "DV_Select.tmp";
    SetHostDirectory(PluginEngine().text, directory);
    setRandomSeedOverride(true, 7);
    platform::setTickSourceForTesting(engineClock);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    ASSERT_EQ(module->Init(module), 0);
    ASSERT_NE(PluginEngine().registry.windows, nullptr);
    pluginPoll = PluginEngine().state.hooks.poll;
    ASSERT_NE(pluginPoll, nullptr);
    PluginEngine().state.hooks.poll = watchedPoll;
    // Stands for the console's window: the user-interface side sets and clears it as the real
    // console does when it opens and closes.
    static int consoleWindow;
    storeShared(PluginEngine().registry.windows->hwnd, static_cast<void*>(&consoleWindow));
    for (int slot = 1; slot <= 6; ++slot) {  // user presets for the loads and selections below
        std::snprintf(PluginEngine().live.presetName, sizeof PluginEngine().live.presetName, "Stress %d", slot);
        ASSERT_TRUE(SavePreset(PluginEngine(), slot));
    }

    std::atomic<bool> stop{false};
    AudioThreadReport report;
    std::thread audio([&] { processOnAudioThread(module, stop, report); });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(stressSeconds());
    unsigned step = 0;
    long closedConsolePhases = 0, selectionsConsumed = 0, selectionsLost = 0, selectionsMisapplied = 0;
    long namesMisapplied = 0;
    double meterSum = 0;
    long valuesWritten = 0;
    const auto started = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        // As a user dragging sliders while the console's timers run, only faster.
        for (int pass = 0; pass < kEditPassesPerRound; ++pass) {
            valuesWritten += editEveryValue(step * kEditPassesPerRound + pass);
            meterSum += readEveryMeter();
            UpdateDerivedParameters(PluginEngine().state, PluginEngine().live, false);
        }
        switch (step % 7) {
            case 0: LoadPreset(PluginEngine(), -static_cast<int>(step / 7 % 10)); break;  // F1 ... F10
            case 1: SavePreset(PluginEngine(), static_cast<int>(step % 5) + 1); break;
            case 2: DeletePreset(PluginEngine(), static_cast<int>(step % 5) + 2); break;
            case 3: writeSelection(selectionPath, step % 14 == 3 ? "3\r\nDefault\r\n" : "-1"); break;
            case 4: PollRemoteSelection(PluginEngine(), PluginEngine().registry.windows->hwnd); break;
            case 5: LoadPreset(PluginEngine(), static_cast<int>(step % 6) + 1); break;
            case 6: SavePreset(PluginEngine(), 1); break;
        }
        ++step;

        if (step % kRoundsBetweenClosedConsole == 0) {
            // The user closes the console: from now on the audio thread polls for selections, and
            // an automation program drops a few; each must be consumed and applied.
            ++closedConsolePhases;
            // A command the round before left behind is consumed by the console's timer while the
            // console is still open: a writer that replaced it while the playback thread's poll
            // was between reading and deleting it would lose its command (no handshake).
            PollRemoteSelection(PluginEngine(), PluginEngine().registry.windows->hwnd);
            storeRelease(PluginEngine().registry.windows->hwnd, static_cast<void*>(nullptr));  // as the console's closing does
            int32_t lastSelected = 0;
            for (int i = 0; i < kSelectionsPerClosedConsole; ++i) {
                lastSelected = -static_cast<int32_t>((step / kRoundsBetweenClosedConsole + i) % 7);  // F1 ... F7
                char text[32];
                std::snprintf(text, sizeof text, "%d\r\nDefault\r\n", static_cast<int>(lastSelected));
                writeSelection(selectionPath, text);
                const auto patience = std::chrono::steady_clock::now() + kSelectionPatience;
                while (fileExists(selectionPath) && std::chrono::steady_clock::now() < patience) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                if (fileExists(selectionPath)) {
                    ++selectionsLost;
                    break;
                }
                ++selectionsConsumed;
                if (StartupPreset(PluginEngine()) != lastSelected) ++selectionsMisapplied;
            }
            // The host asks for the configuration: the console opens (its window is created inside
            // Config; here it is marked open just before) and shows the current name.
            storeShared(PluginEngine().registry.windows->hwnd, static_cast<void*>(&consoleWindow));
            module->Config(module);
            if (std::strcmp(PluginEngine().live.presetName, PluginEngine().presets.factoryNames[-lastSelected]) != 0) ++namesMisapplied;
            std::remove(selectionPath.c_str());
        }
    }
    // The host unloads the plug-in while it still plays: Quit waits for the block in progress, and
    // every later block comes back untouched.
    module->Quit(module);
    const long long blocksAtQuit = blocksDone.load();
    while (blocksDone.load() < blocksAtQuit + 20) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = true;
    audio.join();
    platform::setTickSourceForTesting(nullptr);

    const AudioThreadEvidence evidence = audioThreadEvidence();
    const double elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%ld live values written (%.0f per second)\n", valuesWritten, valuesWritten / elapsedSeconds);
    std::printf("%lld audio blocks (%lld processed, %lld frames, %lld pauses), %ld audio-thread polls, "
                "%u edit rounds, %ld closed-console phases, %ld selections consumed\n",
                report.blocks, report.processedBlocks, report.frames, report.pauses, audioThreadPolls.load(), step,
                closedConsolePhases, selectionsConsumed);
    std::printf("longest block %.2f ms (%d frames); blocks in which the audio thread gave up the processor: %llu; "
                "meter sum %g\n",
                report.longestBlockMs, report.longestBlockFrames,
                static_cast<unsigned long long>(evidence.blockedSections), meterSum);

    EXPECT_GT(report.processedBlocks, 100);
    EXPECT_GT(step, 100u);
    EXPECT_EQ(report.badBlocks, 0);
    EXPECT_EQ(report.alteredUnprocessed, 0);
    EXPECT_EQ(PluginEngine().state.nonFiniteFrames, 0u);
    EXPECT_GT(closedConsolePhases, 0);
    EXPECT_GT(audioThreadPolls.load(), 0);
    EXPECT_EQ(selectionsLost, 0);
    EXPECT_EQ(selectionsMisapplied, 0);
    EXPECT_EQ(namesMisapplied, 0);
    // The audio path takes no lock, waits for nothing and allocates nothing (its remote-selection
    // poll aside, which the design allows while the console is closed).
    EXPECT_TRUE(evidence.lockProbeActive);
    EXPECT_EQ(evidence.locks, 0u);
    EXPECT_EQ(evidence.waits, 0u);
    EXPECT_EQ(evidence.allocations, 0u);
}
