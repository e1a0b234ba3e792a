// Writes the bundle's Turtle files from the port table and the factory preset texts, and turns a
// user preset file into an LV2 preset bundle.
//
//   drelvant_lv2_turtle BUNDLE_DIR PRESET_TEXT_DIR BINARY_NAME
//       manifest.ttl, drelvant.ttl (both plug-ins) and presets.ttl (F1 ... F7 for both)
//   drelvant_lv2_turtle --user-preset PRESET_FILE BUNDLE_DIR PRESET_TEXT_DIR [LABEL]
//       an LV2 preset bundle whose state is the file's whole text (hosts list it beside F1 ... F7)
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "host/engine_api.h"
#include "lv2/ports.h"

namespace {

using Values = std::map<std::string, std::string>;

const char kPrefixes[] =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work:  <http://lv2plug.in/ns/ext/worker#> .\n\n";

bool readFile(const std::string& path, std::string* text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    *text = content.str();
    return true;
}

// "Key = value" lines of a preset text, keys and values trimmed.
Values presetValues(const std::string& text) {
    Values values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        auto trim = [](std::string s) {
            const size_t first = s.find_first_not_of(" \t\r\n");
            const size_t last = s.find_last_not_of(" \t\r\n");
            return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
        };
        values[trim(line.substr(0, equals))] = trim(line.substr(equals + 1));
    }
    return values;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04X", c);
                    out += escape;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string number(double value) {
    char text[32];
    // Whole numbers exactly (a latency maximum of 1048576 is not 1.04858e+06).
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        std::snprintf(text, sizeof text, "%.1f", value);
        return text;
    }
    std::snprintf(text, sizeof text, "%.6g", value);
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

double valueOf(const Values& values, const char* key, double fallback) {
    auto found = values.find(key);
    if (found == values.end()) return fallback;
    return std::atof(found->second.c_str());
}

struct Factory {
    std::string text[lv2port::kFactoryPresetCount + 1];
    Values values[lv2port::kFactoryPresetCount + 1];
    std::string name[lv2port::kFactoryPresetCount + 1];
};

bool readFactory(const std::string& directory, Factory* factory) {
    for (int n = 1; n <= lv2port::kFactoryPresetCount; ++n) {
        const std::string path = directory + "/F" + std::to_string(n) + ".txt";
        if (!readFile(path, &factory->text[n])) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return false;
        }
        factory->values[n] = presetValues(factory->text[n]);
        factory->name[n] = factory->values[n]["General.Name"];
    }
    return true;
}

// Controls whose change moves the latency (a jump in the audio a host must compensate): found by
// switching each on an engine loaded with F1 and comparing latencies.
struct Artifacts {
    bool movesLatency[lv2port::kMaxControls] = {};
};

Artifacts findArtifacts() {
    Artifacts artifacts;
    Engine* engine = createEngine(1);
    if (engine == nullptr) return artifacts;
    const int64_t base = latencyFrames(*engine);
    for (int control = 0; control < lv2port::controlCount(); ++control) {
        const lv2port::ControlPort& port = lv2port::controlList().controls[control];
        if (port.kind == lv2port::kSwitch) {
            double value = 0;
            getValue(*engine, port.key, &value);
            setValue(*engine, port.key, value != 0 ? 0 : 1);
            artifacts.movesLatency[control] = latencyFrames(*engine) != base;
            setValue(*engine, port.key, value);
        } else if (port.kind == lv2port::kCeilingSwitch) {
            setTruePeakCeiling(*engine, true, kDefaultTruePeakCeilingDbtp);
            artifacts.movesLatency[control] = latencyFrames(*engine) != base;
            setTruePeakCeiling(*engine, false, kDefaultTruePeakCeilingDbtp);
        }
    }
    destroyEngine(engine);
    return artifacts;
}

// "F1" ... "F7" (built by appending: GCC 12 warns falsely on "F" + std::to_string(n) when inlined).
std::string factoryTag(int n) {
    std::string tag = "F";
    tag += std::to_string(n);
    return tag;
}

std::string presetLabel(const Factory& factory, int n) { return factoryTag(n) + " " + factory.name[n]; }

void writeMessagePort(std::ostream& out, int index) {
    out << "        [\n            a atom:AtomPort , lv2:InputPort ;\n"
        << "            atom:bufferType atom:Sequence ;\n"
        << "            atom:supports patch:Message ;\n"
        << "            lv2:designation lv2:control ;\n"
        << "            lv2:portProperty lv2:connectionOptional ;\n"
        << "            lv2:index " << index << " ;\n"
        << "            lv2:symbol \"control\" ;\n"
        << "            lv2:name \"Control\"\n        ] ,\n";
}

void writePort(std::ostream& out, int index, const char* portClass, const char* direction, const char* symbol,
               const char* name, const std::string& extra, bool last) {
    out << "        [\n            a lv2:" << portClass << " , lv2:" << direction << " ;\n"
        << "            lv2:index " << index << " ;\n"
        << "            lv2:symbol \"" << symbol << "\" ;\n"
        << "            lv2:name \"" << name << "\"" << extra << "\n        ]" << (last ? " .\n" : " ,\n");
}

std::string groupUri(const lv2port::Variant& variant, const char* side) { return std::string(variant.uri) + ":" + side; }

// The main input and output as port groups (hosts such as GStreamer take the plug-in as an audio
// filter only with them).
void writeGroups(std::ostream& out, const lv2port::Variant& variant) {
    const char* type = variant.channels == 2 ? "pg:StereoGroup" : "pg:MonoGroup";
    out << "<" << groupUri(variant, "main_in") << ">\n    a " << type << " , pg:InputGroup ;\n"
        << "    lv2:symbol \"main_in\" ;\n    rdfs:label \"Input\" .\n\n"
        << "<" << groupUri(variant, "main_out") << ">\n    a " << type << " , pg:OutputGroup ;\n"
        << "    lv2:symbol \"main_out\" ;\n    rdfs:label \"Output\" ;\n"
        << "    pg:source <" << groupUri(variant, "main_in") << "> .\n\n";
}

void writePlugin(std::ostream& out, const lv2port::Variant& variant, const Factory& factory, const Artifacts& artifacts) {
    writeGroups(out, variant);
    out << "<" << variant.uri << ">\n"
        << "    a lv2:Plugin , lv2:DynamicsPlugin , doap:Project ;\n"
        << "    doap:name \"" << variant.name << "\" ;\n"
        << "    doap:license <https://spdx.org/licenses/MIT> ;\n"
        << "    doap:maintainer [ a foaf:Person ; foaf:name \"The Drelvant developers\" ; "
           "foaf:mbox <mailto:dev@drelvant.example> ] ;\n"
        << "    lv2:minorVersion " << DRELVANT_VERSION_MINOR << " ;\n"
        << "    lv2:microVersion " << DRELVANT_VERSION_PATCH << " ;\n"
        << "    pg:mainInput <" << groupUri(variant, "main_in") << "> ;\n"
        << "    pg:mainOutput <" << groupUri(variant, "main_out") << "> ;\n"
        << "    rdfs:comment \"Broadcast-style dynamics processor: AGC, ten-band compressor, limiter and clipper. "
           "Runs at 44.1 kHz inside a resampler pair at other rates.\" ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable , urid:map , work:schedule ;\n"
        << "    lv2:extensionData state:interface , work:interface ;\n"
        << "    patch:writable <" << lv2port::kPresetFileKey << "> ;\n"
        << "    patch:readable <" << lv2port::kPresetFileKey << "> ;\n"
        << "    lv2:port\n";
    const int channels = variant.channels;
    const char* inNames[2][2] = {{"in", "Input"}, {nullptr, nullptr}};
    const char* stereoIn[2][2] = {{"in_l", "Input left"}, {"in_r", "Input right"}};
    const char* stereoOut[2][2] = {{"out_l", "Output left"}, {"out_r", "Output right"}};
    const char* monoOut[1][2] = {{"out", "Output"}};
    const char* roles[2] = {"pg:left", "pg:right"};
    auto grouped = [&](const char* side, int c) {
        return " ;\n            pg:group <" + groupUri(variant, side) + "> ;\n            lv2:designation " +
               (channels == 2 ? roles[c] : "pg:center");
    };
    int index = 0;
    for (int c = 0; c < channels; ++c, ++index) {
        const char* const* names = channels == 2 ? stereoIn[c] : inNames[0];
        writePort(out, index, "AudioPort", "InputPort", names[0], names[1], grouped("main_in", c), false);
    }
    for (int c = 0; c < channels; ++c, ++index) {
        const char* const* names = channels == 2 ? stereoOut[c] : monoOut[0];
        writePort(out, index, "AudioPort", "OutputPort", names[0], names[1], grouped("main_out", c), false);
    }
    const Values& defaults = factory.values[1];
    const int controls = lv2port::controlCount();
    for (int control = 0; control < controls; ++control, ++index) {
        if (control == lv2port::kControlsBeforeMessagePort) writeMessagePort(out, index++);
        const lv2port::ControlPort& port = lv2port::controlList().controls[control];
        std::ostringstream extra;
        if (artifacts.movesLatency[control] || port.kind == lv2port::kPresetChoice) {
            // A preset load clears filter memories; a switch that moves the latency jumps in time.
            extra << " ;\n            lv2:portProperty pprops:causesArtifacts";
        }
        if (!lv2port::actsOn(channels, control)) {
            extra << " ;\n            lv2:portProperty pprops:notOnGUI ;\n            rdfs:comment \"Not used by the "
                     "mono plug-in (kept so that the port indices stay).\"";
        }
        auto range = [&](double minimum, double maximum, double fallback) {
            extra << " ;\n            lv2:default " << number(fallback) << " ;\n            lv2:minimum " << number(minimum)
                  << " ;\n            lv2:maximum " << number(maximum);
        };
        switch (port.kind) {
            case lv2port::kEnabled:
                extra << " ;\n            lv2:designation lv2:enabled ;\n            lv2:portProperty lv2:toggled";
                range(0, 1, 1);
                break;
            case lv2port::kPresetChoice:
                extra << " ;\n            lv2:portProperty lv2:integer , lv2:enumeration";
                range(port.minimum, port.maximum, 1);
                for (int n = 1; n <= lv2port::kFactoryPresetCount; ++n) {
                    extra << " ;\n            lv2:scalePoint [ rdfs:label " << quoted(presetLabel(factory, n)) << " ; rdf:value "
                          << n << " ]";
                }
                break;
            case lv2port::kSwitch:
                extra << " ;\n            lv2:portProperty lv2:toggled";
                range(0, 1, valueOf(defaults, port.key, 0) != 0 ? 1 : 0);
                break;
            case lv2port::kGain:
                if (std::string(port.unit) == "dB") extra << " ;\n            units:unit units:db";
                range(port.minimum, port.maximum, valueOf(defaults, port.key, 0));
                break;
            case lv2port::kLevelMeter:
            case lv2port::kGainMeter:
                extra << " ;\n            units:unit units:db";
                range(port.minimum, port.maximum, port.kind == lv2port::kLevelMeter ? port.minimum : 0);
                break;
            case lv2port::kLatency:
                extra << " ;\n            lv2:designation lv2:latency ;\n            lv2:portProperty lv2:reportsLatency , "
                         "lv2:integer ;\n            units:unit units:frame";
                range(port.minimum, port.maximum, 0);
                break;
            case lv2port::kCeilingSwitch:
                extra << " ;\n            lv2:portProperty lv2:toggled";
                range(0, 1, 0);
                break;
            case lv2port::kCeilingLevel:
                extra << " ;\n            units:unit units:db";
                range(port.minimum, port.maximum, kDefaultTruePeakCeilingDbtp);
                break;
        }
        writePort(out, index, "ControlPort", lv2port::isInput(port.kind) ? "InputPort" : "OutputPort", port.symbol,
                  port.name, extra.str(), control == controls - 1);
    }
    out << "\n";
}

std::string presetUri(const lv2port::Variant& variant, const std::string& name) {
    return std::string(variant.uri) + ":preset:" + name;
}

// Port values of a preset: the factory choice and the console controls.
void writePresetPorts(std::ostream& out, int factoryChoice, const Values& values, const Values& base) {
    out << "    lv2:port [ lv2:symbol \"preset\" ; pset:value " << number(factoryChoice) << " ]";
    const lv2port::ControlList& list = lv2port::controlList();
    for (int i = 0; i < list.consoleCount; ++i) {
        const lv2port::ControlPort& port = list.controls[list.consoleControl[i]];
        const double value = valueOf(values, port.key, valueOf(base, port.key, 0));
        out << " ,\n        [ lv2:symbol \"" << port.symbol << "\" ; pset:value "
            << number(port.kind == lv2port::kSwitch ? (value != 0 ? 1 : 0) : value) << " ]";
    }
}

bool writeBundle(const std::string& bundle, const std::string& presetDirectory, const std::string& binary) {
    if (!lv2port::controlList().fits) {
        std::fprintf(stderr, "the engine describes more console controls than the plug-in has room for\n");
        return false;
    }
    Factory factory;
    if (!readFactory(presetDirectory, &factory)) return false;
    const Artifacts artifacts = findArtifacts();
    std::ofstream manifest(bundle + "/manifest.ttl"), plugins(bundle + "/drelvant.ttl"), presets(bundle + "/presets.ttl");
    manifest << kPrefixes;
    plugins << kPrefixes;
    presets << kPrefixes;
    plugins << "<" << lv2port::kPresetFileKey << ">\n    a lv2:Parameter ;\n    rdfs:label \"Preset file\" ;\n"
            << "    rdfs:range atom:Path .\n\n";
    for (const lv2port::Variant& variant : lv2port::kVariants) {
        manifest << "<" << variant.uri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << binary
                 << "> ;\n    rdfs:seeAlso <drelvant.ttl> .\n\n";
        writePlugin(plugins, variant, factory, artifacts);
        for (int n = 1; n <= lv2port::kFactoryPresetCount; ++n) {
            const std::string uri = presetUri(variant, factoryTag(n));
            manifest << "<" << uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << variant.uri
                     << "> ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
            presets << "<" << uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << variant.uri << "> ;\n"
                    << "    rdfs:label " << quoted(presetLabel(factory, n)) << " ;\n";
            writePresetPorts(presets, n, factory.values[n], factory.values[n]);
            presets << " .\n\n";
        }
    }
    return manifest.good() && plugins.good() && presets.good();
}

bool writeUserPreset(const std::string& file, const std::string& bundle, const std::string& presetDirectory,
                     std::string label) {
    Factory factory;
    if (!readFactory(presetDirectory, &factory)) return false;
    std::string text;
    if (!readFile(file, &text)) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const Values values = presetValues(text);
    if (label.empty()) label = values.count("General.Name") ? values.at("General.Name") : std::string("User preset");
    // The base factory preset number is 0 ... -6 for F1 ... F7.
    const long base = std::lround(valueOf(values, "General.BaseFactoryPreset", 0));
    const int factoryChoice = base <= 0 && base > -lv2port::kFactoryPresetCount ? static_cast<int>(1 - base) : 1;
    std::string slug;
    for (char c : label) slug += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    std::ofstream manifest(bundle + "/manifest.ttl"), preset(bundle + "/preset.ttl");
    manifest << kPrefixes;
    preset << kPrefixes;
    for (const lv2port::Variant& variant : lv2port::kVariants) {
        const std::string uri = presetUri(variant, "user:" + slug);
        manifest << "<" << uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << variant.uri
                 << "> ;\n    rdfs:seeAlso <preset.ttl> .\n\n";
        preset << "<" << uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << variant.uri << "> ;\n"
               << "    rdfs:label " << quoted(label) << " ;\n";
        writePresetPorts(preset, factoryChoice, values, factory.values[factoryChoice]);
        preset << " ;\n    state:state [ <" << lv2port::kSettingsTextKey << "> " << quoted(text) << " ] .\n\n";
    }
    return manifest.good() && preset.good();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == "--user-preset") {
        return writeUserPreset(argv[2], argv[3], argv[4], argc >= 6 ? argv[5] : "") ? 0 : 1;
    }
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: %s BUNDLE_DIR PRESET_TEXT_DIR BINARY_NAME\n"
                     "       %s --user-preset PRESET_FILE BUNDLE_DIR PRESET_TEXT_DIR [LABEL]\n",
                     argv[0], argv[0]);
        return 2;
    }
    return writeBundle(argv[1], argv[2], argv[3]) ? 0 : 1;
}
