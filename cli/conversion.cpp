// Channel and sample-rate conversion.
#include "cli/conversion.h"

namespace cli {

void appendAsStereo(const double* samples, int channels, size_t frames, std::vector<double>* stereo) {
    const size_t start = stereo->size();
    stereo->resize(start + 2 * frames);
    double* out = stereo->data() + start;
    for (size_t frame = 0; frame < frames; ++frame) {
        const double* in = samples + frame * static_cast<size_t>(channels);
        out[2 * frame] = in[0];
        out[2 * frame + 1] = channels == 1 ? in[0] : in[1];
    }
}

void appendFromStereo(const double* stereo, int channels, size_t frames, std::vector<double>* out) {
    if (channels == 2) {
        out->insert(out->end(), stereo, stereo + 2 * frames);
        return;
    }
    const size_t start = out->size();
    out->resize(start + frames);
    for (size_t frame = 0; frame < frames; ++frame) (*out)[start + frame] = stereo[2 * frame];
}

bool startRateConverter(RateConverter& converter, double fromRate, double toRate, int channels, std::string* error) {
    soxr_error_t failure = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    converter.soxr = soxr_create(fromRate, toRate, static_cast<unsigned>(channels), &failure, &io, &quality, nullptr);
    if (converter.soxr == nullptr) {
        *error = std::string("cannot set up resampling: ") + (failure != nullptr ? failure : "unknown error");
        return false;
    }
    converter.channels = channels;
    converter.ratio = toRate / fromRate;
    return true;
}

bool convertRate(RateConverter& converter, const double* samples, size_t frames, std::vector<double>* out,
                 std::string* error) {
    const size_t channels = static_cast<size_t>(converter.channels);
    std::vector<double> produced(channels * (static_cast<size_t>(frames * converter.ratio) + 1024));
    const size_t capacity = produced.size() / channels;
    size_t offset = 0;
    for (;;) {
        size_t used = 0, made = 0;
        const soxr_error_t failure =
            soxr_process(converter.soxr, samples == nullptr ? nullptr : samples + channels * offset, frames - offset,
                         &used, produced.data(), capacity, &made);
        if (failure != nullptr) {
            *error = std::string("resampling failed: ") + failure;
            return false;
        }
        out->insert(out->end(), produced.begin(), produced.begin() + static_cast<std::ptrdiff_t>(channels * made));
        offset += used;
        if (samples == nullptr) {
            if (made == 0) return true;  // drained
            continue;
        }
        if (offset >= frames || (used == 0 && made == 0)) return true;
    }
}

void stopRateConverter(RateConverter& converter) {
    if (converter.soxr != nullptr) soxr_delete(converter.soxr);
    converter.soxr = nullptr;
}

}  // namespace cli
