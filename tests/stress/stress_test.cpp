// Two threads as a host runs them: audio blocks on one, presets, files and live edits on the other.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "dsp/derived_parameters.h"
#include "dsp/processor_state.h"
#include "dsp/shared_value.h"
#include "host/plugin.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/remote_selection.h"
#include "params/settings_text.h"

namespace {

struct AudioThreadReport {
    long long blocks = 0;
    long long outOfClamp = 0;
    double longestBlockMs = 0;
};

void writeSelection(const std::string& directory, const char* text) {
    if (FILE* file = std::fopen((directory + "DV_Select.tmp").c_str(), "wb")) {
        std::fputs(text, file);
        std::fclose(file);
    }
}

// Sets every slider and check box of the registry to a value derived from `step`, inside or a
// little outside its range, as a user dragging controls and typing into files might.
void editEveryValue(unsigned step) {
    for (WindowEntry* window = WindowList; window != nullptr; window = window->next) {
        for (ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (param->kind == CheckBox) {
                storeShared(*static_cast<uint8_t*>(param->value), static_cast<uint8_t>((step + param->controlId) % 2));
            } else if (param->kind != Meter) {
                const double span = param->maxValue - param->minValue;
                const double fraction = ((step * 7919u + param->controlId * 104729u) % 1000u) / 1000.0;
                storeShared(*static_cast<double*>(param->value), param->minValue + span * fraction);
            }
        }
    }
}

}  // namespace

TEST(ThreadStress, AudioNeverWaitsAndStaysInsideTheClamp) {
    char pattern[] = "/tmp/drelvant-stress-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string directory = std::string(pattern) + "/";
    SetHostDirectory(directory);
    setRandomSeedOverride(true, 7);
    winampDSPModule* module = winampDSPGetHeader2()->getModule(0);
    ASSERT_EQ(module->Init(module), 0);
    ASSERT_NE(WindowList, nullptr);
    // The console counts as open, so the user-interface thread polls and the audio thread does not.
    static int fakeConsole;
    WindowList->hwnd = &fakeConsole;

    std::atomic<bool> stop{false};
    AudioThreadReport report;
    std::thread audio([&] {
        std::vector<short> block(2 * 1024);
        unsigned noise = 1;
        int blockFrames = 1;
        while (!stop.load(std::memory_order_relaxed)) {
            for (auto& s : block) {
                noise = noise * 1103515245u + 12345u;
                s = static_cast<short>(noise >> 16);
            }
            const auto started = std::chrono::steady_clock::now();
            module->ModifySamples(module, block.data(), blockFrames, 16, 2, 44100);
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
            if (ms > report.longestBlockMs) report.longestBlockMs = ms;
            for (int i = 0; i < 2 * blockFrames; ++i) {
                if (block[i] > 32764 || block[i] < -32764) ++report.outOfClamp;
            }
            ++report.blocks;
            blockFrames = blockFrames % 1024 + 97;
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    unsigned step = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        editEveryValue(step);
        UpdateDerivedParameters(processorState, liveParams, false);
        switch (step % 6) {
            case 0: LoadPreset(-static_cast<int>(step / 6 % 7)); break;
            case 1: SavePreset(static_cast<int>(step % 5) + 1); break;
            case 2: DeletePreset(static_cast<int>(step % 5) + 2); break;
            case 3: writeSelection(directory, step % 12 == 3 ? "3\r\nDefault\r\n" : "-1"); break;
            case 4: PollRemoteSelection(WindowList->hwnd); break;
            case 5: LoadPreset(static_cast<int>(step % 5) + 1); break;
        }
        storeShared(processorState.clipFlag, uint8_t{0});
        ++step;
    }
    stop = true;
    audio.join();
    WindowList->hwnd = nullptr;
    module->Quit(module);

    EXPECT_GT(report.blocks, 100);
    EXPECT_GT(step, 100u);
    EXPECT_EQ(report.outOfClamp, 0);
    EXPECT_EQ(processorState.nonFiniteFrames, 0u);
    std::printf("%lld audio blocks, %u edit rounds, longest block %.2f ms\n", report.blocks, step, report.longestBlockMs);
}
