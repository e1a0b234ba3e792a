// The frequency response sweep: a stepped sine through a private copy of the chain, measured per frequency.
#include "analysis/response_sweep.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "host/engine_api.h"
#include "platform/shared_value.h"

namespace {

constexpr double kLowestFrequencyHz = 20.0;
constexpr double kStepsPerOctave = 100.0;
constexpr const char* kDitherKey = "General.QuantizationDither.Active";


// Schedule of one frequency, in input frames. The settling stretch lets the filters' transients
// of the small frequency step (about 2 %, phase continuous) die away and covers the past half of
// the linear-phase filters' symmetric responses; the guard keeps the window clear of the next
// frequency, which the future half of those responses would otherwise bring in early.
constexpr int kLeadInFrames = 22050;    // extra run-in of the first frequency, 0.5 s
constexpr int kSettleFrames = 4096;
constexpr int kMinWindowFrames = 4096;  // rounded up to whole sine periods
constexpr int kGuardFrames = 1024;
constexpr int kBlockFrames = 1024;      // frames handed to the frame per call

constexpr double kSampleRateHz = 44100.0;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kFullScale = 32768.0;
constexpr double kInputScale = 1.0 / kFullScale;

struct SweepSegment {
    int64_t windowStart;  // first input frame of the measuring window
    int64_t windowEnd;    // one past its last frame
    int64_t end;          // first input frame of the next frequency
    double phaseStep;     // radians per frame
};

// What the sweep needs beside the engine, too large for a stack: the schedule and one block of audio.
struct SweepWork {
    SweepSegment segments[kSweepPointCount];
    int16_t block[2 * kBlockFrames];
};

int64_t windowFramesFor(double frequencyHz) {
    if (!(frequencyHz > 0)) return kMinWindowFrames;
    const double periods = std::ceil(kMinWindowFrames * frequencyHz / kSampleRateHz);
    return static_cast<int64_t>(std::lround(periods * kSampleRateHz / frequencyHz));
}

void planSegments(const SweepFrequencyTable& table, SweepSegment segments[kSweepPointCount]) {
    int64_t start = 0;
    for (int point = 0; point < kSweepPointCount; ++point) {
        const double frequencyHz = table.frequency[point * kSweepTableStep];
        SweepSegment& segment = segments[point];
        segment.windowStart = start + (point == 0 ? kLeadInFrames : 0) + kSettleFrames;
        segment.windowEnd = segment.windowStart + windowFramesFor(frequencyHz);
        segment.end = segment.windowEnd + kGuardFrames;
        segment.phaseStep = kTwoPi * frequencyHz / kSampleRateHz;
        start = segment.end;
    }
}

// Hann weight of frame `position` (0 ... frames - 1) of a window. With a window of whole sine
// periods, the weighted mean of sin² is 1/2 to far better than a 16-bit step even when the
// period is not a whole number of frames, where a plain mean would be off by the part period.
double hannWeight(double position, double frames) {
    return 0.5 - 0.5 * std::cos(kTwoPi * (position + 0.5) / frames);
}

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

}  // namespace

void ResetResponsePlot(SweepFrequencyTable& sweepTable) {
    std::memset(&sweepTable, 0, sizeof sweepTable);
    for (int i = 0; i <= kSweepTableLast; i += kSweepTableStep) {
        sweepTable.frequency[i] = static_cast<uint16_t>(kLowestFrequencyHz * std::pow(2.0, i / kStepsPerOctave));
    }
}

bool FrequencyResponseSweep(Engine& engine, SweepFrequencyTable& table, const std::atomic<bool>* cancel,
                            std::atomic<int>* pointsDone) {
    const auto started = std::chrono::steady_clock::now();
    for (double& response : table.response) storeShared(response, 0.0);
    storeShared(table.duration, 0.0);
    if (pointsDone != nullptr) pointsDone->store(0, std::memory_order_relaxed);

    SweepWork* work = new (std::nothrow) SweepWork();
    if (work == nullptr) return false;
    // The measured response excludes the dither: its noise would only blur the curve. The sweep's
    // sine never sits at zero long enough for the silence guard, so the engine's generator is
    // never drawn from either.
    setValue(engine, kDitherKey, 0.0);
    planSegments(table, work->segments);

    const int64_t delayFrames = latencyFrames(engine);
    const SweepSegment* segments = work->segments;

    int inputPoint = 0;     // frequency being fed
    double phase = 0.0;     // radians, kept in [0, 2π)
    int64_t inputFrame = 0;
    int64_t outputFrame = 0;
    int measuredPoint = 0;  // frequency whose window the output is in or heading for
    double sumOfSquares = 0.0;
    double sumOfWeights = 0.0;

    bool complete = true;
    while (measuredPoint < kSweepPointCount) {
        if (cancelled(cancel)) {
            complete = false;
            break;
        }
        for (int frame = 0; frame < kBlockFrames; ++frame, ++inputFrame) {
            while (inputPoint < kSweepPointCount - 1 && inputFrame >= segments[inputPoint].end) ++inputPoint;
            const int16_t value = static_cast<int16_t>(std::lround(kSweepAmplitude * kFullScale * std::sin(phase)));
            work->block[2 * frame] = value;
            work->block[2 * frame + 1] = value;
            phase += segments[inputPoint].phaseStep;
            if (phase >= kTwoPi) phase -= kTwoPi;
        }

        processBlock16(engine, work->block, kBlockFrames);

        for (int frame = 0; frame < kBlockFrames && measuredPoint < kSweepPointCount; ++frame, ++outputFrame) {
            const int64_t sourceFrame = outputFrame - delayFrames;  // input frame this output belongs to
            const SweepSegment& segment = segments[measuredPoint];
            if (sourceFrame < segment.windowStart) continue;
            const double left = work->block[2 * frame] * kInputScale;
            const double right = work->block[2 * frame + 1] * kInputScale;
            const double windowFrames = static_cast<double>(segment.windowEnd - segment.windowStart);
            const double weight = hannWeight(static_cast<double>(sourceFrame - segment.windowStart), windowFrames);
            sumOfSquares += weight * (left * left + right * right);
            sumOfWeights += weight;
            if (sourceFrame + 1 == segment.windowEnd) {
                // Weighted mean square per channel is sumOfSquares / (2 × sumOfWeights); a sine's
                // peak is √2 × its RMS.
                storeShared(table.response[measuredPoint * kSweepTableStep], std::sqrt(sumOfSquares / sumOfWeights));
                sumOfSquares = 0.0;
                sumOfWeights = 0.0;
                ++measuredPoint;
                if (pointsDone != nullptr) pointsDone->store(measuredPoint, std::memory_order_relaxed);
            }
        }
    }

    delete work;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    storeShared(table.duration, elapsed.count());
    return complete;
}
