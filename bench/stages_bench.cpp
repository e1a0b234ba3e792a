// Cost per stereo frame of the filters and wideband stages, alone and as a chain through ProcessBlock.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "dsp/derived_parameters.h"
#include "dsp/engine_random.h"
#include "dsp/frame.h"
#include "platform/platform.h"

namespace {

constexpr int kBlockFrames = 4096;

// Program-like input: a low sine under white noise, about -6 dBFS peak.
const std::vector<double>& testSignal() {
    static const std::vector<double> signal = [] {
        std::vector<double> s(2 * kBlockFrames);
        uint32_t seed = 1;
        for (int n = 0; n < kBlockFrames; ++n) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) * 0.2;
            const double tone = 0.3 * std::sin(6.283185307179586 * 110 * n / 44100);
            s[2 * n] = tone + noise;
            s[2 * n + 1] = tone - noise;
        }
        return s;
    }();
    return signal;
}

uint32_t fixedClock() { return 100000; }

// An engine designed from live values typical of a preset, every wideband stage on.
struct BenchEngine {
    std::unique_ptr<ProcessorState> state = std::make_unique<ProcessorState>();
    std::unique_ptr<LiveParams> params = std::make_unique<LiveParams>();
    EngineRandom random{};

    BenchEngine() {
        ClearProcessorState(*state);
        platform::setTickSourceForTesting(&fixedClock);
        seedEngineRandom(random, 1);
        LiveParams& p = *params;
        p.passFilters = {30, 18000};
        p.stereoImage = {0, 50, 50, 500, 6};
        p.agc.levelPercent = 90;
        p.agc.maxGainDb = 25;
        p.agc.crossoverHz = 400;
        p.agc.bandLinkPercent = 50;
        p.agc.attackLowMs = p.agc.attackHighMs = p.agc.releaseLowMs = p.agc.releaseHighMs = 1000;
        p.agc.detectLowMs = 250;
        p.agc.detectHighMs = 150;
        p.threeBandEq.crossoverLowMidHz = 880;
        p.threeBandEq.crossoverMidHighHz = 5000;
        p.finalLimiter = {0, 0, 5, 10, 500, 0, 20};
        p.finalClipper = {0, 0, -0.1};
        state->testTone = {-12, 640, 0, 1, 1, 0, 0, 0};
        UpdateDerivedParameters(*state, p, true);
        applyPendingDesigns(*state);
        IdleReset(*state);
    }
    ~BenchEngine() { platform::setTickSourceForTesting(nullptr); }
};

// Seconds per stereo frame, printed with an SI prefix ("24.5n" is 24.5 ns).
void reportPerFrame(benchmark::State& run) {
    run.counters["per_frame"] = benchmark::Counter(static_cast<double>(kBlockFrames),
                                                      benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

// Runs one block of the test signal through `step` per iteration.
void runStage(benchmark::State& run, const std::function<void(double&, double&, int)>& step) {
    const std::vector<double>& in = testSignal();
    for (auto _ : run) {
        double sum = 0;
        for (int n = 0; n < kBlockFrames; ++n) {
            double L = in[2 * n], R = in[2 * n + 1];
            step(L, R, n);
            sum += L + R;
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerFrame(run);
}

void BM_Highpass(benchmark::State& run) {
    BenchEngine e;
    runStage(run, [&](double& L, double& R, int) { processSample(e.state->highpass, L, R); });
}

void BM_Lowpass(benchmark::State& run) {
    BenchEngine e;
    runStage(run, [&](double& L, double& R, int) { processSample(e.state->lowpass, L, R); });
}

void BM_TestTone(benchmark::State& run) {
    BenchEngine e;
    prepareBlock(e.state->testTone);
    runStage(run, [&](double& L, double& R, int) { processSample(e.state->testTone, e.random, L, R); });
}

void BM_StereoImage(benchmark::State& run) {
    BenchEngine e;
    prepareBlock(e.state->stereoImage, e.params->stereoImage);
    runStage(run, [&](double& L, double& R, int) { processSample(e.state->stereoImage, e.params->stereoImage, L, R); });
}

void BM_Agc(benchmark::State& run) {
    BenchEngine e;
    e.params->agc.singleBand = static_cast<uint8_t>(run.range(0));
    prepareBlock(e.state->agc, e.params->agc);
    runStage(run, [&](double& L, double& R, int) { processSample(e.state->agc, e.params->agc, L, R); });
}

void BM_ThreeBandEq(benchmark::State& run) {
    BenchEngine e;
    runStage(run, [&](double& L, double& R, int) { processSample(e.state->threeBandEq, L, R); });
}

void BM_FinalLimiter(benchmark::State& run) {
    BenchEngine e;
    e.params->finalLimiter.peakDetect = static_cast<uint8_t>(run.range(0));
    prepareBlock(e.state->finalLimiter, e.params->finalLimiter);
    runStage(run, [&](double& L, double& R, int n) { processSample(e.state->finalLimiter, L, R, n == 0); });
}

void BM_FinalClipper(benchmark::State& run) {
    BenchEngine e;
    e.params->finalClipper.complex = static_cast<uint8_t>(run.range(0));
    e.params->finalClipper.driveDb = 6;
    prepareBlock(e.state->finalClipper, e.params->finalClipper);
    runStage(run, [&](double& L, double& R, int) { processSample(e.state->finalClipper, e.params->finalClipper, L, R); });
}

// The whole frame through ProcessBlock: with every stage off (arg 0), or with the test tone,
// highpass, stereo image, two-band AGC, three-band EQ, final limiter, final clipper, lowpass and
// dither on (arg 1). The ten-band processor stays off.
void BM_ProcessBlockChain(benchmark::State& run) {
    BenchEngine e;
    if (run.range(0) != 0) {
        GeneralParams& g = e.params->general;
        g.highpassActive = g.stereoImageActive = g.agcActive = g.threeBandEqActive = 1;
        g.finalLimiterActive = g.finalClipperActive = g.lowpassActive = g.ditherActive = 1;
    } else {
        e.state->testTone = {};
    }
    const std::vector<double>& in = testSignal();
    std::vector<short> pristine(2 * kBlockFrames), block(2 * kBlockFrames);
    for (size_t i = 0; i < pristine.size(); ++i) pristine[i] = static_cast<short>(in[i] * 32767);
    for (auto _ : run) {
        std::memcpy(block.data(), pristine.data(), block.size() * sizeof(short));
        ProcessBlock(block.data(), kBlockFrames, 16, 2, 44100, *e.state, *e.params, e.random);
        benchmark::DoNotOptimize(block.data());
    }
    reportPerFrame(run);
}

}  // namespace

BENCHMARK(BM_Highpass);
BENCHMARK(BM_Lowpass);
BENCHMARK(BM_TestTone);
BENCHMARK(BM_StereoImage);
BENCHMARK(BM_Agc)->ArgName("singleBand")->Arg(0)->Arg(1);
BENCHMARK(BM_ThreeBandEq);
BENCHMARK(BM_FinalLimiter)->ArgName("peak")->Arg(0)->Arg(1);
BENCHMARK(BM_FinalClipper)->ArgName("complex")->Arg(0)->Arg(1);
BENCHMARK(BM_ProcessBlockChain)->ArgName("stagesOn")->Arg(0)->Arg(1);
