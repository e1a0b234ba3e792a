// Hosting the module over a whole input: blocks in, ModifySamples, latency removal, blocks out, figures.
#include "cli/process_job.h"
#include "host/plugin.h"
#include "params/engine.h"

#include <algorithm>
#include <vector>

#include "analysis/response_sweep.h"
#include "cli/audio_io.h"
#include "cli/progress.h"
#include "dsp/live_params.h"

namespace cli {
namespace {

// Hands processed blocks to the output, dropping the first `skipFrames` (the processing delay).
struct Emitter {
    AudioWriter* writer;
    LoudnessMeter* meter;
    int64_t skipFrames;
};

bool emit(Emitter& emitter, const short* samples, long frames, std::string* error) {
    long offset = 0;
    if (emitter.skipFrames > 0) {
        offset = static_cast<long>(std::min<int64_t>(emitter.skipFrames, frames));
        emitter.skipFrames -= offset;
    }
    const long count = frames - offset;
    if (count <= 0) return true;
    addFrames(*emitter.meter, samples + 2 * offset, count);
    return writeFrames(*emitter.writer, samples + 2 * offset, count, error);
}

int fail(const std::string& message) {
    printError("%s", message.c_str());
    return interrupted() ? kExitInterrupted : kExitFailure;
}

}  // namespace

int runProcessJob(const ProcessJob& job, ProcessReport* report) {
    std::string error;
    if (!job.settingsDirectory.empty() && !useSettingsDirectory(job.settingsDirectory, &error)) return fail(error);
    int outputFormat = 0;
    if (!outputFormatFor(job.output, &outputFormat, &error)) return fail(error);

    AudioReader reader;
    if (!openReader(job.input, reader, &error)) return fail(error);
    const std::string conversion = conversionDescription(reader);
    if (!conversion.empty()) printNote("%s", conversion.c_str());

    winampDSPModule* module = startModule(job.fixSeed, job.seed);
    auto stopWith = [&](int status) {
        closeReader(reader);
        stopModule(module);
        return status;
    };
    if (!applyPresetChoice(job.preset, &error)) return stopWith(fail(error));
    const long latencyFrames = ProcessingDelayFrames(PluginEngine().live);

    AudioWriter writer;
    if (!openWriter(job.output, writer, &error)) return stopWith(fail(error));
    LoudnessMeter inputMeter, outputMeter;
    if (!startMeter(inputMeter) || !startMeter(outputMeter)) {
        abandonWriter(writer);
        return stopWith(fail("cannot set up the loudness measurement"));
    }
    auto abandon = [&](const std::string& message) {
        abandonWriter(writer);
        finishMeter(inputMeter);
        finishMeter(outputMeter);
        return stopWith(fail(message));
    };

    Emitter emitter{&writer, &outputMeter, job.keepLatency ? 0 : latencyFrames};
    std::vector<short> block(2 * static_cast<size_t>(job.blockFrames));
    Progress progress;
    if (job.showProgress) startProgress(progress, "processing", reader.expectedFrames, kSampleRate);
    int64_t framesRead = 0;
    for (;;) {
        const long frames = readFrames(reader, block.data(), job.blockFrames, &error);
        if (frames < 0) {
            finishProgress(progress);
            return abandon(error);
        }
        if (frames == 0) break;
        addFrames(inputMeter, block.data(), frames);
        module->ModifySamples(module, block.data(), static_cast<int>(frames), kBitsPerSample, kChannels, kSampleRate);
        if (!emit(emitter, block.data(), frames, &error)) {
            finishProgress(progress);
            return abandon(error);
        }
        framesRead += frames;
        updateProgress(progress, framesRead);
        if (interrupted()) {
            finishProgress(progress);
            return abandon("interrupted");
        }
    }
    // The last input frames are still inside the chain: push them out with silence.
    for (int64_t left = job.keepLatency ? 0 : latencyFrames; left > 0;) {
        const long frames = static_cast<long>(std::min<int64_t>(left, job.blockFrames));
        std::fill(block.begin(), block.begin() + 2 * frames, 0);
        module->ModifySamples(module, block.data(), static_cast<int>(frames), kBitsPerSample, kChannels, kSampleRate);
        if (!emit(emitter, block.data(), frames, &error)) {
            finishProgress(progress);
            return abandon(error);
        }
        left -= frames;
    }
    finishProgress(progress);
    if (!commitWriter(writer, &error)) {
        finishMeter(inputMeter);
        finishMeter(outputMeter);
        return stopWith(fail(error));
    }
    if (reader.clippedInConversion > 0) {
        printNote("%llu samples of '%s' lay beyond 16-bit full scale after conversion and were clipped",
                  static_cast<unsigned long long>(reader.clippedInConversion), job.input.c_str());
    }

    report->preset = describePreset(job.preset);
    report->latencyFrames = latencyFrames;
    report->latencyKept = job.keepLatency;
    report->input = finishMeter(inputMeter);
    report->output = finishMeter(outputMeter);
    return stopWith(kExitOk);
}

}  // namespace cli
