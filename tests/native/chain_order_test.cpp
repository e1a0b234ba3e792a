// The two sides of the chain run the stages of the chain table, in its order, each on its side:
// a traced frame's stages against the table, with every switch on, and with each switched off.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dsp/chain.h"
#include "dsp/chain_sides.h"
#include "host/engine_api.h"
#include "params/engine.h"

namespace {

struct EngineDeleter {
    void operator()(Engine* engine) const { destroyEngine(engine); }
};

// What the table says runs on `side` with these switches, in its order.
std::vector<std::string> tableOrder(ChainSide side, const LiveParams& params) {
    std::vector<std::string> stages;
    for (int i = 0; i < kChainStageCount; ++i) {
        const ChainStage& stage = kChainStages[i];
        if (stage.side == side && stageRuns(stage, params)) stages.push_back(stage.name);
    }
    return stages;
}

struct TracedFrame {
    std::vector<std::string> input, output;
};

// One frame of a block through both sides, each with its own trace.
TracedFrame traceOneFrame(Engine& engine) {
    ProcessorState& state = engine.state;
    const LiveParams& params = engine.live;
    short frame[2] = {1200, -700};
    auto run = std::make_unique<RunHandoff>();
    auto bands = std::make_unique<BandSamples[]>(kBandRunFrames);
    run->start = {1.0, 1.0, 1};
    run->blockFrames = 1;
    run->offset = 0;
    run->frames = 1;
    run->blockBegins = true;
    run->blockEnds = true;
    run->bands = bands.get();
    beginInputSide(state, params, nullptr, false);
    beginOutputSide(state, params);
    StageTrace input, output;
    runInputSide(Pcm16Io{frame}, state, params, engine.random, *run, input);
    runOutputSide(Pcm16Io{frame}, state, params, *run, output);
    return {{input.stages, input.stages + input.count}, {output.stages, output.stages + output.count}};
}

void expectTableOrder(Engine& engine, const char* what) {
    const TracedFrame traced = traceOneFrame(engine);
    EXPECT_EQ(traced.input, tableOrder(ChainSide::kInput, engine.live)) << what;
    EXPECT_EQ(traced.output, tableOrder(ChainSide::kOutput, engine.live)) << what;
}

}  // namespace

TEST(ChainOrder, TableRowsHaveOneNameEachAndTwoSides) {
    // A trace names a stage by its row's name, so no two rows share one.
    for (int i = 0; i < kChainStageCount; ++i) {
        for (int j = 0; j < i; ++j) EXPECT_STRNE(kChainStages[i].name, kChainStages[j].name);
    }
    // The input side ends where the bank splits; every later stage is on the output side.
    int split = -1;
    for (int i = 0; i < kChainStageCount; ++i) {
        if (std::strcmp(kChainStages[i].name, "10_Band_Processor") == 0) split = i;
    }
    ASSERT_GE(split, 0);
    for (int i = 0; i < kChainStageCount; ++i) {
        EXPECT_EQ(kChainStages[i].side, i <= split ? ChainSide::kInput : ChainSide::kOutput) << kChainStages[i].name;
    }
}

TEST(ChainOrder, SidesRunTheTablesStagesInItsOrder) {
    std::unique_ptr<Engine, EngineDeleter> engine(createEngine(1));
    ASSERT_TRUE(engine);
    int16_t settle[2] = {0, 0};
    processBlock16(*engine, settle, 1);  // takes the handed-over settings into the live values
    GeneralParams& general = engine->live.general;
    for (int i = 0; i < kChainStageCount; ++i) {
        if (kChainStages[i].active != nullptr) general.*kChainStages[i].active = 1;
    }
    expectTableOrder(*engine, "every switch on");
    for (int i = 0; i < kChainStageCount; ++i) {
        uint8_t GeneralParams::*active = kChainStages[i].active;
        if (active == nullptr) continue;
        general.*active = 0;
        expectTableOrder(*engine, kChainStages[i].name);
        general.*active = 1;
    }
}
