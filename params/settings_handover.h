// Whole settings from the control thread to the audio thread: values, designs and a reset request.
#pragma once

#include <cstdint>

#include "dsp/design_exchange.h"
#include "dsp/live_params.h"
#include "dsp/triple_buffer.h"

// What one hand-over carries. `resetCount` counts the filter resets asked for so far, so a reset
// is not lost when a later hand-over replaces one the audio thread has not taken yet.
struct HandedOverSettings {
    LiveParams params;
    DerivedDesign design;
    uint32_t resetCount;
};

// A triple buffer of settings: the control thread publishes, the audio thread takes at block start.
struct SettingsHandover {
    HandedOverSettings slots[3];
    TripleBufferSlots indices;
    uint32_t resetsRequested;  // control thread
    uint32_t resetsTaken;      // audio thread
};

void initSettingsHandover(SettingsHandover& handover);
// Control side: publishes `slots[back]`, which the caller has filled.
void publishSettings(SettingsHandover& handover);
// Audio side: the newest unseen slot, or nullptr.
const HandedOverSettings* takeSettings(SettingsHandover& handover);
