// The Winamp DSP plug-in records as the host reads them (32-bit layout on the DLL build).
#pragma once

#include "params/version.h"  // kVersionString, the module's description

extern "C" {

struct winampDSPModule {
    const char* description;
    void* hwndParent;    // host window: owner of every window and message box of the plug-in
    void* hDllInstance;  // instance the dialog templates are loaded from
    void (*Config)(winampDSPModule* module);
    int (*Init)(winampDSPModule* module);
    int (*ModifySamples)(winampDSPModule* module, short int* samples, int numsamples, int bps, int nch, int srate);
    void (*Quit)(winampDSPModule* module);
    void* userData;
};

struct winampDSPHeader {
    int version;
    const char* description;
    winampDSPModule* (*getModule)(int index);
};

#ifdef _WIN32
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
winampDSPHeader* winampDSPGetHeader2(void);
}

constexpr int kDspHeaderVersion = 0x20;
