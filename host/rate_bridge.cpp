// The resampler pair around the engine: fixed chunks, FIFOs and the latency that results.
#include "host/rate_bridge.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

constexpr double kEngineRate = 44100.0;
// Engine chunks are at least this long, so a resampler call does a useful amount of work.
constexpr int kMinimumEngineChunk = 128;
constexpr int kMaximumChunk = 8192;
// The alignment pad is below the reduced denominator of the rate ratio.
constexpr int64_t kAlignRingFrames = 8192;
// Warm-up: libsoxr grows its internal FIFOs (realloc) during its first fraction of a second of
// audio; with fixed chunk sizes they then keep their size. Two seconds of silence through each
// resampler before the audio thread sees it leaves nothing to grow. The portable kind allocates
// nothing while it runs; its warm-up only has to reach the steady hold-back (its filter's span).
constexpr double kWarmUpSeconds = 2.0;
constexpr int64_t kPortableWarmUpChunks = 4;
// Inputs below this are taken as zero: subnormal floats inside the resamplers' filters would
// otherwise cost hundreds of cycles per multiply (the level is 400 dB below full scale).
constexpr float kNegligibleSample = 1e-20f;
// The engine's output limit; the up-resampler's ripple around a clamped peak stays inside it too.
constexpr float kOutputLimit = 0.9999f;

int64_t nextPowerOfTwo(int64_t n) {
    int64_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

void sizeFifo(FrameFifo& fifo, int channels, int64_t minimumFrames) {
    fifo.channels = channels;
    fifo.capacityFrames = nextPowerOfTwo(minimumFrames);
    fifo.samples.assign(static_cast<size_t>(fifo.capacityFrames * channels), 0.0f);
    fifo.readFrame = fifo.writeFrame = 0;
}

int64_t fifoFrames(const FrameFifo& fifo) { return fifo.writeFrame - fifo.readFrame; }

// Appends interleaved frames; the FIFOs are sized so that they never overflow.
void fifoWrite(FrameFifo& fifo, const float* frames, int64_t count) {
    const int64_t mask = fifo.capacityFrames - 1;
    for (int64_t i = 0; i < count; ++i) {
        float* slot = &fifo.samples[static_cast<size_t>(((fifo.writeFrame + i) & mask) * fifo.channels)];
        for (int c = 0; c < fifo.channels; ++c) slot[c] = frames[i * fifo.channels + c];
    }
    fifo.writeFrame += count;
}

void fifoWriteSilence(FrameFifo& fifo, int64_t count) {
    const int64_t mask = fifo.capacityFrames - 1;
    for (int64_t i = 0; i < count; ++i) {
        float* slot = &fifo.samples[static_cast<size_t>(((fifo.writeFrame + i) & mask) * fifo.channels)];
        for (int c = 0; c < fifo.channels; ++c) slot[c] = 0.0f;
    }
    fifo.writeFrame += count;
}

void fifoRead(FrameFifo& fifo, float* frames, int64_t count) {
    const int64_t mask = fifo.capacityFrames - 1;
    for (int64_t i = 0; i < count; ++i) {
        const float* slot = &fifo.samples[static_cast<size_t>(((fifo.readFrame + i) & mask) * fifo.channels)];
        for (int c = 0; c < fifo.channels; ++c) frames[i * fifo.channels + c] = slot[c];
    }
    fifo.readFrame += count;
}

// The reduced ratio hostRate / 44100 = p / q.
bool reducedRatio(double hostRate, int64_t* p, int64_t* q) {
    if (!(hostRate >= 8000.0 && hostRate <= 384000.0) || hostRate != std::floor(hostRate)) return false;
    const int64_t rate = static_cast<int64_t>(hostRate);
    const int64_t divisor = std::gcd(rate, static_cast<int64_t>(kEngineRate));
    *p = rate / divisor;
    *q = static_cast<int64_t>(kEngineRate) / divisor;
    return true;
}

// Silence through a resampler in fixed chunks; returns the largest number of frames it held back
// (its aligned output owed minus its output given) and sets the frames still owed at the end.
int64_t warmUp(StreamResampler& resampler, int inChunk, int outChunk, const float* silence, int64_t chunks, float* out,
               int64_t outCapacity, int64_t* owed) {
    int64_t given = 0, mostHeld = 0;
    for (int64_t n = 1; n <= chunks; ++n) {
        given += resample(resampler, silence, inChunk, out, outCapacity);
        mostHeld = std::max(mostHeld, n * outChunk - given);
    }
    *owed = chunks * outChunk - given;
    return mostHeld;
}

int64_t alignmentFrames(const RateBridge& bridge, int64_t engineLatencyFrames);

void runEngineChunk(RateBridge& bridge, Engine& engine) {
    const int channels = bridge.channels;
    float* chunk = bridge.chunk.data();
    fifoRead(bridge.engineInput, chunk, bridge.engineChunk);
    processBlockFloat(engine, chunk, bridge.engineChunk, channels);
    ++bridge.engineCalls;
    // The pad follows the latency of the settings this chunk ran with, so it changes at the same
    // chunk whatever the host's block sizes.
    const int64_t alignFrames = alignmentFrames(bridge, audioLatencyFrames(engine));
    // Alignment delay; the ring is written first so a pad of 0 passes the chunk through.
    const int64_t mask = kAlignRingFrames - 1;
    for (int i = 0; i < bridge.engineChunk; ++i) {
        float* slot = &bridge.alignRing[static_cast<size_t>(((bridge.alignWrite + i) & mask) * channels)];
        for (int c = 0; c < channels; ++c) {
            const float value = chunk[i * channels + c];
            slot[c] = std::fabs(value) < kNegligibleSample ? 0.0f : value;
        }
    }
    for (int i = 0; i < bridge.engineChunk; ++i) {
        const float* slot = &bridge.alignRing[static_cast<size_t>(((bridge.alignWrite + i - alignFrames) & mask) * channels)];
        for (int c = 0; c < channels; ++c) chunk[i * channels + c] = slot[c];
    }
    bridge.alignWrite += bridge.engineChunk;

    const int64_t capacity = static_cast<int64_t>(bridge.resampled.size()) / channels;
    int64_t given = resample(bridge.up, chunk, bridge.engineChunk, bridge.resampled.data(), capacity);
    int64_t offset = std::min(given, bridge.skipUp);
    bridge.skipUp -= offset;
    fifoWrite(bridge.output, bridge.resampled.data() + offset * channels, given - offset);
}

void runHostChunk(RateBridge& bridge, Engine& engine) {
    const int channels = bridge.channels;
    float* chunk = bridge.chunk.data();
    fifoRead(bridge.input, chunk, bridge.hostChunk);
    const int64_t capacity = static_cast<int64_t>(bridge.resampled.size()) / channels;
    const int64_t given = resample(bridge.down, chunk, bridge.hostChunk, bridge.resampled.data(), capacity);
    const int64_t offset = std::min(given, bridge.skipDown);
    bridge.skipDown -= offset;
    fifoWrite(bridge.engineInput, bridge.resampled.data() + offset * channels, given - offset);
    while (fifoFrames(bridge.engineInput) >= bridge.engineChunk) runEngineChunk(bridge, engine);
}

int64_t alignmentFrames(const RateBridge& bridge, int64_t engineLatencyFrames) {
    int64_t p = 0, q = 1;
    reducedRatio(bridge.hostRate, &p, &q);
    const int64_t remainder = engineLatencyFrames % q;
    return remainder == 0 ? 0 : q - remainder;
}

}  // namespace

bool rateBridgeChunks(double hostRate, int* hostChunk, int* engineChunk) {
    int64_t p = 0, q = 0;
    if (!reducedRatio(hostRate, &p, &q) || q >= kAlignRingFrames) return false;
    const int64_t multiple = (kMinimumEngineChunk + q - 1) / q;
    if (p * multiple > kMaximumChunk || q * multiple > kMaximumChunk) return false;
    *hostChunk = static_cast<int>(p * multiple);
    *engineChunk = static_cast<int>(q * multiple);
    return true;
}

bool prepareRateBridge(RateBridge& bridge, double hostRate, int channels, ResamplerKind kind) {
    releaseRateBridge(bridge);
    int hostChunk = 0, engineChunk = 0;
    if (!rateBridgeChunks(hostRate, &hostChunk, &engineChunk)) return false;
    bridge.hostRate = hostRate;
    bridge.channels = channels;
    bridge.hostChunk = hostChunk;
    bridge.engineChunk = engineChunk;
    const int maximumChunk = std::max(hostChunk, engineChunk);
    if (!createResampler(bridge.down, kind, hostRate, kEngineRate, channels, maximumChunk) ||
        !createResampler(bridge.up, kind, kEngineRate, hostRate, channels, maximumChunk)) {
        releaseRateBridge(bridge);
        return false;
    }
    // One resampler call gives at most what it withholds plus one chunk's worth; 64 chunks of
    // room is far beyond what libsoxr holds back (a few hundred frames).
    const int64_t callCapacity = 64 * static_cast<int64_t>(std::max(hostChunk, engineChunk));
    bridge.resampled.assign(static_cast<size_t>(callCapacity * channels), 0.0f);
    bridge.chunk.assign(static_cast<size_t>(std::max(hostChunk, engineChunk) * channels), 0.0f);
    bridge.alignRing.assign(static_cast<size_t>(kAlignRingFrames * channels), 0.0f);
    bridge.alignWrite = 0;

    const int64_t chunks =
        kind == ResamplerKind::Soxr
            ? static_cast<int64_t>(std::ceil(kWarmUpSeconds * hostRate / hostChunk))
            : kPortableWarmUpChunks + (std::max(bridge.down.taps, bridge.up.taps) + engineChunk - 1) / engineChunk;
    // bridge.chunk is silence here, and long enough for either resampler's chunk.
    const int64_t heldDown = warmUp(bridge.down, hostChunk, engineChunk, bridge.chunk.data(), chunks, bridge.resampled.data(),
                                    callCapacity, &bridge.skipDown);
    const int64_t heldUp = warmUp(bridge.up, engineChunk, hostChunk, bridge.chunk.data(), chunks, bridge.resampled.data(),
                                  callCapacity, &bridge.skipUp);
    // The host has given T frames and takes T back. Whole host chunks resampled: c = T / hostChunk
    // (rounded down), so up to hostChunk - 1 frames wait in the input FIFO; the down-resampler
    // holds back up to heldDown engine frames, which keep up to ceil(heldDown / engineChunk)
    // engine chunks (each worth one host chunk) from running; the up-resampler holds back up to
    // heldUp host frames. Starting the output with that much silence covers the sum.
    bridge.prefillFrames = (hostChunk - 1) + static_cast<int64_t>(hostChunk) * ((heldDown + engineChunk - 1) / engineChunk) + heldUp;

    sizeFifo(bridge.input, channels, hostChunk);
    sizeFifo(bridge.engineInput, channels, callCapacity + engineChunk);
    sizeFifo(bridge.output, channels, bridge.prefillFrames + callCapacity + 2 * kMaximumChunk);
    fifoWriteSilence(bridge.output, bridge.prefillFrames);
    bridge.underruns = 0;
    return true;
}

void releaseRateBridge(RateBridge& bridge) {
    releaseResampler(bridge.down);
    releaseResampler(bridge.up);
}

void processRateBridge(RateBridge& bridge, Engine& engine, const float* const* in, float* const* out, int frames) {
    const int channels = bridge.channels;
    const int64_t inputMask = bridge.input.capacityFrames - 1;
    const int64_t outputMask = bridge.output.capacityFrames - 1;
    int done = 0;
    while (done < frames) {
        // Input up to the end of the current host chunk, then that many frames of output.
        const int64_t room = bridge.hostChunk - fifoFrames(bridge.input);
        const int count = static_cast<int>(std::min<int64_t>(room, frames - done));
        for (int i = 0; i < count; ++i) {
            float* slot = &bridge.input.samples[static_cast<size_t>(((bridge.input.writeFrame + i) & inputMask) * channels)];
            for (int c = 0; c < channels; ++c) {
                const float value = in[c][done + i];
                slot[c] = std::fabs(value) < kNegligibleSample || !std::isfinite(value) ? 0.0f : value;
            }
        }
        bridge.input.writeFrame += count;
        // The whole chunk is read before any output is written: `in` and `out` may be one buffer.
        if (fifoFrames(bridge.input) == bridge.hostChunk) runHostChunk(bridge, engine);
        const int available = static_cast<int>(std::min<int64_t>(fifoFrames(bridge.output), count));
        for (int i = 0; i < available; ++i) {
            const float* slot = &bridge.output.samples[static_cast<size_t>(((bridge.output.readFrame + i) & outputMask) * channels)];
            for (int c = 0; c < channels; ++c) out[c][done + i] = std::clamp(slot[c], -kOutputLimit, kOutputLimit);
        }
        bridge.output.readFrame += available;
        for (int i = available; i < count; ++i) {
            for (int c = 0; c < channels; ++c) out[c][done + i] = 0.0f;
        }
        bridge.underruns += count - available;
        done += count;
    }
}

int64_t rateBridgeLatency(const RateBridge& bridge, int64_t engineLatencyFrames) {
    int64_t p = 0, q = 1;
    reducedRatio(bridge.hostRate, &p, &q);
    const int64_t alignedEngineFrames = engineLatencyFrames + alignmentFrames(bridge, engineLatencyFrames);
    return bridge.prefillFrames + alignedEngineFrames / q * p;
}
