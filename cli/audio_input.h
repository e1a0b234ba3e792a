// Reading audio as it is: raw 16-bit stereo streams, sound files through libsndfile, and sound-file
// streams on standard input (recognised by their first bytes, read through libsndfile's virtual I/O).
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cli {

// What a source holds. `format` is libsndfile's (container | sample format); 0 means raw:
// headerless little-endian samples, `rawBits` wide, at `rate` and `channels` (by default signed
// 16-bit stereo at 44,100 Hz).
struct AudioFormat {
    int rate = 44100;
    int channels = 2;
    int format = 0;
    int rawBits = 16;  // raw: 16 or 24 (signed integers) or 32 (32-bit float)
};

// What headerless input is taken to be (--input-rate, --input-channels, --input-bits).
struct RawInput {
    int rate = 44100;
    int channels = 2;
    int bits = 16;  // 16, 24 or 32 (float)
};
// "48000 Hz stereo 24-bit little-endian"
std::string describeRawInput(const RawInput& raw);
bool isRawFormat(const AudioFormat& format);
// "44100 Hz stereo 16-bit WAV", "48000 Hz mono 24-bit FLAC", "44100 Hz stereo raw 16-bit".
std::string describeFormat(const AudioFormat& format);
// The sample format alone: "16-bit", "24-bit", "32-bit float", "Vorbis", ...
std::string sampleFormatName(int format);
// Lossy codecs (Vorbis, Opus, MPEG): their files hold something else than what was written.
bool isLossyFormat(int format);

// "-" (standard input) or a name ending in ".raw".
bool isRawStreamName(const std::string& path);

struct StdinStream;  // standard input with its first bytes kept, so a header can be looked at

struct AudioReader {
    std::string path;
    AudioFormat format;
    int64_t frames = -1;          // frames the source holds; -1 when not known (pipes)
    int64_t declaredFrames = -1;  // frames the header announces (WAV data size, FLAC stream info, MP3 tag), when it does
    bool live = false;            // a pipe, FIFO or device: audio arrives as it is played
    // raw sources
    int fd = -1;
    bool closeFd = false;
    uint64_t rawBytesRead = 0;
    std::shared_ptr<StdinStream> stdinStream;
    // sound files
    SNDFILE* file = nullptr;
    int64_t framesRead = 0;
    bool ended = false;
    // what reading found wrong with the audio
    std::string brokenOff;            // the decoder's complaint where the data broke off (a cut FLAC)
    bool missingEnd = false;          // an Ogg file whose last page is not the stream's end
    uint64_t nonFiniteSamples = 0;    // NaN or infinite samples, replaced by silence
    int64_t firstNonFiniteFrame = -1;
    std::vector<std::string> warnings;  // each warning printed about this source, for the reports
};

// libsndfile keeps the error of a failed open in one variable of its own, shared by every thread:
// opens, and the reading of that message, are made under this lock so that jobs running at once
// report their own errors.
std::mutex& soundFileOpenLock();

// Opens a source. Standard input holding a WAV, FLAC, Ogg, MP3, AIFF, AU or CAF stream is read as
// that stream; anything else on standard input, and files named *.raw, are raw.
// Raw sources are read as `raw` says.
bool openReader(const std::string& path, AudioReader& reader, std::string* error, const RawInput& raw = RawInput{});
// True when the source's samples are 16-bit values (16-bit raw or 8/16-bit PCM): readShorts gives
// them exactly (and is for such sources only).
bool hasShortSamples(const AudioReader& reader);
// Read up to `frames` frames, interleaved in the source's own channels; the count read, 0 at the
// end, -1 on an error (message in `error`). A raw source that ends inside a frame drops the
// partial frame with a warning.
long readShorts(AudioReader& reader, short* samples, long frames, std::string* error);
long readDoubles(AudioReader& reader, double* samples, long frames, std::string* error);
// After the last read: warnings (printed, and kept in reader.warnings) when the source held less
// than its header announced, or samples that are not numbers.
void warnAfterReading(AudioReader& reader);
void closeReader(AudioReader& reader);

}  // namespace cli
