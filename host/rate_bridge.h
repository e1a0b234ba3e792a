// Runs a 44,100 Hz engine at another host rate: a streaming resampler pair (libsoxr, or the
// portable filter where the build has no libsoxr) around the engine, in fixed chunks behind FIFOs, so the output does not depend on the host's block sizes
// and the whole path has a fixed latency of whole host frames.
//
// Road of the samples: host input -> input FIFO -> (every `hostChunk` frames) down-resampler ->
// engine FIFO -> (every `engineChunk` frames) engine -> alignment delay -> up-resampler ->
// output FIFO -> host output. The output FIFO starts with `prefillFrames` of silence, enough
// that it never runs dry whatever the host's block sizes (see prepareRateBridge).
//
// Both resamplers are linear phase and time-aligned (their filter delay is withheld, not added),
// so the only delays are the prefill and the engine's own latency. The engine's latency is in
// 44,100 Hz frames; the alignment delay pads it to a whole number of engine chunks, which is a
// whole number of host chunks, so the total latency is an exact count of host frames.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp/stream_resampler.h"
#include "host/engine_api.h"

// A fixed-capacity FIFO of interleaved float frames; its storage is allocated when it is sized.
struct FrameFifo {
    std::vector<float> samples;  // capacityFrames * channels
    int channels = 0;
    int64_t capacityFrames = 0;  // a power of two
    int64_t readFrame = 0;       // total frames read and written since the start
    int64_t writeFrame = 0;
};

struct RateBridge {
    double hostRate = 0;
    int channels = 0;
    int hostChunk = 0;    // host frames per resampler call (hostRate / 44100 = hostChunk / engineChunk)
    int engineChunk = 0;  // engine frames per engine call
    StreamResampler down;
    StreamResampler up;
    FrameFifo input, engineInput, output;
    std::vector<float> chunk;        // one engine chunk (or one host chunk), interleaved
    std::vector<float> resampled;    // what one resampler call gives
    // Alignment delay at 44,100 Hz: pads the engine's latency to a multiple of engineChunk.
    std::vector<float> alignRing;    // kAlignRingFrames * channels
    int64_t alignWrite = 0;
    int64_t skipDown = 0;            // warm-up output still owed by each resampler, dropped
    int64_t skipUp = 0;
    int64_t prefillFrames = 0;       // silence the output FIFO starts with
    int64_t engineCalls = 0;         // engine blocks run
    int64_t underruns = 0;           // frames the output FIFO could not give (never, by design)
};

// The chunk sizes for a host rate, or false when the rate is not one the bridge runs
// (44,100 Hz itself needs no bridge; rates 8 kHz ... 384 kHz with a chunk pair of sensible size).
bool rateBridgeChunks(double hostRate, int* hostChunk, int* engineChunk);

// Allocates everything, creates the resamplers and warms them up (off the audio thread); then
// processRateBridge neither allocates nor waits. Call again to start from silence (activate); the
// portable kind then allocates nothing when an earlier call has sized it for a pair as large.
bool prepareRateBridge(RateBridge& bridge, double hostRate, int channels,
                       ResamplerKind kind = defaultResamplerKind());
void releaseRateBridge(RateBridge& bridge);

// Host frames in, the same number out (non-interleaved channel buffers, may be the same memory).
void processRateBridge(RateBridge& bridge, Engine& engine, const float* const* in, float* const* out, int frames);

// Host frames from a sample's entry to its exit, for the engine's latency now.
int64_t rateBridgeLatency(const RateBridge& bridge, int64_t engineLatencyFrames);
