// The plug-in's real-time budget: every run() of a minute of programme timed through lilv, at
// host periods of 64, 128 and 256 frames and 44.1 and 48 kHz, F3, the ceiling off and on; the
// mean, 99.9th percentile and worst run() time as a share of the period, by the wall clock and
// by the thread's own processor time (which leaves out the time the thread waited while other
// work ran). A benchmark, not a test: the figures depend on the machine and on what else runs.
//   drelvant_lv2_bench [SECONDS]     (LV2_PATH must name the build's lv2/ folder)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "tests/lv2/lv2_host.h"

namespace {

struct Figures {
    double meanPercent, p999Percent, worstPercent;
};

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

Figures summary(std::vector<double>& times, double periodSeconds) {
    double sum = 0;
    for (double t : times) sum += t;
    std::sort(times.begin(), times.end());
    const size_t p999 = std::min(times.size() - 1, static_cast<size_t>(0.999 * static_cast<double>(times.size())));
    return {100.0 * sum / static_cast<double>(times.size()) / periodSeconds, 100.0 * times[p999] / periodSeconds,
            100.0 * times.back() / periodSeconds};
}

void timeRuns(double rate, int period, bool ceiling, double seconds, Figures* wall, Figures* cpu) {
    auto instance = lv2test::instantiate(lv2test::kStereoUri, rate, true, {{"preset", 3}, {"ceiling_on", ceiling ? 1.0f : 0.0f}});
    lv2test::activate(*instance);
    const int frames = static_cast<int>(seconds * rate);
    const std::vector<float> programme = lv2test::programme(frames, 2, 11);
    std::vector<double> times, cpuTimes;
    times.reserve(static_cast<size_t>(frames / period + 1));
    cpuTimes.reserve(times.capacity());
    for (int done = 0; done + period <= frames; done += period) {
        for (int i = 0; i < period; ++i) {
            instance->in[0][i] = programme[2 * static_cast<size_t>(done + i)];
            instance->in[1][i] = programme[2 * static_cast<size_t>(done + i) + 1];
        }
        const double cpuStart = threadSeconds();
        const auto start = std::chrono::steady_clock::now();
        lilv_instance_run(instance->instance, static_cast<uint32_t>(period));
        const auto end = std::chrono::steady_clock::now();
        cpuTimes.push_back(threadSeconds() - cpuStart);
        times.push_back(std::chrono::duration<double>(end - start).count());
    }
    lv2test::destroy(instance);
    *wall = summary(times, period / rate);
    *cpu = summary(cpuTimes, period / rate);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    std::printf("run() time as a share of the period, F3, %.0f s of programme per row\n", seconds);
    std::printf("%-7s %-7s %-8s | wall clock: %6s %7s %7s | thread time: %6s %7s %7s\n", "rate", "period", "ceiling",
                "mean", "99.9%", "worst", "mean", "99.9%", "worst");
    for (double rate : {44100.0, 48000.0}) {
        for (int period : {64, 128, 256}) {
            for (bool ceiling : {false, true}) {
                Figures wall{}, cpu{};
                timeRuns(rate, period, ceiling, seconds, &wall, &cpu);
                std::printf("%-7.0f %-7d %-8s |             %5.1f%% %6.1f%% %6.1f%% |              %5.1f%% %6.1f%% %6.1f%%\n",
                            rate, period, ceiling ? "on" : "off", wall.meanPercent, wall.p999Percent, wall.worstPercent,
                            cpu.meanPercent, cpu.p999Percent, cpu.worstPercent);
            }
        }
    }
    return 0;
}
