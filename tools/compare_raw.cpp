// Compares two raw 16-bit files sample for sample: how many differ and by how much.
//   compare_raw A.raw B.raw [MAX_STEP] [MAX_DIFFERING_FRACTION]
// Exit 0 when no sample differs by more than MAX_STEP (default 1) and the share of differing
// samples is at most MAX_DIFFERING_FRACTION (default 0.001), and both files have the same length.
#include <cstdio>
#include <cstdlib>
#include <vector>

static std::vector<short> readAll(const char* path) {
    std::vector<short> samples;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return samples;
    short buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, sizeof(short), 4096, file)) > 0) samples.insert(samples.end(), buffer, buffer + got);
    std::fclose(file);
    return samples;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: compare_raw A.raw B.raw [MAX_STEP] [MAX_DIFFERING_FRACTION]\n");
        return 2;
    }
    const int maxStep = argc > 3 ? std::atoi(argv[3]) : 1;
    const double maxFraction = argc > 4 ? std::atof(argv[4]) : 0.001;
    const std::vector<short> a = readAll(argv[1]);
    const std::vector<short> b = readAll(argv[2]);
    if (a.empty() || a.size() != b.size()) {
        std::fprintf(stderr, "compare_raw: lengths differ (%zu and %zu samples)\n", a.size(), b.size());
        return 1;
    }
    size_t differing = 0;
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const int step = std::abs(a[i] - b[i]);
        if (step != 0) ++differing;
        if (step > largest) largest = step;
    }
    const double fraction = static_cast<double>(differing) / a.size();
    std::printf("%zu samples, %zu differ (%.6f%%), largest difference %d step(s)\n", a.size(), differing,
                fraction * 100, largest);
    return largest <= maxStep && fraction <= maxFraction ? 0 : 1;
}
