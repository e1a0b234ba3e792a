// The real-time ceiling: chunks of the block through the delivery limiter, its start-up delay
// filled with silence so the output is always the input delayed by the same number of frames.
#include "delivery/ceiling_stage.h"

#include <algorithm>
#include <cmath>

#include "dsp/shared_value.h"

namespace {

template <typename Sample>
void limitBlock(CeilingStage& stage, Sample* interleaved, int frames, int channels) {
    takeCeilingRequest(stage);
    if (!stage.ready || !isOn(stage.on)) return;
    for (int done = 0; done < frames;) {
        const int count = std::min(kCeilingChunkFrames, frames - done);
        Sample* block = interleaved + static_cast<size_t>(done) * channels;
        for (int i = 0; i < count; ++i) {
            stage.in[2 * i] = block[i * channels];
            stage.in[2 * i + 1] = block[i * channels + channels - 1];
        }
        const int written = limitTruePeak(stage.limiter, stage.in, count, stage.out);
        // Only right after a start does the limiter give fewer frames than it takes: the silence
        // that fills its delay goes first.
        const int silent = count - written;
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) {
                block[i * channels + c] = i < silent ? Sample(0) : static_cast<Sample>(stage.out[2 * (i - silent) + c]);
            }
        }
        done += count;
    }
}

}  // namespace

void setUpCeilingStage(CeilingStage& stage) {
    setUpTruePeakLimiter(stage.fresh, 2, kCeilingStageRate, stage.setUpDbtp);
    stage.setUpLinear = stage.fresh.ceiling;
    stage.limiter = stage.fresh;
    stage.ready = true;
}

void setCeiling(CeilingStage& stage, bool on, double ceilingDbtp) {
    if (std::isfinite(ceilingDbtp)) {
        storeShared(stage.ceilingDbtp, std::clamp(ceilingDbtp, kLowestStageCeilingDbtp, kHighestStageCeilingDbtp));
    }
    const bool starting = on && !isOn(stage.on);
    // Copying over storage of the same size reuses it: no allocation.
    if (starting && stage.ready) stage.limiter = stage.fresh;
    stage.limiter.ceiling = stage.setUpLinear * std::pow(10.0, (stage.ceilingDbtp - stage.setUpDbtp) / 20.0);
    storeShared(stage.on, static_cast<uint8_t>(on ? 1 : 0));
}

void requestCeiling(CeilingStage& stage, bool on, double ceilingDbtp) {
    if (std::isfinite(ceilingDbtp)) {
        storeShared(stage.requestedDbtp, std::clamp(ceilingDbtp, kLowestStageCeilingDbtp, kHighestStageCeilingDbtp));
    }
    storeShared(stage.requestedOn, static_cast<uint8_t>(on ? 1 : 0));
    stage.requests.fetch_add(1, std::memory_order_release);
}

void takeCeilingRequest(CeilingStage& stage) {
    const uint32_t asked = stage.requests.load(std::memory_order_acquire);
    if (asked == stage.requestsTaken) return;
    stage.requestsTaken = asked;
    setCeiling(stage, isOn(stage.requestedOn), loadShared(stage.requestedDbtp));
}

int64_t ceilingLatencyFrames(const CeilingStage& stage) {
    return stage.ready && isOn(stage.on) ? stage.fresh.delayFrames : 0;
}

void processCeiling(CeilingStage& stage, float* interleaved, int frames, int channels) {
    limitBlock(stage, interleaved, frames, channels);
}

void processCeiling(CeilingStage& stage, double* interleaved, int frames, int channels) {
    limitBlock(stage, interleaved, frames, channels);
}
