// A whole input through an engine: conversion in, blocks through, latency removal, conversion out, figures.
#include "cli/process_job.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "cli/audio_input.h"
#include "cli/conversion.h"
#include "cli/progress.h"

namespace cli {
namespace {

constexpr double kShortScale = 32768.0;

// From the engine's 44,100 Hz stereo output to the output file: the processing delay dropped, the
// channel count and rate of the output, the measurement of what is written.
struct OutputChain {
    AudioWriter* writer = nullptr;
    LoudnessMeter* meter = nullptr;  // null: not measured from the samples (not at all, or read back)
    bool resample = false;
    RateConverter resampler;
    int64_t skipFrames = 0;
    int64_t frameLimit = -1;  // when resampling: the output's length, known at the end
    std::vector<double> stereo, layout, resampled, stored;
};

bool writeOut(OutputChain& chain, const double* samples, size_t frames, std::string* error) {
    if (chain.frameLimit >= 0) {
        const int64_t room = chain.frameLimit - static_cast<int64_t>(chain.writer->framesWritten);
        frames = static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(room, static_cast<int64_t>(frames))));
    }
    if (frames == 0) return true;
    if (!writeFrames(*chain.writer, samples, static_cast<long>(frames), chain.meter ? &chain.stored : nullptr, error)) {
        return false;
    }
    if (chain.meter != nullptr) addFrames(*chain.meter, chain.stored.data(), frames);
    return true;
}

// Frames the engine returned, 16-bit stereo.
bool emit(OutputChain& chain, const short* samples, long frames, std::string* error) {
    long offset = 0;
    if (chain.skipFrames > 0) {
        offset = static_cast<long>(std::min<int64_t>(chain.skipFrames, frames));
        chain.skipFrames -= offset;
    }
    const long count = frames - offset;
    if (count <= 0) return true;
    chain.stereo.resize(2 * static_cast<size_t>(count));
    for (size_t i = 0; i < chain.stereo.size(); ++i) chain.stereo[i] = samples[2 * offset + static_cast<long>(i)] / kShortScale;
    chain.layout.clear();
    appendFromStereo(chain.stereo.data(), chain.writer->format.channels, static_cast<size_t>(count), &chain.layout);
    const size_t channels = static_cast<size_t>(chain.writer->format.channels);
    if (!chain.resample) return writeOut(chain, chain.layout.data(), chain.layout.size() / channels, error);
    chain.resampled.clear();
    if (!convertRate(chain.resampler, chain.layout.data(), static_cast<size_t>(count), &chain.resampled, error)) {
        return false;
    }
    return writeOut(chain, chain.resampled.data(), chain.resampled.size() / channels, error);
}

// Drains the output resampler and makes the output exactly `frames` long.
bool finishOutput(OutputChain& chain, int64_t frames, std::string* error) {
    const size_t channels = static_cast<size_t>(chain.writer->format.channels);
    chain.frameLimit = frames;
    if (chain.resample) {
        chain.resampled.clear();
        if (!convertRate(chain.resampler, nullptr, 0, &chain.resampled, error)) return false;
        if (!writeOut(chain, chain.resampled.data(), chain.resampled.size() / channels, error)) return false;
    }
    const int64_t missing = frames - static_cast<int64_t>(chain.writer->framesWritten);
    if (missing > 0) {
        const std::vector<double> silence(static_cast<size_t>(missing) * channels, 0.0);
        if (!writeOut(chain, silence.data(), static_cast<size_t>(missing), error)) return false;
    }
    return true;
}

// The input on its way to the engine: 44,100 Hz stereo 16-bit frames waiting to be processed.
struct InputChain {
    bool resample = false;
    RateConverter resampler;
    std::vector<double> stereo, resampled;
    std::vector<short> pending;  // interleaved stereo
    uint64_t clippedSamples = 0;
};

void queueForEngine(InputChain& chain, const std::vector<double>& stereo) {
    const size_t start = chain.pending.size();
    chain.pending.resize(start + stereo.size());
    for (size_t i = 0; i < stereo.size(); ++i) {
        double value = std::nearbyint(stereo[i] * kShortScale);
        if (!(value >= -32768.0)) {  // also NaN
            value = -32768.0;
            ++chain.clippedSamples;
        } else if (value > 32767.0) {
            value = 32767.0;
            ++chain.clippedSamples;
        }
        chain.pending[start + i] = static_cast<short>(value);
    }
}

bool convertInput(InputChain& chain, const double* samples, int channels, size_t frames, std::string* error) {
    chain.stereo.clear();
    if (samples != nullptr) appendAsStereo(samples, channels, frames, &chain.stereo);
    if (!chain.resample) {
        queueForEngine(chain, chain.stereo);
        return true;
    }
    chain.resampled.clear();
    if (!convertRate(chain.resampler, samples == nullptr ? nullptr : chain.stereo.data(), frames, &chain.resampled,
                     error)) {
        return false;
    }
    queueForEngine(chain, chain.resampled);
    return true;
}

}  // namespace

int runProcessJob(const ProcessJob& job, ProcessReport* report) {
    std::string error;
    auto fail = [](const std::string& message) {
        printError("%s", message.c_str());
        return failureStatus();
    };

    Destination destination;
    if (!resolveDestination(job.output, &destination, &error)) return fail(error);
    if (!job.overwriteInput && job.input != "-" && isSameFile(job.input, destination.path)) {
        return fail("'" + job.output + "' is the input file '" + job.input +
                    "': refusing to overwrite the source (name another output, or give --overwrite-input)");
    }
    AudioReader reader;
    if (!openReader(job.input, reader, &error)) return fail(error);
    AudioFormat outputFormat;
    if (!chooseOutputFormat(job.output, reader.format, job.outputRequest, &outputFormat, &error)) {
        closeReader(reader);
        return fail(error);
    }

    EngineSetup setup;
    setup.settingsDirectory = job.settingsDirectory;
    setup.preset = job.preset;
    setup.fixSeed = job.fixSeed;
    setup.seed = job.seed;
    HostedEngine* engine = startEngine(setup, &error);
    if (engine == nullptr) {
        closeReader(reader);
        return fail(error);
    }
    const long latency = latencyFrames(*engine);
    auto stopWith = [&](int status) {
        closeReader(reader);
        stopEngine(engine);
        return status;
    };

    AudioWriter writer;
    if (!openWriter(job.output, destination, outputFormat, writer, &error)) return stopWith(fail(error));
    const bool lossyOutput = isLossyFormat(outputFormat.format);
    const bool outputReadBack = job.measure && lossyOutput && !destination.standardOutput && !destination.stream;
    LoudnessMeter inputMeter, outputMeter;
    bool metersReady = true;
    if (job.measure) {
        metersReady = startMeter(inputMeter, reader.format.rate, reader.format.channels);
        if (!outputReadBack) metersReady = metersReady && startMeter(outputMeter, outputFormat.rate, outputFormat.channels);
    }
    InputChain input;
    OutputChain output;
    auto abandon = [&](const std::string& message) {
        abandonWriter(writer);
        discardMeter(inputMeter);
        discardMeter(outputMeter);
        stopRateConverter(input.resampler);
        stopRateConverter(output.resampler);
        return stopWith(fail(message));
    };
    if (!metersReady) return abandon("cannot set up the loudness measurement");

    output.writer = &writer;
    output.meter = job.measure && !outputReadBack ? &outputMeter : nullptr;
    output.skipFrames = job.keepLatency ? 0 : latency;
    output.resample = outputFormat.rate != kSampleRate;
    if (output.resample &&
        !startRateConverter(output.resampler, kSampleRate, outputFormat.rate, outputFormat.channels, &error)) {
        return abandon(error);
    }
    const bool direct = hasShortSamples(reader) && reader.format.rate == kSampleRate && reader.format.channels == kChannels;
    input.resample = reader.format.rate != kSampleRate;
    if (input.resample && !startRateConverter(input.resampler, reader.format.rate, kSampleRate, kChannels, &error)) {
        return abandon(error);
    }
    if (!direct) {
        printNote("'%s' is %s; processing it as 44100 Hz stereo and writing %s", job.input.c_str(),
                  describeFormat(reader.format).c_str(), describeFormat(outputFormat).c_str());
    }

    const size_t sourceChannels = static_cast<size_t>(reader.format.channels);
    std::vector<short> block(2 * static_cast<size_t>(job.blockFrames));
    std::vector<double> sourceSamples(sourceChannels * static_cast<size_t>(job.blockFrames));
    // Runs the queued input through the engine in blocks of the host's size.
    auto processPending = [&](bool all) {
        const size_t blockSamples = 2 * static_cast<size_t>(job.blockFrames);
        size_t offset = 0;
        while (input.pending.size() - offset >= blockSamples || (all && input.pending.size() > offset)) {
            const size_t samples = std::min(blockSamples, input.pending.size() - offset);
            std::copy(input.pending.begin() + static_cast<std::ptrdiff_t>(offset),
                      input.pending.begin() + static_cast<std::ptrdiff_t>(offset + samples), block.begin());
            processBlock(*engine, block.data(), static_cast<int>(samples / 2));
            if (!emit(output, block.data(), static_cast<long>(samples / 2), &error)) return false;
            offset += samples;
        }
        input.pending.erase(input.pending.begin(), input.pending.begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    };

    Progress progress;
    if (job.showProgress) startProgress(progress, "processing", reader.frames, reader.format.rate);
    int64_t sourceFrames = 0;
    for (;;) {
        long frames = 0;
        if (direct) {
            frames = readShorts(reader, block.data(), job.blockFrames, &error);
            if (frames > 0) {
                if (job.measure) addFrames(inputMeter, block.data(), static_cast<size_t>(frames));
                processBlock(*engine, block.data(), static_cast<int>(frames));
                if (!emit(output, block.data(), frames, &error)) frames = -1;
            }
        } else {
            frames = readDoubles(reader, sourceSamples.data(), job.blockFrames, &error);
            if (frames > 0) {
                if (job.measure) addFrames(inputMeter, sourceSamples.data(), static_cast<size_t>(frames));
                if (!convertInput(input, sourceSamples.data(), reader.format.channels, static_cast<size_t>(frames),
                                  &error) ||
                    !processPending(false)) {
                    frames = -1;
                }
            }
        }
        if (frames < 0 || interrupted()) {
            finishProgress(progress);
            return abandon(frames < 0 ? error : "interrupted");
        }
        if (frames == 0) break;
        sourceFrames += frames;
        updateProgress(progress, sourceFrames);
    }
    finishProgress(progress);
    warnIfCutShort(reader);
    if (!direct && ((input.resample && !convertInput(input, nullptr, kChannels, 0, &error)) || !processPending(true))) {
        return abandon(error);
    }
    // The last input frames are still inside the chain: push them out with silence.
    for (int64_t left = job.keepLatency ? 0 : latency; left > 0;) {
        const long frames = static_cast<long>(std::min<int64_t>(left, job.blockFrames));
        std::fill(block.begin(), block.begin() + 2 * frames, 0);
        processBlock(*engine, block.data(), static_cast<int>(frames));
        if (!emit(output, block.data(), frames, &error)) return abandon(error);
        left -= frames;
    }
    const int64_t outputFrames = static_cast<int64_t>(
        std::llround(static_cast<double>(sourceFrames) * outputFormat.rate / reader.format.rate));
    if (!finishOutput(output, outputFrames, &error) || !finishWriter(writer, &error)) return abandon(error);

    report->output.measured = false;
    if (outputReadBack) {
        if (!measureFile(finishedFilePath(writer), &report->output, &error)) return abandon(error);
        report->outputMeasured = "by decoding the written file";
    } else if (job.measure && lossyOutput) {
        report->outputMeasured = "before encoding (a stream cannot be read back)";
    }
    if (!commitWriter(writer, &error)) return abandon(error);
    stopRateConverter(input.resampler);
    stopRateConverter(output.resampler);
    if (input.clippedSamples > 0) {
        printNote("%llu samples of '%s' lay beyond 16-bit full scale after conversion and were clipped",
                  static_cast<unsigned long long>(input.clippedSamples), job.input.c_str());
    }
    if (writer.clippedSamples > 0) {
        printNote("%llu samples lay beyond full scale after resampling to %d Hz and were clipped",
                  static_cast<unsigned long long>(writer.clippedSamples), outputFormat.rate);
    }

    report->preset = describeLoadedPreset(*engine);
    report->inputFormat = describeFormat(reader.format);
    report->outputFormat = describeFormat(outputFormat);
    report->latencyFrames = latency;
    report->latencyKept = job.keepLatency;
    if (job.measure) {
        report->input = finishMeter(inputMeter, reader.format.rate);
        if (!outputReadBack) report->output = finishMeter(outputMeter, outputFormat.rate);
    }
    return stopWith(kExitOk);
}

}  // namespace cli
