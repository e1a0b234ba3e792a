// The plug-in's formats beyond 44,100 Hz 16-bit stereo, when the user asks for them: 8/16/24/32-bit
// integer samples, mono or stereo, 8 kHz to 192 kHz, through the engine's high-resolution path
// (other rates through the rate bridge, in fixed chunks) and back in the host's own format.
//
// Glossary of the state:
// - format: what the host's blocks carry now; a change restarts from rest (filter memories
//   cleared as after a pause, the bridge's queue emptied) and fades the first `fadeFrames` in.
// - bridge: the resampler pair around the engine for rates other than 44,100 Hz. Its storage is
//   sized ahead (reserveFormatAdapter) for the largest of the common rates, so a format change on
//   the audio thread re-prepares it without allocating; only a rare rate whose tables are larger
//   than all of those allocates, once, in its first block.
// - ditherState: the generator of the output dither for sizes the chain's own dither does not
//   cover (8 and 24 bits), apart from the engine's so the chain's sequence stays as it is.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "host/rate_bridge.h"

struct Engine;

struct HostFormat {
    int bps = 0, nch = 0, srate = 0;
};

constexpr int kFirstProcessedRate = 8000;
constexpr int kLastProcessedRate = 192000;
constexpr int kProcessedSampleSizes[] = {8, 16, 24, 32};
// Rates whose resampler tables the adapter reserves ahead.
constexpr int kCommonRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 48000, 64000, 88200, 96000, 176400, 192000};
// Host frames converted and run per step (the work buffers' length).
constexpr int kAdapterPieceFrames = 4096;

struct FormatAdapter {
    HostFormat format;              // of the blocks run last; bps 0 before the first
    bool fresh = true;              // restart due at the next processed block
    RateBridge bridge;              // prepared for format.srate when it is not 44,100 Hz
    bool bridged = false;
    int fadeFrames = 0;             // fade-in length after a restart, host frames
    int fadeDone = 0;               // frames of it gone
    uint32_t ditherState = 1;
    std::vector<float> interleaved; // kAdapterPieceFrames * 2
    std::vector<float> planar[2];   // kAdapterPieceFrames each
    bool reserved = false;
    // For the windows: the format last seen, whether it was processed, and the frames a sample
    // takes from entry to exit (engine and bridge), written by the audio thread.
    std::atomic<int32_t> shownBps{0}, shownNch{0}, shownRate{0};
    std::atomic<int32_t> shownProcessed{0};
    std::atomic<int64_t> shownLatencyFrames{0};
};

// How a format is handled with the switch on: the exact 16-bit path, the high-resolution path
// (at 44,100 Hz or through the bridge), or passed through untouched.
enum class FormatRoute { Exact16, HighResolution, PassThrough };
FormatRoute routeOf(const HostFormat& format);

// Control thread, before the adapter first runs: sizes the bridge and the work buffers for the
// largest case.
void reserveFormatAdapter(FormatAdapter& adapter);

// Audio thread: one host block of a HighResolution format, in place; returns `frames`.
int adaptBlock(FormatAdapter& adapter, Engine& engine, void* samples, int frames, const HostFormat& format);

// Asks for a restart from rest at the next block (the switch turned on, a pause).
void restartFormatAdapter(FormatAdapter& adapter);
