// Reading a preset file as the plug-in would and saying, line by line, what it would not take.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct PresetFault {
    int line = 0;  // 1-based; 0 for the file as a whole
    std::string message;
    bool outOfRange = false;  // a value outside its registered range (the processor takes it as it stands)
};

// Faults of a preset file's bytes: a missing "Drelvant" header line, no General.Name (or one too
// long to be read), lines that are not "Key = value", unknown keys, values that are not numbers,
// values outside the registered range, a base factory preset that is not 0 ... -6, and keys past
// the readable size (16,383 bytes), which are never read.
// The text is checked as the loader reads it: line ends made CR LF before the cut, nothing after
// a NUL byte, the first of duplicate keys.
std::vector<PresetFault> checkPresetBytes(const std::string& bytes);

// The values of a loaded preset outside their registered ranges, one message each (key, value,
// range, and that the processor takes the value as it stands).
std::vector<std::string> outOfRangeMessages(const std::string& presetText);

}  // namespace cli
