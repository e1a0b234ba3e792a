// Shared set-up of the fuzz targets: one initialised plug-in in a private settings directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Initialises the plug-in once (settings directory in a fresh temporary folder) and returns that folder.
const std::string& fuzzSettingsDirectory();
// Puts the engine state back to how Init left it, so every input starts alike.
void restoreInitialEngineState();
void writeFile(const std::string& path, const uint8_t* data, size_t size);
