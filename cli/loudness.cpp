// The loudness meter (BS.1770 K-weighting, gated integrated loudness, short-term loudness), the
// Tech 3342 loudness range, the hard-clip count and the report text.
#include "cli/loudness.h"

#include <emmintrin.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/cli_common.h"

namespace cli {
namespace {

constexpr double kHardClipLevel = kHardClipValue / 32768.0;
constexpr int kBlockSteps = 4;  // a gating block is 400 ms, four 100 ms steps
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kIntegratedRelativeGateLu = -10.0;
constexpr double kRelativeGateLu = -20.0;  // the loudness range's
constexpr double kLowPercentile = 0.10;
constexpr double kHighPercentile = 0.95;
constexpr size_t kMeasureChunkFrames = 4096;
constexpr double kLoudnessOffset = -0.691;  // LUFS of a mean square of 1 through the K-weighting
constexpr double kHistogramBinsPerLu = 100.0;
constexpr double kPi = 3.14159265358979323846;
// Pre-filter: a high shelf of about +4 dB above 1.7 kHz (the head's effect); RLB: a high-pass at 38 Hz.
constexpr double kPreFilterHz = 1681.974450955533;
constexpr double kPreFilterGainDb = 3.999843853973347;
constexpr double kPreFilterQ = 0.7071752369554196;
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;
constexpr double kSurroundWeight = 1.41;
// What the meter takes (as libebur128 took): a 100 ms step of at least one frame.
constexpr int kLowestMeterRate = 16;
constexpr int kHighestMeterRate = 2822400;
constexpr int kMostMeterChannels = 64;
// Filter outputs this small are silence decaying; set to zero before they turn subnormal (slow).
constexpr double kFilterFloor = 1e-30;

std::string formatFigure(double value, const char* unit) {
    char text[32];
    if (std::isinf(value) && value < 0) {
        std::snprintf(text, sizeof text, "-inf %s", unit);
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    }
    return text;
}

std::string formatDuration(const LoudnessFigures& figures) {
    const double seconds = static_cast<double>(figures.frames) / figures.rate;
    const long minutes = static_cast<long>(seconds / 60);
    char text[48];
    std::snprintf(text, sizeof text, "%ld:%04.1f", minutes, seconds - 60.0 * minutes);
    return text;
}

// The two stages by the bilinear transform at the meter's rate (the 48 kHz coefficients of
// BS.1770 come out of these formulas).
KWeightingFilter designKWeighting(int rate) {
    KWeightingFilter f;
    double k = std::tan(kPi * kPreFilterHz / rate);
    const double shelfGain = std::pow(10.0, kPreFilterGainDb / 20.0);
    const double bandGain = std::pow(shelfGain, 0.4996667741545416);
    double a0 = 1.0 + k / kPreFilterQ + k * k;
    f.preB0 = (shelfGain + bandGain * k / kPreFilterQ + k * k) / a0;
    f.preB1 = 2.0 * (k * k - shelfGain) / a0;
    f.preB2 = (shelfGain - bandGain * k / kPreFilterQ + k * k) / a0;
    f.preA1 = 2.0 * (k * k - 1.0) / a0;
    f.preA2 = (1.0 - k / kPreFilterQ + k * k) / a0;
    k = std::tan(kPi * kHighPassHz / rate);
    a0 = 1.0 + k / kHighPassQ + k * k;
    f.rlbB0 = 1.0;
    f.rlbB1 = -2.0;
    f.rlbB2 = 1.0;
    f.rlbA1 = 2.0 * (k * k - 1.0) / a0;
    f.rlbA2 = (1.0 - k / kHighPassQ + k * k) / a0;
    return f;
}

// Channel weights as libebur128's default map lays the channels out: four are L R Ls Rs, five
// L R C Ls Rs, six and more L R C LFE Ls Rs and nothing after.
double channelWeight(int channel, int channels) {
    if (channels == 4) return channel >= 2 ? kSurroundWeight : 1.0;
    if (channels == 5) return channel >= 3 ? kSurroundWeight : 1.0;
    if (channel < 3) return 1.0;
    if (channel == 4 || channel == 5) return kSurroundWeight;
    return 0.0;
}

double lufsOfEnergy(double meanSquare) { return kLoudnessOffset + 10.0 * std::log10(meanSquare); }

int histogramBin(double lufs) {
    const double bin = std::floor((lufs - kAbsoluteGateLufs) * kHistogramBinsPerLu);
    return static_cast<int>(std::min(std::max(bin, 0.0), static_cast<double>(kLoudnessHistogramBins - 1)));
}

// Squares of the K-weighted samples of two channels (a and b, `stride` apart in `samples`) added to
// squaresA and squaresB; both channels go through the same operations side by side in one register.
void weighPair(const KWeightingFilter& f, KWeightingState& a, KWeightingState& b, const double* samples,
               size_t stride, size_t frames, double* squaresA, double* squaresB) {
    const __m128d preB0 = _mm_set1_pd(f.preB0), preB1 = _mm_set1_pd(f.preB1), preB2 = _mm_set1_pd(f.preB2);
    const __m128d preA1 = _mm_set1_pd(f.preA1), preA2 = _mm_set1_pd(f.preA2);
    const __m128d rlbB0 = _mm_set1_pd(f.rlbB0), rlbB1 = _mm_set1_pd(f.rlbB1), rlbB2 = _mm_set1_pd(f.rlbB2);
    const __m128d rlbA1 = _mm_set1_pd(f.rlbA1), rlbA2 = _mm_set1_pd(f.rlbA2);
    __m128d x1 = _mm_set_pd(b.x1, a.x1), x2 = _mm_set_pd(b.x2, a.x2);
    __m128d p1 = _mm_set_pd(b.p1, a.p1), p2 = _mm_set_pd(b.p2, a.p2);
    __m128d r1 = _mm_set_pd(b.r1, a.r1), r2 = _mm_set_pd(b.r2, a.r2);
    // Added to the step's sums sample by sample, so the sums do not depend on how the audio is sliced.
    __m128d squares = _mm_set_pd(*squaresB, *squaresA);
    for (size_t i = 0; i < frames; ++i) {
        const __m128d x = _mm_set_pd(samples[i * stride + 1], samples[i * stride]);
        const __m128d p = _mm_sub_pd(
            _mm_sub_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(preB0, x), _mm_mul_pd(preB1, x1)), _mm_mul_pd(preB2, x2)),
                       _mm_mul_pd(preA2, p2)),
            _mm_mul_pd(preA1, p1));
        const __m128d r = _mm_sub_pd(
            _mm_sub_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(rlbB0, p), _mm_mul_pd(rlbB1, p1)), _mm_mul_pd(rlbB2, p2)),
                       _mm_mul_pd(rlbA2, r2)),
            _mm_mul_pd(rlbA1, r1));
        squares = _mm_add_pd(squares, _mm_mul_pd(r, r));
        x2 = x1;
        x1 = x;
        p2 = p1;
        p1 = p;
        r2 = r1;
        r1 = r;
    }
    double lanes[2];
    _mm_storeu_pd(lanes, squares);
    *squaresA = lanes[0];
    *squaresB = lanes[1];
    auto store = [](__m128d value, double* low, double* high) {
        double pair[2];
        _mm_storeu_pd(pair, value);
        *low = pair[0];
        *high = pair[1];
    };
    store(x1, &a.x1, &b.x1);
    store(x2, &a.x2, &b.x2);
    store(p1, &a.p1, &b.p1);
    store(p2, &a.p2, &b.p2);
    store(r1, &a.r1, &b.r1);
    store(r2, &a.r2, &b.r2);
}

// One channel alone (the last of an odd count): the same operations in the same order.
void weighOne(const KWeightingFilter& f, KWeightingState& s, const double* samples, size_t stride, size_t frames,
              double* squares) {
    double x1 = s.x1, x2 = s.x2, p1 = s.p1, p2 = s.p2, r1 = s.r1, r2 = s.r2;
    double sum = *squares;
    for (size_t i = 0; i < frames; ++i) {
        const double x = samples[i * stride];
        const double p = f.preB0 * x + f.preB1 * x1 + f.preB2 * x2 - f.preA2 * p2 - f.preA1 * p1;
        const double r = f.rlbB0 * p + f.rlbB1 * p1 + f.rlbB2 * p2 - f.rlbA2 * r2 - f.rlbA1 * r1;
        sum += r * r;
        x2 = x1;
        x1 = x;
        p2 = p1;
        p1 = p;
        r2 = r1;
        r1 = r;
    }
    *squares = sum;
    s = KWeightingState{x1, x2, p1, p2, r1, r2};
}

// At the end of a step: outputs decayed near zero set to zero; a filter a NaN or an infinity
// went through (a float file may hold one) starts again from silence.
void flushDecayed(KWeightingState& s) {
    for (const double value : {s.x1, s.x2, s.p1, s.p2, s.r1, s.r2}) {
        if (!std::isfinite(value)) {
            s = KWeightingState{};
            return;
        }
    }
    for (double* value : {&s.p1, &s.p2, &s.r1, &s.r2}) {
        if (std::fabs(*value) < kFilterFloor) *value = 0.0;
    }
}

double recentSum(const LoudnessMeter& meter, int steps) {
    double sum = 0.0;
    for (int back = 1; back <= steps; ++back) {
        sum += meter.recentSteps[(meter.recentNext - back + kShortTermSteps) % kShortTermSteps];
    }
    return sum;
}

// A 100 ms step is complete: its weighted sum into the ring, the 400 ms block ending here into the
// histogram, the 3 s window ending here into the short-term values.
void finishStep(LoudnessMeter& meter) {
    double weighted = 0.0;
    for (int c = 0; c < meter.channels; ++c) {
        // A step a NaN or an infinity went through counts as silence.
        if (std::isfinite(meter.stepSquares[c])) weighted += meter.channelWeights[c] * meter.stepSquares[c];
        meter.stepSquares[c] = 0.0;
        flushDecayed(meter.channelFilters[c]);
    }
    meter.recentSteps[meter.recentNext] = weighted;
    meter.recentNext = (meter.recentNext + 1) % kShortTermSteps;
    ++meter.stepsDone;
    const double stepFrames = static_cast<double>(meter.framesPerStep);
    if (meter.stepsDone >= kBlockSteps) {
        const double blockEnergy = recentSum(meter, kBlockSteps) / (kBlockSteps * stepFrames);
        const double lufs = lufsOfEnergy(blockEnergy);
        if (lufs >= kAbsoluteGateLufs) {
            const int bin = histogramBin(lufs);
            ++meter.blockCounts[bin];
            meter.blockEnergies[bin] += blockEnergy;
            ++meter.gatedBlocks;
            meter.gatedEnergy += blockEnergy;
        }
    }
    if (meter.stepsDone >= static_cast<uint64_t>(kShortTermSteps)) {
        const double shortTermEnergy = recentSum(meter, kShortTermSteps) / (kShortTermSteps * stepFrames);
        meter.shortTermLufs.push_back(static_cast<float>(lufsOfEnergy(shortTermEnergy)));
    }
}

// Integrated loudness: the blocks within 10 LU of the absolute-gated mean. A bin is in when its
// middle is at or above the relative gate (the blocks of the one bin the gate cuts are within
// 0.01 LU of it).
double integratedLoudness(const LoudnessMeter& meter) {
    if (meter.gatedBlocks == 0) return -HUGE_VAL;
    const double gate = lufsOfEnergy(meter.gatedEnergy / static_cast<double>(meter.gatedBlocks)) +
                        kIntegratedRelativeGateLu;
    uint64_t count = 0;
    double energy = 0.0;
    for (int bin = 0; bin < kLoudnessHistogramBins; ++bin) {
        if (meter.blockCounts[bin] == 0) continue;
        const double middle = kAbsoluteGateLufs + (bin + 0.5) / kHistogramBinsPerLu;
        if (middle < gate) continue;
        count += meter.blockCounts[bin];
        energy += meter.blockEnergies[bin];
    }
    if (count == 0) return -HUGE_VAL;
    return lufsOfEnergy(energy / static_cast<double>(count));
}

// Sample peak and hard clips of interleaved full-scale samples, two lanes at a time (a NaN is
// passed over, as std::max passes it over).
void notePeaksAndClips(LoudnessMeter& meter, const double* samples, size_t count) {
    const __m128d signMask = _mm_set1_pd(-0.0);
    const __m128d clipLevel = _mm_set1_pd(kHardClipLevel);
    // Two registers each, so one maximum need not wait on the one before.
    __m128d largest = _mm_setzero_pd(), largestToo = largest;
    __m128i clipped = _mm_setzero_si128(), clippedToo = clipped;  // minus the counts: a true compare is -1
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128d magnitude = _mm_andnot_pd(signMask, _mm_loadu_pd(samples + i));
        const __m128d magnitudeToo = _mm_andnot_pd(signMask, _mm_loadu_pd(samples + i + 2));
        clipped = _mm_add_epi64(clipped, _mm_castpd_si128(_mm_cmpge_pd(magnitude, clipLevel)));
        clippedToo = _mm_add_epi64(clippedToo, _mm_castpd_si128(_mm_cmpge_pd(magnitudeToo, clipLevel)));
        largest = _mm_max_pd(magnitude, largest);
        largestToo = _mm_max_pd(magnitudeToo, largestToo);
    }
    double lanes[2];
    _mm_storeu_pd(lanes, _mm_max_pd(largest, largestToo));
    double peak = std::max(lanes[0], lanes[1]);
    int64_t counts[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(counts), _mm_add_epi64(clipped, clippedToo));
    uint64_t clips = static_cast<uint64_t>(-(counts[0] + counts[1]));
    for (; i < count; ++i) {
        const double magnitude = std::fabs(samples[i]);
        clips += magnitude >= kHardClipLevel ? 1 : 0;
        peak = std::max(peak, magnitude);
    }
    meter.hardClippedSamples += clips;
    meter.samplePeak = std::max(meter.samplePeak, peak);
}

// Full-scale doubles through the K-weighting and the true peak, in pieces that end on 100 ms steps.
void measureFrames(LoudnessMeter& meter, const double* samples, size_t frames) {
    const size_t channels = static_cast<size_t>(meter.channels);
    addTruePeakFrames(meter.truePeak, samples, frames);
    while (frames > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(frames, meter.framesPerStep - meter.framesInStep));
        size_t c = 0;
        for (; c + 2 <= channels; c += 2) {
            weighPair(meter.filter, meter.channelFilters[c], meter.channelFilters[c + 1], samples + c, channels, piece,
                      &meter.stepSquares[c], &meter.stepSquares[c + 1]);
        }
        if (c < channels) weighOne(meter.filter, meter.channelFilters[c], samples + c, channels, piece, &meter.stepSquares[c]);
        samples += piece * channels;
        frames -= piece;
        meter.frames += piece;
        meter.framesInStep += piece;
        if (meter.framesInStep == meter.framesPerStep) {
            meter.framesInStep = 0;
            finishStep(meter);
        }
    }
}

}  // namespace

bool startMeter(LoudnessMeter& meter, int rate, int channels) {
    meter = LoudnessMeter{};
    if (rate < kLowestMeterRate || rate > kHighestMeterRate || channels < 1 || channels > kMostMeterChannels) return false;
    meter.channels = channels;
    meter.framesPerStep = static_cast<uint64_t>((rate + 5) / 10);
    meter.filter = designKWeighting(rate);
    meter.channelFilters.assign(static_cast<size_t>(channels), KWeightingState{});
    meter.stepSquares.assign(static_cast<size_t>(channels), 0.0);
    for (int c = 0; c < channels; ++c) meter.channelWeights.push_back(channelWeight(c, channels));
    meter.blockCounts.assign(kLoudnessHistogramBins, 0);
    meter.blockEnergies.assign(kLoudnessHistogramBins, 0.0);
    startTruePeak(meter.truePeak, rate, channels);
    meter.started = true;
    return true;
}

void addFrames(LoudnessMeter& meter, const double* samples, size_t frames) {
    if (!meter.started) return;
    notePeaksAndClips(meter, samples, frames * static_cast<size_t>(meter.channels));
    measureFrames(meter, samples, frames);
}

void addFrames(LoudnessMeter& meter, const short* samples, size_t frames) {
    if (!meter.started) return;
    const size_t count = frames * static_cast<size_t>(meter.channels);
    meter.samples.resize(count);
    for (size_t i = 0; i < count; ++i) meter.samples[i] = samples[i] / 32768.0;
    // Exact: |s| / 32768 >= 32764 / 32768 where |s| >= 32764.
    notePeaksAndClips(meter, meter.samples.data(), count);
    measureFrames(meter, meter.samples.data(), frames);
}

double loudnessRange(std::vector<float> shortTermLufs) {
    std::vector<double> gated;
    double energy = 0.0;
    for (const float lufs : shortTermLufs) {
        if (lufs <= kAbsoluteGateLufs) continue;
        gated.push_back(lufs);
        energy += std::pow(10.0, lufs / 10.0);
    }
    if (gated.empty()) return 0.0;
    const double relativeGate = 10.0 * std::log10(energy / static_cast<double>(gated.size())) + kRelativeGateLu;
    std::vector<double> kept;
    for (const double lufs : gated) {
        if (lufs > relativeGate) kept.push_back(lufs);
    }
    if (kept.empty()) return 0.0;
    std::sort(kept.begin(), kept.end());
    // The p-th percentile is the value of rank round(p x count), counted from 1, as ffmpeg's
    // ebur128 filter takes it; with few values the choice of rank moves the range by a step.
    auto percentile = [&kept](double fraction) {
        const size_t rank = static_cast<size_t>(fraction * static_cast<double>(kept.size()) + 0.5);
        return kept[rank > 0 ? rank - 1 : 0];
    };
    return percentile(kHighPercentile) - percentile(kLowPercentile);
}

RunningLoudness runningLoudness(const LoudnessMeter& meter) {
    const double stepFrames = static_cast<double>(meter.framesPerStep);
    auto windowLufs = [&](int steps) {
        if (meter.stepsDone < static_cast<uint64_t>(steps)) return -HUGE_VAL;
        const double energy = recentSum(meter, steps) / (steps * stepFrames);
        return energy > 0.0 ? lufsOfEnergy(energy) : -HUGE_VAL;
    };
    const double peak = std::max(meter.truePeak.peak, meter.samplePeak);
    return {windowLufs(kBlockSteps), windowLufs(kShortTermSteps), integratedLoudness(meter),
            peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL};
}

LoudnessFigures finishMeter(LoudnessMeter& meter, int rate) {
    LoudnessFigures figures;
    figures.frames = meter.frames;
    figures.rate = rate;
    figures.hardClippedSamples = meter.hardClippedSamples;
    if (!meter.started) return figures;
    figures.measured = true;
    figures.integratedLufs = integratedLoudness(meter);
    figures.rangeLu = loudnessRange(meter.shortTermLufs);
    flushTruePeak(meter.truePeak);
    const double truePeak = std::max(meter.truePeak.peak, meter.samplePeak);
    figures.truePeakDbtp = truePeak > 0.0 ? 20.0 * std::log10(truePeak) : -HUGE_VAL;
    figures.samplePeakDbfs = meter.samplePeak > 0.0 ? 20.0 * std::log10(meter.samplePeak) : -HUGE_VAL;
    discardMeter(meter);
    return figures;
}

void discardMeter(LoudnessMeter& meter) { meter = LoudnessMeter{}; }

bool measureFile(const std::string& path, LoudnessFigures* figures, std::string* error) {
    SF_INFO info{};
    std::unique_lock<std::mutex> lock(soundFileOpenLock());
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        *error = "cannot read back '" + path + "' to measure it: " + sf_strerror(nullptr);
        return false;
    }
    lock.unlock();
    LoudnessMeter meter;
    if (!startMeter(meter, info.samplerate, info.channels)) {
        sf_close(file);
        *error = "cannot set up the loudness measurement";
        return false;
    }
    std::vector<double> samples(kMeasureChunkFrames * static_cast<size_t>(info.channels));
    for (;;) {
        const sf_count_t got = sf_readf_double(file, samples.data(), static_cast<sf_count_t>(kMeasureChunkFrames));
        if (got <= 0) break;
        addFrames(meter, samples.data(), static_cast<size_t>(got));
    }
    sf_close(file);
    *figures = finishMeter(meter, info.samplerate);
    return true;
}

std::string formatReport(const ProcessReport& report) {
    std::string text;
    char line[200];
    std::snprintf(line, sizeof line, "Preset                %s\n", report.preset.c_str());
    text += line;
    std::snprintf(line, sizeof line, "Input format          %s\n", report.inputFormat.c_str());
    text += line;
    std::snprintf(line, sizeof line, "Output format         %s\n", report.outputFormat.c_str());
    text += line;
    const double latencyMs = 1000.0 * report.latencyFrames / kSampleRate;
    if (report.latencyKept) {
        std::snprintf(line, sizeof line, "Latency removed       none (--keep-latency: output is %ld frames, %.1f ms, late)\n",
                      report.latencyFrames, latencyMs);
    } else {
        std::snprintf(line, sizeof line, "Latency removed       %ld frames (%.1f ms)\n", report.latencyFrames, latencyMs);
    }
    text += line;
    if (!report.priming.empty()) {
        std::snprintf(line, sizeof line, "Primed                %s\n", report.priming.c_str());
        text += line;
    }
    if (!report.delivery.empty()) text += "Delivery              " + report.delivery + "\n";
    std::snprintf(line, sizeof line, "%-22s%16s%16s\n", "", "input", "output");
    text += line;
    std::snprintf(line, sizeof line, "%-22s%16s%16s\n", "Duration", formatDuration(report.input).c_str(),
                  formatDuration(report.output).c_str());
    text += line;
    std::snprintf(line, sizeof line, "%-22s%16s%16s\n", "Integrated loudness",
                  formatFigure(report.input.integratedLufs, "LUFS").c_str(),
                  formatFigure(report.output.integratedLufs, "LUFS").c_str());
    text += line;
    std::snprintf(line, sizeof line, "%-22s%16s%16s\n", "Loudness range", formatFigure(report.input.rangeLu, "LU").c_str(),
                  formatFigure(report.output.rangeLu, "LU").c_str());
    text += line;
    std::snprintf(line, sizeof line, "%-22s%16s%16s\n", "True peak", formatFigure(report.input.truePeakDbtp, "dBTP").c_str(),
                  formatFigure(report.output.truePeakDbtp, "dBTP").c_str());
    text += line;
    std::snprintf(line, sizeof line, "%-22s%16llu%16llu   (samples at +/-32764 of 32768)\n", "Hard-clipped samples",
                  static_cast<unsigned long long>(report.input.hardClippedSamples),
                  static_cast<unsigned long long>(report.output.hardClippedSamples));
    text += line;
    if (!report.outputMeasured.empty()) text += "The output was measured " + report.outputMeasured + ".\n";
    return text;
}

}  // namespace cli
