// Audio sources: raw streams, libsndfile files, container streams on standard input.
#include "cli/audio_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/cli_common.h"
#include "cli/files.h"
#include "host/sample_guard.h"

namespace cli {

// Standard input read through a window that keeps its first bytes, so libsndfile can read a
// header, seek back within it, and then read on from the pipe.
struct StdinStream {
    int fd = STDIN_FILENO;
    std::vector<unsigned char> kept;  // the stream's bytes [0, kept.size())
    sf_count_t position = 0;          // where the next read starts
    sf_count_t fetched = 0;           // bytes taken from the descriptor
    bool ended = false;
    bool failed = false;
    int failedErrno = 0;
};

namespace {

int rawFrameBytes(const AudioFormat& format) { return format.channels * (format.rawBits / 8); }

constexpr size_t kKeptStdinBytes = 1 << 20;
constexpr size_t kSniffBytes = 4096;
constexpr size_t kWavHeaderScanBytes = 1 << 16;

// A warning about the source: printed now, kept for the reports.
void addWarning(AudioReader& reader, const std::string& text) {
    printWarning("%s", text.c_str());
    reader.warnings.push_back(text);
}

// ---- standard input ----

// Reads from the descriptor at the stream's end; keeps the bytes while the kept window is whole.
sf_count_t fetch(StdinStream& stream, unsigned char* into, sf_count_t count) {
    sf_count_t got = 0;
    while (got < count && !stream.ended) {
        const ssize_t n = read(stream.fd, into + got, static_cast<size_t>(count - got));
        if (n < 0) {
            if (errno == EINTR && !interrupted()) continue;
            stream.failed = true;
            stream.failedErrno = errno;
            break;
        }
        if (n == 0) {
            stream.ended = true;
            break;
        }
        got += n;
    }
    if (static_cast<sf_count_t>(stream.kept.size()) == stream.fetched &&
        stream.kept.size() + static_cast<size_t>(got) <= kKeptStdinBytes) {
        stream.kept.insert(stream.kept.end(), into, into + got);
    }
    stream.fetched += got;
    return got;
}

sf_count_t streamRead(StdinStream& stream, void* destination, sf_count_t count) {
    unsigned char* out = static_cast<unsigned char*>(destination);
    sf_count_t done = 0;
    while (done < count) {
        const sf_count_t keptSize = static_cast<sf_count_t>(stream.kept.size());
        if (stream.position < keptSize) {
            const sf_count_t n = std::min(count - done, keptSize - stream.position);
            std::memcpy(out + done, stream.kept.data() + stream.position, static_cast<size_t>(n));
            stream.position += n;
            done += n;
            continue;
        }
        if (stream.position < stream.fetched) break;  // behind the kept window: cannot go back
        // Ahead of what was read (a header parser looking past the data): only as far as the kept
        // window reaches, so the bytes skipped can still be read when it seeks back; beyond it the
        // stream reads as ended.
        if (stream.position > stream.fetched && (static_cast<sf_count_t>(stream.kept.size()) < stream.fetched ||
                                                 stream.position > static_cast<sf_count_t>(kKeptStdinBytes))) {
            break;
        }
        while (stream.position > stream.fetched && !stream.ended && !stream.failed) {
            unsigned char skip[4096];
            fetch(stream, skip, std::min<sf_count_t>(sizeof skip, stream.position - stream.fetched));
        }
        if (stream.position > stream.fetched) break;
        const sf_count_t n = fetch(stream, out + done, count - done);
        stream.position += n;
        done += n;
        if (n == 0) break;
    }
    return done;
}

// A file on standard input has its size; a pipe's is not known.
sf_count_t virtualLength(void* data) {
    struct stat info {};
    if (fstat(static_cast<StdinStream*>(data)->fd, &info) == 0 && S_ISREG(info.st_mode)) return info.st_size;
    return SF_COUNT_MAX;
}

sf_count_t virtualSeek(sf_count_t offset, int whence, void* data) {
    StdinStream& stream = *static_cast<StdinStream*>(data);
    sf_count_t target = offset;
    if (whence == SEEK_CUR) target = stream.position + offset;
    if (whence == SEEK_END) return -1;
    if (target < 0 || (target < stream.fetched && target >= static_cast<sf_count_t>(stream.kept.size()))) return -1;
    stream.position = target;
    return target;
}

sf_count_t virtualRead(void* destination, sf_count_t count, void* data) {
    return streamRead(*static_cast<StdinStream*>(data), destination, count);
}

sf_count_t virtualWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t virtualTell(void* data) { return static_cast<StdinStream*>(data)->position; }

SF_VIRTUAL_IO stdinVirtualIo = {virtualLength, virtualSeek, virtualRead, virtualWrite, virtualTell};

// ---- recognising containers by their first bytes ----

bool startsWith(const std::vector<unsigned char>& bytes, size_t offset, const char* magic) {
    const size_t length = std::strlen(magic);
    return bytes.size() >= offset + length && std::memcmp(bytes.data() + offset, magic, length) == 0;
}

// Length in bytes of the MPEG audio frame whose header starts at `at`; 0 when none starts there.
size_t mpegFrameLength(const std::vector<unsigned char>& bytes, size_t at) {
    if (at + 4 > bytes.size()) return 0;
    const unsigned char* h = bytes.data() + at;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
    const int version = (h[1] >> 3) & 3;  // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
    const int layer = (h[1] >> 1) & 3;    // 1: layer III, 2: layer II, 3: layer I
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return 0;
    static const int kBitratesV1[3][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},       // layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},      // layer II
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}};  // layer I
    static const int kBitratesV2[3][16] = {
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}};
    static const int kRates[3] = {44100, 48000, 32000};
    const int rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int kbps = (version == 3 ? kBitratesV1 : kBitratesV2)[layer - 1][bitrateIndex];
    if (layer == 3) return static_cast<size_t>((12 * kbps * 1000 / rate + padding) * 4);
    const int perFrame = layer == 1 && version != 3 ? 72 : 144;
    return static_cast<size_t>(perFrame * kbps * 1000 / rate + padding);
}

// A container libsndfile reads: by its magic bytes, or for a bare MPEG stream by two frame headers
// in a row (one alone could be two raw samples).
bool looksLikeSoundFile(const std::vector<unsigned char>& bytes) {
    if ((startsWith(bytes, 0, "RIFF") || startsWith(bytes, 0, "RIFX") || startsWith(bytes, 0, "RF64") ||
         startsWith(bytes, 0, "BW64")) &&
        startsWith(bytes, 8, "WAVE")) {
        return true;
    }
    if (startsWith(bytes, 0, "FORM") && (startsWith(bytes, 8, "AIFF") || startsWith(bytes, 8, "AIFC"))) return true;
    if (startsWith(bytes, 0, "fLaC") || startsWith(bytes, 0, "OggS") || startsWith(bytes, 0, ".snd") ||
        startsWith(bytes, 0, "caff") || startsWith(bytes, 0, "ID3")) {
        return true;
    }
    const size_t first = mpegFrameLength(bytes, 0);
    return first > 0 && mpegFrameLength(bytes, first) > 0;
}

// Frames a RIFF WAVE header announces in its data chunk; -1 when it does not say (or says "as long
// as the stream", as pipes' headers do).
int64_t declaredWavFrames(const std::vector<unsigned char>& bytes) {
    if (!startsWith(bytes, 0, "RIFF") || !startsWith(bytes, 8, "WAVE")) return -1;
    auto le32 = [&bytes](size_t at) {
        return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                     static_cast<uint32_t>(bytes[at + 3]) << 24);
    };
    auto le16 = [&bytes](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
    constexpr uint32_t kPcmTag = 1, kFloatTag = 3, kExtensibleTag = 0xFFFE;
    uint32_t frameBytes = 0;  // from the channel count and sample size: a wrong block-align field is not trusted
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = le32(at + 4);
        if (startsWith(bytes, at, "fmt ") && at + 8 + 16 <= bytes.size()) {
            const uint32_t tag = le16(at + 8), channels = le16(at + 8 + 2), bits = le16(at + 8 + 14);
            frameBytes = tag == kPcmTag || tag == kFloatTag || tag == kExtensibleTag ? channels * ((bits + 7) / 8) : 0;
        }
        if (startsWith(bytes, at, "data")) {
            if (frameBytes == 0 || size == 0 || size >= 0x7FFFF000u) return -1;
            return size / frameBytes;
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);  // in 64 bits: a size near 4 GiB cannot wrap
    }
    return -1;
}

// Whether the bytes start a RIFF-family WAVE file (RIFF, RIFX big-endian, RF64, BW64).
bool isRiffWave(const std::vector<unsigned char>& bytes) {
    return (startsWith(bytes, 0, "RIFF") || startsWith(bytes, 0, "RIFX") || startsWith(bytes, 0, "RF64") ||
            startsWith(bytes, 0, "BW64")) &&
           startsWith(bytes, 8, "WAVE");
}

// The 32-bit size of the chunk whose header starts at `at` (8 bytes of it must be there).
uint64_t riffChunkSize(const std::vector<unsigned char>& bytes, uint64_t at) {
    const bool bigEndian = startsWith(bytes, 0, "RIFX");
    uint64_t size = 0;
    for (int i = 0; i < 4; ++i) size |= static_cast<uint64_t>(bytes[at + 4 + (bigEndian ? 3 - i : i)]) << (8 * i);
    return size;
}

// A RIFF WAVE stream's chunk before "data" that claims more bytes than a header parser can be
// let read from a pipe (libsndfile would grow its header buffer toward the size claimed, without
// end): its description, or empty when every chunk up to "data" or the bytes looked at is sane.
std::string oversizedWavChunk(const std::vector<unsigned char>& bytes) {
    if (!isRiffWave(bytes)) return std::string();
    for (size_t at = 12; at + 8 <= bytes.size();) {
        if (startsWith(bytes, at, "data")) break;
        const uint64_t size = riffChunkSize(bytes, at);
        if (8 + size > kKeptStdinBytes) {
            char text[96];
            std::snprintf(text, sizeof text, "its '%c%c%c%c' chunk before the audio claims %llu bytes", std::isprint(bytes[at]) ? bytes[at] : '?',
                          std::isprint(bytes[at + 1]) ? bytes[at + 1] : '?', std::isprint(bytes[at + 2]) ? bytes[at + 2] : '?',
                          std::isprint(bytes[at + 3]) ? bytes[at + 3] : '?', static_cast<unsigned long long>(size));
            return text;
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);
        // The whole stream was looked at (it is shorter than the window) and no audio began.
        if (at + 8 > bytes.size() && bytes.size() < kSniffBytes) return "it ends before its audio";
    }
    if (bytes.size() < 20) return "it ends inside its header";  // not even one chunk header after "WAVE"
    return std::string();
}

// A RIFF WAVE file's "LIST" chunk before "data" that runs past the end of the file, or holds a
// sub-chunk that runs past the end of the list: its description, or empty when there is none.
// libsndfile can walk such a list without end; no audio can follow the first kind, and the second
// is no list that a writer of WAV files makes.
std::string brokenListChunk(const std::vector<unsigned char>& bytes, uint64_t fileBytes) {
    if (!isRiffWave(bytes)) return std::string();
    for (uint64_t at = 12; at + 8 <= bytes.size();) {
        if (startsWith(bytes, static_cast<size_t>(at), "data")) break;
        const uint64_t size = riffChunkSize(bytes, at);
        if (startsWith(bytes, static_cast<size_t>(at), "LIST")) {
            const uint64_t listEnd = at + 8 + size;
            if (listEnd > fileBytes) return "its 'LIST' chunk runs past the end of the file";
            // The list's type, then its sub-chunks, each within the list (a pad byte may be left
            // over at its end).
            for (uint64_t sub = at + 12; listEnd > sub + 1 && sub + 8 <= bytes.size();) {
                const uint64_t subSize = riffChunkSize(bytes, sub);
                if (sub + 8 + subSize > listEnd) return "a chunk inside its 'LIST' chunk runs past the end of the list";
                sub += 8 + subSize + (subSize & 1);
            }
        }
        at += 8 + size + (size & 1);
    }
    return std::string();
}

bool readFileStart(const std::string& path, std::vector<unsigned char>* bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bytes->resize(kWavHeaderScanBytes);
    bytes->resize(std::fread(bytes->data(), 1, bytes->size(), file));
    std::fclose(file);
    return true;
}

// An Ogg file's last page carries the end-of-stream flag and is whole; a file cut short ends
// inside a page or on one without the flag.
bool oggEndsItsStream(const std::string& path, off_t fileBytes) {
    constexpr off_t kTailBytes = 1 << 16;  // an Ogg page is at most 65,307 bytes
    constexpr size_t kPageHeaderBytes = 27;
    constexpr unsigned char kEndOfStreamFlag = 0x04;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return true;
    const off_t from = fileBytes > kTailBytes ? fileBytes - kTailBytes : 0;
    std::vector<unsigned char> tail(static_cast<size_t>(fileBytes - from));
    const bool read = fseeko(file, from, SEEK_SET) == 0 && std::fread(tail.data(), 1, tail.size(), file) == tail.size();
    std::fclose(file);
    if (!read) return true;
    for (size_t at = tail.size() >= kPageHeaderBytes ? tail.size() - kPageHeaderBytes + 1 : 0; at-- > 0;) {
        if (std::memcmp(tail.data() + at, "OggS", 4) != 0 || tail[at + 4] != 0) continue;
        const size_t segments = tail[at + 26];
        if (at + kPageHeaderBytes + segments > tail.size()) return false;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) body += tail[at + kPageHeaderBytes + i];
        const size_t pageEnd = at + kPageHeaderBytes + segments + body;
        return pageEnd == tail.size() && (tail[at + 5] & kEndOfStreamFlag) != 0;
    }
    return false;
}

// True when an MPEG audio file's frames, walked from the first, run past its end. A tag or
// anything else that is not a frame header ends the walk without a verdict.
bool mpegEndsInsideAFrame(const std::string& path, off_t fileBytes) {
    constexpr size_t kId3HeaderBytes = 10;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::vector<unsigned char> header(kId3HeaderBytes);
    off_t at = 0;
    if (std::fread(header.data(), 1, header.size(), file) == header.size() && startsWith(header, 0, "ID3")) {
        // ID3v2: a 28-bit size in four 7-bit bytes, after the 10-byte header.
        at = kId3HeaderBytes + ((header[6] & 0x7F) << 21 | (header[7] & 0x7F) << 14 | (header[8] & 0x7F) << 7 |
                                (header[9] & 0x7F));
    }
    bool cut = false;
    int64_t frames = 0;
    int64_t taggedFrames = -1;  // the frame count of a Xing or Info tag in the first frame
    for (;;) {
        header.resize(4);
        if (fseeko(file, at, SEEK_SET) != 0) break;
        const size_t got = std::fread(header.data(), 1, header.size(), file);
        if (got == 0) break;
        const size_t length = got == header.size() ? mpegFrameLength(header, 0) : 0;
        if (length == 0) {
            cut = got < header.size() && header[0] == 0xFF;  // a frame header broken off
            break;
        }
        if (at + static_cast<off_t>(length) > fileBytes) {
            cut = true;
            break;
        }
        if (frames == 0 && taggedFrames < 0) {
            header.resize(length);
            if (std::fread(header.data() + 4, 1, length - 4, file) == length - 4) {
                constexpr uint32_t kFramesFlag = 1;
                for (size_t i = 4; i + 12 <= length; ++i) {
                    if (!startsWith(header, i, "Xing") && !startsWith(header, i, "Info")) continue;
                    const uint32_t flags = static_cast<uint32_t>(header[i + 7]);
                    if ((flags & kFramesFlag) != 0) {
                        taggedFrames = static_cast<int64_t>(header[i + 8]) << 24 | header[i + 9] << 16 |
                                       header[i + 10] << 8 | header[i + 11];
                    }
                    break;
                }
            }
            at += static_cast<off_t>(length);
            if (taggedFrames >= 0) continue;  // the tag's frame holds no audio
        } else {
            at += static_cast<off_t>(length);
        }
        ++frames;
    }
    std::fclose(file);
    return cut || (taggedFrames > 0 && frames < taggedFrames);
}

// ---- opening ----

std::string refusedChannels(const std::string& path, int channels) {
    return "'" + path + "' has " + std::to_string(channels) +
           " channels; only mono and stereo are processed (mix it down to stereo first, for example with "
           "'ffmpeg -i in.wav -ac 2 out.wav')";
}

bool checkSoundFile(AudioReader& reader, const SF_INFO& info, std::string* error) {
    if (info.channels < 1 || info.samplerate < 1) {
        *error = "'" + reader.path + "' has no usable audio (" + std::to_string(info.channels) + " channels, " +
                 std::to_string(info.samplerate) + " Hz)";
        return false;
    }
    if (info.channels > 2) {
        *error = refusedChannels(reader.path, info.channels);
        return false;
    }
    // Before anything is sized by the rate: a header claiming 1 Hz or 10 MHz would make the
    // resampler's buffers enormous.
    if (info.samplerate < kLowestSampleRate || info.samplerate > kHighestSampleRate) {
        *error = "'" + reader.path + "' says its sample rate is " + std::to_string(info.samplerate) +
                 " Hz; rates from " + std::to_string(kLowestSampleRate) + " to " + std::to_string(kHighestSampleRate) +
                 " Hz are processed";
        return false;
    }
    reader.format.rate = info.samplerate;
    reader.format.channels = info.channels;
    reader.format.format = info.format;
    if (info.seekable && info.frames >= 0) reader.frames = info.frames;
    return true;
}

bool openStdin(AudioReader& reader, std::string* error) {
    if (isatty(STDIN_FILENO)) {
        *error = "refusing to read audio from a terminal: pipe audio into standard input or name an input file";
        return false;
    }
    struct stat input {};
    reader.live = fstat(STDIN_FILENO, &input) != 0 || !S_ISREG(input.st_mode);
    auto stream = std::make_shared<StdinStream>();
    std::vector<unsigned char> start(kSniffBytes);
    start.resize(static_cast<size_t>(streamRead(*stream, start.data(), kSniffBytes)));
    if (stream->failed) {
        *error = std::string("cannot read standard input: ") + std::strerror(stream->failedErrno);
        return false;
    }
    stream->position = 0;
    reader.stdinStream = stream;
    if (!looksLikeSoundFile(start)) {
        reader.fd = STDIN_FILENO;
        return true;
    }
    // The stream's length is known only where it ended inside the bytes looked at.
    const uint64_t knownLength = start.size() < kSniffBytes ? start.size() : UINT64_MAX;
    std::string unreadable = oversizedWavChunk(start);
    if (unreadable.empty()) unreadable = brokenListChunk(start, knownLength);
    if (!unreadable.empty()) {
        *error = "standard input holds a WAV stream that cannot be read: " + unreadable;
        return false;
    }
    SF_INFO info{};
    std::unique_lock<std::mutex> lock(soundFileOpenLock());
    reader.file = sf_open_virtual(&stdinVirtualIo, SFM_READ, &info, stream.get());
    if (reader.file == nullptr) {
        *error = std::string("standard input holds a sound file that cannot be read (") + sf_strerror(nullptr) + ")";
        return false;
    }
    info.seekable = 0;
    // A pipe's WAV header is written before its length is known (sox puts an estimate there): only
    // a file on standard input is held to the length its header gives.
    if (!reader.live) reader.declaredFrames = declaredWavFrames(start);
    return checkSoundFile(reader, info, error);
}

bool openRawFile(AudioReader& reader, std::string* error) {
    reader.fd = open(reader.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (reader.fd < 0) {
        *error = "cannot open '" + reader.path + "': " + std::strerror(errno);
        return false;
    }
    reader.closeFd = true;
    struct stat info {};
    if (fstat(reader.fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            *error = "'" + reader.path + "' is a directory";
            return false;
        }
        if (S_ISREG(info.st_mode)) reader.frames = info.st_size / rawFrameBytes(reader.format);
        reader.live = !S_ISREG(info.st_mode);
    }
    return true;
}

bool openSoundFile(AudioReader& reader, std::string* error) {
    const std::string& path = reader.path;
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
    std::vector<unsigned char> start;
    const bool started = S_ISREG(info.st_mode) && readFileStart(path, &start);
    const std::string brokenList = started ? brokenListChunk(start, static_cast<uint64_t>(info.st_size)) : std::string();
    if (!brokenList.empty()) {
        *error = "'" + path + "' is not an audio file that can be read (" + brokenList + ")";
        return false;
    }
    SF_INFO format{};
    std::unique_lock<std::mutex> lock(soundFileOpenLock());
    reader.file = sf_open(path.c_str(), SFM_READ, &format);
    if (reader.file == nullptr) {
        std::string reason = sf_strerror(nullptr);
        // libsndfile says this of an existing file whose bytes no decoder takes (a broken MP3).
        if (reason.find("does not exist") != std::string::npos) reason = "its contents are in no format that is read";
        *error = "'" + path + "' is not an audio file that can be read (" + reason +
                 "); headerless 16-bit stereo needs a name ending in .raw";
        return false;
    }
    lock.unlock();
    reader.live = !S_ISREG(info.st_mode);
    if (started) reader.declaredFrames = declaredWavFrames(start);
    if (!checkSoundFile(reader, format, error)) return false;
    if (S_ISREG(info.st_mode)) {
        const int container = format.format & SF_FORMAT_TYPEMASK;
        // FLAC's stream info gives the length the encoder wrote, whatever the file still holds (an
        // MP3's length is only estimated from its size: its last frame is looked at instead).
        if (reader.declaredFrames < 0 && format.seekable && format.frames > 0 && container == SF_FORMAT_FLAC) {
            reader.declaredFrames = format.frames;
        }
        if (container == SF_FORMAT_OGG) reader.missingEnd = !oggEndsItsStream(path, info.st_size);
        if (container == SF_FORMAT_MPEG) reader.missingEnd = mpegEndsInsideAFrame(path, info.st_size);
    }
    return true;
}

// Whole raw frames into `bytes` (room for `frames` frames); the count read, -1 on an error.
long readRawBytes(AudioReader& reader, unsigned char* bytes, long frames, std::string* error) {
    const int frameBytes = rawFrameBytes(reader.format);
    const size_t wanted = static_cast<size_t>(frames) * frameBytes;
    size_t got = 0;
    if (reader.stdinStream) {
        got = static_cast<size_t>(streamRead(*reader.stdinStream, bytes, static_cast<sf_count_t>(wanted)));
        if (reader.stdinStream->failed) {
            *error = interrupted() ? std::string("interrupted")
                                   : std::string("cannot read standard input: ") +
                                         std::strerror(reader.stdinStream->failedErrno);
            return -1;
        }
    } else {
        while (got < wanted) {
            const ssize_t n = read(reader.fd, bytes + got, wanted - got);
            if (n < 0) {
                if (errno == EINTR && !interrupted()) continue;
                *error = errno == EINTR ? std::string("interrupted")
                                        : "cannot read '" + reader.path + "': " + std::strerror(errno);
                return -1;
            }
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
    }
    reader.rawBytesRead += got;
    if (got % frameBytes != 0) {
        const RawInput raw{reader.format.rate, reader.format.channels, reader.format.rawBits};
        char text[400];
        std::snprintf(text, sizeof text,
                      "'%s' ends inside a frame: %llu bytes is not a whole number of %d-byte frames (%s); the "
                      "last %d bytes were dropped",
                      reader.path.c_str(), static_cast<unsigned long long>(reader.rawBytesRead), frameBytes,
                      describeRawInput(raw).c_str(), static_cast<int>(got % frameBytes));
        addWarning(reader, text);
    }
    const long count = static_cast<long>(got / frameBytes);
    reader.framesRead += count;
    return count;
}

// 16-bit raw frames, decoded in place from little-endian bytes whatever this machine's byte order.
long readRaw(AudioReader& reader, short* samples, long frames, std::string* error) {
    unsigned char* bytes = reinterpret_cast<unsigned char*>(samples);
    const long count = readRawBytes(reader, bytes, frames, error);
    for (long i = 0; i < count * reader.format.channels; ++i) {
        const uint16_t value = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        int16_t sample;
        std::memcpy(&sample, &value, sizeof sample);
        samples[i] = sample;
    }
    return count;
}

// Raw frames of any width as doubles, full scale +-1.0 (16 and 24-bit integers divided by 2^15
// and 2^23, as libsndfile reads them from a WAV file; 32-bit floats as they are).
long readRawDoubles(AudioReader& reader, double* samples, long frames, std::string* error) {
    const int bytesPerSample = reader.format.rawBits / 8;
    std::vector<unsigned char> bytes(static_cast<size_t>(frames) * rawFrameBytes(reader.format));
    const long count = readRawBytes(reader, bytes.data(), frames, error);
    for (long i = 0; i < count * reader.format.channels; ++i) {
        const unsigned char* b = &bytes[static_cast<size_t>(i) * bytesPerSample];
        if (reader.format.rawBits == 16) {
            const uint16_t value = static_cast<uint16_t>(b[0] | (b[1] << 8));
            int16_t sample;
            std::memcpy(&sample, &value, sizeof sample);
            samples[i] = sample / 32768.0;
        } else if (reader.format.rawBits == 24) {
            const uint32_t value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16;
            const int32_t sample = static_cast<int32_t>(value << 8) / 256;  // sign-extended
            samples[i] = sample / 8388608.0;
        } else {
            const uint32_t value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                   static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
            float sample;
            std::memcpy(&sample, &value, sizeof sample);
            samples[i] = sample;
        }
    }
    return count;
}

bool rawReadRefused(const AudioReader& reader, std::string* error) {
    if (reader.format.rawBits == 16) return false;
    *error = "'" + reader.path + "' is raw " + std::to_string(reader.format.rawBits) + "-bit: read it as doubles";
    return true;
}

bool fileReadFailed(AudioReader& reader, sf_count_t got, long wanted, std::string* error) {
    if (got >= 0 && (got == wanted || sf_error(reader.file) == SF_ERR_NO_ERROR)) return false;
    if (!interrupted() && got >= 0 && sf_error(reader.file) != SF_ERR_SYSTEM) {
        // The decoder found the data broken off (a cut FLAC loses sync): what came before is kept
        // and the source ends here, reported as cut short.
        reader.brokenOff = sf_strerror(reader.file);
        reader.ended = true;
        return false;
    }
    *error = interrupted() ? std::string("interrupted") : "cannot read '" + reader.path + "': " + sf_strerror(reader.file);
    return true;
}

}  // namespace

bool isRawFormat(const AudioFormat& format) { return format.format == 0; }

std::string describeRawInput(const RawInput& raw) {
    return std::to_string(raw.rate) + " Hz " + (raw.channels == 1 ? "mono" : "stereo") + " " +
           (raw.bits == 32 ? std::string("32-bit float") : std::to_string(raw.bits) + "-bit") + " little-endian";
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
        case SF_FORMAT_MPEG_LAYER_I: return "MPEG layer I";
        case SF_FORMAT_MPEG_LAYER_II: return "MPEG layer II";
        case SF_FORMAT_MPEG_LAYER_III: return "MP3";
        default: return "encoded";
    }
}

bool isLossyFormat(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III: return true;
        default: return false;
    }
}

std::string describeFormat(const AudioFormat& format) {
    const std::string layout =
        std::to_string(format.rate) + " Hz " + (format.channels == 1 ? "mono" : "stereo");
    if (isRawFormat(format)) return layout + " raw " + (format.rawBits == 32 ? std::string("32-bit float") : std::to_string(format.rawBits) + "-bit");
    std::string container;
    switch (format.format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV: container = "WAV"; break;
        case SF_FORMAT_WAVEX: container = "WAV"; break;
        case SF_FORMAT_RF64: container = "RF64"; break;
        case SF_FORMAT_W64: container = "W64"; break;
        case SF_FORMAT_FLAC: container = "FLAC"; break;
        case SF_FORMAT_OGG: container = "Ogg"; break;
        case SF_FORMAT_AIFF: container = "AIFF"; break;
        case SF_FORMAT_AU: container = "AU"; break;
        case SF_FORMAT_CAF: container = "CAF"; break;
        case SF_FORMAT_MPEG: container = "MPEG"; break;
        default: container = "sound file"; break;
    }
    const int sub = format.format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_MPEG_LAYER_III) return layout + " MP3";
    return layout + " " + sampleFormatName(format.format) + " " + container;
}

bool isRawStreamName(const std::string& path) { return path == "-" || extensionOf(path) == "raw"; }

std::mutex& soundFileOpenLock() {
    static std::mutex lock;
    return lock;
}

bool openReader(const std::string& path, AudioReader& reader, std::string* error, const RawInput& raw) {
    reader.path = path;
    reader.format = AudioFormat{};
    reader.format.rate = raw.rate;
    reader.format.channels = raw.channels;
    reader.format.rawBits = raw.bits;
    bool opened = false;
    if (path == "-") {
        opened = openStdin(reader, error);
    } else if (isRawStreamName(path)) {
        opened = openRawFile(reader, error);
    } else {
        opened = openSoundFile(reader, error);
    }
    if (!opened) closeReader(reader);
    return opened;
}

bool hasShortSamples(const AudioReader& reader) {
    if (reader.file == nullptr) return reader.format.rawBits == 16;
    switch (reader.format.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16: return true;
        default: return false;
    }
}

long readShorts(AudioReader& reader, short* samples, long frames, std::string* error) {
    if (interrupted()) {
        *error = "interrupted";
        return -1;
    }
    if (reader.file == nullptr) return rawReadRefused(reader, error) ? -1 : readRaw(reader, samples, frames, error);
    if (reader.ended) return 0;
    const sf_count_t got = sf_readf_short(reader.file, samples, frames);
    if (fileReadFailed(reader, got, frames, error)) return -1;
    reader.framesRead += got;
    return static_cast<long>(got);
}

// Non-finite samples become silence where they stand; the first one's frame and the count are
// kept for the warning. `firstFrame` is the input frame the samples start at.
void countNonFinite(AudioReader& reader, double* samples, long frames, int64_t firstFrame) {
    const size_t channels = static_cast<size_t>(reader.format.channels);
    const NonFiniteCount replaced = silenceNonFinite(samples, static_cast<size_t>(frames) * channels);
    if (replaced.samples > 0 && reader.nonFiniteSamples == 0) {
        reader.firstNonFiniteFrame = firstFrame + replaced.firstIndex / static_cast<int64_t>(channels);
    }
    reader.nonFiniteSamples += replaced.samples;
}

long readDoubles(AudioReader& reader, double* samples, long frames, std::string* error) {
    if (interrupted()) {
        *error = "interrupted";
        return -1;
    }
    if (reader.file == nullptr) {
        const long got = readRawDoubles(reader, samples, frames, error);
        if (got > 0) countNonFinite(reader, samples, got, reader.framesRead - got);
        return got;
    }
    if (reader.ended) return 0;
    const sf_count_t got = sf_readf_double(reader.file, samples, frames);
    if (fileReadFailed(reader, got, frames, error)) return -1;
    countNonFinite(reader, samples, static_cast<long>(got), reader.framesRead);
    reader.framesRead += got;
    return static_cast<long>(got);
}

void warnAfterReading(AudioReader& reader) {
    const double rate = reader.format.rate;
    char text[400];
    if (reader.declaredFrames >= 0 && reader.framesRead < reader.declaredFrames) {
        std::snprintf(text, sizeof text, "'%s' is cut short: its header says %.1f s, %.2f s present; processed what is there",
                      reader.path.c_str(), reader.declaredFrames / rate, reader.framesRead / rate);
        addWarning(reader, text);
    } else if (!reader.brokenOff.empty()) {
        std::snprintf(text, sizeof text, "'%s' is cut short: its data breaks off after %.2f s (%s); processed what is there",
                      reader.path.c_str(), reader.framesRead / rate, reader.brokenOff.c_str());
        addWarning(reader, text);
    } else if (reader.missingEnd) {
        const bool mpeg = (reader.format.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
        std::snprintf(text, sizeof text, "'%s' is cut short: %s (%.2f s present); processed what is there",
                      reader.path.c_str(),
                      mpeg ? "it ends inside an MPEG frame" : "its last Ogg page does not end the stream",
                      reader.framesRead / rate);
        addWarning(reader, text);
    }
    if (reader.nonFiniteSamples > 0) {
        std::snprintf(text, sizeof text,
                      "'%s' holds %llu samples that are not numbers (NaN or infinite), the first at %.3f s; they "
                      "were processed as silence",
                      reader.path.c_str(), static_cast<unsigned long long>(reader.nonFiniteSamples),
                      reader.firstNonFiniteFrame / rate);
        addWarning(reader, text);
    }
}

void closeReader(AudioReader& reader) {
    if (reader.file != nullptr) sf_close(reader.file);
    reader.file = nullptr;
    if (reader.closeFd && reader.fd >= 0) close(reader.fd);
    reader.fd = -1;
    reader.stdinStream.reset();
}

}  // namespace cli
