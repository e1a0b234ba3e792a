// The plug-in console's preset buttons pressed over a scripted list, for faces without the
// plug-in's windows: the same preset logic, its message boxes answered by the caller's choice.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/engine_api.h"
#include "params/engine.h"
#include "params/preset_console.h"
#include "params/preset_store.h"
#include "params/settings_text.h"
#include "platform/platform.h"

namespace {

struct ScriptedConsole {
    struct Item {
        std::string text;
        int32_t data;
    };
    std::vector<Item> items;
    int selected = -1;
    bool answerYes = false;
    bool asked = false;
    std::string message;
};

int answerMessageBox(void* owner, const char* text, const char*, unsigned kind) {
    ScriptedConsole& console = *static_cast<ScriptedConsole*>(owner);
    console.message = text != nullptr ? text : "";
    if ((kind & platform::kButtonsYesNo) == platform::kButtonsYesNo) {
        console.asked = true;
        return console.answerYes ? platform::kAnswerYes : platform::kAnswerNo;
    }
    return platform::kAnswerOk;
}

PresetListControls scriptedControls(Engine& engine, ScriptedConsole& console) {
    PresetListControls controls{};
    controls.engine = &engine;
    controls.console = &console;
    controls.context = &console;
    controls.resetList = [](void* context) { static_cast<ScriptedConsole*>(context)->items.clear(); };
    controls.addItem = [](void* context, const char* text, int32_t data) {
        static_cast<ScriptedConsole*>(context)->items.push_back({text, data});
    };
    controls.selectItem = [](void* context, int index) { static_cast<ScriptedConsole*>(context)->selected = index; };
    controls.selectedItem = [](void* context) { return static_cast<ScriptedConsole*>(context)->selected; };
    controls.itemAt = [](void* context, int index, char* text, std::size_t size, int32_t* data) {
        const ScriptedConsole& console = *static_cast<ScriptedConsole*>(context);
        if (index < 0 || index >= static_cast<int>(console.items.size())) return false;
        std::snprintf(text, size, "%s", console.items[index].text.c_str());
        *data = console.items[index].data;
        return true;
    };
    controls.setControlText = [](void*, int, const char*) {};
    return controls;
}

int buttonId(PresetButton button) {
    switch (button) {
        case PresetButton::kDelete: return kDeleteButtonId;
        case PresetButton::kDefault: return kDefaultButtonId;
        case PresetButton::kSave: break;
    }
    return kSaveButtonId;
}

}  // namespace

PresetButtonAnswer pressPresetButton(Engine& engine, const std::string& settingsDirectory, int32_t startupPreset,
                                     int32_t number, PresetButton button, bool answerYes) {
    PresetButtonAnswer answer;
    // The preset store as the settings directory holds it now.
    SetHostDirectory(engine.text, settingsDirectory);
    ScanPresets(engine);
    SetStartupPreset(engine, startupPreset);
    ScriptedConsole console;
    console.answerYes = answerYes;
    const PresetListControls controls = scriptedControls(engine, console);
    platform::setMessageBoxHandler(answerMessageBox);
    FillPresetList(controls, number);
    answer.listed = console.selected >= 0;
    if (answer.listed) {
        console.message.clear();
        OnPresetButton(controls, buttonId(button));
    }
    platform::setMessageBoxHandler(nullptr);
    answer.asked = console.asked;
    answer.message = console.message;
    answer.done = answer.listed && (console.message.empty() || (console.asked && answerYes));
    answer.startupPreset = StartupPreset(engine);
    return answer;
}

bool setPresetName(Engine& engine, const std::string& name) {
    static_assert(kLongestPresetName < kPresetNameSize, "a name and its terminating zero fit the setting");
    if (name.size() > static_cast<std::size_t>(kLongestPresetName) || name.find_first_of("\r\n") != std::string::npos) {
        return false;
    }
    char* current = boundParams(engine).presetName;
    std::memset(current, 0, kPresetNameSize);
    std::memcpy(current, name.data(), name.size());
    return true;
}
