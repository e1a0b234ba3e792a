// One block through the chain's two sides, run by run: the one driver of ProcessBlock (both sides
// on the calling thread) and of the two-thread pipeline (the output side on a worker).
#pragma once

#include "dsp/chain_sides.h"

// Where the input side hands its runs, as the caller provides it:
//   void beforeBlock(bool touchesBothSides)  a design or an idle reset is due: both sides are
//                                             touched at block start, so the output side must be idle
//   RunHandoff& nextRun()                     room for the next run (run.bands set by the sink)
//   void handOver(RunHandoff& run)            the run's input side is done: its output side may run
// After admitBlock accepted the block: takes the design and the idle reset due, begins the input
// side, and runs it over runs of up to kBandRunFrames frames (one empty run for an empty block,
// so the output side still begins and ends the block), then ends it.
template <class Io, class Sink>
void driveBlock(const Io& io, int frames, const BlockStart& start, ProcessorState& state, const LiveParams& params,
                EngineRandom& random, Sink& sink) {
    const DerivedDesign* design = takeDesign(state.designs);
    const bool resetDue = idleResetDue(state, start.now);
    sink.beforeBlock(design != nullptr || resetDue);
    beginInputSide(state, params, design, resetDue);
    int offset = 0;
    do {
        RunHandoff& run = sink.nextRun();
        run.start = start;
        run.blockFrames = frames;
        run.offset = offset;
        run.frames = frames - offset < kBandRunFrames ? frames - offset : kBandRunFrames;
        run.blockBegins = offset == 0;
        run.blockEnds = offset + run.frames == frames;
        runInputSide(io, state, params, random, run);
        offset += run.frames;
        sink.handOver(run);
    } while (offset < frames);
    endInputSide(state, params);
}
