// Audio sources and destinations of the command-line processor: raw streams, libsndfile files, libsoxr conversion.
#include "cli/audio_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli/cli_common.h"

namespace cli {
namespace {

constexpr int kRawFrameBytes = 4;      // two little-endian 16-bit samples
constexpr long kFileChunkFrames = 4096;
constexpr float kSampleScale = 32768.0f;
constexpr size_t kCompactThreshold = 1 << 16;  // frames handed out before the buffer is compacted

bool endsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char a = static_cast<char>(std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])));
        if (a != suffix[i]) return false;
    }
    return true;
}

std::string extensionOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string sampleFormatName(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return "8-bit";
        case SF_FORMAT_PCM_16: return "16-bit";
        case SF_FORMAT_PCM_24: return "24-bit";
        case SF_FORMAT_PCM_32: return "32-bit";
        case SF_FORMAT_FLOAT: return "32-bit float";
        case SF_FORMAT_DOUBLE: return "64-bit float";
        case SF_FORMAT_VORBIS: return "Vorbis";
        case SF_FORMAT_OPUS: return "Opus";
        default: return "encoded";
    }
}

short quantise(float value, uint64_t& clipped) {
    const float scaled = value * kSampleScale;
    if (!(scaled > -32768.5f)) {  // also NaN
        ++clipped;
        return -32768;
    }
    if (scaled >= 32767.5f) {
        ++clipped;
        return 32767;
    }
    return static_cast<short>(std::lrint(scaled));
}

bool readRaw(AudioReader& reader, unsigned char* bytes, size_t wanted, size_t* got, std::string* error) {
    *got = 0;
    while (*got < wanted) {
        const ssize_t n = read(reader.fd, bytes + *got, wanted - *got);
        if (n < 0) {
            if (errno == EINTR && !interrupted()) continue;
            *error = errno == EINTR ? std::string("interrupted")
                                    : "cannot read '" + reader.path + "': " + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        *got += static_cast<size_t>(n);
    }
    reader.rawBytesRead += *got;
    return true;
}

long readRawFrames(AudioReader& reader, short* samples, long frames, std::string* error) {
    const size_t wanted = static_cast<size_t>(frames) * kRawFrameBytes;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(samples);
    size_t got = 0;
    if (!readRaw(reader, bytes, wanted, &got, error)) return -1;
    if (got % kRawFrameBytes != 0) {
        *error = "'" + reader.path + "' ends inside a frame: " + std::to_string(reader.rawBytesRead) +
                 " bytes is not a whole number of 4-byte frames (16-bit little-endian stereo)";
        return -1;
    }
    const long count = static_cast<long>(got / kRawFrameBytes);
    // Decode in place from little-endian bytes, whatever this machine's byte order.
    for (long i = 0; i < 2 * count; ++i) {
        const uint16_t value = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        int16_t sample;
        std::memcpy(&sample, &value, sizeof sample);
        samples[i] = sample;
    }
    return count;
}

void appendConverted(AudioReader& reader, const float* stereo, size_t frames) {
    reader.converted.insert(reader.converted.end(), stereo, stereo + 2 * frames);
}

bool resample(AudioReader& reader, const float* stereo, size_t frames, std::string* error) {
    const double ratio = static_cast<double>(kSampleRate) / reader.info.samplerate;
    std::vector<float> out(2 * (static_cast<size_t>(frames * ratio) + 1024));
    const size_t capacity = out.size() / 2;
    size_t offset = 0;
    do {
        size_t used = 0, produced = 0;
        const soxr_error_t failure = soxr_process(reader.resampler, stereo == nullptr ? nullptr : stereo + 2 * offset,
                                                  frames - offset, &used, out.data(), capacity, &produced);
        if (failure != nullptr) {
            *error = std::string("resampling failed: ") + failure;
            return false;
        }
        appendConverted(reader, out.data(), produced);
        offset += used;
        if (stereo == nullptr) {
            if (produced == 0) reader.resamplerFlushed = true;
            return true;
        }
        if (used == 0 && produced == 0) break;
    } while (offset < frames);
    return true;
}

// Produces more converted frames; false on a read or resampling error.
bool refill(AudioReader& reader, std::string* error) {
    if (reader.fileEnded) {
        if (reader.resampler != nullptr && !reader.resamplerFlushed) return resample(reader, nullptr, 0, error);
        return true;
    }
    const int channels = reader.info.channels;
    reader.fileFrames.resize(static_cast<size_t>(kFileChunkFrames) * channels);
    const sf_count_t got = sf_readf_float(reader.file, reader.fileFrames.data(), kFileChunkFrames);
    if (got <= 0) {
        if (sf_error(reader.file) != SF_ERR_NO_ERROR) {
            *error = "cannot read '" + reader.path + "': " + sf_strerror(reader.file);
            return false;
        }
        reader.fileEnded = true;
        return refill(reader, error);
    }
    reader.stereoFrames.resize(2 * static_cast<size_t>(got));
    for (sf_count_t frame = 0; frame < got; ++frame) {
        const float* in = &reader.fileFrames[static_cast<size_t>(frame) * channels];
        reader.stereoFrames[2 * frame] = in[0];
        reader.stereoFrames[2 * frame + 1] = channels == 1 ? in[0] : in[1];
    }
    if (reader.resampler == nullptr) {
        appendConverted(reader, reader.stereoFrames.data(), static_cast<size_t>(got));
        return true;
    }
    return resample(reader, reader.stereoFrames.data(), static_cast<size_t>(got), error);
}

bool conversionFinished(const AudioReader& reader) {
    return reader.fileEnded && (reader.resampler == nullptr || reader.resamplerFlushed);
}

long readConvertedFrames(AudioReader& reader, short* samples, long frames, std::string* error) {
    auto available = [&reader] { return (reader.converted.size() / 2) - reader.convertedStart; };
    while (available() < static_cast<size_t>(frames) && !conversionFinished(reader)) {
        if (interrupted()) {
            *error = "interrupted";
            return -1;
        }
        if (!refill(reader, error)) return -1;
    }
    const long count = static_cast<long>(std::min(available(), static_cast<size_t>(frames)));
    const float* from = reader.converted.data() + 2 * reader.convertedStart;
    for (long i = 0; i < 2 * count; ++i) samples[i] = quantise(from[i], reader.clippedInConversion);
    reader.convertedStart += static_cast<size_t>(count);
    if (reader.convertedStart >= kCompactThreshold) {
        reader.converted.erase(reader.converted.begin(),
                               reader.converted.begin() + static_cast<std::ptrdiff_t>(2 * reader.convertedStart));
        reader.convertedStart = 0;
    }
    return count;
}

bool openRawReader(const std::string& path, AudioReader& reader, std::string* error) {
    if (path == "-") {
        if (isatty(STDIN_FILENO)) {
            *error = "refusing to read raw audio from a terminal: pipe audio into standard input or name an input file";
            return false;
        }
        reader.fd = STDIN_FILENO;
        reader.closeFd = false;
        return true;
    }
    reader.fd = open(path.c_str(), O_RDONLY);
    if (reader.fd < 0) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    reader.closeFd = true;
    struct stat info {};
    if (fstat(reader.fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            *error = "'" + path + "' is a directory";
            return false;
        }
        if (S_ISREG(info.st_mode)) {
            if (info.st_size % kRawFrameBytes != 0) {
                *error = "'" + path + "' ends inside a frame: " + std::to_string(info.st_size) +
                         " bytes is not a whole number of 4-byte frames (16-bit little-endian stereo)";
                return false;
            }
            reader.expectedFrames = info.st_size / kRawFrameBytes;
        }
    }
    return true;
}

bool openSoundFile(const std::string& path, AudioReader& reader, std::string* error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = "'" + path + "' is a directory";
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    reader.file = sf_open(path.c_str(), SFM_READ, &reader.info);
    if (reader.file == nullptr) {
        *error = "'" + path + "' is not an audio file that can be read (" + sf_strerror(nullptr) +
                 "); headerless 16-bit stereo needs a name ending in .raw";
        return false;
    }
    const SF_INFO& format = reader.info;
    if (format.channels < 1 || format.samplerate < 1) {
        *error = "'" + path + "' has no usable audio (" + std::to_string(format.channels) + " channels, " +
                 std::to_string(format.samplerate) + " Hz)";
        return false;
    }
    if (format.channels > kChannels) {
        *error = "'" + path + "' has " + std::to_string(format.channels) +
                 " channels; only mono and stereo are processed (mix it down to stereo first, for example with "
                 "'sox in.wav out.wav remix 1,3 2,4')";
        return false;
    }
    reader.direct = format.samplerate == kSampleRate && format.channels == kChannels &&
                    (format.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    if (format.samplerate != kSampleRate) {
        soxr_error_t failure = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        reader.resampler = soxr_create(format.samplerate, kSampleRate, kChannels, &failure, &io, &quality, nullptr);
        if (reader.resampler == nullptr) {
            *error = std::string("cannot set up resampling: ") + (failure != nullptr ? failure : "unknown error");
            return false;
        }
    }
    if (format.frames > 0 && format.seekable) {
        reader.expectedFrames =
            static_cast<int64_t>(std::llround(static_cast<double>(format.frames) * kSampleRate / format.samplerate));
    }
    return true;
}

}  // namespace

bool isRawStreamName(const std::string& path) { return path == "-" || endsWith(path, ".raw"); }

bool openReader(const std::string& path, AudioReader& reader, std::string* error) {
    reader.path = path;
    reader.raw = isRawStreamName(path);
    const bool opened = reader.raw ? openRawReader(path, reader, error) : openSoundFile(path, reader, error);
    if (!opened) closeReader(reader);
    return opened;
}

long readFrames(AudioReader& reader, short* samples, long frames, std::string* error) {
    if (interrupted()) {
        *error = "interrupted";
        return -1;
    }
    if (reader.raw) return readRawFrames(reader, samples, frames, error);
    if (!reader.direct) return readConvertedFrames(reader, samples, frames, error);
    const sf_count_t got = sf_readf_short(reader.file, samples, frames);
    if (got < 0 || (got < frames && sf_error(reader.file) != SF_ERR_NO_ERROR)) {
        *error = "cannot read '" + reader.path + "': " + sf_strerror(reader.file);
        return -1;
    }
    return static_cast<long>(got);
}

void closeReader(AudioReader& reader) {
    if (reader.file != nullptr) sf_close(reader.file);
    reader.file = nullptr;
    if (reader.resampler != nullptr) soxr_delete(reader.resampler);
    reader.resampler = nullptr;
    if (reader.closeFd && reader.fd >= 0) close(reader.fd);
    reader.fd = -1;
}

std::string conversionDescription(const AudioReader& reader) {
    if (reader.raw || reader.direct) return std::string();
    const SF_INFO& format = reader.info;
    std::string steps;
    auto add = [&steps](const std::string& step) { steps += (steps.empty() ? "" : ", ") + step; };
    if (format.samplerate != kSampleRate) {
        add("resampled from " + std::to_string(format.samplerate) + " Hz with libsoxr");
    }
    if (format.channels == 1) add("mono copied to both channels");
    if ((format.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) add(sampleFormatName(format.format) + " rounded to 16 bits");
    std::string text = "'" + reader.path + "' is " + std::to_string(format.samplerate) + " Hz " +
                       (format.channels == 1 ? "mono " : "stereo ") + sampleFormatName(format.format) +
                       "; converting to 44100 Hz 16-bit stereo for processing (" + steps + ")";
    if (format.samplerate != kSampleRate) text += "; the output is 44100 Hz";
    return text;
}

bool outputFormatFor(const std::string& path, int* format, std::string* error) {
    struct stat info {};
    if (path != "-" && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = "cannot write '" + path + "': it is a directory";
        return false;
    }
    if (isRawStreamName(path)) {
        *format = 0;
        return true;
    }
    const std::string extension = extensionOf(path);
    struct Mapping {
        const char* extension;
        int format;
    };
    static const Mapping kMappings[] = {
        {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},   {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},   {"oga", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},  {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"au", SF_FORMAT_AU | SF_FORMAT_PCM_16},     {"caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16},
        {"w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
    };
    for (const Mapping& mapping : kMappings) {
        if (extension != mapping.extension) continue;
        SF_INFO info{};
        info.samplerate = kSampleRate;
        info.channels = kChannels;
        info.format = mapping.format;
        if (!sf_format_check(&info)) {
            *error = "this libsndfile cannot write ." + extension + " files";
            return false;
        }
        *format = mapping.format;
        return true;
    }
    *error = "cannot tell the output format from '" + path +
             "': use a name ending in .wav, .flac, .ogg, .aiff, .au, .caf, .w64 or .raw, or - for standard output";
    return false;
}

bool openWriter(const std::string& path, AudioWriter& writer, std::string* error) {
    int format = 0;
    if (!outputFormatFor(path, &format, error)) return false;
    writer.path = path;
    writer.raw = format == 0;
    if (path == "-") {
        if (isatty(STDOUT_FILENO)) {
            *error = "refusing to write raw audio to a terminal: redirect standard output or name an output file";
            return false;
        }
        writer.toStandardOutput = true;
        writer.fd = STDOUT_FILENO;
        return true;
    }
    writer.fd = createTemporaryBeside(path, &writer.temporaryPath, error);
    if (writer.fd < 0) return false;
    if (writer.raw) return true;
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = kChannels;
    info.format = format;
    writer.file = sf_open_fd(writer.fd, SFM_WRITE, &info, SF_TRUE);
    if (writer.file == nullptr) {
        *error = "cannot write '" + path + "': " + sf_strerror(nullptr);
        close(writer.fd);
        writer.fd = -1;
        unlink(writer.temporaryPath.c_str());
        return false;
    }
    writer.fd = -1;  // owned by libsndfile now
    return true;
}

bool writeFrames(AudioWriter& writer, const short* samples, long frames, std::string* error) {
    if (frames <= 0) return true;
    if (writer.file != nullptr) {
        if (sf_writef_short(writer.file, samples, frames) != frames) {
            *error = "cannot write '" + writer.path + "': " + sf_strerror(writer.file);
            return false;
        }
        writer.framesWritten += static_cast<uint64_t>(frames);
        return true;
    }
    writer.bytes.resize(static_cast<size_t>(frames) * kRawFrameBytes);
    for (long i = 0; i < 2 * frames; ++i) {
        uint16_t value;
        std::memcpy(&value, &samples[i], sizeof value);
        writer.bytes[2 * i] = static_cast<unsigned char>(value & 0xFF);
        writer.bytes[2 * i + 1] = static_cast<unsigned char>(value >> 8);
    }
    const unsigned char* data = writer.bytes.data();
    size_t left = writer.bytes.size();
    while (left > 0) {
        const ssize_t written = write(writer.fd, data, left);
        if (written < 0) {
            if (errno == EINTR && !interrupted()) continue;
            if (errno == EPIPE) {
                *error = "the reader of standard output went away before all audio was written";
            } else if (errno == EINTR) {
                *error = "interrupted";
            } else {
                *error = "cannot write '" + writer.path + "': " + std::strerror(errno);
            }
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    writer.framesWritten += static_cast<uint64_t>(frames);
    return true;
}

bool commitWriter(AudioWriter& writer, std::string* error) {
    if (writer.toStandardOutput) return true;
    if (writer.file != nullptr) {
        const int failure = sf_close(writer.file);
        writer.file = nullptr;
        if (failure != 0) {
            *error = "cannot finish '" + writer.path + "': " + sf_error_number(failure);
            unlink(writer.temporaryPath.c_str());
            return false;
        }
    } else if (writer.fd >= 0) {
        const int failure = close(writer.fd);
        writer.fd = -1;
        if (failure != 0) {
            *error = "cannot finish '" + writer.path + "': " + std::strerror(errno);
            unlink(writer.temporaryPath.c_str());
            return false;
        }
    }
    return replaceWithTemporary(writer.temporaryPath, writer.path, error);
}

void abandonWriter(AudioWriter& writer) {
    if (writer.toStandardOutput) return;
    if (writer.file != nullptr) sf_close(writer.file);
    writer.file = nullptr;
    if (writer.fd >= 0) close(writer.fd);
    writer.fd = -1;
    if (!writer.temporaryPath.empty()) unlink(writer.temporaryPath.c_str());
    writer.temporaryPath.clear();
}

bool writeWavFile(const std::string& path, const std::vector<short>& samples, std::string* error) {
    AudioWriter writer;
    if (!openWriter(path, writer, error)) return false;
    if (!writeFrames(writer, samples.data(), static_cast<long>(samples.size() / 2), error)) {
        abandonWriter(writer);
        return false;
    }
    return commitWriter(writer, error);
}

}  // namespace cli
