// The audio a console measures: the processor's input and output, handed from the audio thread
// through two single-producer rings that never block it (when a ring is full the frames are
// dropped and counted), and taken by the console's meter thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace console {

enum TapSide { kTapInput = 0, kTapOutput = 1 };

struct TapRing {
    std::vector<float> samples;  // capacity frames, interleaved stereo
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> read{0};
    std::atomic<uint64_t> dropped{0};
};

struct AudioTap {
    int rate = 44100;
    uint64_t capacityFrames = 0;  // a power of two
    TapRing rings[2];
};

// Sized for a few seconds at `rate` (allocates; not on the audio thread).
void prepareAudioTap(AudioTap& tap, int rate);
// Audio thread: interleaved stereo, or one or two planar channels (mono counts as both).
void tapInterleaved(AudioTap& tap, TapSide side, const double* stereo, std::size_t frames);
void tapPlanar(AudioTap& tap, TapSide side, const float* const* channels, int channelCount, std::size_t frames);
// Meter thread: up to `most` frames waiting on `side` into `out` (interleaved stereo doubles);
// frames beyond `most` are skipped, so a run faster than real time is measured in part.
std::size_t drainAudioTap(AudioTap& tap, TapSide side, std::size_t most, std::vector<double>* out);

}  // namespace console
