// The released port list never moves: hosts keep sessions by port index and symbol, so new
// controls are appended after every released port. The console ports are the parameters the
// engine's description gives an LV2 symbol, each once, with that parameter's key, kind and range.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/engine_params.h"
#include "lv2/ports.h"
#include "tests/lv2/lv2_host.h"

namespace {

// Control symbols of the released plug-ins, in port order after the audio ports; the atom port
// "control" follows them.
const char* const kReleasedControls[] = {
    "enabled", "preset", "highpass", "stereo_image", "agc", "eq3", "processor", "dynamic_eq", "compressor",
    "expander", "limiter", "saturator", "eq10", "final_limiter", "final_clipper", "lowpass", "dither",
    "density_drive", "post_amp", "input_level", "output_level", "agc_low", "agc_high", "final_limiter_gr",
    "final_clipper_gr", "band1_gr", "band2_gr", "band3_gr", "band4_gr", "band5_gr", "band6_gr", "band7_gr",
    "band8_gr", "band9_gr", "band10_gr", "latency",
};
constexpr int kReleasedControlCount = static_cast<int>(sizeof kReleasedControls / sizeof kReleasedControls[0]);

const lv2port::ControlPort* portNamed(const std::string& symbol) {
    const lv2port::ControlPort* found = nullptr;
    for (const lv2port::ControlPort& port : lv2port::controlList().controls) {
        if (symbol != port.symbol) continue;
        if (found != nullptr) return nullptr;  // a symbol names one port
        found = &port;
    }
    return found;
}

}  // namespace

TEST(Lv2ReleasedPorts, KeepTheirIndicesAndSymbols) {
    ASSERT_GE(lv2port::controlCount(), kReleasedControlCount);
    for (const lv2port::Variant& variant : lv2port::kVariants) {
        auto instance = lv2test::instantiate(variant.uri, 44100.0);
        ASSERT_NE(instance, nullptr) << variant.uri;
        const uint32_t audio = 2u * variant.channels;
        for (int control = 0; control < kReleasedControlCount; ++control) {
            EXPECT_STREQ(lv2port::controlList().controls[control].symbol, kReleasedControls[control]);
            EXPECT_EQ(lv2test::portIndex(*instance, kReleasedControls[control]), audio + control)
                << kReleasedControls[control];
        }
        EXPECT_EQ(lv2test::portIndex(*instance, "control"), audio + kReleasedControlCount) << variant.uri;
        lv2test::destroy(instance);
    }
}

TEST(Lv2ReleasedPorts, TheEngineDescriptionGivesEveryConsolePort) {
    const lv2port::ControlList& list = lv2port::controlList();
    EXPECT_TRUE(list.fits);
    int described = 0;
    for (const EngineParamInfo& param : engineParams()) {
        if (param.lv2Symbol.empty()) continue;
        ++described;
        EXPECT_FALSE(param.lv2Name.empty()) << param.lv2Symbol;
        const lv2port::ControlPort* port = portNamed(param.lv2Symbol);
        ASSERT_NE(port, nullptr) << param.lv2Symbol;
        ASSERT_NE(port->key, nullptr) << param.lv2Symbol;
        EXPECT_EQ(port->key, param.key) << param.lv2Symbol;
        EXPECT_EQ(port->name, param.lv2Name) << param.lv2Symbol;
        EXPECT_EQ(port->kind == lv2port::kSwitch, param.kind == EngineParamKind::kSwitch) << param.lv2Symbol;
        EXPECT_EQ(port->minimum, param.minimum) << param.lv2Symbol;
        EXPECT_EQ(port->maximum, param.maximum) << param.lv2Symbol;
        // A console port that was not released comes after every released port.
        const int control = static_cast<int>(port - list.controls.data());
        const bool released = control < kReleasedControlCount;
        EXPECT_TRUE(released || control >= lv2port::kFirstAppendedControl) << param.lv2Symbol;
    }
    int console = 0;
    for (const lv2port::ControlPort& port : list.controls) console += lv2port::isConsole(port.kind) ? 1 : 0;
    EXPECT_EQ(described, console);
    EXPECT_EQ(list.consoleCount, console);
    for (int i = 0; i < list.consoleCount; ++i) {
        EXPECT_TRUE(lv2port::isConsole(list.controls[list.consoleControl[i]].kind)) << i;
    }
}
