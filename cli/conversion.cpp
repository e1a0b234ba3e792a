// Channel and sample-rate conversion.
#include "cli/conversion.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>

#include "cli/cli_common.h"

namespace cli {

namespace {

constexpr double kFullScale16 = 32768.0;

}  // namespace

long quantise(double value, double scale, long lowest, long highest, uint64_t& clipped) {
    const double scaled = roundToInteger(value * scale);
    if (!(scaled >= static_cast<double>(lowest))) {  // also NaN
        ++clipped;
        return lowest;
    }
    if (scaled > static_cast<double>(highest)) {
        ++clipped;
        return highest;
    }
    return static_cast<long>(scaled);
}

void quantiseToShorts(const double* samples, size_t count, short* shorts, double* stored, uint64_t& clipped) {
    size_t i = 0;
#if defined(__SSE2__)
    // Two at a time. Whether a sample is held is decided before rounding: halves go to the even
    // neighbour, so -32768.5 rounds to -32768 (kept) and 32767.5 to 32768 (held).
    const __m128d scale = _mm_set1_pd(kFullScale16);
    const __m128d unscale = _mm_set1_pd(1.0 / kFullScale16);  // exact: a power of two
    const __m128d lowest = _mm_set1_pd(-32768.0);
    const __m128d highest = _mm_set1_pd(32767.0);
    const __m128d heldBelow = _mm_set1_pd(-32768.5);
    const __m128d heldFrom = _mm_set1_pd(32767.5);
    for (; i + 2 <= count; i += 2) {
        const __m128d scaled = _mm_mul_pd(_mm_loadu_pd(samples + i), scale);
        const int held = _mm_movemask_pd(_mm_or_pd(_mm_cmpnge_pd(scaled, heldBelow), _mm_cmpge_pd(scaled, heldFrom)));
        clipped += static_cast<uint64_t>((held & 1) + (held >> 1));
        // max takes its second operand where the first is NaN: NaN becomes the lowest value.
        const __m128i values = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(scaled, lowest), highest));
        const int pair = _mm_cvtsi128_si32(_mm_packs_epi32(values, values));
        std::memcpy(shorts + i, &pair, sizeof pair);
        if (stored != nullptr) _mm_storeu_pd(stored + i, _mm_mul_pd(_mm_cvtepi32_pd(values), unscale));
    }
#endif
    for (; i < count; ++i) {
        shorts[i] = static_cast<short>(quantise(samples[i], kFullScale16, -32768, 32767, clipped));
        if (stored != nullptr) stored[i] = shorts[i] / kFullScale16;
    }
}

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
