// Reading a preset file as the plug-in would and saying, line by line, what it would not take.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct PresetFault {
    int line = 0;  // 1-based; 0 for the file as a whole
    std::string message;
};

// Faults of a preset file's bytes: a missing "Drelvant" header line, no General.Name (or one too
// long to be read), lines that are not "Key = value", unknown keys, values that are not numbers,
// values outside the registered range, a base factory preset that is not 0 ... -6, and keys past
// the readable size (16,383 bytes), which are never read.
std::vector<PresetFault> checkPresetBytes(const std::string& bytes);

}  // namespace cli
