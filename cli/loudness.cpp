// EBU R 128 figures through libebur128, the Tech 3342 loudness range, the hard-clip count and the report text.
#include "cli/loudness.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/cli_common.h"

namespace cli {
namespace {

constexpr double kHardClipLevel = kHardClipValue / 32768.0;
constexpr uint64_t kShortTermSteps = 30;  // a short-term window is 3 s, thirty 100 ms steps
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRelativeGateLu = -20.0;
constexpr double kLowPercentile = 0.10;
constexpr double kHighPercentile = 0.95;
constexpr size_t kMeasureChunkFrames = 4096;

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

void notePeaks(LoudnessMeter& meter, const std::vector<double>& samples) {
    for (const double value : samples) meter.peak = std::max(meter.peak, std::fabs(value));
}

void addToTruePeak(LoudnessMeter& meter, const double* samples, size_t frames) {
    const size_t count = frames * static_cast<size_t>(meter.channels);
    if (!meter.oversample) {
        for (size_t i = 0; i < count; ++i) meter.peak = std::max(meter.peak, std::fabs(samples[i]));
        return;
    }
    meter.upsampled.clear();
    std::string error;
    if (convertRate(meter.upsampler, samples, frames, &meter.upsampled, &error)) notePeaks(meter, meter.upsampled);
}

void addToTruePeak(LoudnessMeter& meter, const short* samples, size_t frames) {
    const size_t count = frames * static_cast<size_t>(meter.channels);
    meter.samples.resize(count);
    for (size_t i = 0; i < count; ++i) meter.samples[i] = samples[i] / 32768.0;
    addToTruePeak(meter, meter.samples.data(), frames);
}

// Feeds frames in pieces that end on 100 ms steps and notes the short-term loudness at each step.
template <typename Sample>
void addInSteps(LoudnessMeter& meter, const Sample* samples, size_t frames,
                int (*add)(ebur128_state*, const Sample*, size_t)) {
    const size_t channels = static_cast<size_t>(meter.channels);
    addToTruePeak(meter, samples, frames);
    while (frames > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(frames, meter.framesPerStep - meter.framesInStep));
        add(meter.state, samples, piece);
        const double scale = sizeof(Sample) == 2 ? 32768.0 : 1.0;
        for (size_t i = 0; i < piece * channels; ++i) {
            const double magnitude = std::fabs(static_cast<double>(samples[i]));
            if (magnitude >= kHardClipLevel * scale) ++meter.hardClippedSamples;
            meter.samplePeak = std::max(meter.samplePeak, magnitude / scale);
        }
        samples += piece * channels;
        frames -= piece;
        meter.frames += piece;
        meter.framesInStep += piece;
        if (meter.framesInStep == meter.framesPerStep) {
            meter.framesInStep = 0;
            ++meter.stepsDone;
            double lufs = 0.0;
            if (meter.stepsDone >= kShortTermSteps && ebur128_loudness_shortterm(meter.state, &lufs) == EBUR128_SUCCESS) {
                meter.shortTermLufs.push_back(static_cast<float>(lufs));
            }
        }
    }
}

}  // namespace

bool startMeter(LoudnessMeter& meter, int rate, int channels) {
    meter = LoudnessMeter{};
    meter.channels = channels;
    meter.framesPerStep = static_cast<uint64_t>((rate + 5) / 10);
    meter.state = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                               EBUR128_MODE_I | EBUR128_MODE_S | EBUR128_MODE_HISTOGRAM);
    meter.oversample = rate < kTruePeakRate;
    std::string error;
    if (meter.oversample && !startRateConverter(meter.upsampler, rate, kTruePeakRate, channels, &error)) {
        discardMeter(meter);
        return false;
    }
    return meter.state != nullptr;
}

void addFrames(LoudnessMeter& meter, const double* samples, size_t frames) {
    addInSteps<double>(meter, samples, frames, ebur128_add_frames_double);
}

void addFrames(LoudnessMeter& meter, const short* samples, size_t frames) {
    addInSteps<short>(meter, samples, frames, ebur128_add_frames_short);
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

LoudnessFigures finishMeter(LoudnessMeter& meter, int rate) {
    LoudnessFigures figures;
    figures.frames = meter.frames;
    figures.rate = rate;
    figures.hardClippedSamples = meter.hardClippedSamples;
    if (meter.state == nullptr) return figures;
    figures.measured = true;
    if (ebur128_loudness_global(meter.state, &figures.integratedLufs) != EBUR128_SUCCESS ||
        figures.integratedLufs == -HUGE_VAL) {
        figures.integratedLufs = -HUGE_VAL;
    }
    figures.rangeLu = loudnessRange(meter.shortTermLufs);
    if (meter.oversample) {
        meter.upsampled.clear();
        std::string error;
        if (convertRate(meter.upsampler, nullptr, 0, &meter.upsampled, &error)) notePeaks(meter, meter.upsampled);
    }
    figures.truePeakDbtp = meter.peak > 0.0 ? 20.0 * std::log10(meter.peak) : -HUGE_VAL;
    figures.samplePeakDbfs = meter.samplePeak > 0.0 ? 20.0 * std::log10(meter.samplePeak) : -HUGE_VAL;
    discardMeter(meter);
    return figures;
}

void discardMeter(LoudnessMeter& meter) {
    stopRateConverter(meter.upsampler);
    if (meter.state != nullptr) ebur128_destroy(&meter.state);
    meter.state = nullptr;
    meter.shortTermLufs.clear();
}

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
