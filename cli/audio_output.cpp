// Audio destinations: output format choice, quantisation, raw and WAV streams, libsndfile files.
#include "cli/audio_output.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "cli/cli_common.h"
#include "cli/conversion.h"

namespace cli {

const char kOutputExtensions[] = ".wav, .flac, .ogg, .opus, .mp3, .aiff, .au, .caf, .w64 or .raw";

namespace {

constexpr double kScale16 = 32768.0;
constexpr double kScale24 = 8388608.0;
constexpr int kWavFormatPcm = 1;
constexpr int kWavFormatFloat = 3;
constexpr uint32_t kUnknownLength = 0xFFFFFFFFu;  // "as long as the stream" in a streamed WAV header
constexpr int kOpusRates[] = {8000, 12000, 16000, 24000, 48000};
constexpr int kOpusRate = 48000;

struct Container {
    const char* extension;
    int major;
    int fixedSubformat;  // lossy codecs: the only one; 0 for PCM containers
    bool holdsFloat;
};

constexpr Container kContainers[] = {
    {"wav", SF_FORMAT_WAV, 0, true},
    {"flac", SF_FORMAT_FLAC, 0, false},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS, false},
    {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS, false},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS, false},
    {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, false},
    {"aif", SF_FORMAT_AIFF, 0, true},
    {"aiff", SF_FORMAT_AIFF, 0, true},
    {"au", SF_FORMAT_AU, 0, true},
    {"caf", SF_FORMAT_CAF, 0, true},
    {"w64", SF_FORMAT_W64, 0, true},
};

const Container* containerByExtension(const std::string& extension) {
    for (const Container& container : kContainers) {
        if (extension == container.extension) return &container;
    }
    return nullptr;
}

const Container* containerOf(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    const int sub = format & SF_FORMAT_SUBMASK;
    for (const Container& container : kContainers) {
        if (container.major == major && (container.fixedSubformat == 0 || container.fixedSubformat == sub)) {
            return &container;
        }
    }
    if (major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64) return &kContainers[0];
    return nullptr;
}

// 16 for 8/16-bit PCM and lossy sources, 24 for 24/32-bit PCM, 32 for floating point.
int bitsOf(const AudioFormat& source) {
    if (isRawFormat(source)) return source.rawBits;
    switch (source.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32: return 24;
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE: return 32;
        default: return 16;
    }
}

int subformatOf(int bits) {
    return bits == 24 ? SF_FORMAT_PCM_24 : bits == 32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16;
}

bool isOpusRate(int rate) {
    for (const int allowed : kOpusRates) {
        if (rate == allowed) return true;
    }
    return false;
}

void putLe(std::vector<unsigned char>& bytes, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

bool writeBytes(AudioWriter& writer, std::string* error) {
    if (writeAll(writer.fd, writer.bytes.data(), writer.bytes.size())) return true;
    if (errno == EPIPE) {
        *error = "the reader of '" + writer.path + "' went away before all audio was written";
    } else if (errno == EINTR) {
        *error = "interrupted";
    } else {
        *error = "cannot write '" + writer.path + "': " + std::strerror(errno);
    }
    return false;
}

// The header of a WAV stream whose length is not known when it starts.
bool writeStreamHeader(AudioWriter& writer, std::string* error) {
    const int bits = bitsOf(writer.format);
    const int bytesPerSample = bits / 8;
    const uint32_t blockAlign = static_cast<uint32_t>(bytesPerSample * writer.format.channels);
    writer.bytes.clear();
    auto tag = [&writer](const char* text) {
        for (int i = 0; i < 4; ++i) writer.bytes.push_back(static_cast<unsigned char>(text[i]));
    };
    tag("RIFF");
    putLe(writer.bytes, kUnknownLength, 4);
    tag("WAVE");
    tag("fmt ");
    putLe(writer.bytes, 16, 4);
    putLe(writer.bytes, bits == 32 ? kWavFormatFloat : kWavFormatPcm, 2);
    putLe(writer.bytes, static_cast<uint32_t>(writer.format.channels), 2);
    putLe(writer.bytes, static_cast<uint32_t>(writer.format.rate), 4);
    putLe(writer.bytes, static_cast<uint32_t>(writer.format.rate) * blockAlign, 4);
    putLe(writer.bytes, blockAlign, 2);
    putLe(writer.bytes, static_cast<uint32_t>(bits), 2);
    tag("data");
    putLe(writer.bytes, kUnknownLength, 4);
    return writeBytes(writer, error);
}

}  // namespace

bool chooseOutputFormat(const std::string& path, const AudioFormat& source, const OutputRequest& request,
                        AudioFormat* output, std::string* error) {
    std::string extension = request.container;
    if (extension.empty() && path != "-") extension = extensionOf(path);
    const Container* container = nullptr;
    bool raw = false;
    if (extension.empty()) {
        raw = path == "-" || isRawFormat(source);
        if (!raw) container = containerOf(source.format);
        if (!raw && container == nullptr) container = &kContainers[0];
    } else if (extension == "raw") {
        raw = true;
    } else {
        container = containerByExtension(extension);
        if (container == nullptr) {
            *error = request.container.empty()
                         ? "cannot tell the output format from '" + path + "': use a name ending in " +
                               kOutputExtensions + ", or - for standard output"
                         : "unknown output format '" + request.container + "': use one of " + kOutputExtensions;
            return false;
        }
    }
    if (path == "-" && container != nullptr && container->major != SF_FORMAT_WAV) {
        *error = "standard output takes raw or WAV audio (--output-format raw or wav)";
        return false;
    }
    output->rate = request.rate > 0 ? request.rate : source.rate;
    output->channels = request.channels > 0 ? request.channels : source.channels;
    int bits = request.bits > 0 ? request.bits : bitsOf(source);
    if (raw) {
        if (request.bits > 0 && request.bits != 16) {
            *error = "raw output is 16-bit; use a WAV or FLAC name for " + std::to_string(request.bits) + "-bit output";
            return false;
        }
        output->format = 0;
        return true;
    }
    if (container->fixedSubformat != 0) {
        if (request.bits > 0) {
            *error = std::string("--bits does not apply to .") + container->extension + " output (a lossy codec)";
            return false;
        }
        output->format = container->major | container->fixedSubformat;
        if (container->fixedSubformat == SF_FORMAT_OPUS && !isOpusRate(output->rate)) {
            if (request.rate > 0) {
                *error = "Opus runs at 8000, 12000, 16000, 24000 or 48000 Hz, not " + std::to_string(request.rate);
                return false;
            }
            printNote("Opus runs at 48000 Hz: the output is resampled to 48000 Hz");
            output->rate = kOpusRate;
        }
    } else {
        if (bits == 32 && !container->holdsFloat) {
            if (request.bits > 0) {
                *error = std::string(".") + container->extension + " holds no floating-point samples; use --bits 16 or 24";
                return false;
            }
            bits = 24;
        }
        output->format = container->major | subformatOf(bits);
    }
    SF_INFO info{};
    info.samplerate = output->rate;
    info.channels = output->channels;
    info.format = output->format;
    if (!sf_format_check(&info)) {
        *error = "this libsndfile cannot write " + describeFormat(*output);
        return false;
    }
    return true;
}

bool openWriter(const std::string& path, const Destination& destination, const AudioFormat& format,
                AudioWriter& writer, std::string* error) {
    writer.path = path;
    writer.destination = destination;
    writer.format = format;
    const bool wav = (format.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
    if (destination.standardOutput) {
        if (isatty(STDOUT_FILENO)) {
            *error = "refusing to write audio to a terminal: redirect standard output or name an output file";
            return false;
        }
        writer.fd = STDOUT_FILENO;
    } else if (destination.stream) {
        writer.fd = openStream(destination.path, error);
        if (writer.fd < 0) return false;
        writer.ownsFd = true;
    } else {
        writer.fd = createTemporaryBeside(destination.path, &writer.temporaryPath, error);
        if (writer.fd < 0) return false;
        writer.ownsFd = true;
    }
    const bool streamed = destination.standardOutput || destination.stream;
    if (isRawFormat(format)) return true;
    if (streamed && wav) {
        writer.streamHeader = true;
        return writeStreamHeader(writer, error);
    }
    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = format.format;
    std::unique_lock<std::mutex> lock(soundFileOpenLock());
    writer.file = sf_open_fd(writer.fd, SFM_WRITE, &info, SF_FALSE);
    if (writer.file == nullptr) {
        *error = "cannot write '" + path + "' as " + describeFormat(format) + ": " + sf_strerror(nullptr);
        lock.unlock();
        abandonWriter(writer);
        return false;
    }
    return true;
}

bool writeFrames(AudioWriter& writer, const double* samples, long frames, std::vector<double>* stored,
                 std::string* error) {
    if (frames <= 0) return true;
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(writer.format.channels);
    const int bits = bitsOf(writer.format);
    const bool lossy = isLossyFormat(writer.format.format);
    if (stored != nullptr) stored->resize(count);
    if (lossy || bits == 32) {
        // Full scale holds for float files too: a resampler's overshoot past +-1.0 is clipped and
        // counted, as quantising does for integer samples.
        writer.inRange.assign(samples, samples + count);
        for (double& value : writer.inRange) {
            if (value > 1.0 || value < -1.0) {
                value = value > 1.0 ? 1.0 : -1.0;
                ++writer.clippedSamples;
            }
        }
        samples = writer.inRange.data();
        if (stored != nullptr) std::copy(samples, samples + count, stored->begin());
        if (writer.streamHeader) {
            writer.bytes.clear();
            for (size_t i = 0; i < count; ++i) {
                const float value = static_cast<float>(samples[i]);
                uint32_t word;
                std::memcpy(&word, &value, sizeof word);
                putLe(writer.bytes, word, 4);
            }
            if (!writeBytes(writer, error)) return false;
        } else if (sf_writef_double(writer.file, samples, frames) != frames) {
            *error = "cannot write '" + writer.path + "': " + sf_strerror(writer.file);
            return false;
        }
    } else if (bits == 24) {
        writer.ints.resize(count);
        writer.bytes.clear();
        for (size_t i = 0; i < count; ++i) {
            const long value = quantise(samples[i], kScale24, -8388608, 8388607, writer.clippedSamples);
            if (stored != nullptr) (*stored)[i] = static_cast<double>(value) / kScale24;
            if (writer.streamHeader) putLe(writer.bytes, static_cast<uint32_t>(value), 3);
            writer.ints[i] = static_cast<int>(static_cast<uint32_t>(value) << 8);
        }
        if (writer.streamHeader) {
            if (!writeBytes(writer, error)) return false;
        } else if (sf_writef_int(writer.file, writer.ints.data(), frames) != frames) {
            *error = "cannot write '" + writer.path + "': " + sf_strerror(writer.file);
            return false;
        }
    } else {
        writer.shorts.resize(count);
        quantiseToShorts(samples, count, writer.shorts.data(), stored != nullptr ? stored->data() : nullptr,
                         writer.clippedSamples);
        if (writer.file == nullptr) {
            // Raw and streamed output: the bytes are sized once and filled in place, little-endian.
            writer.bytes.resize(2 * count);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            std::memcpy(writer.bytes.data(), writer.shorts.data(), 2 * count);
#else
            for (size_t i = 0; i < count; ++i) {
                const auto word = static_cast<uint16_t>(writer.shorts[i]);
                writer.bytes[2 * i] = static_cast<unsigned char>(word);
                writer.bytes[2 * i + 1] = static_cast<unsigned char>(word >> 8);
            }
#endif
            if (!writeBytes(writer, error)) return false;
        } else if (sf_writef_short(writer.file, writer.shorts.data(), frames) != frames) {
            *error = "cannot write '" + writer.path + "': " + sf_strerror(writer.file);
            return false;
        }
    }
    writer.framesWritten += static_cast<uint64_t>(frames);
    return true;
}

bool finishWriter(AudioWriter& writer, std::string* error) {
    if (writer.file != nullptr) {
        const int failure = sf_close(writer.file);
        writer.file = nullptr;
        if (failure != 0) {
            *error = "cannot finish '" + writer.path + "': " + sf_error_number(failure);
            return false;
        }
    }
    if (writer.ownsFd && writer.fd >= 0) {
        const int failure = close(writer.fd);
        writer.fd = -1;
        if (failure != 0) {
            *error = "cannot finish '" + writer.path + "': " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

std::string finishedFilePath(const AudioWriter& writer) { return writer.temporaryPath; }

bool commitWriter(AudioWriter& writer, std::string* error) {
    if (writer.temporaryPath.empty()) return true;
    const bool renamed = replaceWithTemporary(writer.temporaryPath, writer.destination.path, error);
    writer.temporaryPath.clear();
    return renamed;
}

void abandonWriter(AudioWriter& writer) {
    if (writer.file != nullptr) sf_close(writer.file);
    writer.file = nullptr;
    if (writer.ownsFd && writer.fd >= 0) close(writer.fd);
    writer.fd = -1;
    if (!writer.temporaryPath.empty()) unlink(writer.temporaryPath.c_str());
    writer.temporaryPath.clear();
}

bool writeWavFile(const std::string& path, const std::vector<short>& samples, std::string* error) {
    Destination destination;
    if (!resolveDestination(path, &destination, error)) return false;
    AudioFormat format;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    AudioWriter writer;
    if (!openWriter(path, destination, format, writer, error)) return false;
    std::vector<double> values(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) values[i] = samples[i] / kScale16;
    if (!writeFrames(writer, values.data(), static_cast<long>(samples.size() / 2), nullptr, error) ||
        !finishWriter(writer, error)) {
        abandonWriter(writer);
        return false;
    }
    return commitWriter(writer, error);
}

void copyTags(SNDFILE* source, AudioWriter& writer) {
    if (source == nullptr || writer.file == nullptr) return;
    constexpr int kCopied[] = {SF_STR_TITLE, SF_STR_ARTIST, SF_STR_ALBUM, SF_STR_DATE, SF_STR_COMMENT, SF_STR_TRACKNUMBER};
    for (const int field : kCopied) {
        const char* value = sf_get_string(source, field);
        if (value != nullptr && value[0] != '\0') sf_set_string(writer.file, field, value);  // refused where not held
    }
}

}  // namespace cli
