// Reading audio as 44,100 Hz 16-bit stereo frames and writing the processed frames, files and streams alike.
#pragma once

#include <sndfile.h>
#include <soxr.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// "-" or a name ending in ".raw": headerless signed 16-bit little-endian stereo at 44,100 Hz.
bool isRawStreamName(const std::string& path);

// A source of 44,100 Hz 16-bit stereo frames. Raw streams are read as they are; sound files go
// through libsndfile, and anything else than 16-bit stereo at 44,100 Hz is converted on the way:
// mono is copied to both channels, other rates are resampled with libsoxr (high quality), other
// sample formats are rounded to 16 bits. More than two channels are refused. Memory stays
// bounded: everything is read block by block.
struct AudioReader {
    std::string path;
    bool raw = false;
    int fd = -1;                 // raw source
    bool closeFd = false;
    uint64_t rawBytesRead = 0;
    SNDFILE* file = nullptr;     // sound file source
    SF_INFO info{};
    bool direct = false;         // 16-bit stereo at 44,100 Hz: read as it is
    soxr_t resampler = nullptr;  // set when the rate differs
    bool fileEnded = false;
    bool resamplerFlushed = false;
    std::vector<float> fileFrames;    // interleaved, file channels
    std::vector<float> stereoFrames;  // interleaved stereo, file rate
    std::vector<float> converted;     // interleaved stereo at 44,100 Hz, not yet handed out
    size_t convertedStart = 0;        // first unread frame of `converted`
    int64_t expectedFrames = -1;      // at 44,100 Hz; -1 when unknown (pipes)
    uint64_t clippedInConversion = 0; // samples beyond 16-bit range after conversion
};

bool openReader(const std::string& path, AudioReader& reader, std::string* error);
// Reads up to `frames` frames into `samples` (interleaved); returns the count, 0 at the end,
// -1 on a read error or a stream that ends inside a frame (message in `error`).
long readFrames(AudioReader& reader, short* samples, long frames, std::string* error);
void closeReader(AudioReader& reader);
// What the conversion does, for the note on standard error ("48000 Hz mono, resampled ..."), or
// an empty text when the source is read as it is.
std::string conversionDescription(const AudioReader& reader);

// A destination for 44,100 Hz 16-bit stereo frames: "-" is standard output (raw), ".raw" a raw
// file, anything else a sound file whose format follows the extension (.wav, .flac: 16-bit PCM;
// .ogg: Vorbis; .aiff, .au, .caf, .w64: 16-bit PCM). Files are written to a temporary name in
// the destination's directory and renamed only when complete.
struct AudioWriter {
    std::string path;
    std::string temporaryPath;
    bool raw = false;
    bool toStandardOutput = false;
    int fd = -1;
    SNDFILE* file = nullptr;
    std::vector<unsigned char> bytes;  // raw little-endian staging
    uint64_t framesWritten = 0;
};

// Checks the destination's format without creating anything.
bool outputFormatFor(const std::string& path, int* format, std::string* error);
bool openWriter(const std::string& path, AudioWriter& writer, std::string* error);
bool writeFrames(AudioWriter& writer, const short* samples, long frames, std::string* error);
// Finishes the file and renames it into place.
bool commitWriter(AudioWriter& writer, std::string* error);
// Closes and removes the unfinished temporary file (standard output: only stops writing).
void abandonWriter(AudioWriter& writer);

// Writes interleaved stereo frames as a 16-bit PCM WAV file (through a temporary file).
bool writeWavFile(const std::string& path, const std::vector<short>& samples, std::string* error);

}  // namespace cli
