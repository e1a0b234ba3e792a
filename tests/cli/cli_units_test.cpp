// Unit tests of the command-line program's pieces: option forms, preset text line ends, the
// loudness range, output destinations.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/cli_common.h"
#include "cli/conversion.h"
#include "cli/files.h"
#include "cli/hosting.h"
#include "cli/loudness.h"
#include "cli/options.h"
#include "host/engine_api.h"

namespace {

const std::vector<cli::OptionSpec> kSpecs = {cli::kPresetOption, cli::kSeedOption, cli::kQuietOption,
                                             {"out", 'o', true, cli::kFirstCommandOption}};

bool parse(std::vector<std::string> words, cli::ParsedArguments* parsed) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    return cli::parseArguments("test", kSpecs, static_cast<int>(argv.size()), argv.data(), parsed);
}

namespace {
std::string asPresetFile(const std::string& bytes) { return presetFileText(bytes.data(), bytes.size()); }
}  // namespace

TEST(CliOptions, LongOptionsTakeTheirValueAttachedOrNext) {
    cli::ParsedArguments parsed;
    ASSERT_TRUE(parse({"--preset=F3", "in", "--seed", "7", "out"}, &parsed));
    ASSERT_EQ(parsed.options.size(), 2u);
    EXPECT_EQ(parsed.options[0].id, cli::kOptionPreset);
    EXPECT_EQ(parsed.options[0].value, "F3");
    EXPECT_EQ(parsed.options[1].written, "--seed");
    EXPECT_EQ(parsed.options[1].value, "7");
    EXPECT_EQ(parsed.positional, (std::vector<std::string>{"in", "out"}));
    cli::ParsedArguments empty;
    ASSERT_TRUE(parse({"--preset="}, &empty));
    EXPECT_EQ(empty.options[0].value, "");  // given, and empty: refused later as a bad value
}

TEST(CliOptions, GroupedShortOptionsEndAtTheFirstThatTakesAValue) {
    cli::ParsedArguments next, attached;
    ASSERT_TRUE(parse({"-qo", "plot.svg"}, &next));
    ASSERT_EQ(next.options.size(), 2u);
    EXPECT_EQ(next.options[0].id, cli::kOptionQuiet);
    EXPECT_EQ(next.options[1].value, "plot.svg");
    ASSERT_TRUE(parse({"-qoplot.svg"}, &attached));
    EXPECT_EQ(attached.options[1].value, "plot.svg");
    EXPECT_TRUE(attached.positional.empty());
}

TEST(CliOptions, DoubleDashEndsOptionsAndDashAloneIsPositional) {
    cli::ParsedArguments parsed;
    ASSERT_TRUE(parse({"-", "--", "-q", "--seed"}, &parsed));
    EXPECT_TRUE(parsed.options.empty());
    EXPECT_EQ(parsed.positional, (std::vector<std::string>{"-", "-q", "--seed"}));
    // A value may itself start with a dash.
    cli::ParsedArguments dashValue;
    ASSERT_TRUE(parse({"--out", "-"}, &dashValue));
    EXPECT_EQ(dashValue.options[0].value, "-");
}

TEST(CliOptions, UsageErrorsAreRefused) {
    cli::ParsedArguments parsed;
    EXPECT_FALSE(parse({"--preset"}, &parsed));       // no value
    EXPECT_FALSE(parse({"-o"}, &parsed));             // no value
    EXPECT_FALSE(parse({"--fast"}, &parsed));         // unknown
    EXPECT_FALSE(parse({"-qz"}, &parsed));            // unknown in a group
    EXPECT_FALSE(parse({"--quiet=yes"}, &parsed));    // a switch takes no value
    cli::ParsedArguments help;
    ASSERT_TRUE(parse({"-h"}, &help));
    EXPECT_TRUE(help.help);
}

TEST(CliOptions, SharedValuesAreCheckedOnce) {
    cli::SharedOptions shared;
    EXPECT_EQ(cli::takeSharedOption({cli::kOptionSeed, "--seed", "4294967295"}, &shared), cli::SharedTake::kTaken);
    EXPECT_EQ(shared.seed, 4294967295u);
    EXPECT_TRUE(shared.seedGiven);
    EXPECT_EQ(cli::takeSharedOption({cli::kOptionSeed, "--seed", "4294967296"}, &shared), cli::SharedTake::kBadValue);
    EXPECT_EQ(cli::takeSharedOption({cli::kOptionSeed, "--seed", "-1"}, &shared), cli::SharedTake::kBadValue);
    EXPECT_EQ(cli::takeSharedOption({cli::kOptionBlock, "--block", "0"}, &shared), cli::SharedTake::kBadValue);
    EXPECT_EQ(cli::takeSharedOption({cli::kOptionBlock, "--block", "1048576"}, &shared), cli::SharedTake::kTaken);
    EXPECT_EQ(shared.blockFrames, 1048576);
    EXPECT_EQ(cli::takeSharedOption({cli::kOptionPreset, "--preset", ""}, &shared), cli::SharedTake::kBadValue);
    EXPECT_EQ(cli::takeSharedOption({cli::kOptionDir, "--dir", ""}, &shared), cli::SharedTake::kBadValue);
    EXPECT_EQ(cli::takeSharedOption({cli::kFirstCommandOption, "--out", "x"}, &shared), cli::SharedTake::kNotShared);
}

TEST(CliBatch, OutputsAreNamedAfterTheirInputsInTheFolder) {
    EXPECT_EQ(cli::batchOutputPath("out", "music/a.flac", ""), "out/a.flac");
    EXPECT_EQ(cli::batchOutputPath("out/", "a.flac", ""), "out/a.flac");
    EXPECT_EQ(cli::batchOutputPath("out", "dir/a.b.wav", "ogg"), "out/a.b.ogg");
    EXPECT_EQ(cli::batchOutputPath("out", "noextension", "flac"), "out/noextension.flac");
    EXPECT_EQ(cli::batchOutputPath("out", "dir/.hidden", "flac"), "out/.hidden.flac");
}

TEST(CliPresetText, EveryLineEndBecomesCrLfAndTheByteOrderMarkGoes) {
    EXPECT_EQ(asPresetFile("a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(asPresetFile("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(asPresetFile("a\rb\r"), "a\r\nb\r\n");
    EXPECT_EQ(asPresetFile("\xEF\xBB\xBF" "a\nb"), "a\r\nb");
    EXPECT_EQ(asPresetFile("a\n\r\nb"), "a\r\n\r\nb");  // mixed: each end once
    EXPECT_EQ(asPresetFile(""), "");
}

TEST(CliLoudnessRange, PercentilesOfAGatedRampByRank) {
    // 201 short-term values rising evenly from -30 to -10 LUFS: all pass both gates (their power
    // mean is near -16.7 LUFS, the relative gate 20 LU lower). The 10th percentile is rank
    // round(20.1) = 20, -30 + 19 x 0.1 = -28.1; the 95th rank round(190.95) = 191, -30 + 190 x 0.1
    // = -11.0; the range 17.1 LU.
    std::vector<float> ramp;
    for (int i = 0; i <= 200; ++i) ramp.push_back(static_cast<float>(-30.0 + 0.1 * i));
    EXPECT_NEAR(cli::loudnessRange(ramp), 17.1, 1e-4);
    // Values below -70 LUFS and more than 20 LU under the rest do not count.
    std::vector<float> gated = ramp;
    for (int i = 0; i < 50; ++i) {
        gated.push_back(-80.0f);
        gated.push_back(-60.0f);
    }
    EXPECT_NEAR(cli::loudnessRange(gated), 17.1, 1e-4);
    EXPECT_EQ(cli::loudnessRange(std::vector<float>(10, -23.0f)), 0.0);
    EXPECT_EQ(cli::loudnessRange({}), 0.0);
    EXPECT_EQ(cli::loudnessRange({-75.0f, -90.0f}), 0.0);
}

class CliDestinations : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/drelvant-destinations-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = std::string(pattern) + "/";
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }
    std::string folder;
};

TEST_F(CliDestinations, SymlinksAreFollowedAndFifosStreamed) {
    const std::string target = folder + "target.wav", link = folder + "link.wav", fifo = folder + "pipe";
    std::FILE* file = std::fopen(target.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    ASSERT_EQ(symlink("target.wav", link.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cli::Destination destination;
    std::string error;
    ASSERT_TRUE(cli::resolveDestination(link, &destination, &error)) << error;
    EXPECT_EQ(destination.path, folder + "target.wav");  // the link's own folder, then its text
    EXPECT_FALSE(destination.stream);
    ASSERT_TRUE(cli::resolveDestination(fifo, &destination, &error)) << error;
    EXPECT_TRUE(destination.stream);
    ASSERT_TRUE(cli::resolveDestination("-", &destination, &error));
    EXPECT_TRUE(destination.standardOutput);
    EXPECT_FALSE(cli::resolveDestination(folder, &destination, &error));  // a directory
}

TEST_F(CliDestinations, SameFileByDeviceAndInode) {
    const std::string original = folder + "a.wav", hard = folder + "b.wav";
    std::FILE* file = std::fopen(original.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    ASSERT_EQ(link(original.c_str(), hard.c_str()), 0);
    EXPECT_TRUE(cli::isSameFile(original, hard));
    EXPECT_TRUE(cli::isSameFile(original, folder + "./a.wav"));
    EXPECT_FALSE(cli::isSameFile(original, folder + "absent.wav"));
    EXPECT_FALSE(cli::isSameFile(original, "-"));
}

}  // namespace

// The second engine thread is taken only where this thread may run on two processors: on one
// (taskset, a container's CPU set) the two threads would only take turns.
TEST(CliEngineThreads, OneAllowedProcessorMeansOneThread) {
    unsetenv(cli::kEngineThreadsVariable);
    cpu_set_t before;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &before)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(cli::engineThreadsToUse(), 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof before, &before), 0);
    EXPECT_EQ(cli::engineThreadsToUse(), CPU_COUNT(&before) >= 2 ? 2 : 1);
    setenv(cli::kEngineThreadsVariable, "1", 1);
    EXPECT_EQ(cli::engineThreadsToUse(), 1);
    unsetenv(cli::kEngineThreadsVariable);
}

// The samples' rounding to integers takes nearbyint's value everywhere it is asked: halves go to
// the even neighbour, and the ends of int range, infinities and NaN take the library's way.
TEST(CliRounding, RoundToIntegerIsNearbyint) {
    const double cases[] = {0.5,          1.5,           2.5,       -0.5,         -1.5,      -2.5,
                            32767.5,      -32768.5,      -32768.49, 32766.5,      1e-300,    0.49999999999999994,
                            2147483646.5, -2147483647.5, 2147483647.0, -2147483648.0, 3e9,   -3e9,
                            HUGE_VAL,     -HUGE_VAL};
    for (double x : cases) EXPECT_EQ(cli::roundToInteger(x), std::nearbyint(x)) << x;
    EXPECT_TRUE(std::isnan(cli::roundToInteger(std::nan(""))));
}

// Full scale to 16-bit, two at a time and in a tail alike: halves to the even neighbour, the ends
// held and counted (32767.5 rounds up past the top, -32768.5 down onto the bottom), NaN and
// infinities, and the value each short stands for.
TEST(CliRounding, ShortsRoundHalvesToEvenAndHoldTheEnds) {
    struct Case {
        double scaled;  // times 32768
        short expected;
        bool held;
    };
    const Case cases[] = {{0.5, 0, false},         {1.5, 2, false},          {2.5, 2, false},
                          {-0.5, 0, false},        {-1.5, -2, false},        {32766.5, 32766, false},
                          {32767.49, 32767, false}, {32767.5, 32767, true},   {40000.0, 32767, true},
                          {-32768.5, -32768, false}, {-32768.51, -32768, true}, {-1e300, -32768, true},
                          {HUGE_VAL, 32767, true},  {-HUGE_VAL, -32768, true}, {std::nan(""), -32768, true}};
    for (size_t lead = 0; lead < 2; ++lead) {  // each case in the other lane, or the tail
        std::vector<double> samples(lead, 0.0);
        uint64_t expectedHeld = 0;
        for (const Case& c : cases) {
            samples.push_back(c.scaled / 32768.0);
            expectedHeld += c.held ? 1 : 0;
        }
        std::vector<short> shorts(samples.size());
        std::vector<double> stored(samples.size());
        uint64_t held = 0;
        cli::quantiseToShorts(samples.data(), samples.size(), shorts.data(), stored.data(), held);
        EXPECT_EQ(held, expectedHeld) << lead;
        for (size_t i = 0; i < std::size(cases); ++i) {
            EXPECT_EQ(shorts[lead + i], cases[i].expected) << cases[i].scaled << " lead " << lead;
            EXPECT_EQ(stored[lead + i], cases[i].expected / 32768.0) << cases[i].scaled;
        }
    }
}
