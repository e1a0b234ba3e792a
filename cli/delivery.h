// The delivery stage after the processor, at the output's rate and channel count: a gain that
// brings the programme to a loudness target, and a true-peak ceiling.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "delivery/true_peak_limiter.h"

namespace cli {

struct DeliveryStage {
    double gain = 1.0;  // linear
    bool limit = false;
    TruePeakLimiter limiter;
    std::vector<double> scaled;
};

// `gainDb` before the ceiling; `limit` false: gain only.
void startDelivery(DeliveryStage& stage, int channels, int rate, double gainDb, bool limit, double ceilingDbtp);
// Interleaved frames in; the frames that leave are appended to `out`, in step with the input (the
// limiter's look-ahead is not added: frame 0 in is frame 0 out).
void deliverFrames(DeliveryStage& stage, const double* samples, size_t frames, std::vector<double>* out);
// The frames still inside the limiter, once the input has ended.
void finishDelivery(DeliveryStage& stage, std::vector<double>* out);

// The ceiling a lossy encoder is given: it adds peaks of its own, so it gets this much headroom.
constexpr double kLossyHeadroomDb = 1.0;
// Ranges of --ceiling and --target.
constexpr double kLowestCeilingDbtp = -20.0;
constexpr double kHighestCeilingDbtp = 0.0;
constexpr double kLowestTargetLufs = -40.0;
constexpr double kHighestTargetLufs = -5.0;
constexpr double kDefaultTargetCeilingDbtp = -1.0;

}  // namespace cli
