// The chain's stages as identifiers, and the record of the stages a block ran, by which a test
// holds the two sides of the chain to the chain table's order (chain.h).
#pragma once

#include <cstdint>

// The stages in chain order: the index of each one's row in kChainStages (chain.h).
enum ChainStageId : uint8_t {
    kTestTonesStage,
    kHighpassStage,
    kStereoImageStage,
    kAgcStage,
    kThreeBandEqStage,
    kTenBandProcessorStage,  // the filter bank's split; the band stages below take its bands
    kDynamicEqStage,
    kDensityDriveStage,
    kCompressorStage,
    kExpanderStage,
    kLimiterStage,
    kSaturatorStage,
    kTenBandEqStage,
    kFinalLimiterStage,
    kFinalClipperStage,
    kLowpassStage,
    kPostAmpStage,
    kDitherStage,
};

// The stages a block ran, in the order it ran them, each once per run of repeats: what a test
// compares with the table. The sides take it as a template argument; NoStageTrace, their default,
// records nothing and costs nothing.
struct StageTrace {
    ChainStageId stages[64];
    int count = 0;
    void record(ChainStageId stage) {
        if (count > 0 && stages[count - 1] == stage) return;
        if (count < 64) stages[count++] = stage;
    }
};
struct NoStageTrace {
    void record(ChainStageId) {}
};
