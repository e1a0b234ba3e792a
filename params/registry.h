// The registry of windows and parameters: controls, keys, ranges, defaults and live values.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"
#include "dsp/processor_state.h"
#include "params/settings_text.h"

enum ParamKind : int32_t { VerticalSlider = 0, HorizontalSlider = 1, CheckBox = 2, Meter = 3 };

struct ParamEntry {
    int32_t kind;
    int32_t controlId;    // trackbar, check box or progress bar
    int32_t labelId;      // static text showing the value; 0 = none
    int32_t decimals;     // digits shown and stored; -1 = logarithmic frequency slider
    double minValue, maxValue;
    double tickSpacing, lineStep, pageStep;  // in value units
    double lastShown;     // meters: value last displayed
    void* value;          // live value: double for sliders and meters, one byte for check boxes
    char key[68];         // settings key; empty = never stored or loaded
    double defaultValue;
    ParamEntry* next;
    bool inPresets = true;  // false: a settings-file key that presets neither hold nor apply
};

using DialogProc = intptr_t (*)(void* hwnd, unsigned message, uintptr_t wParam, intptr_t lParam);

struct WindowEntry {
    void* hwnd;                   // open dialog; nullptr while closed
    char name[32];
    int32_t x, y;                 // screen position of the top-left corner
    bool visible;                 // the Show flag
    int32_t templateId;
    ParamEntry* params;
    DialogProc dialogProc;
    bool marksSettingsChanged;
    WindowEntry* next;
};

// Default position of the first registered window; each further window cascades 20 further.
constexpr double kFirstCascadePosition = 32.0;

// The windows of one engine, in registration order, with their parameters bound to its values.
struct Registry {
    WindowEntry* windows = nullptr;
    double cascadePosition = kFirstCascadePosition;
    // Written on the user-interface thread and by the playback thread's remote selection poll:
    // access it with loadShared()/storeShared().
    bool settingsChanged = false;
    // The dialog procedure every window is created with; the Windows user interface sets it
    // before the windows are registered (the headless build leaves it null).
    DialogProc dialogProc = nullptr;
};

// Appends a window whose Show flag and place come from the settings text (cascading defaults).
WindowEntry* RegisterWindow(Registry& registry, const SettingsText& text, const char* name, int32_t templateId,
                            bool marksSettingsChanged);
ParamEntry* RegisterParam(WindowEntry* window, int32_t kind, int32_t decimals, int32_t controlId, int32_t labelId,
                          double minValue, double maxValue, double tickSpacing, double lineStep, double pageStep,
                          void* value, const char* key, double defaultValue);
int32_t TemplateIdOf(const Registry& registry, void* hwnd);
WindowEntry* FindWindowByTemplate(const Registry& registry, int32_t templateId);

// Start-up step: registers the 21 windows and their parameters in order, bound to `params` and
// `state`, their places read from `text`.
void RegisterAllWindows(Registry& registry, const SettingsText& text, LiveParams& params, ProcessorState& state);
// Shut-down step: appends every window's Show/X/Y lines to the settings text (taking open
// windows' positions first), destroys open windows and frees the registry.
void SaveWindowRecordsAndRelease(Registry& registry, SettingsText& text);
