// The report for scripts: one JSON document for a run, an entry per file, with field names that
// stay as documented (jsonFieldsHelp).
#pragma once

#include <string>
#include <vector>

#include "cli/loudness.h"

namespace cli {

struct JsonFileEntry {
    std::string input;
    std::string output;
    std::string status;                    // outcomeName: "processed", "processed-with-warnings", ...
    std::string reason;                    // "failed": why
    const ProcessReport* report = nullptr;  // processed files
};

std::string jsonReport(const std::vector<JsonFileEntry>& files);
// Every field, its type and meaning: the section of `drelvant process --help`.
std::string jsonFieldsHelp();
// A JSON string literal of `text` (quotes, backslashes and control characters escaped; a byte
// that is not part of valid UTF-8 becomes U+FFFD, so the document is always valid JSON).
std::string jsonString(const std::string& text);

}  // namespace cli
