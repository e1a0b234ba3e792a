// Remote preset selection through the command file "DV_Select.tmp".
#pragma once

// One poll: hwnd is the console when it polls, nullptr when the playback thread polls.
void PollRemoteSelection(void* hwnd);
