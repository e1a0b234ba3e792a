// The console's preset list, buttons, name box and timers, on top of the shared window binding.
#include "ui/console_window.h"
#include "host/plugin.h"

#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/engine_api.h"
#include "params/engine_model.h"
#include "params/preset_console.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/remote_selection.h"
#include "platform/shared_value.h"
#include "ui/analysis_windows.h"
#include "ui/config_windows.h"

namespace {

constexpr char kTitleNotice[] = "- broadcast-style audio processor for Winamp";
constexpr char kWebsiteAddress[] = "https://www.drelvant.example/";

constexpr UINT_PTR kSlowTimer = 1;
constexpr UINT kSlowTimerMs = 700;
constexpr UINT_PTR kFastTimer = 2;
constexpr UINT kFastTimerMs = 50;

constexpr int kNameBoxId = 1009;
constexpr int kPresetNameLimit = 16;
constexpr int kChangedLabelId = 1023;
constexpr int kHardClipLabelId = 1047;
constexpr int kAdvancedButtonId = 1048;
constexpr int kWebsiteButtonId = 1051;
constexpr int kListDoubleClick = 2;  // LBN_DBLCLK
constexpr int kEditChanged = 0x300;  // EN_CHANGE

constexpr char kChangedText[] = "Settings Changed";
constexpr char kHardClipText[] = "Hard Clip";

constexpr std::size_t kItemTextSize = 256;
constexpr std::size_t kTitleSize = 128;

// Blinking phase of "Settings Changed"; toggled on every slow tick.
bool changedBlink = false;
// Set while the program itself writes the name box, so that the box's change notification is not
// taken for the user's typing (a longer name from a hand-edited file would be cut to 16 characters).
bool writingNameBox = false;

HWND listBox(void* context) { return GetDlgItem(static_cast<HWND>(context), kPresetListBoxId); }

void resetList(void* context) { SendMessageA(listBox(context), LB_RESETCONTENT, 0, 0); }

void addItem(void* context, const char* text, int32_t itemData) {
    HWND list = listBox(context);
    const LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0) SendMessageA(list, LB_SETITEMDATA, index, itemData);
}

void selectItem(void* context, int index) { SendMessageA(listBox(context), LB_SETCURSEL, index, 0); }

int selectedItem(void* context) {
    const LRESULT index = SendMessageA(listBox(context), LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? -1 : static_cast<int>(index);
}

bool itemAt(void* context, int index, char* text, std::size_t textSize, int32_t* itemData) {
    HWND list = listBox(context);
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || textSize == 0) return false;
    char item[kItemTextSize] = {};
    if (static_cast<std::size_t>(length) >= sizeof item) return false;
    SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
    std::snprintf(text, textSize, "%s", item);
    *itemData = static_cast<int32_t>(SendMessageA(list, LB_GETITEMDATA, index, 0));
    return true;
}

void setControlText(void* context, int controlId, const char* text) {
    SetDlgItemTextA(static_cast<HWND>(context), controlId, text);
}

PresetListControls presetControls(HWND console) {
    return {&PluginEngine(), console, console, resetList, addItem, selectItem, selectedItem, itemAt, setControlText};
}

// Rewrites a label only when its text changes, so the indicators do not flicker on every tick.
void setLabel(HWND console, int id, const char* text) {
    char current[kItemTextSize] = {};
    GetDlgItemTextA(console, id, current, sizeof current);
    if (std::strcmp(current, text) != 0) SetDlgItemTextA(console, id, text);
}

void copyNameBox(HWND console) {
    char name[kPresetNameLimit + 1] = {};
    GetDlgItemTextA(console, kNameBoxId, name, sizeof name);
    SetModulePresetName(name);
}

void onSlowTick(HWND console) {
    changedBlink = !changedBlink;
    setLabel(console, kChangedLabelId, changedBlink && loadShared(ModuleRegistry().settingsChanged) ? kChangedText : "");
    ApplyWindowEdits();
    DrawResponsePlot(nullptr);
    PollRemoteSelection(PluginEngine(), console);
    setLabel(console, kHardClipLabelId, takeClipFlag(PluginEngine()) ? kHardClipText : "");
}

void onFastTick() {
    RefreshMeters(nullptr);
    DrawOscilloscope();
    DrawSpectrum();
}

}  // namespace

void InitConsole(HWND console) {
    char title[kTitleSize];
    std::snprintf(title, sizeof title, "%s %s", engineVersion(), kTitleNotice);
    SetWindowTextA(console, title);
    FillPresetList(presetControls(console), StartupPreset(PluginEngine()));
    const int32_t lastSelection = ConsoleListSelection();
    if (lastSelection >= 0) SendDlgItemMessageA(console, kPresetListBoxId, LB_SETCURSEL, lastSelection, 0);
    SetTimer(console, kSlowTimer, kSlowTimerMs, nullptr);
    SetTimer(console, kFastTimer, kFastTimerMs, nullptr);
}

void ShowPresetNameInConsole(HWND console) {
    writingNameBox = true;
    SetDlgItemTextA(console, kNameBoxId, ModulePresetName());
    writingNameBox = false;
}

void OnConsoleCommand(HWND console, int id, int notification) {
    switch (id) {
        case kLoadButtonId:
        case kSaveButtonId:
        case kDeleteButtonId:
        case kDefaultButtonId:
            if (notification == BN_CLICKED) OnPresetButton(presetControls(console), id);
            return;
        case kPresetListBoxId:
            if (notification == kListDoubleClick) OnPresetButton(presetControls(console), kLoadButtonId);
            return;
        case kNameBoxId:
            if (notification == kEditChanged && !writingNameBox) copyNameBox(console);
            return;
        case kWebsiteButtonId:
            // Opening the address itself starts the user's default browser, whichever it is. A
            // browser that cannot be started is not worth a message.
            if (notification == BN_CLICKED) {
                ShellExecuteA(console, "open", kWebsiteAddress, nullptr, nullptr, SW_SHOWNORMAL);
            }
            return;
        default:
            break;
    }
    if (notification != BN_CLICKED) return;
    for (int w = 0; w < model::kWindowCount; ++w) {
        if (model::kWindows[w].openButton != 0 && model::kWindows[w].openButton == id) {
            ShowConfigWindow(model::kWindows[w].templateId);
            return;
        }
    }
}

void OnConsoleTimer(HWND console, UINT_PTR timerId) {
    if (timerId == kSlowTimer) onSlowTick(console);
    if (timerId == kFastTimer) onFastTick();
}

void RememberListSelection(HWND console) {
    const LRESULT index = SendDlgItemMessageA(console, kPresetListBoxId, LB_GETCURSEL, 0, 0);
    SetConsoleListSelection(index == LB_ERR ? -1 : static_cast<int32_t>(index));
}
