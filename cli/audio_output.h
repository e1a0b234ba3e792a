// Writing processed audio: raw streams, sound files through libsndfile, WAV streams; regular files
// through a temporary name, FIFOs, devices and standard output straight.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/audio_input.h"
#include "cli/files.h"

namespace cli {

// What the user asked of the output's format; zero fields follow the input.
struct OutputRequest {
    std::string container;  // --output-format: an extension ("wav", "flac", "raw", ...)
    int rate = 0;           // --rate
    int bits = 0;           // --bits: 16, 24, or 32 for 32-bit float
    int channels = 0;       // --channels
};

// The output's format: the container from the name's extension (or `request.container`; standard
// output is raw unless a container is asked for; a name without an extension takes the input's
// container), the rate, channel count and sample format from the input unless the request says
// otherwise. Notes what had to be changed for the container (FLAC holds no float, Opus runs at
// 48 kHz, raw is 16-bit). False with a message for what cannot be written.
bool chooseOutputFormat(const std::string& path, const AudioFormat& source, const OutputRequest& request,
                        AudioFormat* output, std::string* error);
// The extensions chooseOutputFormat knows, for messages and help.
extern const char kOutputExtensions[];

struct AudioWriter {
    std::string path;  // as named by the user
    Destination destination;
    AudioFormat format;
    std::string temporaryPath;  // regular files: where the data goes until it is complete
    int fd = -1;
    bool ownsFd = false;
    bool streamHeader = false;  // a WAV header of unknown length written by us (pipes, devices)
    SNDFILE* file = nullptr;
    std::vector<unsigned char> bytes;  // little-endian staging for raw and streamed WAV
    std::vector<short> shorts;
    std::vector<int> ints;
    std::vector<double> inRange;  // float and lossy output held to full scale
    uint64_t framesWritten = 0;
    uint64_t clippedSamples = 0;  // beyond full scale when quantised
};

bool openWriter(const std::string& path, const Destination& destination, const AudioFormat& format,
                AudioWriter& writer, std::string* error);
// Copies the title, artist, album, date, comment and track number of `source` (a sound file
// libsndfile reads) into the output, where its container holds them (WAV, FLAC, Ogg, AIFF, ...).
// Nothing else is copied: fields such as ReplayGain describe a loudness the processing changed.
// Called after openWriter and before the first frames.
void copyTags(SNDFILE* source, AudioWriter& writer);

// Writes interleaved frames (full scale +-1.0) in the output's sample format: rounded, and clipped
// at full scale (counted). `stored`, when given, receives the values as the file holds them (for
// PCM), to be measured.
bool writeFrames(AudioWriter& writer, const double* samples, long frames, std::vector<double>* stored,
                 std::string* error);
// Completes the file (still under its temporary name for regular files).
bool finishWriter(AudioWriter& writer, std::string* error);
// The complete file as it can be read back before commitWriter; empty for streams.
std::string finishedFilePath(const AudioWriter& writer);
// Renames a regular file into place.
bool commitWriter(AudioWriter& writer, std::string* error);
// Closes and removes the unfinished temporary file (streams: only stops writing).
void abandonWriter(AudioWriter& writer);

// Writes interleaved 16-bit stereo frames at 44,100 Hz as a 16-bit PCM WAV file.
bool writeWavFile(const std::string& path, const std::vector<short>& samples, std::string* error);

}  // namespace cli
