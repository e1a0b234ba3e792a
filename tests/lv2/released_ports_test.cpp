// The released port list never moves: hosts keep sessions by port index and symbol, so new
// controls are appended after every released port. The engine's description names each console
// port's parameter, with the port's kind and range.
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
    for (const lv2port::ControlPort& port : lv2port::kControls) {
        if (symbol == port.symbol) return &port;
    }
    return nullptr;
}

}  // namespace

TEST(Lv2ReleasedPorts, KeepTheirIndicesAndSymbols) {
    ASSERT_GE(lv2port::kControlCount, kReleasedControlCount);
    for (const lv2port::Variant& variant : lv2port::kVariants) {
        auto instance = lv2test::instantiate(variant.uri, 44100.0);
        ASSERT_NE(instance, nullptr) << variant.uri;
        const uint32_t audio = 2u * variant.channels;
        for (int control = 0; control < kReleasedControlCount; ++control) {
            EXPECT_STREQ(lv2port::kControls[control].symbol, kReleasedControls[control]);
            EXPECT_EQ(lv2test::portIndex(*instance, kReleasedControls[control]), audio + control)
                << kReleasedControls[control];
        }
        EXPECT_EQ(lv2test::portIndex(*instance, "control"), audio + kReleasedControlCount) << variant.uri;
        lv2test::destroy(instance);
    }
}

TEST(Lv2ReleasedPorts, TheEngineDescriptionNamesEveryConsolePort) {
    int described = 0;
    for (const EngineParamInfo& param : engineParams()) {
        if (param.lv2Symbol.empty()) continue;
        ++described;
        const lv2port::ControlPort* port = portNamed(param.lv2Symbol);
        ASSERT_NE(port, nullptr) << param.lv2Symbol;
        ASSERT_NE(port->key, nullptr) << param.lv2Symbol;
        EXPECT_EQ(port->key, param.key) << param.lv2Symbol;
        EXPECT_EQ(port->kind == lv2port::kSwitch, param.kind == EngineParamKind::kSwitch) << param.lv2Symbol;
        EXPECT_EQ(port->minimum, param.minimum) << param.lv2Symbol;
        EXPECT_EQ(port->maximum, param.maximum) << param.lv2Symbol;
    }
    int console = 0;
    for (const lv2port::ControlPort& port : lv2port::kControls) console += lv2port::isConsole(port.kind) ? 1 : 0;
    EXPECT_EQ(described, console);
}
