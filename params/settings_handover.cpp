// The triple buffer that hands whole settings to the audio thread.
#include "params/settings_handover.h"

void initSettingsHandover(SettingsHandover& handover) {
    initTripleBuffer(handover.indices);
    handover.resetsRequested = 0;
    handover.resetsTaken = 0;
}

void publishSettings(SettingsHandover& handover) { publishBack(handover.indices); }

const HandedOverSettings* takeSettings(SettingsHandover& handover) {
    if (!takeFront(handover.indices)) return nullptr;
    return &handover.slots[handover.indices.front];
}
