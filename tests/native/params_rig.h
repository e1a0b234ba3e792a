// Helpers for the settings, registry and preset tests: a private folder, a built registry, scripted message boxes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "host/plugin.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "platform/platform.h"

namespace paramsrig {

// A fresh directory under the system's temporary folder, made the host directory for the life of
// the object and removed with everything in it afterwards.
struct ScratchFolder {
    std::string path;  // with a trailing separator

    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "drelvant_params_XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const char* made = mkdtemp(buffer.data());
        EXPECT_NE(made, nullptr);
        path = std::string(buffer.data()) + "/";
        SetHostDirectory(PluginEngine().text, path);
    }
    ~ScratchFolder() {
        SetHostDirectory(PluginEngine().text, std::string());
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return path + name; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary);
        out << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }
};

// Text with every "\n" turned into CR LF, so file contents can be typed readably.
inline std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The four header lines of a preset text followed by the given key lines (typed with "\n").
inline std::string presetFile(const std::string& fileName, const std::string& body) {
    return crlf("Drelvant\nThis is a preset file for Drelvant v1.20\nFilename: " + fileName +
                "\n-----------------------------------------\n" + body);
}

// Builds the whole registry on the global live block and engine state, as start-up does, with no
// settings file (windows cascade); releases it again at the end.
struct BuiltRegistry {
    BuiltRegistry() {
        std::memset(&PluginEngine().live, 0, sizeof PluginEngine().live);
        ClearProcessorState(PluginEngine().state);
        PluginEngine().registry.cascadePosition = kFirstCascadePosition;
        std::memset(PluginEngine().text.text, 0, sizeof PluginEngine().text.text);
        RegisterAllWindows(PluginEngine().registry, PluginEngine().text, PluginEngine().live, PluginEngine().state);
    }
    ~BuiltRegistry() {
        BeginText(PluginEngine().text, "dsp_unused.ini");
        SaveWindowRecordsAndRelease(PluginEngine().registry, PluginEngine().text);
        PluginEngine().registry.settingsChanged = false;
    }
    BuiltRegistry(const BuiltRegistry&) = delete;
    BuiltRegistry& operator=(const BuiltRegistry&) = delete;
};

inline ParamEntry* findParam(const char* key) {
    for (WindowEntry* w = PluginEngine().registry.windows; w != nullptr; w = w->next) {
        for (ParamEntry* p = w->params; p != nullptr; p = p->next) {
            if (std::strcmp(p->key, key) == 0) return p;
        }
    }
    return nullptr;
}

// The live value of a keyed slider or check box, as a double.
inline double liveValue(const char* key) {
    const ParamEntry* p = findParam(key);
    if (p == nullptr) {
        ADD_FAILURE() << "no parameter " << key;
        return 0.0;
    }
    if (p->kind == CheckBox) return *static_cast<const uint8_t*>(p->value);
    return *static_cast<const double*>(p->value);
}

inline void setLive(const char* key, double value) {
    ParamEntry* p = findParam(key);
    ASSERT_NE(p, nullptr) << key;
    if (p->kind == CheckBox) {
        *static_cast<uint8_t*>(p->value) = value != 0.0 ? 1 : 0;
    } else {
        *static_cast<double*>(p->value) = value;
    }
}

// Every keyed value in registration order, to compare whole settings.
inline std::vector<double> allKeyedValues() {
    std::vector<double> values;
    for (WindowEntry* w = PluginEngine().registry.windows; w != nullptr; w = w->next) {
        for (ParamEntry* p = w->params; p != nullptr; p = p->next) {
            if (p->key[0] != '\0') values.push_back(liveValue(p->key));
        }
    }
    return values;
}

// Lines of a CR LF text (without their CR LF).
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

// Message boxes answered from a script and recorded.
struct MessageRecord {
    void* owner;
    std::string text;
    std::string caption;
    unsigned kind;
};

inline std::vector<MessageRecord>& shownMessages() {
    static std::vector<MessageRecord> messages;
    return messages;
}
inline std::vector<int>& scriptedAnswers() {
    static std::vector<int> answers;
    return answers;
}

inline int scriptedMessageBox(void* owner, const char* text, const char* caption, unsigned kind) {
    shownMessages().push_back({owner, text, caption, kind});
    if (scriptedAnswers().empty()) return (kind & platform::kButtonsYesNo) != 0 ? platform::kAnswerNo : platform::kAnswerOk;
    const int answer = scriptedAnswers().front();
    scriptedAnswers().erase(scriptedAnswers().begin());
    return answer;
}

struct ScriptedMessageBoxes {
    ScriptedMessageBoxes() {
        shownMessages().clear();
        scriptedAnswers().clear();
        platform::setMessageBoxHandler(scriptedMessageBox);
    }
    ~ScriptedMessageBoxes() { platform::setMessageBoxHandler(nullptr); }
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;
};

}  // namespace paramsrig
