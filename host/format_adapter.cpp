// Host formats to the engine's high-resolution path and back: conversion, restart, fade, dither.
#include "host/format_adapter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/frame.h"
#include "dsp/shared_value.h"
#include "params/engine.h"

namespace {

constexpr int kEngineRateHz = 44100;
constexpr int kFadeMs = 10;

bool processedSize(int bps) {
    for (int size : kProcessedSampleSizes) {
        if (size == bps) return true;
    }
    return false;
}

int bytesPerSample(int bps) { return bps / 8; }

// One sample of the host's buffer as a value of full scale 1.0.
float readSample(const uint8_t* bytes, int bps) {
    switch (bps) {
        case 8:  // unsigned, 128 is zero
            return static_cast<float>((static_cast<int>(bytes[0]) - 128) * (1.0 / 128.0));
        case 16: {
            int16_t value;
            std::memcpy(&value, bytes, 2);
            return static_cast<float>(value * (1.0 / 32768.0));
        }
        case 24: {
            const int32_t value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) << 8 |
                                                       static_cast<uint32_t>(bytes[1]) << 16 |
                                                       static_cast<uint32_t>(bytes[2]) << 24) >> 8;
            return static_cast<float>(value * (1.0 / 8388608.0));
        }
        default: {
            int32_t value;
            std::memcpy(&value, bytes, 4);
            return static_cast<float>(value * (1.0 / 2147483648.0));
        }
    }
}

// The generator's next 15-bit value, the same recurrence as the engine's.
int nextDither(uint32_t& state) {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 32767);
}

// Back to the host's size by truncation, as the chain converts to 16 bits. The output is within
// +-0.9999 (the chain's clamp, the bridge's limit), so every size holds it.
void writeSample(uint8_t* bytes, int bps, double value) {
    switch (bps) {
        case 8:
            bytes[0] = static_cast<uint8_t>(static_cast<int>(value * 128.0) + 128);
            break;
        case 16: {
            const int16_t sample = static_cast<int16_t>(value * 32768.0);
            std::memcpy(bytes, &sample, 2);
            break;
        }
        case 24: {
            const int32_t sample = static_cast<int32_t>(value * 8388608.0);
            bytes[0] = static_cast<uint8_t>(sample & 255);
            bytes[1] = static_cast<uint8_t>((sample >> 8) & 255);
            bytes[2] = static_cast<uint8_t>((sample >> 16) & 255);
            break;
        }
        default: {
            const int32_t sample = static_cast<int32_t>(value * 2147483648.0);
            std::memcpy(bytes, &sample, 4);
            break;
        }
    }
}

// Dither for a size the chain's own (half a 16-bit step) does not cover: the same rectangular
// 256-step shape at half a step of the output size. 16 bits has the chain's; 32 bits loses nothing
// of a float.
double ditherStep(int bps) {
    switch (bps) {
        case 8: return 1.0 / 32768.0;            // 2^-15: 128 steps make half an 8-bit step
        case 24: return 1.0 / 2147483648.0;      // 2^-31
        default: return 0.0;
    }
}

void restart(FormatAdapter& adapter, Engine& engine, const HostFormat& format) {
    IdleReset(engine.state);
    adapter.format = format;
    adapter.bridged = format.srate != kEngineRateHz;
    if (adapter.bridged) {
        // Storage reserved ahead: the same or a smaller size re-prepares without allocating.
        adapter.bridged = prepareRateBridge(adapter.bridge, format.srate, format.nch, ResamplerKind::Portable);
    }
    adapter.fadeFrames = std::max(1, format.srate * kFadeMs / 1000);
    adapter.fadeDone = 0;
    adapter.ditherState = 1;
    adapter.fresh = false;
}

}  // namespace

FormatRoute routeOf(const HostFormat& format) {
    if (format.bps == 16 && format.nch == 2 && format.srate == kEngineRateHz) return FormatRoute::Exact16;
    if (!processedSize(format.bps) || (format.nch != 1 && format.nch != 2)) return FormatRoute::PassThrough;
    if (format.srate < kFirstProcessedRate || format.srate > kLastProcessedRate) return FormatRoute::PassThrough;
    int hostChunk = 0, engineChunk = 0;
    if (format.srate != kEngineRateHz && !rateBridgeChunks(format.srate, &hostChunk, &engineChunk)) {
        return FormatRoute::PassThrough;
    }
    return FormatRoute::HighResolution;
}

void reserveFormatAdapter(FormatAdapter& adapter) {
    if (adapter.reserved) return;
    adapter.interleaved.assign(static_cast<size_t>(kAdapterPieceFrames) * 2, 0.0f);
    for (std::vector<float>& channel : adapter.planar) channel.assign(kAdapterPieceFrames, 0.0f);
    // Preparing the bridge for each common rate in turn leaves every buffer at the largest size.
    for (int rate : kCommonRates) prepareRateBridge(adapter.bridge, rate, 2, ResamplerKind::Portable);
    adapter.bridged = false;
    adapter.reserved = true;
}

void restartFormatAdapter(FormatAdapter& adapter) { adapter.fresh = true; }

int adaptBlock(FormatAdapter& adapter, Engine& engine, void* samples, int frames, const HostFormat& format) {
    if (samples == nullptr || frames <= 0) return frames;
    if (adapter.fresh || format.bps != adapter.format.bps || format.nch != adapter.format.nch ||
        format.srate != adapter.format.srate) {
        restart(adapter, engine, format);
    }
    if (format.srate != kEngineRateHz && !adapter.bridged) return frames;  // could not prepare: untouched
    const int channels = format.nch;
    const int sampleBytes = bytesPerSample(format.bps);
    const double dither = loadShared(engine.live.general.ditherActive) != 0 ? ditherStep(format.bps) : 0.0;
    uint8_t* bytes = static_cast<uint8_t*>(samples);
    float* interleaved = adapter.interleaved.data();
    for (int done = 0; done < frames;) {
        const int count = std::min(kAdapterPieceFrames, frames - done);
        uint8_t* piece = bytes + static_cast<size_t>(done) * channels * sampleBytes;
        for (int i = 0; i < count * channels; ++i) interleaved[i] = readSample(piece + i * sampleBytes, format.bps);
        if (adapter.bridged) {
            const float* in[2] = {adapter.planar[0].data(), adapter.planar[channels - 1].data()};
            float* out[2] = {adapter.planar[0].data(), adapter.planar[channels - 1].data()};
            for (int i = 0; i < count; ++i) {
                for (int c = 0; c < channels; ++c) adapter.planar[c][i] = interleaved[i * channels + c];
            }
            processRateBridge(adapter.bridge, engine, in, out, count);
            for (int i = 0; i < count; ++i) {
                for (int c = 0; c < channels; ++c) interleaved[i * channels + c] = adapter.planar[c][i];
            }
        } else {
            processBlockFloat(engine, interleaved, count, channels);
        }
        for (int i = 0; i < count; ++i) {
            double gain = 1.0;
            if (adapter.fadeDone < adapter.fadeFrames) {
                gain = static_cast<double>(adapter.fadeDone) / adapter.fadeFrames;
                ++adapter.fadeDone;
            }
            const double noise = dither != 0.0 ? (nextDither(adapter.ditherState) & 255) - 128 : 0.0;
            for (int c = 0; c < channels; ++c) {
                const double value = interleaved[i * channels + c] * gain + noise * dither;
                writeSample(piece + (static_cast<size_t>(i) * channels + c) * sampleBytes, format.bps,
                            std::clamp(value, -kOutputLimit, kOutputLimit));
            }
        }
        done += count;
    }
    const int64_t engineFrames = audioLatencyFrames(engine);
    adapter.shownLatencyFrames.store(adapter.bridged ? rateBridgeLatency(adapter.bridge, engineFrames) : engineFrames,
                                     std::memory_order_relaxed);
    return frames;
}
