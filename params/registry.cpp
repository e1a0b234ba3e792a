// The registry: every window with its saved place and every parameter with its control, key and range.
#include "params/registry.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "dsp/param_ranges.h"
#include "params/engine_model.h"
#include "params/settings_text.h"
#include "params/slider_math.h"
#include "params/ui_seam.h"

namespace {

constexpr double kCascadeStep = 20.0;
constexpr double kShowThreshold = 0.5;
constexpr int32_t kLowestStoredCoordinate = -1000;  // exclusive bounds of a position worth keeping
constexpr int32_t kHighestStoredCoordinate = 8000;
constexpr int kWindowKeySize = 68;

// Logarithmic sliders start at the bottom of their scale.
static_assert(kHighpassCutoffHz.range.min == kLogSliderBaseHz && kLowpassCutoffHz.range.min == kLogSliderBaseHz &&
                  kAgcCrossoverHz.range.min == kLogSliderBaseHz &&
                  kThreeBandCrossoverLowMidHz.range.min == kLogSliderBaseHz &&
                  kThreeBandCrossoverMidHighHz.range.min == kLogSliderBaseHz &&
                  kTestToneFrequencyHz.range.min == kLogSliderBaseHz,
              "frequency sliders start at 20 Hz");

double clampToCoordinate(double value) {
    if (value >= 2147483647.0) return 2147483647.0;
    if (value <= -2147483648.0) return -2147483648.0;
    return std::trunc(value);
}

void windowKey(char* key, const char* windowName, const char* field) {
    std::snprintf(key, kWindowKeySize, "Window.%s.%s", windowName, field);
}

void copyText(char* destination, std::size_t size, const char* source) {
    std::snprintf(destination, size, "%s", source != nullptr ? source : "");
}

// Every member of a row of the engine's table, bound to this engine's values.
void registerRow(WindowEntry* window, const model::ParamRow& row, LiveParams& params, ProcessorState& state) {
    for (int member = 0; member < row.count; ++member) {
        const model::ExpandedParam p = model::expand(row, member);
        ParamEntry* entry =
            RegisterParam(window, row.kind, row.kind == Meter || row.kind == CheckBox ? 0 : row.steps.decimals,
                          p.controlId, p.labelId, p.minValue, p.maxValue, row.steps.tickSpacing, row.steps.lineStep,
                          row.steps.pageStep, row.value(params, state, member), p.key, p.defaultValue);
        if (entry != nullptr) entry->inPresets = row.storage != model::Storage::kSettingsOnly;
    }
}

void releaseParams(WindowEntry& entry) {
    ParamEntry* param = entry.params;
    while (param != nullptr) {
        ParamEntry* next = param->next;
        delete param;
        param = next;
    }
    entry.params = nullptr;
}

}  // namespace

WindowEntry* RegisterWindow(Registry& registry, const SettingsText& text, const char* name, int32_t templateId,
                            bool marksSettingsChanged) {
    WindowEntry* entry = new (std::nothrow) WindowEntry{};
    if (entry == nullptr) return nullptr;  // out of memory: the window simply does not exist
    copyText(entry->name, sizeof entry->name, name);
    entry->templateId = templateId;
    entry->dialogProc = registry.dialogProc;
    entry->marksSettingsChanged = marksSettingsChanged;

    char key[kWindowKeySize];
    windowKey(key, entry->name, "Show");
    entry->visible = GetNumber(text, key, 0.0) > kShowThreshold;
    windowKey(key, entry->name, "X");
    entry->x = static_cast<int32_t>(clampToCoordinate(GetNumber(text, key, registry.cascadePosition)));
    windowKey(key, entry->name, "Y");
    entry->y = static_cast<int32_t>(clampToCoordinate(GetNumber(text, key, registry.cascadePosition)));
    registry.cascadePosition += kCascadeStep;

    WindowEntry** tail = &registry.windows;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = entry;
    return entry;
}

ParamEntry* RegisterParam(WindowEntry* window, int32_t kind, int32_t decimals, int32_t controlId, int32_t labelId,
                          double minValue, double maxValue, double tickSpacing, double lineStep, double pageStep,
                          void* value, const char* key, double defaultValue) {
    if (window == nullptr) return nullptr;
    ParamEntry* param = new (std::nothrow) ParamEntry{};
    if (param == nullptr) return nullptr;
    param->kind = kind;
    param->controlId = controlId;
    param->labelId = labelId;
    param->decimals = decimals;
    param->minValue = minValue;
    param->maxValue = maxValue;
    param->tickSpacing = tickSpacing;
    param->lineStep = lineStep;
    param->pageStep = pageStep;
    param->value = value;
    copyText(param->key, sizeof param->key, key);
    param->defaultValue = defaultValue;

    ParamEntry** tail = &window->params;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = param;
    return param;
}

int32_t TemplateIdOf(const Registry& registry, void* hwnd) {
    if (hwnd == nullptr) return 0;  // a closed window has no handle; none matches "no window"
    for (WindowEntry* entry = registry.windows; entry != nullptr; entry = entry->next) {
        if (entry->hwnd == hwnd) return entry->templateId;
    }
    return 0;
}

WindowEntry* FindWindowByTemplate(const Registry& registry, int32_t templateId) {
    for (WindowEntry* entry = registry.windows; entry != nullptr; entry = entry->next) {
        if (entry->templateId == templateId) return entry;
    }
    return nullptr;
}

void RegisterAllWindows(Registry& registry, const SettingsText& text, LiveParams& params, ProcessorState& state) {
    for (int w = 0; w < model::kWindowCount; ++w) {
        const model::WindowRow& row = model::kWindows[w];
        WindowEntry* window = RegisterWindow(registry, text, row.name, row.templateId, row.marksSettingsChanged);
        for (int r = 0; r < model::kParamRowCount; ++r) {
            const model::ParamRow& param = model::kParams[r];
            if (std::strcmp(param.window, row.name) == 0) registerRow(window, param, params, state);
        }
    }
}

void SaveWindowRecordsAndRelease(Registry& registry, SettingsText& text) {
    WindowEntry* entry = registry.windows;
    while (entry != nullptr) {
        if (entry->hwnd != nullptr) {
            int left = 0;
            int top = 0;
            if (uiWindowPosition(entry->hwnd, &left, &top)) {
                if (left > kLowestStoredCoordinate && left < kHighestStoredCoordinate) entry->x = left;
                if (top > kLowestStoredCoordinate && top < kHighestStoredCoordinate) entry->y = top;
            }
        }
        char key[kWindowKeySize];
        windowKey(key, entry->name, "Show");
        AppendNumber(text, key, 0, entry->visible ? 1.0 : 0.0);
        windowKey(key, entry->name, "X");
        AppendNumber(text, key, 0, entry->x);
        windowKey(key, entry->name, "Y");
        AppendNumber(text, key, 0, entry->y);

        releaseParams(*entry);
        if (entry->hwnd != nullptr) uiDestroyWindow(*entry);
        WindowEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    registry.windows = nullptr;
    registry.cascadePosition = kFirstCascadePosition;  // an empty registry is as the module was loaded
}
