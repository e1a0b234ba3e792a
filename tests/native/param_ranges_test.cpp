// The one table of registered ranges: every slider of the registry is registered from its row, and
// the engine guards every value to exactly the range the registry registers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dsp/derived_parameters.h"
#include "dsp/frame.h"
#include "dsp/param_ranges.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/engine_model.h"
#include "params/registry.h"
#include "params/slider_math.h"
#include "params_rig.h"
#include "platform/platform.h"

using paramsrig::BuiltRegistry;

namespace {

bool isSlider(const ParamEntry& p) { return p.kind == VerticalSlider || p.kind == HorizontalSlider; }
bool isLogarithmic(const ParamEntry& p) { return p.decimals < 0; }

// Every guard row the engine's description registers sliders from, each once: a family's row
// once with its "%d" key.
std::vector<const RegisteredParam*> guardRows() {
    std::vector<const RegisteredParam*> rows;
    for (int r = 0; r < model::kParamRowCount; ++r) {
        const model::ParamRow& row = model::kParams[r];
        if (row.guard == nullptr) continue;
        for (int member = 0; member < (row.perMemberGuard ? row.count : 1); ++member) rows.push_back(&row.guard[member]);
    }
    return rows;
}

// The table's rows by settings key, each family under its ten keys.
std::map<std::string, const RegisteredParam*> rowsByKey() {
    std::map<std::string, const RegisteredParam*> rows;
    for (const RegisteredParam* row : guardRows()) {
        if (row->key[0] == '\0') continue;
        if (std::strstr(row->key, "%d") == nullptr) {
            EXPECT_TRUE(rows.emplace(row->key, row).second) << "two rows for " << row->key;
            continue;
        }
        for (int band = 1; band <= kBandCount; ++band) {
            char key[sizeof ParamEntry::key];
            std::snprintf(key, sizeof key, row->key, band);
            EXPECT_TRUE(rows.emplace(key, row).second) << "two rows for " << key;
        }
    }
    return rows;
}

// The row of a registered slider: by its key, or for the test tone's keyless sliders by the value
// they edit.
const RegisteredParam* rowOf(const ParamEntry& p, const std::map<std::string, const RegisteredParam*>& rows) {
    if (p.key[0] != '\0') {
        const auto found = rows.find(p.key);
        return found == rows.end() ? nullptr : found->second;
    }
    if (p.value == &PluginEngine().state.testTone.levelDb) return &kTestToneLevelDb;
    if (p.value == &PluginEngine().state.testTone.frequencyHz) return &kTestToneFrequencyHz;
    return nullptr;
}

// The registered range of a slider in the value's unit. A logarithmic slider's range is that of
// its scale: 20 Hz at the bottom position, and at the top the frequency its label shows.
double registeredMin(const ParamEntry& p) {
    return isLogarithmic(p) ? sliderValue(p, trackbarSetup(p).rangeMax) : p.minValue;
}
double registeredMax(const ParamEntry& p) { return isLogarithmic(p) ? std::round(sliderValue(p, 0)) : p.maxValue; }

}  // namespace

TEST(RegisteredRanges, EverySliderIsRegisteredFromItsRow) {
    BuiltRegistry registry;
    const std::map<std::string, const RegisteredParam*> rows = rowsByKey();
    std::map<const RegisteredParam*, int> registrations;
    int sliders = 0;
    for (WindowEntry* w = PluginEngine().registry.windows; w != nullptr; w = w->next) {
        for (ParamEntry* p = w->params; p != nullptr; p = p->next) {
            if (!isSlider(*p)) continue;
            ++sliders;
            const RegisteredParam* row = rowOf(*p, rows);
            ASSERT_NE(row, nullptr) << "no row for the slider " << p->controlId << " \"" << p->key << "\" of " << w->name;
            ++registrations[row];
            EXPECT_EQ(registeredMin(*p), row->range.min) << p->key;
            EXPECT_EQ(registeredMax(*p), row->range.max) << p->key;
            EXPECT_EQ(p->defaultValue, row->defaultValue) << p->key;
        }
    }
    EXPECT_GT(sliders, 200);

    // Every row is registered: a family ten times, any other row once.
    for (const RegisteredParam* row : guardRows()) {
        const int expected = std::strstr(row->key, "%d") != nullptr ? kBandCount : 1;
        EXPECT_EQ(registrations[row], expected) << "row \"" << row->key << "\" registered " << registrations[row] << " times";
    }
}

TEST(RegisteredRanges, RowsAreConsistent) {
    for (const RegisteredParam* row : guardRows()) {
        const ParamRange& r = row->range;
        EXPECT_LT(r.min, r.max) << row->key;
        EXPECT_LE(r.usableMin, r.min) << row->key;  // a value in the registered range is always taken as it is
        EXPECT_GE(r.usableMax, r.max) << row->key;
        // The test tone's registered default of 0 is never applied (it starts at -12 dB and 640 Hz).
        if (row->key[0] == '\0') continue;
        EXPECT_GE(row->defaultValue, r.min) << row->key;
        EXPECT_LE(row->defaultValue, r.max) << row->key;
    }
    // The design frequencies are usable strictly between 0 and half the sample rate.
    EXPECT_GT(kLowestDesignFrequencyHz, 0.0);
    EXPECT_EQ(std::nextafter(0.0, 1.0), kLowestDesignFrequencyHz);
    EXPECT_LT(kHighestDesignFrequencyHz, 22050.0);
    EXPECT_EQ(std::nextafter(22050.0, 0.0), kHighestDesignFrequencyHz);
}

namespace {

constexpr int kPrimeFrames = 65536;  // longer than the delay of every stage together
constexpr int kProbeFrames = 64;
constexpr double kFarBeyond = 1e300;  // beyond the usable bounds of every guard kind

uint32_t fixedClock() { return 1000000; }

std::vector<short> noiseBlock(int frames, uint32_t seed) {
    std::vector<short> samples(2 * static_cast<size_t>(frames));
    for (short& s : samples) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<short>(static_cast<int32_t>(seed >> 16) / 4 - 8192);
    }
    return samples;
}

// The plug-in's engine with every registered default, every stage and both test tones on, run
// long enough for audio to reach the output; then one probe block at a time from that point.
class GuardProbe {
public:
    GuardProbe() {
        Engine& engine = PluginEngine();
        platform::setTickSourceForTesting(&fixedClock);
        for (WindowEntry* w = engine.registry.windows; w != nullptr; w = w->next) {
            for (ParamEntry* p = w->params; p != nullptr; p = p->next) {
                if (p->key[0] == '\0') continue;
                const std::string key = p->key;
                const bool stageSwitch = key.rfind("General.", 0) == 0 && key.size() > 7 &&
                                         key.compare(key.size() - 7, 7, ".Active") == 0;
                const double value = stageSwitch ? 1.0 : p->defaultValue;
                if (p->kind == CheckBox) *static_cast<uint8_t*>(p->value) = value != 0.0 ? 1 : 0;
                if (isSlider(*p)) *static_cast<double*>(p->value) = value;
            }
        }
        TestToneGenerator& tone = engine.state.testTone;
        tone.levelDb = -12.0;
        tone.frequencyHz = 640.0;
        tone.sine = 1;
        tone.noise = 1;
        seedEngineRandom(engine.random, 7);
        UpdateDerivedParameters(engine.state, engine.live, true);
        std::vector<short> prime = noiseBlock(kPrimeFrames, 1);
        for (int start = 0; start < kPrimeFrames; start += 4096) {
            ProcessBlock(prime.data() + 2 * start, 4096, 16, 2, 44100, engine.state, engine.live, engine.random);
        }
        savedState_ = std::make_unique<unsigned char[]>(sizeof(ProcessorState));
        std::memcpy(savedState_.get(), &engine.state, sizeof(ProcessorState));
        savedLive_ = engine.live;
        savedRandom_ = engine.random;
        input_ = noiseBlock(kProbeFrames, 2);
    }
    ~GuardProbe() { platform::setTickSourceForTesting(nullptr); }
    GuardProbe(const GuardProbe&) = delete;
    GuardProbe& operator=(const GuardProbe&) = delete;

    // What one probe block leaves: its output and the whole engine state, except the records of
    // the values themselves (the design record and the test tone's own settings hold them as they
    // were set, not as the stages use them).
    struct Outcome {
        std::vector<short> output;
        std::unique_ptr<unsigned char[]> state = std::make_unique<unsigned char[]>(sizeof(ProcessorState));
    };

    // One probe block from the saved point with the slider's value set; its outcome stays in the
    // engine for keep() and sameAs().
    void run(const ParamEntry& p, double value) {
        Engine& engine = PluginEngine();
        std::memcpy(&engine.state, savedState_.get(), sizeof(ProcessorState));
        engine.live = savedLive_;
        engine.random = savedRandom_;
        *static_cast<double*>(p.value) = value;
        UpdateDerivedParameters(engine.state, engine.live, true);
        output_ = input_;
        ProcessBlock(output_.data(), kProbeFrames, 16, 2, 44100, engine.state, engine.live, engine.random);
        std::memset(&engine.state.designRecord, 0, sizeof engine.state.designRecord);
        engine.state.testTone.levelDb = 0.0;
        engine.state.testTone.frequencyHz = 0.0;
    }
    void keep(Outcome& outcome) const {
        outcome.output = output_;
        std::memcpy(outcome.state.get(), &PluginEngine().state, sizeof(ProcessorState));
    }
    bool sameAs(const Outcome& outcome) const {
        return output_ == outcome.output &&
               std::memcmp(outcome.state.get(), &PluginEngine().state, sizeof(ProcessorState)) == 0;
    }

private:
    std::unique_ptr<unsigned char[]> savedState_;
    LiveParams savedLive_{};
    EngineRandom savedRandom_{};
    std::vector<short> input_;
    std::vector<short> output_;
};

}  // namespace

TEST(RegisteredRanges, TheEngineGuardsEveryValueToItsRegisteredRange) {
    // A value from a file beyond every usable bound acts exactly as the registered maximum, and NaN
    // as the registered minimum; both ends of the range act differently, so every value is seen.
    BuiltRegistry registry;
    GuardProbe probe;
    GuardProbe::Outcome atMax, atMin;
    int probed = 0;
    for (WindowEntry* w = PluginEngine().registry.windows; w != nullptr; w = w->next) {
        for (ParamEntry* p = w->params; p != nullptr; p = p->next) {
            if (!isSlider(*p)) continue;
            ++probed;
            const std::string name = std::string(w->name) + " " + std::to_string(p->controlId) + " " + p->key;
            probe.run(*p, registeredMax(*p));
            probe.keep(atMax);
            probe.run(*p, registeredMin(*p));
            probe.keep(atMin);
            EXPECT_FALSE(probe.sameAs(atMax)) << name << ": the value has no effect";
            probe.run(*p, kFarBeyond);
            EXPECT_TRUE(probe.sameAs(atMax)) << name << ": not guarded to its registered maximum";
            probe.run(*p, std::numeric_limits<double>::quiet_NaN());
            EXPECT_TRUE(probe.sameAs(atMin)) << name << ": not guarded to its registered minimum";
        }
    }
    EXPECT_GT(probed, 200);
}
