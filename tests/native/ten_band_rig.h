// Helpers for the ten-band tests: a heap engine with a fixed clock, stage defaults, sine fitting.
#pragma once

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/derived_parameters.h"
#include "dsp/engine_random.h"
#include "dsp/frame.h"
#include "dsp/param_ranges.h"
#include "dsp/processor_state.h"
#include "platform/platform.h"

namespace tenband {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFs = 44100.0;

// Registered defaults of the band stages, with every switch off.
inline void setBandDefaults(LiveParams& p) {
    for (int j = 0; j < kBandCount; ++j) {
        p.processor.detectMs[j] = kProcessorDetectMs[j].defaultValue;
        p.compressor.gainDb[j] = kCompressorGainDb.defaultValue;
        p.compressor.ratio[j] = kCompressorRatio.defaultValue;
        p.compressor.thresholdDb[j] = kCompressorThresholdDb.defaultValue;
        p.compressor.lookaheadMs[j] = kCompressorLookaheadMs.defaultValue;
        p.compressor.attackMs[j] = kCompressorAttackMs.defaultValue;
        p.compressor.releaseMs[j] = kCompressorReleaseMs.defaultValue;
        p.expander.ratio[j] = kExpanderRatio.defaultValue;
        p.expander.thresholdDb[j] = kExpanderThresholdDb.defaultValue;
        p.expander.attackMs[j] = kExpanderAttackMs.defaultValue;
        p.expander.releaseMs[j] = kExpanderReleaseMs.defaultValue;
        p.limiter.gainDb[j] = kLimiterGainDb.defaultValue;
        p.limiter.thresholdDb[j] = kLimiterThresholdDb.defaultValue;
        p.limiter.lookaheadMs[j] = kLimiterLookaheadMs.defaultValue;
        p.limiter.attackMs[j] = kLimiterAttackMs.defaultValue;
        p.limiter.releaseMs[j] = kLimiterReleaseMs.defaultValue;
        p.saturator.levelPercent[j] = kSaturatorLevelPercent.defaultValue;
        p.saturator.gainDb[j] = kSaturatorGainDb.defaultValue;
        p.saturator.clipDb[j] = kSaturatorClipDb.defaultValue;
        p.tenBandEq.bandDb[j] = kTenBandEqBandDb.defaultValue;
    }
    p.dynamicEq.speedMs = kDynamicEqSpeedMs.defaultValue;
    p.dynamicEq.amountPercent = kDynamicEqAmountPercent.defaultValue;
    p.dynamicEq.maxEnhanceDb = kDynamicEqMaxEnhanceDb.defaultValue;
    p.tenBandEq.preampDb = kTenBandEqPreampDb.defaultValue;
}

// The whole engine with only the ten-band processor on (every band stage off), designed as after
// a preset load; the first block clears the filter memories.
struct TenBandRig {
    std::unique_ptr<ProcessorState> state = std::make_unique<ProcessorState>();
    std::unique_ptr<LiveParams> params = std::make_unique<LiveParams>();
    EngineRandom random{};

    static uint32_t fixedClock() { return 100000; }

    explicit TenBandRig(bool cascaded = false, bool narrow = false) {
        ClearProcessorState(*state);
        std::memset(params.get(), 0, sizeof(LiveParams));
        platform::setTickSourceForTesting(&fixedClock);
        seedEngineRandom(random, 12345);
        params->passFilters.highpassCutoffHz = 30;
        params->passFilters.lowpassCutoffHz = 18000;
        params->agc.crossoverHz = 400;
        params->threeBandEq.crossoverLowMidHz = 880;
        params->threeBandEq.crossoverMidHighHz = 5000;
        setBandDefaults(*params);
        params->general.processorActive = 1;
        params->processor.cascadedFilters = cascaded ? 1 : 0;
        params->processor.narrowBandwidth = narrow ? 1 : 0;
        designBank(*state, true, false, false);  // start-up design: plain, wide, cleared
        UpdateDerivedParameters(*state, *params, true);
    }
    ~TenBandRig() { platform::setTickSourceForTesting(nullptr); }

    void update() { UpdateDerivedParameters(*state, *params, false); }

    // Runs interleaved stereo samples in place through ProcessBlock in blocks of `blockFrames`.
    void run(std::vector<short>& samples, int blockFrames = 4096) {
        const int frames = static_cast<int>(samples.size() / 2);
        for (int start = 0; start < frames; start += blockFrames) {
            const int count = frames - start < blockFrames ? frames - start : blockFrames;
            ProcessBlock(samples.data() + 2 * start, count, 16, 2, 44100, *state, *params, random);
        }
    }
};

// Interleaved stereo sine, the same on both channels, amplitude in 16-bit steps.
inline std::vector<short> stereoSine(double frequencyHz, double amplitude, int frames, double phase = 0) {
    std::vector<short> samples(2 * static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        const short v = static_cast<short>(std::lround(amplitude * std::sin(2 * kPi * frequencyHz * n / kFs + phase)));
        samples[2 * n] = v;
        samples[2 * n + 1] = v;
    }
    return samples;
}

// Amplitude of the sine at `frequencyHz` in frames [first, first + count) of one channel, by a
// least-squares fit of sine, cosine and offset (no window, no leakage from a partial cycle).
inline double sineAmplitude(const std::vector<short>& samples, int channel, int first, int count,
                            double frequencyHz) {
    double m[3][4] = {};
    for (int n = first; n < first + count; ++n) {
        const double w = 2 * kPi * frequencyHz * n / kFs;
        const double basis[3] = {std::sin(w), std::cos(w), 1.0};
        const double y = samples[2 * static_cast<size_t>(n) + channel];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) m[r][c] += basis[r] * basis[c];
            m[r][3] += basis[r] * y;
        }
    }
    for (int pivot = 0; pivot < 3; ++pivot) {  // Gauss-Jordan on the 3 x 3 normal equations
        for (int r = 0; r < 3; ++r) {
            if (r == pivot) continue;
            const double f = m[r][pivot] / m[pivot][pivot];
            for (int c = 0; c < 4; ++c) m[r][c] -= f * m[pivot][c];
        }
    }
    const double a = m[0][3] / m[0][0];
    const double b = m[1][3] / m[1][1];
    return std::sqrt(a * a + b * b);
}

}  // namespace tenband

namespace tenband {

// One ten-band processor on the heap with the stage defaults, a cleared plain-wide bank and the
// idle-reset state, for driving single stages directly.
struct BandStage {
    std::unique_ptr<TenBandProcessor> processor = std::make_unique<TenBandProcessor>();
    std::unique_ptr<LiveParams> params = std::make_unique<LiveParams>();
    EngineRandom random{};

    BandStage() {
        setBandDefaults(*params);
        BiquadCoefficients bank[kBandCount];
        bankCoefficients(false, false, bank);
        installBankDesign(*processor, bank, false, false, true);
        idleReset(*processor);
    }
    void prepare() { prepareBlock(*processor, *params); }
};

inline BandSamples constantBands(double value) {
    BandSamples bands;
    for (int j = 0; j < kBandCount; ++j) bands.left[j] = bands.right[j] = value;
    return bands;
}

// Deterministic noise in [-1, 1) for tests that need a busy signal.
struct TestNoise {
    uint32_t state = 1;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

}  // namespace tenband
