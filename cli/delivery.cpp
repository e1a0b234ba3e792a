// Gain and true-peak ceiling on interleaved frames at the output's rate.
#include "cli/delivery.h"

#include <cmath>

namespace cli {

void startDelivery(DeliveryStage& stage, int channels, int rate, double gainDb, bool limit, double ceilingDbtp) {
    stage.gain = std::pow(10.0, gainDb / 20.0);
    stage.limit = limit;
    if (limit) setUpTruePeakLimiter(stage.limiter, channels, rate, ceilingDbtp);
    stage.limiter.channels = channels;
}

void deliverFrames(DeliveryStage& stage, const double* samples, size_t frames, std::vector<double>* out) {
    const size_t channels = static_cast<size_t>(stage.limiter.channels);
    stage.scaled.resize(frames * channels);
    for (size_t i = 0; i < frames * channels; ++i) stage.scaled[i] = samples[i] * stage.gain;
    if (!stage.limit) {
        out->insert(out->end(), stage.scaled.begin(), stage.scaled.end());
        return;
    }
    const size_t start = out->size();
    out->resize(start + frames * channels);
    const int written = limitTruePeak(stage.limiter, stage.scaled.data(), static_cast<int>(frames), out->data() + start);
    out->resize(start + static_cast<size_t>(written) * channels);
}

void finishDelivery(DeliveryStage& stage, std::vector<double>* out) {
    if (!stage.limit) return;
    const size_t channels = static_cast<size_t>(stage.limiter.channels);
    const size_t start = out->size();
    out->resize(start + static_cast<size_t>(stage.limiter.delayFrames) * channels);
    const int written = flushTruePeak(stage.limiter, out->data() + start);
    out->resize(start + static_cast<size_t>(written) * channels);
}

}  // namespace cli
