// A whole input through an engine: conversion in, blocks through, latency removal, conversion out, figures.
#include "cli/process_job.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/audio_input.h"
#include "cli/cli_common.h"
#include "cli/conversion.h"
#include "cli/delivery.h"
#include "cli/preset_check.h"
#include "cli/progress.h"

namespace cli {
namespace {

constexpr double kShortScale = 32768.0;
constexpr size_t kPrimingFrames = 10 * kSampleRate;  // long enough for the slowest gains to settle
constexpr size_t kOffsetTaperFrames = kSampleRate / 10;
// A lossy output whose decoded true peak passed the ceiling is encoded again under a ceiling that
// much lower again, at most this many times in all.
constexpr double kEncodingMarginDb = 0.2;
constexpr int kMostEncodings = 3;
// --target: a decoded lossy file further than this from the target is encoded again with its gain
// corrected by the miss (an encoder's low-pass takes loudness off bright material).
constexpr double kLossyTargetToleranceLu = 0.1;
// --target: an output this far below the target did not reach it (the ceiling held it back).
constexpr double kTargetShortfallLu = 0.2;

// From the engine's 44,100 Hz stereo output to the output file: the processing delay dropped, the
// channel count and rate of the output, the measurement of what is written.
struct OutputChain {
    AudioWriter* writer = nullptr;
    LoudnessMeter* meter = nullptr;  // null: not measured from the samples (not at all, or read back)
    bool resample = false;
    RateConverter resampler;
    int64_t skipFrames = 0;
    int64_t frameLimit = -1;  // the output's length, set at the end
    int64_t framesAccepted = 0;  // frames that went on toward the file
    std::vector<double> layout, resampled, stored;
    // --ceiling and --target: gain and true-peak ceiling at the output's rate
    bool deliver = false;
    DeliveryStage delivery;
    std::vector<double> delivered;
    // --target: the whole output waits here (doubles), measured, until its gain is known
    std::FILE* spool = nullptr;
    LoudnessMeter spoolMeter;
};

// Frames as the file gets them: written, and measured for the report.
bool store(OutputChain& chain, const double* samples, size_t frames, std::string* error) {
    if (frames == 0) return true;
    if (!writeFrames(*chain.writer, samples, static_cast<long>(frames), chain.meter ? &chain.stored : nullptr, error)) {
        return false;
    }
    if (chain.meter != nullptr) addFrames(*chain.meter, chain.stored.data(), frames);
    return true;
}

bool writeOut(OutputChain& chain, const double* samples, size_t frames, std::string* error) {
    if (chain.frameLimit >= 0) {
        const int64_t room = chain.frameLimit - chain.framesAccepted;
        frames = static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(room, static_cast<int64_t>(frames))));
    }
    if (frames == 0) return true;
    chain.framesAccepted += static_cast<int64_t>(frames);
    const size_t channels = static_cast<size_t>(chain.writer->format.channels);
    if (chain.spool != nullptr) {
        addFrames(chain.spoolMeter, samples, frames);
        if (std::fwrite(samples, sizeof(double), frames * channels, chain.spool) != frames * channels) {
            *error = "cannot keep the output in a temporary file to measure it (is the temporary folder full?)";
            return false;
        }
        return true;
    }
    if (!chain.deliver) return store(chain, samples, frames, error);
    chain.delivered.clear();
    deliverFrames(chain.delivery, samples, frames, &chain.delivered);
    return store(chain, chain.delivered.data(), chain.delivered.size() / channels, error);
}

// --target: the kept output read back through the delivery stage with `gainDb`; written, or (no
// `writing`) only measured into `meter`.
bool replaySpool(OutputChain& chain, double gainDb, double ceilingDbtp, bool writing, LoudnessMeter* meter,
                 std::string* error) {
    const int channels = chain.writer->format.channels;
    startDelivery(chain.delivery, channels, chain.writer->format.rate, gainDb, true, ceilingDbtp);
    std::rewind(chain.spool);
    std::vector<double> block(static_cast<size_t>(channels) * 8192);
    for (bool ended = false; !ended;) {
        const size_t got = std::fread(block.data(), sizeof(double), block.size(), chain.spool);
        chain.delivered.clear();
        if (got < block.size()) {
            if (std::ferror(chain.spool)) {
                *error = "cannot read back the output kept in a temporary file";
                return false;
            }
            ended = true;
        }
        deliverFrames(chain.delivery, block.data(), got / static_cast<size_t>(channels), &chain.delivered);
        if (ended) finishDelivery(chain.delivery, &chain.delivered);
        const size_t frames = chain.delivered.size() / static_cast<size_t>(channels);
        if (writing) {
            if (!store(chain, chain.delivered.data(), frames, error)) return false;
        } else {
            addFrames(*meter, chain.delivered.data(), frames);
        }
    }
    return true;
}

// Frames the engine returned: stereo, full scale +-1.0.
bool emit(OutputChain& chain, const double* stereo, long frames, std::string* error) {
    long offset = 0;
    if (chain.skipFrames > 0) {
        offset = static_cast<long>(std::min<int64_t>(chain.skipFrames, frames));
        chain.skipFrames -= offset;
    }
    const long count = frames - offset;
    if (count <= 0) return true;
    chain.layout.clear();
    appendFromStereo(stereo + 2 * offset, chain.writer->format.channels, static_cast<size_t>(count), &chain.layout);
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
    const int64_t missing = frames - chain.framesAccepted;
    if (missing > 0) {
        const std::vector<double> silence(static_cast<size_t>(missing) * channels, 0.0);
        if (!writeOut(chain, silence.data(), static_cast<size_t>(missing), error)) return false;
    }
    if (chain.deliver && chain.spool == nullptr) {
        chain.delivered.clear();
        finishDelivery(chain.delivery, &chain.delivered);
        return store(chain, chain.delivered.data(), chain.delivered.size() / channels, error);
    }
    return true;
}

struct DeliveryResult {
    double measuredLufs = 0.0;  // --target: the processed output before the gain
    double gainDb = 0.0;
};

// The kept output written through the delivery stage. With a target: the gain that brings it to
// the target measured after the ceiling (a first gain from its loudness, corrected once by what
// the limiter took off); without: no gain, the ceiling alone.
bool deliverSpool(OutputChain& chain, bool toTarget, double targetLufs, double ceilingDbtp, DeliveryResult* result,
                  std::string* error) {
    const int rate = chain.writer->format.rate;
    const int channels = chain.writer->format.channels;
    result->measuredLufs = finishMeter(chain.spoolMeter, rate).integratedLufs;
    double gainDb = 0.0;
    if (toTarget && std::isfinite(result->measuredLufs)) {
        gainDb = targetLufs - result->measuredLufs;
        LoudnessMeter check;
        if (!startMeter(check, rate, channels)) {
            *error = "cannot set up the loudness measurement";
            return false;
        }
        const bool replayed = replaySpool(chain, gainDb, ceilingDbtp, false, &check, error);
        const double limited = finishMeter(check, rate).integratedLufs;
        if (!replayed) return false;
        if (std::isfinite(limited)) gainDb += targetLufs - limited;
    }
    result->gainDb = gainDb;
    return replaySpool(chain, gainDb, ceilingDbtp, true, nullptr, error);
}

// The input on its way to the engine: 44,100 Hz stereo frames (full scale +-1.0) waiting to be
// processed.
struct InputChain {
    bool resample = false;
    RateConverter resampler;
    std::vector<double> stereo;
    std::vector<double> pending;  // interleaved stereo
};

bool convertInput(InputChain& chain, const double* samples, int channels, size_t frames, std::string* error) {
    if (!chain.resample) {
        if (samples != nullptr) appendAsStereo(samples, channels, frames, &chain.pending);
        return true;
    }
    chain.stereo.clear();
    if (samples != nullptr) appendAsStereo(samples, channels, frames, &chain.stereo);
    return convertRate(chain.resampler, samples == nullptr ? nullptr : chain.stereo.data(), frames, &chain.pending,
                       error);
}

// Frames on their way through the engine: handed on to their output once the engine has written
// them, which with its second thread may be after the next frames went in.
struct SubmittedFrames {
    std::vector<short> shorts;    // the 16-bit path's samples
    std::vector<double> samples;  // the high-resolution path's samples; the output either way
    size_t frames = 0;
    OutputChain* output = nullptr;
    uint64_t mark = 0;
};

// The engine with the path chosen for the job: the plug-in's 16-bit path, or the high-resolution
// path for input and output that are not 16-bit at 44,100 Hz.
struct EngineRun {
    HostedEngine* engine = nullptr;
    bool sixteenBit = true;
    int blockFrames = kDefaultBlockFrames;
    // Frames go in through these in turn and are handed on two submissions later, so the engine's
    // second thread has the time of one submission to catch up before this thread waits for it.
    static constexpr int kBuffers = 3;
    SubmittedFrames buffers[kBuffers];
    uint64_t submitted = 0;  // runFrames calls so far
    uint64_t handedOn = 0;   // of them, handed on to their output
    uint64_t clippedSamples = 0;  // input beyond 16-bit full scale on the 16-bit path
    const std::function<void(bool, const double*, size_t)>* audioWatcher = nullptr;
};

// Waits for the oldest frames not handed on and gives them, block by block, to their output.
bool handOnOldest(EngineRun& run, std::string* error) {
    SubmittedFrames& done = run.buffers[run.handedOn % EngineRun::kBuffers];
    ++run.handedOn;
    waitForBlocks(*run.engine, done.mark);
    if (run.sixteenBit) {
        for (size_t i = 0; i < 2 * done.frames; ++i) done.samples[i] = done.shorts[i] / kShortScale;
    }
    if (done.output == nullptr) return true;
    if (run.audioWatcher != nullptr && *run.audioWatcher) (*run.audioWatcher)(true, done.samples.data(), done.frames);
    const size_t blockFrames = static_cast<size_t>(run.blockFrames);
    for (size_t at = 0; at < done.frames; at += blockFrames) {
        const size_t count = std::min(blockFrames, done.frames - at);
        if (!emit(*done.output, &done.samples[2 * at], static_cast<long>(count), error)) return false;
    }
    return true;
}

// Runs `frames` stereo frames through the engine in blocks of the host's size; `output` (when
// given) receives them once processed, two calls later or at finishRuns.
bool runFrames(EngineRun& run, const double* stereo, size_t frames, OutputChain* output, std::string* error) {
    SubmittedFrames& next = run.buffers[run.submitted % EngineRun::kBuffers];
    ++run.submitted;
    // On the 16-bit path the engine takes the shorts, and the samples are filled from its output.
    if (run.sixteenBit) {
        next.samples.resize(2 * frames);
    } else {
        next.samples.assign(stereo, stereo + 2 * frames);
    }
    next.frames = frames;
    next.output = output;
    if (output != nullptr && run.audioWatcher != nullptr && *run.audioWatcher) (*run.audioWatcher)(false, stereo, frames);
    if (run.sixteenBit) {
        next.shorts.resize(2 * frames);
        quantiseToShorts(stereo, 2 * frames, next.shorts.data(), nullptr, run.clippedSamples);
    }
    const size_t blockFrames = static_cast<size_t>(run.blockFrames);
    for (size_t at = 0; at < frames; at += blockFrames) {
        const int count = static_cast<int>(std::min(blockFrames, frames - at));
        next.mark = run.sixteenBit ? submitBlock(*run.engine, &next.shorts[2 * at], count)
                                   : submitBlock(*run.engine, &next.samples[2 * at], count);
    }
    while (run.submitted - run.handedOn >= EngineRun::kBuffers) {
        if (!handOnOldest(run, error)) return false;
    }
    return true;
}

// Hands on what the engine still holds.
bool finishRuns(EngineRun& run, std::string* error) {
    while (run.handedOn < run.submitted) {
        if (!handOnOldest(run, error)) return false;
    }
    return true;
}

// Settles the processor on the programme's opening before its first sample: the opening (up to
// kPrimingFrames) is played into the engine reflected through its first frame, x(-j) =
// 2 x(0) - x(j), so the last thing the slow gains heard is how the programme starts and the
// filters' memory runs on into the programme with neither a step nor a kink (a sine starting at
// phase 0 continues as the same sine). The 2 x(0) term fades out over the first kOffsetTaperFrames
// going back, so a programme that starts away from zero does not prime on a constant offset; an
// opening shorter than the priming is walked back and forth. What the priming leaves in the delay
// lines comes out within the processing delay, which is dropped. Deterministic: the same input,
// preset and seed prime alike.
bool prime(EngineRun& run, const std::vector<double>& pending, std::string* error) {
    const size_t opening = std::min(pending.size() / 2, kPrimingFrames);
    if (opening < 2) return true;
    const size_t period = 2 * (opening - 1);
    std::vector<double> priming(2 * kPrimingFrames);
    for (size_t i = 0; i < kPrimingFrames; ++i) {
        const size_t back = kPrimingFrames - i;  // frames before the programme's first
        const size_t phase = back % period;
        const size_t frame = phase <= opening - 1 ? phase : period - phase;
        const double offsetWeight =
            back > kOffsetTaperFrames ? 0.0 : 1.0 - static_cast<double>(back - 1) / kOffsetTaperFrames;
        for (size_t channel = 0; channel < 2; ++channel) {
            priming[2 * i + channel] = offsetWeight * 2.0 * pending[channel] - pending[2 * frame + channel];
        }
    }
    if (!runFrames(run, priming.data(), kPrimingFrames, nullptr, error)) return false;
    run.clippedSamples = 0;
    return true;
}

// An anonymous temporary file in $TMPDIR (else /tmp): removed from its folder at once, gone when
// closed or when the program ends.
std::FILE* openSpool() {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") + "/drelvant-spool.XXXXXX";
    const int fd = mkstemp(&path[0]);
    if (fd < 0) return nullptr;
    unlink(path.c_str());
    std::FILE* file = fdopen(fd, "w+b");
    if (file == nullptr) close(fd);
    return file;
}

// What happened to the audio on its way, in words.
std::vector<std::string> describeConversions(const AudioFormat& source, const AudioFormat& output, bool sixteenBit) {
    std::vector<std::string> steps;
    auto rateText = [](int from, int to) {
        return "resampled from " + std::to_string(from) + " Hz to " + std::to_string(to) + " Hz";
    };
    if (source.rate != kSampleRate) steps.push_back("input " + rateText(source.rate, kSampleRate));
    if (source.channels == 1) steps.push_back("mono input processed as stereo (left = right)");
    steps.push_back(sixteenBit ? "processed on the 16-bit path" : "processed on the high-resolution path");
    if (output.channels == 1) steps.push_back("written as mono");
    if (output.rate != kSampleRate) steps.push_back("output " + rateText(kSampleRate, output.rate));
    const std::string from = isRawFormat(source) ? "16-bit" : sampleFormatName(source.format);
    const std::string to = isRawFormat(output) ? "16-bit" : sampleFormatName(output.format);
    if (from != to) steps.push_back("sample format " + from + " to " + to);
    return steps;
}

}  // namespace

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::kProcessed: return "processed";
        case Outcome::kProcessedWithWarnings: return "processed-with-warnings";
        case Outcome::kFailed: return "failed";
        case Outcome::kSkipped: return "skipped";
        case Outcome::kNotStarted: return "not-started";
    }
    return "failed";
}

Outcome outcomeOf(bool started, bool skipped, int status, const ProcessReport* report) {
    if (skipped) return Outcome::kSkipped;
    if (status != kExitOk) return Outcome::kFailed;
    if (!started) return Outcome::kNotStarted;
    if (report != nullptr && !report->warnings.empty()) return Outcome::kProcessedWithWarnings;
    return Outcome::kProcessed;
}

int runProcessJob(const ProcessJob& job, ProcessReport* report) {
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    auto fail = [report](const std::string& message) {
        printError("%s", message.c_str());
        report->failure = message;
        return failureStatus();
    };

    Destination destination;
    if (!resolveDestination(job.output, &destination, &error)) return fail(error);
    if (!job.overwriteInput && job.input != "-" && isSameFile(job.input, destination.path)) {
        return fail("'" + job.output + "' is the input file '" + job.input +
                    "': refusing to overwrite the source (name another output, or give --overwrite-input)");
    }
    AudioReader reader;
    if (!openReader(job.input, reader, &error, job.rawInput)) return fail(error);
    const RawInput rawDefaults;
    if (isRawFormat(reader.format)) {
        printNote("'%s' is read as headerless %s audio (--input-rate, --input-channels, --input-bits)",
                  job.input.c_str(), describeRawInput(job.rawInput).c_str());
    } else if (job.rawInput.rate != rawDefaults.rate || job.rawInput.channels != rawDefaults.channels ||
               job.rawInput.bits != rawDefaults.bits) {
        printNote("'%s' says what it holds (%s): --input-rate, --input-channels and --input-bits are for "
                  "headerless input only",
                  job.input.c_str(), describeFormat(reader.format).c_str());
    }
    AudioFormat outputFormat;
    if (!chooseOutputFormat(job.output, reader.format, job.outputRequest, &outputFormat, &error)) {
        closeReader(reader);
        return fail(error);
    }

    EngineSetup setup;
    setup.settingsDirectory = job.settingsDirectory;
    setup.preset = job.preset;
    setup.settings = job.settings;
    setup.fixSeed = job.fixSeed;
    setup.seed = job.seed;
    EngineRun run;
    run.engine = startEngine(setup, &error);
    if (run.engine == nullptr) {
        closeReader(reader);
        return fail(error);
    }
    if (job.engineThreads >= 2) startSecondThread(*run.engine);
    if (job.engineWatcher) job.engineWatcher(run.engine, reader.format.rate);
    run.audioWatcher = &job.audioWatcher;
    for (const std::string& message : outOfRangeMessages(loadedPresetText(*run.engine, "DV_Preset.ini"))) {
        const std::string text = "preset '" + loadedPresetFacts(*run.engine).name + "': " + message;
        printWarning("%s", text.c_str());
        report->warnings.push_back(text);
    }
    const long latency = latencyFrames(*run.engine);
    auto stopWith = [&](int status) {
        if (job.engineWatcher) job.engineWatcher(nullptr, 0);
        closeReader(reader);
        stopEngine(run.engine);
        return status;
    };

    AudioWriter writer;
    if (!openWriter(job.output, destination, outputFormat, writer, &error)) return stopWith(fail(error));
    copyTags(reader.file, writer);
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
        if (output.spool != nullptr) std::fclose(output.spool);
        discardMeter(output.spoolMeter);
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
    const double ceilingDbtp = job.ceilingGiven ? job.ceilingDbtp : kDefaultTargetCeilingDbtp;
    // A lossy encoder's own peaks come on top of what it is given.
    const double limiterCeilingDbtp = lossyOutput ? ceilingDbtp - kLossyHeadroomDb : ceilingDbtp;
    // A lossy file is checked by decoding it, and encoded again under a lower ceiling when the
    // encoder's peaks went past the ceiling: the processed output is kept for that.
    const bool checkDecoded = (job.ceilingGiven || job.targetGiven) && lossyOutput && !destination.standardOutput &&
                              !destination.stream && !reader.live;
    if (job.targetGiven || checkDecoded) {
        if (reader.live) return abandon("--target measures the whole programme before writing it: give a file, not a pipe");
        output.deliver = true;
        output.spool = openSpool();
        if (output.spool == nullptr) return abandon("cannot create a temporary file to measure the output in");
        if (!startMeter(output.spoolMeter, outputFormat.rate, outputFormat.channels)) {
            return abandon("cannot set up the loudness measurement");
        }
    } else if (job.ceilingGiven) {
        output.deliver = true;
        startDelivery(output.delivery, outputFormat.channels, outputFormat.rate, 0.0, true, limiterCeilingDbtp);
    }
    input.resample = reader.format.rate != kSampleRate;
    if (input.resample && !startRateConverter(input.resampler, reader.format.rate, kSampleRate, kChannels, &error)) {
        return abandon(error);
    }
    const bool shortSource = hasShortSamples(reader);
    const bool sixteenBitOutput = isRawFormat(outputFormat) || (outputFormat.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    // --keep-latency is the plug-in's own output: always its 16-bit arithmetic.
    run.sixteenBit = job.keepLatency || (shortSource && !input.resample && !output.resample && sixteenBitOutput);
    run.blockFrames = job.blockFrames;
    const bool asItIs = shortSource && !input.resample && !output.resample && sixteenBitOutput &&
                        reader.format.channels == kChannels && outputFormat.channels == kChannels;
    if (!asItIs) {
        printNote("'%s' is %s; processing it at 44100 Hz (%s path) and writing %s", job.input.c_str(),
                  describeFormat(reader.format).c_str(), run.sixteenBit ? "16-bit" : "high-resolution",
                  describeFormat(outputFormat).c_str());
    }
    // Files are primed; live input (a pipe) starts from rest, so its output starts at once.
    const bool priming = !job.keepLatency && !job.noPrime && !reader.live;
    bool primed = !priming;
    size_t primingFrames = 0;

    const size_t sourceChannels = static_cast<size_t>(reader.format.channels);
    std::vector<short> shorts(sourceChannels * static_cast<size_t>(job.blockFrames));
    std::vector<double> sourceSamples(sourceChannels * static_cast<size_t>(job.blockFrames));
    // Runs what is queued through the engine, all of it at the end.
    auto processPending = [&](bool all) {
        if (!primed) {
            if (!all && input.pending.size() < 2 * kPrimingFrames) return true;
            primingFrames = std::min(input.pending.size() / 2, kPrimingFrames);
            if (!prime(run, input.pending, &error)) return false;
            primed = true;
        }
        const size_t blockSamples = 2 * static_cast<size_t>(job.blockFrames);
        const size_t ready = all ? input.pending.size() : input.pending.size() / blockSamples * blockSamples;
        if (!runFrames(run, input.pending.data(), ready / 2, &output, &error)) return false;
        input.pending.erase(input.pending.begin(), input.pending.begin() + static_cast<std::ptrdiff_t>(ready));
        return true;
    };

    Progress progress;
    if (job.showProgress) startProgress(progress, "processing", reader.frames, reader.format.rate);
    int64_t sourceFrames = 0;
    int64_t countedMicroseconds = 0;
    for (;;) {
        long frames = 0;
        if (shortSource) {
            frames = readShorts(reader, shorts.data(), job.blockFrames, &error);
            if (frames > 0) {
                if (job.measure) addFrames(inputMeter, shorts.data(), static_cast<size_t>(frames));
                for (size_t i = 0; i < sourceChannels * static_cast<size_t>(frames); ++i) {
                    sourceSamples[i] = shorts[i] / kShortScale;
                }
            }
        } else {
            frames = readDoubles(reader, sourceSamples.data(), job.blockFrames, &error);
            if (frames > 0 && job.measure) addFrames(inputMeter, sourceSamples.data(), static_cast<size_t>(frames));
        }
        if (frames > 0 &&
            (!convertInput(input, sourceSamples.data(), reader.format.channels, static_cast<size_t>(frames), &error) ||
             !processPending(false))) {
            frames = -1;
        }
        if (frames < 0 || interrupted()) {
            finishProgress(progress);
            return abandon(frames < 0 ? error : "interrupted");
        }
        if (frames == 0) break;
        sourceFrames += frames;
        updateProgress(progress, sourceFrames);
        if (job.audioMicroseconds != nullptr) {
            const int64_t microseconds = sourceFrames * 1000000 / reader.format.rate;
            job.audioMicroseconds->fetch_add(microseconds - countedMicroseconds, std::memory_order_relaxed);
            countedMicroseconds = microseconds;
        }
    }
    finishProgress(progress);
    warnAfterReading(reader);
    report->warnings.insert(report->warnings.end(), reader.warnings.begin(), reader.warnings.end());
    if ((input.resample && !convertInput(input, nullptr, kChannels, 0, &error)) || !processPending(true)) {
        return abandon(error);
    }
    // The last input frames are still inside the chain: push them out with silence.
    if (!job.keepLatency) {
        const std::vector<double> silence(2 * static_cast<size_t>(latency), 0.0);
        if (!runFrames(run, silence.data(), static_cast<size_t>(latency), &output, &error)) return abandon(error);
    }
    if (!finishRuns(run, &error)) return abandon(error);
    const int64_t outputFrames = static_cast<int64_t>(
        std::llround(static_cast<double>(sourceFrames) * outputFormat.rate / reader.format.rate));
    DeliveryResult delivered;
    if (!finishOutput(output, outputFrames, &error) ||
        (output.spool != nullptr &&
         !deliverSpool(output, job.targetGiven, job.targetLufs, limiterCeilingDbtp, &delivered, &error)) ||
        !finishWriter(writer, &error)) {
        return abandon(error);
    }
    double encodedCeilingDbtp = limiterCeilingDbtp;
    int encodings = 1;
    while (output.spool != nullptr && lossyOutput && !destination.standardOutput && !destination.stream) {
        LoudnessFigures decoded;
        if (!measureFile(finishedFilePath(writer), &decoded, &error)) return abandon(error);
        const double excessDb = decoded.truePeakDbtp - ceilingDbtp;
        // Below the target only while the ceiling leaves room to rise; above it always.
        double missLu = job.targetGiven && std::isfinite(decoded.integratedLufs) ? job.targetLufs - decoded.integratedLufs : 0.0;
        if (missLu > 0.0 && decoded.truePeakDbtp > ceilingDbtp - kEncodingMarginDb) missLu = 0.0;
        if (!(excessDb > 0.0) && !(std::fabs(missLu) > kLossyTargetToleranceLu)) break;
        if (encodings == kMostEncodings) {
            if (excessDb > 0.0) {
                printNote("'%s' decodes to %.2f dBTP after %d encodings, above the %.1f dBTP ceiling",
                          job.output.c_str(), decoded.truePeakDbtp, encodings, ceilingDbtp);
            }
            break;
        }
        abandonWriter(writer);
        writer = AudioWriter();
        if (excessDb > 0.0) encodedCeilingDbtp -= excessDb + kEncodingMarginDb;
        if (std::fabs(missLu) > kLossyTargetToleranceLu) delivered.gainDb += missLu;
        ++encodings;
        if (!openWriter(job.output, destination, outputFormat, writer, &error)) return abandon(error);
        copyTags(reader.file, writer);
        if (!replaySpool(output, delivered.gainDb, encodedCeilingDbtp, true, nullptr, &error) ||
            !finishWriter(writer, &error)) {
            return abandon(error);
        }
    }
    if (output.spool != nullptr) {
        std::fclose(output.spool);
        output.spool = nullptr;
    }

    if (outputReadBack) {
        if (!measureFile(finishedFilePath(writer), &report->output, &error)) return abandon(error);
        report->outputMeasured = "by decoding the written file";
    } else if (job.measure && lossyOutput) {
        report->outputMeasured = "before encoding (a stream cannot be read back)";
    }
    if (job.measure) {
        report->input = finishMeter(inputMeter, reader.format.rate);
        if (!outputReadBack) report->output = finishMeter(outputMeter, outputFormat.rate);
    }
    if (job.targetGiven && report->output.measured && report->output.integratedLufs < job.targetLufs - kTargetShortfallLu) {
        char text[400];
        std::snprintf(text, sizeof text,
                      "'%s' reaches %.2f LUFS, not the %.1f LUFS target: the %.1f dBTP ceiling allows no more (the "
                      "limiter took off up to %.2f dB); lower the target or raise the ceiling",
                      job.output.c_str(), report->output.integratedLufs, job.targetLufs, ceilingDbtp,
                      output.delivery.limiter.largestReductionDb);
        printWarning("%s", text);
        report->warnings.push_back(text);
    }
    if (job.strict && !report->warnings.empty()) {
        return abandon("'" + job.input + "' not processed as asked (--strict): " + report->warnings.front());
    }
    if (!commitWriter(writer, &error)) return abandon(error);
    stopRateConverter(input.resampler);
    stopRateConverter(output.resampler);
    if (run.clippedSamples > 0) {
        printNote("%llu samples of '%s' lay beyond 16-bit full scale after conversion and were clipped",
                  static_cast<unsigned long long>(run.clippedSamples), job.input.c_str());
    }
    if (writer.clippedSamples > 0) {
        printNote("%llu samples lay beyond full scale after resampling to %d Hz and were clipped",
                  static_cast<unsigned long long>(writer.clippedSamples), outputFormat.rate);
    }

    report->preset = describeLoadedPreset(*run.engine);
    for (std::size_t i = 0; i < job.settings.size(); ++i) {  // what --set changed over it
        report->preset += (i == 0 ? " with " : ", ") + job.settings[i];
    }
    report->inputFormat = describeFormat(reader.format);
    report->outputFormat = describeFormat(outputFormat);
    report->latencyFrames = latency;
    report->latencyKept = job.keepLatency;
    report->presetFacts = loadedPresetFacts(*run.engine);
    report->inputAudio = reader.format;
    report->outputAudio = outputFormat;
    report->primingSeconds = static_cast<double>(primingFrames) / kSampleRate;
    report->inputClippedSamples = run.clippedSamples;
    report->outputClippedSamples = writer.clippedSamples;
    report->conversions = describeConversions(reader.format, outputFormat, run.sixteenBit);
    report->delivered = output.deliver;
    if (output.deliver) {
        report->ceilingDbtp = ceilingDbtp;
        report->targetGiven = job.targetGiven;
        report->targetLufs = job.targetLufs;
        report->processedLufs = delivered.measuredLufs;
        report->gainDb = delivered.gainDb;
        report->limiterReductionDb = output.delivery.limiter.largestReductionDb;
        report->encoderCeilingDbtp = encodedCeilingDbtp;
        report->encodings = encodings;
    }
    report->audioSeconds = static_cast<double>(sourceFrames) / reader.format.rate;
    report->processingSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (primingFrames > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "on the first %.1f s of the input (--no-prime: start from rest)",
                      static_cast<double>(primingFrames) / kSampleRate);
        report->priming = text;
    }
    if (output.deliver) {
        std::string encoderNote;
        if (lossyOutput) {
            char note[120];
            std::snprintf(note, sizeof note, " (%.2f dBTP before the lossy encoder%s)", encodedCeilingDbtp,
                          encodings > 1 ? ", encoded again after decoding" : "");
            encoderNote = note;
        }
        char text[320];
        int length = 0;
        if (job.targetGiven) {
            length = std::snprintf(text, sizeof text, "%+.2f dB to %.1f LUFS (processed: %.2f LUFS), ", delivered.gainDb,
                                   job.targetLufs, delivered.measuredLufs);
        }
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                      "true-peak ceiling %.1f dBTP%s; limiter: up to %.2f dB on %.2f%% of frames", ceilingDbtp,
                      encoderNote.c_str(),
                      output.delivery.limiter.largestReductionDb,
                      outputFrames > 0 ? 100.0 * static_cast<double>(output.delivery.limiter.framesReduced) / outputFrames
                                       : 0.0);
        report->delivery = text;
    }
    return stopWith(kExitOk);
}

}  // namespace cli
