// STUB: replaced by the remote selection implementation.
#include "params/remote_selection.h"
void PollRemoteSelection(void*) {}
