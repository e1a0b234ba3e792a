// The documentation window's "Go" search as pure text functions: lower-casing, cut and wrap-around.
#pragma once

#include <cstring>

constexpr int kSearchBufferBytes = 64;        // the Find box is read into 64 bytes: 63 characters
constexpr int kManualBufferBytes = 65536;     // the manual is read into 64 KB: 65,535 characters

// Letters A-Z become a-z; every other byte stays as it is.
inline void LowerAsciiInPlace(char* text) {
    for (; *text != '\0'; ++text)
        if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
}

// Copies at most 63 characters of `typed` into `out` (64 bytes, NUL-terminated) and lower-cases it.
inline void PrepareSearchText(const char* typed, char out[kSearchBufferBytes]) {
    std::memset(out, 0, kSearchBufferBytes);
    for (int n = 0; n < kSearchBufferBytes - 1 && typed[n] != '\0'; ++n) out[n] = typed[n];
    LowerAsciiInPlace(out);
}

// Offset of the first occurrence of `search` in `text` at or after `from`; failing that, of the
// first occurrence from the start (wrap-around); -1 when there is none. Both texts are already
// lower-cased; `from` beyond the end of the text searches from the start only.
inline long FindWithWrap(const char* text, const char* search, long from) {
    if (search[0] == '\0') return -1;
    const long length = static_cast<long>(std::strlen(text));
    if (from >= 0 && from <= length) {
        if (const char* hit = std::strstr(text + from, search)) return static_cast<long>(hit - text);
    }
    if (const char* hit = std::strstr(text, search)) return static_cast<long>(hit - text);
    return -1;
}
