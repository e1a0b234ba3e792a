// The console's audio tap: two lock-free single-producer, single-consumer rings.
#include "console/audio_tap.h"

namespace console {

namespace {

constexpr uint64_t kTapSeconds = 4;

template <class Sample>
void push(AudioTap& tap, TapSide side, std::size_t frames, Sample sampleAt) {
    TapRing& ring = tap.rings[side];
    const uint64_t written = ring.written.load(std::memory_order_relaxed);
    const uint64_t read = ring.read.load(std::memory_order_acquire);
    if (tap.capacityFrames == 0 || written - read + frames > tap.capacityFrames) {
        ring.dropped.fetch_add(frames, std::memory_order_relaxed);
        return;
    }
    const uint64_t mask = tap.capacityFrames - 1;
    for (std::size_t f = 0; f < frames; ++f) {
        float* frame = &ring.samples[2 * ((written + f) & mask)];
        frame[0] = static_cast<float>(sampleAt(f, 0));
        frame[1] = static_cast<float>(sampleAt(f, 1));
    }
    ring.written.store(written + frames, std::memory_order_release);
}

}  // namespace

void prepareAudioTap(AudioTap& tap, int rate) {
    tap.rate = rate;
    uint64_t capacity = 1;
    while (capacity < kTapSeconds * static_cast<uint64_t>(rate)) capacity *= 2;
    tap.capacityFrames = capacity;
    for (TapRing& ring : tap.rings) ring.samples.assign(2 * capacity, 0.0f);
}

void tapInterleaved(AudioTap& tap, TapSide side, const double* stereo, std::size_t frames) {
    push(tap, side, frames, [stereo](std::size_t f, int c) { return stereo[2 * f + c]; });
}

void tapPlanar(AudioTap& tap, TapSide side, const float* const* channels, int channelCount, std::size_t frames) {
    push(tap, side, frames, [channels, channelCount](std::size_t f, int c) {
        return channels[channelCount == 1 ? 0 : c][f];
    });
}

std::size_t drainAudioTap(AudioTap& tap, TapSide side, std::size_t most, std::vector<double>* out) {
    TapRing& ring = tap.rings[side];
    const uint64_t written = ring.written.load(std::memory_order_acquire);
    uint64_t read = ring.read.load(std::memory_order_relaxed);
    if (written - read > most) read = written - most;  // skip what is too much to measure
    const std::size_t frames = static_cast<std::size_t>(written - read);
    out->resize(2 * frames);
    const uint64_t mask = tap.capacityFrames - 1;
    for (std::size_t f = 0; f < frames; ++f) {
        const float* frame = &ring.samples[2 * ((read + f) & mask)];
        (*out)[2 * f] = frame[0];
        (*out)[2 * f + 1] = frame[1];
    }
    ring.read.store(written, std::memory_order_release);
    return frames;
}

}  // namespace console
