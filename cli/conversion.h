// Between a file's layout and the processor's: channel counts, and sample rates through libsoxr.
#pragma once

#include <soxr.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// Interleaved mono or stereo to stereo (mono copied to both channels), appended to `stereo`.
void appendAsStereo(const double* samples, int channels, size_t frames, std::vector<double>* stereo);
// Interleaved stereo to `channels` (mono: the left channel, which equals the right when the
// processor was fed mono), appended to `out`.
void appendFromStereo(const double* stereo, int channels, size_t frames, std::vector<double>* out);

// value * scale rounded to the nearest integer (halves to the even neighbour), held to
// [lowest, highest] with NaN at lowest, a held value counted in `clipped`.
long quantise(double value, double scale, long lowest, long highest, uint64_t& clipped);
// Samples at full scale 1.0 to 16-bit: x * 32768 rounded to the nearest (halves to the even
// neighbour), held to [-32768, 32767] with NaN at -32768, each held sample counted in `clipped`.
// `stored` (when given) receives what each short stands for, value / 32768.
void quantiseToShorts(const double* samples, size_t count, short* shorts, double* stored, uint64_t& clipped);

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
