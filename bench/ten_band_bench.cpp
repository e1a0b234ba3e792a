// Cost per stereo frame of the ten-band processor: the whole band frame and each band stage alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/filter_bank.h"
#include "dsp/ten_band_eq.h"
#include "dsp/ten_band_processor.h"

namespace {

constexpr int kBlockFrames = 4096;

// Program-like input, about -6 dBFS peak: a low and a mid sine under white noise.
const std::vector<double>& testSignal() {
    static const std::vector<double> signal = [] {
        std::vector<double> s(2 * kBlockFrames);
        uint32_t seed = 1;
        for (int n = 0; n < kBlockFrames; ++n) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) * 0.15;
            const double tone = 0.25 * std::sin(6.283185307179586 * 110 * n / 44100) +
                                0.1 * std::sin(6.283185307179586 * 1900 * n / 44100);
            s[2 * n] = tone + noise;
            s[2 * n + 1] = tone - noise;
        }
        return s;
    }();
    return signal;
}

// Live values like the first factory preset: every band stage on, reverse-cascaded wide bank.
void setF1Like(LiveParams& p) {
    const double detectMs[kBandCount] = {50, 25, 16, 8, 4, 2, 1, 1, 1, 1};
    for (int j = 0; j < kBandCount; ++j) {
        p.processor.detectMs[j] = detectMs[j];
        p.compressor.gainDb[j] = 3;
        p.compressor.ratio[j] = 3;
        p.compressor.thresholdDb[j] = -10;
        p.compressor.lookaheadMs[j] = 5;
        p.compressor.attackMs[j] = 20;
        p.compressor.releaseMs[j] = 400;
        p.expander.ratio[j] = 2;
        p.expander.thresholdDb[j] = -30;
        p.expander.attackMs[j] = 10;
        p.expander.releaseMs[j] = 300;
        p.limiter.gainDb[j] = 0;
        p.limiter.thresholdDb[j] = 0;
        p.limiter.lookaheadMs[j] = 3;
        p.limiter.attackMs[j] = 1;
        p.limiter.releaseMs[j] = 100;
        p.saturator.levelPercent[j] = 0;
        p.saturator.clipDb[j] = 5;
        p.saturator.clipEnable[j] = 1;
    }
    p.limiter.peakDetect = 1;
    p.dynamicEq = {2000, 50, 9};
    GeneralParams& g = p.general;
    g.processorActive = g.dynamicEqActive = g.compressorActive = g.expanderActive = g.limiterActive = 1;
    g.saturatorActive = g.tenBandEqActive = 1;
    p.processor.cascadedFilters = 1;
}

struct Bench {
    std::unique_ptr<TenBandProcessor> processor = std::make_unique<TenBandProcessor>();
    std::unique_ptr<LiveParams> params = std::make_unique<LiveParams>();
    std::vector<BandSamples> bands;  // the test signal already split, for the single stages

    explicit Bench(bool cascaded) {
        setF1Like(*params);
        BiquadCoefficients bank[kBandCount];
        bankCoefficients(cascaded, false, bank);
        installBankDesign(*processor, bank, cascaded, false, true);
        idleReset(*processor);
        for (double& gain : processor->eq.gain) gain = 1.0;
        prepareBlock(*processor, *params);
        const std::vector<double>& signal = testSignal();
        bands.resize(kBlockFrames);
        for (int n = 0; n < kBlockFrames; ++n) {
            splitBands(processor->bandFilters, cascaded, signal[2 * n], signal[2 * n + 1], bands[n]);
        }
    }
};

void reportPerFrame(benchmark::State& state) {
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlockFrames,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The band frame as ProcessBlock runs it, including the per-block constants.
void runBandFrame(benchmark::State& state, bool refilter) {
    Bench bench(true);
    bench.params->saturator.refilter = refilter;
    const std::vector<double>& signal = testSignal();
    for (auto _ : state) {
        prepareBlock(*bench.processor, *bench.params);
        for (int n = 0; n < kBlockFrames; ++n) {
            double L = signal[2 * n], R = signal[2 * n + 1];
            processSample(*bench.processor, *bench.params, 1.2, L, R, n == 0);
            benchmark::DoNotOptimize(L);
            benchmark::DoNotOptimize(R);
        }
        finishBlock(bench.processor->saturator, 0.01024);
    }
    reportPerFrame(state);
}

void BM_TenBandFrameF1Like(benchmark::State& state) { runBandFrame(state, false); }
void BM_TenBandFrameF1LikeRefilter(benchmark::State& state) { runBandFrame(state, true); }

// The band frame as ProcessBlock runs it: every stage over runs of kBandRunFrames frames.
void runBandRuns(benchmark::State& state, bool refilter) {
    Bench bench(true);
    bench.params->saturator.refilter = refilter;
    const std::vector<double>& signal = testSignal();
    std::vector<double> pairs(2 * kBandRunFrames);
    const BandStageSwitches on = readBandStageSwitches(bench.params->general);
    for (auto _ : state) {
        prepareBlock(*bench.processor, *bench.params);
        for (int n = 0; n < kBlockFrames; n += kBandRunFrames) {
            std::memcpy(pairs.data(), &signal[2 * n], pairs.size() * sizeof(double));
            processFrames(*bench.processor, on, 1.2, pairs.data(), kBandRunFrames, n == 0);
            benchmark::DoNotOptimize(pairs.data());
        }
        finishBlock(bench.processor->saturator, 0.01024);
    }
    reportPerFrame(state);
}

void BM_TenBandRunsF1Like(benchmark::State& state) { runBandRuns(state, false); }
void BM_TenBandRunsF1LikeRefilter(benchmark::State& state) { runBandRuns(state, true); }

void runSplit(benchmark::State& state, bool cascaded) {
    Bench bench(cascaded);
    const std::vector<double>& signal = testSignal();
    BandSamples out;
    for (auto _ : state) {
        for (int n = 0; n < kBlockFrames; ++n) {
            splitBands(bench.processor->bandFilters, cascaded, signal[2 * n], signal[2 * n + 1], out);
            benchmark::DoNotOptimize(out);
        }
    }
    reportPerFrame(state);
}

void BM_TenBandSplitPlain(benchmark::State& state) { runSplit(state, false); }
void BM_TenBandSplitCascaded(benchmark::State& state) { runSplit(state, true); }

// The cascaded split over runs of kBandRunFrames frames: each filter's recursion stays in
// registers through a run, and every 4,096 frames the ten filters run their backward passes.
// Argument: the kernels' lane width, 2 (SSE2) or 4 (AVX2 where the processor has it).
void BM_TenBandSplitCascadedRuns(benchmark::State& state) {
    Bench bench(true);
    const std::vector<double>& signal = testSignal();
    std::vector<BandSamples> out(kBandRunFrames);
    const LaneWidth lanes = state.range(0) == 4 ? LaneWidth::kFour : LaneWidth::kTwo;
    for (auto _ : state) {
        for (int n = 0; n < kBlockFrames; n += kBandRunFrames) {
            splitFrames(bench.processor->bandFilters, true, &signal[2 * n], out.data(), kBandRunFrames, lanes);
            benchmark::DoNotOptimize(out.data());
        }
    }
    reportPerFrame(state);
}

// One band stage over the pre-split signal; `stage` is called once per frame.
template <typename Stage>
void runStage(benchmark::State& state, Bench& bench, Stage stage) {
    for (auto _ : state) {
        prepareBlock(*bench.processor, *bench.params);
        for (int n = 0; n < kBlockFrames; ++n) {
            BandSamples frame = bench.bands[n];
            stage(frame, n == 0);
            benchmark::DoNotOptimize(frame);
        }
    }
    reportPerFrame(state);
}

void BM_TenBandDynamicEq(benchmark::State& state) {
    Bench bench(true);
    TenBandProcessor& p = *bench.processor;
    runStage(state, bench, [&](BandSamples& b, bool first) { equalizeBands(p.dynamicEq, p.detectors, b, first); });
}

void BM_TenBandCompressorRms(benchmark::State& state) {
    Bench bench(true);
    TenBandProcessor& p = *bench.processor;
    runStage(state, bench, [&](BandSamples& b, bool first) { compressBands(p.compressor, p.detectors, b, first); });
}

void BM_TenBandExpander(benchmark::State& state) {
    Bench bench(true);
    TenBandProcessor& p = *bench.processor;
    runStage(state, bench, [&](BandSamples& b, bool first) { expandBands(p.expander, p.detectors, b, first); });
}

void BM_TenBandLimiterPeak(benchmark::State& state) {
    Bench bench(true);
    TenBandProcessor& p = *bench.processor;
    runStage(state, bench, [&](BandSamples& b, bool first) { limitBands(p.limiter, p.detectors, b, first); });
}

// Clip only (F1-like), and the costliest setting: square-root saturation on every band.
void BM_TenBandSaturatorClip(benchmark::State& state) {
    Bench bench(true);
    TenBandProcessor& p = *bench.processor;
    runStage(state, bench, [&](BandSamples& b, bool) { saturateBands(p.saturator, p.designedCascaded != 0, b); });
}

void BM_TenBandSaturatorSqrtClip(benchmark::State& state) {
    Bench bench(true);
    for (double& level : bench.params->saturator.levelPercent) level = 50;
    TenBandProcessor& p = *bench.processor;
    runStage(state, bench, [&](BandSamples& b, bool) { saturateBands(p.saturator, p.designedCascaded != 0, b); });
}

void BM_TenBandRefilterCascaded(benchmark::State& state) {
    Bench bench(true);
    runStage(state, bench, [&](BandSamples& b, bool) { filterBands(bench.processor->saturator.refilters, true, b); });
}

void BM_TenBandEq(benchmark::State& state) {
    Bench bench(true);
    runStage(state, bench, [&](BandSamples& b, bool) { applyEqGains(bench.processor->eq, b); });
}

// The level-pass stages over runs of kBandRunFrames frames, as the frame runs them. Arguments:
// the stage (0 dynamic EQ, 1 compressor, 2 expander, 3 limiter) and the lane width (2 or 4).
void BM_TenBandStageRuns(benchmark::State& state) {
    Bench bench(true);
    TenBandProcessor& p = *bench.processor;
    const int stage = static_cast<int>(state.range(0));
    const LaneWidth lanes = state.range(1) == 4 ? LaneWidth::kFour : LaneWidth::kTwo;
    std::vector<BandSamples> run(kBandRunFrames);
    for (auto _ : state) {
        prepareBlock(p, *bench.params);
        for (int n = 0; n + kBandRunFrames <= kBlockFrames; n += kBandRunFrames) {
            std::copy(bench.bands.begin() + n, bench.bands.begin() + n + kBandRunFrames, run.begin());
            const bool first = n == 0;
            switch (stage) {
                case 0: equalizeFrames(p.dynamicEq, p.detectors, run.data(), run.data(), kBandRunFrames, first, 1.0, lanes); break;
                case 1: compressFrames(p.compressor, p.detectors, run.data(), kBandRunFrames, first, lanes); break;
                case 2: expandFrames(p.expander, p.detectors, run.data(), kBandRunFrames, first, lanes); break;
                default: limitFrames(p.limiter, p.detectors, run.data(), kBandRunFrames, first, lanes); break;
            }
            benchmark::DoNotOptimize(run.data());
        }
    }
    state.counters["per_frame"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlockFrames,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The cost of copying a frame of bands in and out, included in every single-stage figure.
void BM_TenBandStageBaseline(benchmark::State& state) {
    Bench bench(true);
    runStage(state, bench, [](BandSamples&, bool) {});
}

}  // namespace

BENCHMARK(BM_TenBandFrameF1Like);
BENCHMARK(BM_TenBandStageRuns)->ArgNames({"stage", "lanes"})->ArgsProduct({{0, 1, 2, 3}, {2, 4}});
BENCHMARK(BM_TenBandFrameF1LikeRefilter);
BENCHMARK(BM_TenBandRunsF1Like);
BENCHMARK(BM_TenBandRunsF1LikeRefilter);
BENCHMARK(BM_TenBandSplitPlain);
BENCHMARK(BM_TenBandSplitCascaded);
BENCHMARK(BM_TenBandSplitCascadedRuns)->ArgName("lanes")->Arg(2)->Arg(4);
BENCHMARK(BM_TenBandDynamicEq);
BENCHMARK(BM_TenBandCompressorRms);
BENCHMARK(BM_TenBandExpander);
BENCHMARK(BM_TenBandLimiterPeak);
BENCHMARK(BM_TenBandSaturatorClip);
BENCHMARK(BM_TenBandSaturatorSqrtClip);
BENCHMARK(BM_TenBandRefilterCascaded);
BENCHMARK(BM_TenBandEq);
BENCHMARK(BM_TenBandStageBaseline);
