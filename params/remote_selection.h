// Remote preset selection through the command file "DV_Select.tmp".
#pragma once

struct Engine;

// One poll: hwnd is the console when it polls, nullptr when the playback thread polls.
void PollRemoteSelection(Engine& engine, void* hwnd);
