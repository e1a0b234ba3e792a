// The port table against the engine: every console control names a registered setting, its range
// is the registered one, and the Turtle defaults are the values of F1, the preset a new engine has.
#include <gtest/gtest.h>

#include <cstring>

#include "host/engine_api.h"
#include "lv2/ports.h"
#include "params/engine.h"
#include "tests/lv2/lv2_host.h"

namespace {

const ParamEntry* registered(const Engine& engine, const char* key) {
    for (const WindowEntry* window = engine.registry.windows; window != nullptr; window = window->next) {
        for (const ParamEntry* param = window->params; param != nullptr; param = param->next) {
            if (std::strcmp(param->key, key) == 0) return param;
        }
    }
    return nullptr;
}

}  // namespace

TEST(Lv2Ports, ConsoleControlsAreRegisteredSettingsWithTheirRanges) {
    Engine* engine = createEngine(1);
    ASSERT_NE(engine, nullptr);
    int console = 0;
    for (const lv2port::ControlPort& port : lv2port::controlList().controls) {
        if (!lv2port::isConsole(port.kind)) continue;
        ++console;
        const ParamEntry* param = registered(*engine, port.key);
        ASSERT_NE(param, nullptr) << port.key;
        if (port.kind == lv2port::kSwitch) {
            EXPECT_EQ(param->kind, CheckBox) << port.key;
        } else {
            EXPECT_EQ(param->minValue, port.minimum) << port.key;
            EXPECT_EQ(param->maxValue, port.maximum) << port.key;
        }
    }
    EXPECT_EQ(console, lv2port::controlList().consoleCount);
    destroyEngine(engine);
}

TEST(Lv2Ports, TurtleDefaultsAreTheValuesOfF1) {
    Engine* engine = createEngine(1);
    ASSERT_NE(engine, nullptr);
    auto instance = lv2test::instantiate(lv2test::kStereoUri, 44100.0);
    ASSERT_NE(instance, nullptr);
    for (const lv2port::ControlPort& port : lv2port::controlList().controls) {
        if (!lv2port::isConsole(port.kind)) continue;
        double value = 0;
        ASSERT_TRUE(getValue(*engine, port.key, &value)) << port.key;
        EXPECT_EQ(lv2test::control(*instance, port.symbol), static_cast<float>(value)) << port.symbol;
    }
    EXPECT_EQ(lv2test::control(*instance, "preset"), 1.0f);
    EXPECT_EQ(lv2test::control(*instance, "enabled"), 1.0f);
    lv2test::destroy(instance);
    destroyEngine(engine);
}

TEST(Lv2Ports, PortIndicesFollowTheTable) {
    for (const lv2port::Variant& variant : lv2port::kVariants) {
        auto instance = lv2test::instantiate(variant.uri, 44100.0);
        ASSERT_NE(instance, nullptr) << variant.uri;
        EXPECT_EQ(lilv_plugin_get_num_ports(instance->plugin), static_cast<uint32_t>(lv2port::portCount(variant.channels)));
        for (int control = 0; control < lv2port::controlCount(); ++control) {
            EXPECT_EQ(lv2test::portIndex(*instance, lv2port::controlList().controls[control].symbol),
                      static_cast<uint32_t>(lv2port::controlPortIndex(variant.channels, control)));
        }
        EXPECT_EQ(lv2test::portIndex(*instance, "control"), static_cast<uint32_t>(lv2port::messagePortIndex(variant.channels)));
        lv2test::destroy(instance);
    }
}
