// The record of the stages a block ran, by which a test holds the two sides of the chain to the
// chain table's order (chain.h). A stage is named by its row's name in the table, so the table
// stays the only list of the stages.
#pragma once

#include <cstring>

// The stages a block ran, in the order it ran them, each once per run of repeats: what a test
// compares with the table. The sides take it as a template argument; NoStageTrace, their default,
// records nothing and costs nothing.
struct StageTrace {
    const char* stages[64];
    int count = 0;
    void record(const char* stage) {
        if (count > 0 && std::strcmp(stages[count - 1], stage) == 0) return;
        if (count < 64) stages[count++] = stage;
    }
};
struct NoStageTrace {
    void record(const char*) {}
};
