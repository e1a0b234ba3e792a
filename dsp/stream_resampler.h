// A streaming sample-rate converter between two integer rates, interleaved float frames, with two
// kinds behind one record: libsoxr where the build has it, and a portable polyphase windowed-sinc
// filter that every build has (the Windows DLL uses it: it links nothing but system libraries).
//
// Both kinds are linear phase and time-aligned: the filter's delay is withheld, not added, so the
// first output frames come only once enough input has arrived, and output frame k sits at input
// time k * fromRate / toRate.
#pragma once

#include <cstdint>
#include <vector>

enum class ResamplerKind : uint8_t {
    Soxr,      // libsoxr, 20-bit quality (native builds)
    Portable,  // polyphase windowed sinc (every build)
};

// The kind a build takes when it is not told: libsoxr where it is linked in.
ResamplerKind defaultResamplerKind();

struct StreamResampler {
    ResamplerKind kind = ResamplerKind::Portable;
    int channels = 0;
    void* soxr = nullptr;              // soxr_t of the libsoxr kind
    // Portable kind: output frame k takes input frames i <= (k * step + center) / phases.
    int64_t phases = 0;                // L: toRate / gcd
    int64_t step = 0;                  // M: fromRate / gcd
    int64_t center = 0;                // the prototype's centre, in L-times-upsampled frames
    int taps = 0;                      // input frames per output frame
    std::vector<float> coefficients;   // phases * taps; row r weights input frames newest first
    std::vector<float> history;        // (taps - 1 + maxInputFrames) * channels, oldest first
    int64_t historyStart = 0;          // input frame index of history[0] (negative: silence before the start)
    int64_t historyFrames = 0;         // frames held in history
    int64_t nextOutput = 0;            // index of the next output frame
    int maxInputFrames = 0;
};

// Portable kind: the coefficient table's size, in floats, for a rate pair (0 when the rates are
// not integers in 1 ... 1,000,000); a caller can refuse a pair whose table it finds too large.
int64_t portableTableFloats(double fromRate, double toRate);

// Sets the converter up (allocating; the vectors keep their capacity for a later, smaller pair)
// and starts it from silence. `maxInputFrames` bounds the frames of one resample call.
bool createResampler(StreamResampler& resampler, ResamplerKind kind, double fromRate, double toRate, int channels,
                     int maxInputFrames);
void releaseResampler(StreamResampler& resampler);

// One call with `inFrames` frames; returns the frames written to `out` (at most outCapacity).
// Neither kind allocates here once warmed up (see the rate bridge).
int64_t resample(StreamResampler& resampler, const float* in, int64_t inFrames, float* out, int64_t outCapacity);
