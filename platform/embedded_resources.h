// Resources the native build embeds in place of the DLL's resource section.
#pragma once

#include <cstddef>

struct EmbeddedResource {
    const char* type;  // "FACTORYPRESETS" or "TEXT"
    int id;
    const unsigned char* data;
    std::size_t size;
};

// Terminated by an entry whose type is nullptr; generated at build time from resources/.
extern const EmbeddedResource embeddedResources[];
