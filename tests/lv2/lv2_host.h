// A small LV2 host on lilv for the plug-in's tests: URID map, an optional worker run between
// blocks, state save and restore, control ports by symbol, and block-wise processing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <lilv/lilv.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

namespace lv2test {

constexpr const char* kStereoUri = "urn:drelvant:lv2:stereo";
constexpr const char* kMonoUri = "urn:drelvant:lv2:mono";

// The world, loaded once per process from LV2_PATH (the build folder).
LilvWorld* world();
const LilvPlugin* findPlugin(const char* uri);

struct UridTable {
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> names;
};

struct Host;

struct Instance {
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    int channels = 2;
    std::vector<float> controlValues;        // one per port (control ports only used)
    std::vector<std::vector<float>> in, out;  // per channel, one block
    // Worker: messages scheduled during run(), done after it (as a non-threaded host does).
    bool withWorker = true;
    // Storage reserved ahead, so the host's side of scheduling allocates nothing in run().
    std::vector<std::vector<uint8_t>> scheduled, responses;
    size_t scheduledCount = 0, responseCount = 0;
    const LV2_Worker_Interface* worker = nullptr;
    LV2_Worker_Schedule schedule{};
    LV2_Feature scheduleFeature{}, mapFeature{}, unmapFeature{};
    LV2_URID_Map map{};
    LV2_URID_Unmap unmap{};
    std::vector<const LV2_Feature*> features;
    std::shared_ptr<UridTable> urids;
    // When set, heap allocations made inside run() are counted into allocationsInRun.
    bool countAllocations = false;
    long allocationsInRun = 0;
};

// Instantiates and connects (not yet activated). `controls` are set before activation.
std::unique_ptr<Instance> instantiate(const char* uri, double rate, bool withWorker = true,
                                      const std::map<std::string, float>& controls = {});
void destroy(std::unique_ptr<Instance>& instance);

uint32_t portIndex(const Instance& instance, const char* symbol);
void setControl(Instance& instance, const char* symbol, float value);
float control(const Instance& instance, const char* symbol);
void activate(Instance& instance);

// Processes interleaved frames in blocks of the given sizes (cycled); returns interleaved output.
std::vector<float> process(Instance& instance, const std::vector<float>& input, const std::vector<int>& blockSizes);

// State of the instance (the settings text) and restoring one into an instance.
LilvState* saveState(Instance& instance);
void restoreState(Instance& instance, const LilvState* state);
std::string settingsText(Instance& instance);

// Test material: 16-bit-valued stereo programme (noise bursts, tones, a level ramp), interleaved.
std::vector<float> programme(int frames, int channels, uint32_t seed);

}  // namespace lv2test
