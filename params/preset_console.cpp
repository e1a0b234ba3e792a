// The preset buttons' checks and messages, in the order the console asks them.
#include "params/preset_console.h"

#include <cstdio>
#include <cstring>

#include "dsp/live_params.h"
#include "dsp/shared_value.h"
#include "params/engine.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/ui_seam.h"
#include "platform/platform.h"

namespace {

constexpr char kCaption[] = "Drelvant";
constexpr std::size_t kItemTextSize = 64;
constexpr std::size_t kLabelTextSize = 32;

constexpr char kSelectFirst[] = "Please select a preset from the list before attempting this function";
constexpr char kNoFactoryOverwrite[] = "Overwriting of factory presets is not allowed";
constexpr char kNameMissing[] = "Please specify a preset name before saving";
constexpr char kNameTaken[] = "The specified name already exists in another slot.";
constexpr char kNameBlankEdged[] = "Preset names cannot contain spaces before and after the name";
constexpr char kOverwriteQuestion[] =
    "You are attempting to save over top of an existing preset with a different name.  Are you sure?";
constexpr char kSaveFailed[] = "Failed to save preset";
constexpr char kNoFactoryDelete[] = "Deleting of factory presets is not allowed";
constexpr char kSlotEmpty[] = "The selected preset slot does not contain a preset";
constexpr char kStartupSlot[] =
    "The selected preset slot is currently selected as the default startup preset.  Please change the default to "
    "another preset (by using the \"Default\" button), then delete this preset.";
constexpr char kDeleteQuestion[] = "Are you sure you wish to delete the selected preset?";
constexpr char kDeleteFailed[] = "Failed to delete preset";
constexpr char kLoadQuestion[] = "The current settings have changed.  Are you sure you wish to load the selected preset?";
constexpr char kDefaultNeedsPreset[] = "Please select a preset slot that contains a preset, then click \"Default\".";

void warn(const PresetListControls& controls, const char* text) {
    platform::messageBox(controls.console, text, kCaption, platform::kIconWarning | platform::kButtonsOk);
}

bool askYes(const PresetListControls& controls, const char* text) {
    return platform::messageBox(controls.console, text, kCaption, platform::kIconQuestion | platform::kButtonsYesNo) ==
           platform::kAnswerYes;
}

bool slotEmpty(const Engine& engine, int32_t number) { return engine.presets.userNames[number][0] == '\0'; }

bool equalIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

void showStartupLabel(const PresetListControls& controls) {
    char label[kLabelTextSize];
    FormatDefaultLabel(StartupPreset(*controls.engine), label, sizeof label);
    controls.setControlText(controls.context, kDefaultPresetLabelId, label);
}

void onSave(const PresetListControls& controls, int32_t number) {
    Engine& engine = *controls.engine;
    const char* name = boundParams(engine).presetName;
    if (number <= 0) return warn(controls, kNoFactoryOverwrite);
    if (name[0] == '\0') return warn(controls, kNameMissing);
    bool taken = false;
    for (int slot = 1; slot <= kUserSlots; ++slot) {
        if (equalIgnoringCase(engine.presets.userNames[slot], name)) taken = true;
    }
    if (taken && std::strcmp(engine.presets.userNames[number], name) != 0) return warn(controls, kNameTaken);
    const std::size_t length = std::strlen(name);
    if (name[0] == ' ' || name[length - 1] == ' ') return warn(controls, kNameBlankEdged);
    if (!slotEmpty(*controls.engine, number) && std::strcmp(engine.presets.userNames[number], name) != 0 && !askYes(controls, kOverwriteQuestion)) {
        return;
    }
    if (!SavePreset(engine, number)) return warn(controls, kSaveFailed);
    FillPresetList(controls, number);
}

void onDelete(const PresetListControls& controls, int32_t number) {
    if (number <= 0) return warn(controls, kNoFactoryDelete);
    if (slotEmpty(*controls.engine, number)) return warn(controls, kSlotEmpty);
    if (number == StartupPreset(*controls.engine)) return warn(controls, kStartupSlot);
    if (!askYes(controls, kDeleteQuestion)) return;
    if (!DeletePreset(*controls.engine, number)) return warn(controls, kDeleteFailed);
    FillPresetList(controls, number);
}

void onLoad(const PresetListControls& controls, int32_t number) {
    if (number >= 1 && slotEmpty(*controls.engine, number)) return warn(controls, kSlotEmpty);
    if (loadShared(controls.engine->registry.settingsChanged) && !askYes(controls, kLoadQuestion)) return;
    LoadPreset(*controls.engine, number);
    uiRebindOpenWindows();
}

void onDefault(const PresetListControls& controls, int32_t number) {
    if (number >= 1 && slotEmpty(*controls.engine, number)) {
        platform::messageBox(controls.console, kDefaultNeedsPreset, kCaption, platform::kButtonsOk);
        return;
    }
    SetStartupPreset(*controls.engine, number);
    showStartupLabel(controls);
}

}  // namespace

int32_t PresetNumberOfItem(const char* text, int32_t itemData) { return text[0] == 'F' ? -itemData : itemData + 1; }

bool FillPresetList(const PresetListControls& controls, int32_t selectNumber) {
    if (controls.console == nullptr || controls.resetList == nullptr) return false;
    const Engine& engine = *controls.engine;
    controls.resetList(controls.context);
    int itemIndex = 0;
    char text[kItemTextSize];
    for (int index = 0; index < kFactorySlots; ++index) {
        if (engine.presets.factoryNames[index][0] == '\0') continue;
        std::snprintf(text, sizeof text, "F%d:%.31s", index + 1, engine.presets.factoryNames[index]);
        controls.addItem(controls.context, text, index);
        if (index == -selectNumber) controls.selectItem(controls.context, itemIndex);
        ++itemIndex;
    }
    for (int slot = 1; slot <= kUserSlots; ++slot, ++itemIndex) {
        std::snprintf(text, sizeof text, "%.2d:%.31s", slot, engine.presets.userNames[slot]);
        controls.addItem(controls.context, text, slot - 1);
        if (slot == selectNumber) controls.selectItem(controls.context, itemIndex);
    }
    showStartupLabel(controls);
    return true;
}

void OnPresetButton(const PresetListControls& controls, int buttonId) {
    if (buttonId != kLoadButtonId && buttonId != kSaveButtonId && buttonId != kDeleteButtonId &&
        buttonId != kDefaultButtonId) {
        return;
    }
    const int selected = controls.selectedItem(controls.context);
    char text[kItemTextSize] = {};
    int32_t itemData = 0;
    if (selected < 0 || !controls.itemAt(controls.context, selected, text, sizeof text, &itemData)) {
        warn(controls, kSelectFirst);
        return;
    }
    const int32_t number = PresetNumberOfItem(text, itemData);
    // Items come from FillPresetList; anything else names no preset and is left alone.
    if (number < kLowestPresetNumber || number > kUserSlots) return;
    switch (buttonId) {
        case kSaveButtonId:
            onSave(controls, number);
            break;
        case kDeleteButtonId:
            onDelete(controls, number);
            break;
        case kLoadButtonId:
            onLoad(controls, number);
            break;
        default:
            onDefault(controls, number);
            break;
    }
}
