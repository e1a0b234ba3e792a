// Fuzz target: arbitrary bytes as the command line's audio input, from a file (named as a sound
// file or as raw) and on standard input; every sample read is a finite number and the reads end.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/audio_input.h"
#include "cli/cli_common.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr long kBlockFrames = 4096;
constexpr int64_t kMostFrames = 1 << 22;  // a header may announce more; the bytes given bound the rest

void readAll(const std::string& path) {
    cli::AudioReader reader;
    std::string error;
    if (!cli::openReader(path, reader, &error)) return;
    fuzzCheck(reader.format.channels == 1 || reader.format.channels == 2, "an opened source is mono or stereo");
    fuzzCheck(reader.format.rate >= cli::kLowestSampleRate && reader.format.rate <= cli::kHighestSampleRate,
              "an opened source's rate is within the rates processed");
    std::vector<double> doubles(2 * kBlockFrames);
    std::vector<short> shorts(2 * kBlockFrames);
    const bool asShorts = cli::hasShortSamples(reader);
    for (int64_t total = 0; total < kMostFrames;) {
        const long got = asShorts ? cli::readShorts(reader, shorts.data(), kBlockFrames, &error)
                                  : cli::readDoubles(reader, doubles.data(), kBlockFrames, &error);
        if (got <= 0) break;
        fuzzCheck(got <= kBlockFrames, "a read gives at most the frames asked for");
        if (!asShorts) {
            for (long i = 0; i < got * reader.format.channels; ++i) {
                fuzzCheck(std::isfinite(doubles[static_cast<size_t>(i)]), "every sample read is a finite number");
            }
        }
        total += got;
    }
    cli::warnAfterReading(reader);
    cli::closeReader(reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string directory = fuzzSettingsDirectory();
    const std::string named = directory + (size > 0 && data[0] % 4 == 0 ? "input.raw" : "input.wav");
    writeFile(named, data, size);
    readAll(named);
    // The same bytes on standard input (a file there: the stream is read as it would be from a pipe).
    const int saved = dup(STDIN_FILENO);
    const int file = open(named.c_str(), O_RDONLY);
    if (saved >= 0 && file >= 0 && dup2(file, STDIN_FILENO) >= 0) readAll("-");
    if (file >= 0) close(file);
    if (saved >= 0) {
        dup2(saved, STDIN_FILENO);
        close(saved);
    }
    unlink(named.c_str());
    return 0;
}
