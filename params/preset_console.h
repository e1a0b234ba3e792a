// The console's preset list and its Load, Save, Delete and Default buttons, over a small list-box interface.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kPresetListBoxId = 1005;
constexpr int kDefaultPresetLabelId = 1042;
constexpr int kLoadButtonId = 1003;
constexpr int kSaveButtonId = 1004;
constexpr int kDeleteButtonId = 1008;
constexpr int kDefaultButtonId = 1010;

// What the preset logic needs of the console: its list box 1005 (not sorted, so items keep
// insertion order), the label 1042, and the window that owns the message boxes. The Windows
// console binds these to its real controls; tests bind them to a scripted list.
struct Engine;

struct PresetListControls {
    Engine* engine;  // whose presets the console shows
    void* console;  // owner of every message box; nullptr = no console window
    void* context;  // handed back to every callback
    void (*resetList)(void* context);
    void (*addItem)(void* context, const char* text, int32_t itemData);
    void (*selectItem)(void* context, int index);
    int (*selectedItem)(void* context);  // -1 when nothing is selected
    // Text (cut to textSize) and data of item `index`; false when there is no such item.
    bool (*itemAt)(void* context, int index, char* text, std::size_t textSize, int32_t* itemData);
    void (*setControlText)(void* context, int controlId, const char* text);
};

// Refills the list (factory presets that exist, then all 99 user slots), selects the item of
// selectNumber if it is listed and shows the startup preset in label 1042. False when there is
// no console or no list to fill.
bool FillPresetList(const PresetListControls& controls, int32_t selectNumber);
// Load (1003, also a double click on an item), Save (1004), Delete (1008), Default (1010).
void OnPresetButton(const PresetListControls& controls, int buttonId);
// The preset number of a list item: factory items ("F...") carry -number, user items slot - 1.
int32_t PresetNumberOfItem(const char* text, int32_t itemData);
