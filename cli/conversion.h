// Between a file's layout and the processor's: channel counts, and sample rates through libsoxr.
#pragma once

#include <soxr.h>

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

// Interleaved mono or stereo to stereo (mono copied to both channels), appended to `stereo`.
void appendAsStereo(const double* samples, int channels, size_t frames, std::vector<double>* stereo);
// Interleaved stereo to `channels` (mono: the left channel, which equals the right when the
// processor was fed mono), appended to `out`.
void appendFromStereo(const double* stereo, int channels, size_t frames, std::vector<double>* out);

// A streaming sample-rate converter (libsoxr, high quality, interleaved doubles). Its output lines
// up with its input: no delay is added.
struct RateConverter {
    soxr_t soxr = nullptr;
    int channels = 2;
    double ratio = 1.0;
};
bool startRateConverter(RateConverter& converter, double fromRate, double toRate, int channels, std::string* error);
// Converts `frames` frames and appends what is ready to `out`; with `samples` == nullptr drains
// what is left at the end.
bool convertRate(RateConverter& converter, const double* samples, size_t frames, std::vector<double>* out,
                 std::string* error);
void stopRateConverter(RateConverter& converter);

}  // namespace cli
