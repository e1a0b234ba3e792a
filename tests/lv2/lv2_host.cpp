// The test host on lilv.
#include "tests/lv2/lv2_host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <lv2/atom/atom.h>

#include "tests/lv2/allocation_counter.h"

namespace lv2test {
namespace {

constexpr size_t kMessageCapacity = 4096;
constexpr size_t kMessageSlots = 16;

LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    UridTable& table = *static_cast<UridTable*>(handle);
    auto found = table.ids.find(uri);
    if (found != table.ids.end()) return found->second;
    table.names.push_back(uri);
    const LV2_URID id = static_cast<LV2_URID>(table.names.size());
    table.ids[uri] = id;
    return id;
}

const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    UridTable& table = *static_cast<UridTable*>(handle);
    return urid >= 1 && urid <= table.names.size() ? table.names[urid - 1].c_str() : nullptr;
}

LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
    Instance& instance = *static_cast<Instance*>(handle);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (instance.scheduledCount == instance.scheduled.size() || size > kMessageCapacity) return LV2_WORKER_ERR_NO_SPACE;
    instance.scheduled[instance.scheduledCount++].assign(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
    Instance& instance = *static_cast<Instance*>(handle);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (instance.responseCount == instance.responses.size() || size > kMessageCapacity) return LV2_WORKER_ERR_NO_SPACE;
    instance.responses[instance.responseCount++].assign(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
}

void runWorker(Instance& instance) {
    if (instance.worker == nullptr) return;
    LV2_Handle handle = lilv_instance_get_handle(instance.instance);
    for (size_t i = 0; i < instance.scheduledCount; ++i) {
        const auto& message = instance.scheduled[i];
        instance.worker->work(handle, respond, &instance, static_cast<uint32_t>(message.size()), message.data());
    }
    instance.scheduledCount = 0;
    for (size_t i = 0; i < instance.responseCount; ++i) {
        const auto& message = instance.responses[i];
        instance.worker->work_response(handle, static_cast<uint32_t>(message.size()), message.data());
    }
    instance.responseCount = 0;
}

const void* portValue(const char* symbol, void* userData, uint32_t* size, uint32_t* type) {
    Instance& instance = *static_cast<Instance*>(userData);
    LilvNode* node = lilv_new_string(world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(instance.plugin, node);
    lilv_node_free(node);
    if (port == nullptr) return nullptr;
    *size = sizeof(float);
    *type = mapUri(instance.urids.get(), LV2_ATOM__Float);
    return &instance.controlValues[lilv_port_get_index(instance.plugin, port)];
}

void setPortValue(const char* symbol, void* userData, const void* value, uint32_t size, uint32_t) {
    Instance& instance = *static_cast<Instance*>(userData);
    if (size != sizeof(float)) return;
    LilvNode* node = lilv_new_string(world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(instance.plugin, node);
    lilv_node_free(node);
    if (port != nullptr) std::memcpy(&instance.controlValues[lilv_port_get_index(instance.plugin, port)], value, size);
}

constexpr int kMaxBlock = 16384;

}  // namespace

LilvWorld* world() {
    static LilvWorld* loaded = [] {
        if (std::getenv("LV2_PATH") == nullptr) setenv("LV2_PATH", DRELVANT_LV2_BUILD_DIR, 1);
        LilvWorld* w = lilv_world_new();
        lilv_world_load_all(w);
        return w;
    }();
    return loaded;
}

const LilvPlugin* findPlugin(const char* uri) {
    LilvNode* node = lilv_new_uri(world(), uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world()), node);
    lilv_node_free(node);
    return plugin;
}

std::unique_ptr<Instance> instantiate(const char* uri, double rate, bool withWorker,
                                      const std::map<std::string, float>& controls) {
    auto instance = std::make_unique<Instance>();
    instance->plugin = findPlugin(uri);
    if (instance->plugin == nullptr) return nullptr;
    instance->channels = std::strcmp(uri, kMonoUri) == 0 ? 1 : 2;
    instance->withWorker = withWorker;
    instance->scheduled.assign(kMessageSlots, {});
    instance->responses.assign(kMessageSlots, {});
    for (auto& slot : instance->scheduled) slot.reserve(kMessageCapacity);
    for (auto& slot : instance->responses) slot.reserve(kMessageCapacity);
    instance->urids = std::make_shared<UridTable>();
    instance->map = {instance->urids.get(), mapUri};
    instance->unmap = {instance->urids.get(), unmapUri};
    instance->mapFeature = {LV2_URID__map, &instance->map};
    instance->unmapFeature = {LV2_URID__unmap, &instance->unmap};
    instance->schedule = {instance.get(), scheduleWork};
    instance->scheduleFeature = {LV2_WORKER__schedule, &instance->schedule};
    instance->features = {&instance->mapFeature, &instance->unmapFeature};
    if (withWorker) instance->features.push_back(&instance->scheduleFeature);
    instance->features.push_back(nullptr);
    instance->instance = lilv_plugin_instantiate(instance->plugin, rate, instance->features.data());
    if (instance->instance == nullptr) return nullptr;
    instance->worker = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(instance->instance, LV2_WORKER__interface));

    const uint32_t ports = lilv_plugin_get_num_ports(instance->plugin);
    instance->controlValues.assign(ports, 0.0f);
    std::vector<float> minimum(ports), maximum(ports), defaults(ports);
    lilv_plugin_get_port_ranges_float(instance->plugin, minimum.data(), maximum.data(), defaults.data());
    instance->in.assign(instance->channels, std::vector<float>(kMaxBlock));
    instance->out.assign(instance->channels, std::vector<float>(kMaxBlock));
    LilvNode* audio = lilv_new_uri(world(), LILV_URI_AUDIO_PORT);
    LilvNode* control = lilv_new_uri(world(), LILV_URI_CONTROL_PORT);
    LilvNode* input = lilv_new_uri(world(), LILV_URI_INPUT_PORT);
    int audioIn = 0, audioOut = 0;
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(instance->plugin, i);
        if (lilv_port_is_a(instance->plugin, port, control)) {
            instance->controlValues[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
            lilv_instance_connect_port(instance->instance, i, &instance->controlValues[i]);
        } else if (lilv_port_is_a(instance->plugin, port, audio)) {
            if (lilv_port_is_a(instance->plugin, port, input)) {
                lilv_instance_connect_port(instance->instance, i, instance->in[audioIn++].data());
            } else {
                lilv_instance_connect_port(instance->instance, i, instance->out[audioOut++].data());
            }
        }
    }
    lilv_node_free(audio);
    lilv_node_free(control);
    lilv_node_free(input);
    for (const auto& [symbol, value] : controls) setControl(*instance, symbol.c_str(), value);
    return instance;
}

void destroy(std::unique_ptr<Instance>& instance) {
    if (instance && instance->instance != nullptr) {
        lilv_instance_deactivate(instance->instance);
        lilv_instance_free(instance->instance);
    }
    instance.reset();
}

uint32_t portIndex(const Instance& instance, const char* symbol) {
    LilvNode* node = lilv_new_string(world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(instance.plugin, node);
    lilv_node_free(node);
    return port != nullptr ? lilv_port_get_index(instance.plugin, port) : UINT32_MAX;
}

void setControl(Instance& instance, const char* symbol, float value) {
    instance.controlValues.at(portIndex(instance, symbol)) = value;
}

float control(const Instance& instance, const char* symbol) { return instance.controlValues.at(portIndex(instance, symbol)); }

void activate(Instance& instance) { lilv_instance_activate(instance.instance); }

std::vector<float> process(Instance& instance, const std::vector<float>& input, const std::vector<int>& blockSizes) {
    const int channels = instance.channels;
    const int frames = static_cast<int>(input.size()) / channels;
    std::vector<float> output(input.size());
    size_t next = 0;
    for (int done = 0; done < frames;) {
        const int count = std::min({blockSizes[next++ % blockSizes.size()], frames - done, kMaxBlock});
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) instance.in[c][i] = input[(done + i) * channels + c];
        }
        if (instance.countAllocations) startCountingAllocations();
        lilv_instance_run(instance.instance, static_cast<uint32_t>(count));
        if (instance.countAllocations) instance.allocationsInRun += stopCountingAllocations();
        if (instance.withWorker) runWorker(instance);
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) output[(done + i) * channels + c] = instance.out[c][i];
        }
        done += count;
    }
    return output;
}

LilvState* saveState(Instance& instance) {
    const LV2_Feature* features[] = {&instance.mapFeature, &instance.unmapFeature, nullptr};
    return lilv_state_new_from_instance(instance.plugin, instance.instance, &instance.map, nullptr, nullptr, nullptr,
                                        nullptr, portValue, &instance, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                                        features);
}

void restoreState(Instance& instance, const LilvState* state) {
    const LV2_Feature* features[] = {&instance.mapFeature, &instance.unmapFeature, nullptr};
    lilv_state_restore(state, instance.instance, setPortValue, &instance, 0, features);
}

std::string settingsText(Instance& instance) {
    struct Sink {
        LV2_URID key;
        std::string text;
    } sink{instance.map.map(instance.map.handle, "urn:drelvant:lv2:settings"), ""};
    auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t,
                    uint32_t) -> LV2_State_Status {
        Sink& s = *static_cast<Sink*>(handle);
        if (key == s.key) s.text.assign(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), size));
        return LV2_STATE_SUCCESS;
    };
    const auto* state = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance.instance, LV2_STATE__interface));
    if (state == nullptr) return "";
    const LV2_Feature* features[] = {&instance.mapFeature, nullptr};
    state->save(lilv_instance_get_handle(instance.instance), store, &sink, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                features);
    return sink.text;
}

std::vector<float> programme(int frames, int channels, uint32_t seed) {
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    uint32_t noise = seed != 0 ? seed : 1;
    auto nextNoise = [&] {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return static_cast<double>(noise) / 4294967296.0 - 0.5;
    };
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double envelope = 0.05 + 0.45 * (0.5 + 0.5 * std::sin(2 * M_PI * 0.7 * t));
        const double tones = 0.4 * std::sin(2 * M_PI * 110 * t) + 0.2 * std::sin(2 * M_PI * 2500 * t);
        for (int c = 0; c < channels; ++c) {
            const double value = envelope * (tones + 0.6 * nextNoise()) * (c == 0 ? 1.0 : 0.8);
            // 16-bit values, as from a 16-bit file
            const double step = std::trunc(std::clamp(value, -1.0, 32767.0 / 32768.0) * 32768.0);
            samples[static_cast<size_t>(i) * channels + c] = static_cast<float>(step / 32768.0);
        }
    }
    return samples;
}

}  // namespace lv2test
