// Fuzz target: arbitrary bytes restored as the LV2 plug-in's state (its settings text), then
// blocks of audio through the plug-in at 44.1 or 48 kHz in block sizes the input chooses. The
// output stays finite and inside the engine's clamp.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "lv2/ports.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

constexpr float kClamp = 0.9999f;
constexpr int kFrames = 4096;

std::map<std::string, LV2_URID>& uridTable() {
    static std::map<std::string, LV2_URID> table;
    return table;
}

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    auto& table = uridTable();
    auto found = table.find(uri);
    if (found != table.end()) return found->second;
    const LV2_URID id = static_cast<LV2_URID>(table.size() + 1);
    table[uri] = id;
    return id;
}

LV2_URID_Map uridMap{nullptr, mapUri};
LV2_Feature mapFeature{LV2_URID__map, &uridMap};
const LV2_Feature* features[] = {&mapFeature, nullptr};

struct Rig {
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    float controls[lv2port::kMaxControls] = {};
    std::vector<float> in[2], out[2];
};

// One instance per rate, kept for the whole run (making one warms up its resamplers); never
// destroyed, so the leak check at exit still finds them reachable.
Rig& rig(double rate) {
    static auto* rigs = new std::map<double, Rig>;
    Rig& r = (*rigs)[rate];
    if (r.handle != nullptr) return r;
    r.descriptor = lv2_descriptor(0);
    r.handle = r.descriptor->instantiate(r.descriptor, rate, "", features);
    fuzzCheck(r.handle != nullptr, "the plug-in instantiates");
    for (int c = 0; c < 2; ++c) {
        r.in[c].assign(kFrames, 0.0f);
        r.out[c].assign(kFrames, 0.0f);
        r.descriptor->connect_port(r.handle, static_cast<uint32_t>(c), r.in[c].data());
        r.descriptor->connect_port(r.handle, static_cast<uint32_t>(2 + c), r.out[c].data());
    }
    for (int control = 0; control < lv2port::controlCount(); ++control) {
        r.controls[control] = control == lv2port::kEnabledControl || control == lv2port::kPresetControl ? 1.0f : 0.0f;
        r.descriptor->connect_port(r.handle, static_cast<uint32_t>(lv2port::controlPortIndex(2, control)),
                                   &r.controls[control]);
    }
    return r;
}

struct Text {
    const uint8_t* data;
    size_t size;
};

const void* retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
    const Text& text = *static_cast<const Text*>(handle);
    if (key != mapUri(nullptr, lv2port::kSettingsTextKey)) return nullptr;
    *size = text.size;
    *type = mapUri(nullptr, LV2_ATOM__String);
    *flags = LV2_STATE_IS_POD;
    return text.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const double rate = data[0] % 2 == 0 ? 44100.0 : 48000.0;
    const uint8_t blockSeed = data[1];
    Rig& r = rig(rate);
    const auto* state = static_cast<const LV2_State_Interface*>(r.descriptor->extension_data(LV2_STATE__interface));
    // The text with a NUL after it, as a host hands over an atom:String.
    std::vector<uint8_t> text(data + 2, data + size);
    text.push_back(0);
    Text source{text.data(), text.size()};
    state->restore(r.handle, retrieve, &source, 0, features);
    r.descriptor->activate(r.handle);

    uint32_t noise = 0x9e3779b9u ^ blockSeed;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kFrames; ++i) {
            noise = noise * 1664525u + 1013904223u;
            r.in[c][i] = kClamp * (static_cast<float>(noise >> 8) / 8388608.0f - 1.0f);
        }
    }
    int done = 0;
    uint32_t blocks = blockSeed | 1u;
    while (done < kFrames) {
        blocks = blocks * 1103515245u + 12345u;
        const int count = std::min<int>(1 + static_cast<int>((blocks >> 16) % 1500), kFrames - done);
        // run() takes its buffers at the connected addresses: move them along the block
        for (int c = 0; c < 2; ++c) {
            r.descriptor->connect_port(r.handle, static_cast<uint32_t>(c), r.in[c].data() + done);
            r.descriptor->connect_port(r.handle, static_cast<uint32_t>(2 + c), r.out[c].data() + done);
        }
        r.descriptor->run(r.handle, static_cast<uint32_t>(count));
        done += count;
    }
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kFrames; ++i) {
            const float value = r.out[c][i];
            fuzzCheck(std::isfinite(value), "the output is finite");
            fuzzCheck(std::fabs(value) <= kClamp, "the output stays inside the clamp");
        }
        r.descriptor->connect_port(r.handle, static_cast<uint32_t>(c), r.in[c].data());
        r.descriptor->connect_port(r.handle, static_cast<uint32_t>(2 + c), r.out[c].data());
    }
    fuzzCheck(std::isfinite(r.controls[lv2port::kLatencyControl]) && r.controls[lv2port::kLatencyControl] >= 0,
              "the latency is a frame count");
    r.descriptor->deactivate != nullptr ? r.descriptor->deactivate(r.handle) : void();
    return 0;
}
