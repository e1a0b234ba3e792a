// EBU R 128 figures through libebur128, the hard-clip count and the text of the processing report.
#include "cli/loudness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_common.h"

namespace cli {
namespace {

std::string formatFigure(double value, const char* unit) {
    char text[32];
    if (std::isinf(value) && value < 0) {
        std::snprintf(text, sizeof text, "-inf %s", unit);
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    }
    return text;
}

std::string formatDuration(uint64_t frames) {
    const double seconds = static_cast<double>(frames) / kSampleRate;
    const long minutes = static_cast<long>(seconds / 60);
    char text[48];
    std::snprintf(text, sizeof text, "%ld:%04.1f", minutes, seconds - 60.0 * minutes);
    return text;
}

}  // namespace

bool startMeter(LoudnessMeter& meter) {
    meter.state = ebur128_init(kChannels, kSampleRate,
                               EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM);
    meter.frames = 0;
    meter.hardClippedSamples = 0;
    return meter.state != nullptr;
}

void addFrames(LoudnessMeter& meter, const short* samples, long frames) {
    if (frames <= 0) return;
    ebur128_add_frames_short(meter.state, samples, static_cast<size_t>(frames));
    for (long i = 0; i < 2 * frames; ++i) {
        if (std::abs(static_cast<int>(samples[i])) >= kHardClipValue) ++meter.hardClippedSamples;
    }
    meter.frames += static_cast<uint64_t>(frames);
}

LoudnessFigures finishMeter(LoudnessMeter& meter) {
    LoudnessFigures figures;
    figures.frames = meter.frames;
    figures.hardClippedSamples = meter.hardClippedSamples;
    if (meter.state == nullptr) return figures;
    if (ebur128_loudness_global(meter.state, &figures.integratedLufs) != EBUR128_SUCCESS) {
        figures.integratedLufs = -HUGE_VAL;
    }
    if (ebur128_loudness_range(meter.state, &figures.rangeLu) != EBUR128_SUCCESS) figures.rangeLu = 0.0;
    double peak = 0.0;
    for (unsigned channel = 0; channel < static_cast<unsigned>(kChannels); ++channel) {
        double channelPeak = 0.0;
        if (ebur128_true_peak(meter.state, channel, &channelPeak) == EBUR128_SUCCESS && channelPeak > peak) {
            peak = channelPeak;
        }
    }
    figures.truePeakDbtp = peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
    ebur128_destroy(&meter.state);
    return figures;
}

std::string formatReport(const ProcessReport& report) {
    std::string text;
    char line[160];
    std::snprintf(line, sizeof line, "Preset                %s\n", report.preset.c_str());
    text += line;
    const double latencyMs = 1000.0 * report.latencyFrames / kSampleRate;
    if (report.latencyKept) {
        std::snprintf(line, sizeof line, "Latency removed       none (--keep-latency: output is %ld frames, %.1f ms, late)\n",
                      report.latencyFrames, latencyMs);
    } else {
        std::snprintf(line, sizeof line, "Latency removed       %ld frames (%.1f ms)\n", report.latencyFrames, latencyMs);
    }
    text += line;
    std::snprintf(line, sizeof line, "%-22s%16s%16s\n", "", "input", "output");
    text += line;
    std::snprintf(line, sizeof line, "%-22s%16s%16s\n", "Duration", formatDuration(report.input.frames).c_str(),
                  formatDuration(report.output.frames).c_str());
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
    std::snprintf(line, sizeof line, "%-22s%16llu%16llu   (samples at +/-32764)\n", "Hard-clipped samples",
                  static_cast<unsigned long long>(report.input.hardClippedSamples),
                  static_cast<unsigned long long>(report.output.hardClippedSamples));
    text += line;
    return text;
}

}  // namespace cli
