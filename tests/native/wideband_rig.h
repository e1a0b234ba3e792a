// A heap-allocated engine with fixed clock and seed, for tests that run whole blocks.
#pragma once

#include <memory>
#include <vector>

#include "dsp/derived_parameters.h"
#include "dsp/engine_random.h"
#include "dsp/frame.h"
#include "platform/platform.h"

struct WidebandRig {
    std::unique_ptr<ProcessorState> state = std::make_unique<ProcessorState>();
    std::unique_ptr<LiveParams> params = std::make_unique<LiveParams>();
    EngineRandom random{};

    // A clock standing far from 0, so the first block clears the filter memories and none after it.
    static uint32_t fixedClock() { return 100000; }

    WidebandRig() {
        ClearProcessorState(*state);
        platform::setTickSourceForTesting(&fixedClock);
        seedEngineRandom(random, 12345);
        params->passFilters.highpassCutoffHz = 30;
        params->passFilters.lowpassCutoffHz = 18000;
        params->agc.crossoverHz = 400;
        params->threeBandEq.crossoverLowMidHz = 880;
        params->threeBandEq.crossoverMidHighHz = 5000;
    }
    ~WidebandRig() { platform::setTickSourceForTesting(nullptr); }

    // Designs everything for the live values (as after a preset load).
    void design() { UpdateDerivedParameters(*state, *params, true); }

    // Runs interleaved stereo samples through ProcessBlock in blocks of `blockFrames`.
    void run(std::vector<short>& samples, int blockFrames) {
        const int frames = static_cast<int>(samples.size() / 2);
        for (int start = 0; start < frames; start += blockFrames) {
            const int count = frames - start < blockFrames ? frames - start : blockFrames;
            ProcessBlock(samples.data() + 2 * start, count, 16, 2, 44100, *state, *params, random);
        }
    }
};
