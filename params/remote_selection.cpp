// Remote preset selection: a one-shot command file naming the preset to load, consumed at each poll.
#include "params/remote_selection.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "dsp/shared_value.h"
#include "params/engine.h"
#include "params/preset_console.h"
#include "params/preset_store.h"
#include "params/registry.h"
#include "params/settings_text.h"
#include "params/ui_seam.h"
#include "platform/platform.h"

namespace {

constexpr char kCommandFileName[] = "DV_Select.tmp";
constexpr std::size_t kCommandBytes = 511;
constexpr std::size_t kLabelTextSize = 32;

bool isCLocaleSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The leading integer as "%d" reads it (white space, optional sign, digits); 0 when there is
// none. Values beyond the 32-bit range saturate, which keeps them outside every preset number.
int32_t firstInteger(const char* text) {
    const char* p = text;
    while (isCLocaleSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= INT32_MAX) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace

void PollRemoteSelection(Engine& engine, void* hwnd) {
    const std::string path = ResolvePath(engine.text, kCommandFileName);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return;
    char text[kCommandBytes + 1] = {};
    std::fread(text, 1, kCommandBytes, file);
    std::fclose(file);

    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const int32_t number = firstInteger(text);
    if (number >= kLowestPresetNumber && number <= kUserSlots) {
        LoadPreset(engine, number);
        storeShared(engine.registry.settingsChanged, false);
        if (std::strstr(text, "def") != nullptr) {
            SetStartupPreset(engine, number);
            if (hwnd != nullptr) {
                char label[kLabelTextSize];
                FormatDefaultLabel(number, label, sizeof label);
                uiSetControlText(hwnd, kDefaultPresetLabelId, label);
            }
        }
        uiRebindOpenWindows();
    }
    platform::deleteFile(path);
}
