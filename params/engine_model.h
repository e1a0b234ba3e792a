// The engine described once: its windows, the stages the console switches, and every parameter
// with its key, window, kind, unit, range, default, decimals, steps, controls and LV2 symbol. The
// registry registers from these tables, the host API (host/engine_params.h) describes the engine
// from them, and the tests take their counts and orders from them.
#pragma once

#include <cstdint>

#include "dsp/live_params.h"
#include "dsp/param_ranges.h"
#include "dsp/processor_state.h"
#include "params/registry.h"

namespace model {

// What a value measures; the text is what `drelvant params` and the host API show.
enum class Unit : int32_t { kNone, kDecibel, kMillisecond, kPercent, kHertz, kRatio };
const char* unitText(Unit unit);

// Where a keyed value is kept: in every preset (and the settings file), only in the settings
// file (never in a preset), or nowhere (meters and the test-tone controls).
enum class Storage : int32_t { kPreset, kSettingsOnly, kNowhere };

// A window of the plug-in, in registration order (which is also the order of its places in the
// settings file and the cascade of default positions).
struct WindowRow {
    const char* name;         // "Window.<name>.Show/X/Y"
    const char* title;        // caption of its dialog template
    int32_t templateId;
    bool marksSettingsChanged;  // editing it marks the console's setting as changed
    int32_t openButton;         // the console button that shows it; 0 = none
};

// Control ids of the members of a row: member n has first + step x n, or list[n] when listed.
struct ControlIds {
    int32_t first = 0;
    int32_t step = 0;
    const int32_t* list = nullptr;
    constexpr int32_t at(int member) const { return list != nullptr ? list[member] : first + step * member; }
};
constexpr ControlIds one(int32_t id) { return {id, 0, nullptr}; }
constexpr ControlIds run(int32_t first, int32_t step) { return {first, step, nullptr}; }
constexpr ControlIds listed(const int32_t* ids) { return {0, 0, ids}; }

// Resolution and steps of a slider in value units; decimals -1 marks a logarithmic frequency
// slider (1/100 octave per position), whose page step is in positions.
struct Steps {
    int32_t decimals = 0;
    double tickSpacing = 0, lineStep = 0, pageStep = 0;
};
constexpr int32_t kLogarithmic = -1;

// The value a row binds in one engine: member 0 ... count - 1 of a family.
using ValueBinding = void* (*)(LiveParams& params, ProcessorState& state, int member);

// One parameter, or a family of `count` parameters that differ only in their member number
// (the ten bands, the three equaliser bands). Rows are in registration order: window by window,
// and in each window in the order the registry walks it (and so the order of a preset's lines).
struct ParamRow {
    const char* window;
    int32_t kind;                    // ParamKind
    // Sliders: the guard rows (key, registered range, default) the stages read their values
    // through; member n uses guard[n] when perMemberGuard, else guard[0] with "%d" = n + 1.
    const RegisteredParam* guard = nullptr;
    bool perMemberGuard = false;
    const char* key = nullptr;       // check boxes: settings key ("%d" = member number); "" = not stored
    int32_t count = 1;
    Unit unit = Unit::kNone;
    Steps steps = {};
    double switchDefault = 0.0;      // check boxes
    double meterMin = 0.0, meterMax = 0.0;  // meters: full scale
    ControlIds control = {};
    ControlIds label = {};           // value label; 0 = none
    ValueBinding value = nullptr;
    Storage storage = Storage::kPreset;
    // The LV2 control port of this parameter, if it has one: its symbol and the name hosts show.
    // The plug-in keeps the ports it has released where they are and appends any other.
    const char* lv2Symbol = nullptr;
    const char* lv2Name = nullptr;
};

// A stage the console switches, in the console's order (which is the chain's): its switch key,
// the window its row's "Open..." button shows (the window's openButton), and the row's caption.
struct StageRow {
    const char* chainName;     // its row in the chain table
    const char* switchKey;     // "General.<...>.Active"
    const char* window;        // nullptr: no window of its own
    const char* caption;       // console row text
    bool indented;             // a stage of the ten-band processor
};

extern const WindowRow kWindows[];
extern const int kWindowCount;
extern const ParamRow kParams[];
extern const int kParamRowCount;
extern const StageRow kStages[];
extern const int kStageCount;

// Counts over the expanded rows (every member of a family counted).
int parameterCount();
int keyedCount();          // sliders and check boxes with a key
int presetKeyCount();      // keyed and kept in presets

const WindowRow* findWindow(const char* name);

// One expanded parameter, as registered: key with its member number, range in slider units
// (positions for logarithmic sliders) and the row's fields.
struct ExpandedParam {
    const ParamRow* row;
    int member;
    char key[68];
    double minValue, maxValue;   // as registered (logarithmic sliders: 0 ... positions)
    double minShown, maxShown;   // in the value's unit (Hz for logarithmic sliders)
    double defaultValue;
    int32_t controlId, labelId;
};
ExpandedParam expand(const ParamRow& row, int member);

}  // namespace model
