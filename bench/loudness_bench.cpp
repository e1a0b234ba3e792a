// Cost of one loudness meter (integrated loudness, short-term loudness, true peak, sample peak and
// hard clips) on a minute of music-like stereo at 44.1 kHz.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "cli/loudness.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr size_t kChunkFrames = 4096;  // as measureFile reads

// Plucked noise: bursts of low-passed noise every 250 ms that decay, under a steady bed, about
// -3 dBFS at the loudest, different in the two channels.
const std::vector<double>& musicLikeNoise() {
    static const std::vector<double> signal = [] {
        const size_t frames = static_cast<size_t>(kRate) * kSeconds;
        std::vector<double> s(2 * frames);
        uint32_t seed = 12345;
        double lowL = 0.0, lowR = 0.0;
        for (size_t n = 0; n < frames; ++n) {
            seed = seed * 1664525u + 1013904223u;
            const double whiteL = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
            seed = seed * 1664525u + 1013904223u;
            const double whiteR = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
            lowL += 0.2 * (whiteL - lowL);
            lowR += 0.2 * (whiteR - lowR);
            const double sincePluck = static_cast<double>(n % (kRate / 4)) / kRate;
            const double envelope = 0.1 + 0.9 * std::exp(-sincePluck * 12.0);
            s[2 * n] = 0.9 * envelope * lowL;
            s[2 * n + 1] = 0.9 * envelope * lowR;
        }
        return s;
    }();
    return signal;
}

void MeterMinuteStereo(benchmark::State& state) {
    const std::vector<double>& signal = musicLikeNoise();
    const size_t frames = signal.size() / 2;
    for (auto _ : state) {
        cli::LoudnessMeter meter;
        cli::startMeter(meter, kRate, 2);
        for (size_t at = 0; at < frames; at += kChunkFrames) {
            cli::addFrames(meter, signal.data() + 2 * at, std::min(kChunkFrames, frames - at));
        }
        const cli::LoudnessFigures figures = cli::finishMeter(meter, kRate);
        benchmark::DoNotOptimize(figures);
    }
    // Seconds of audio measured per second of wall time.
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(MeterMinuteStereo)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
