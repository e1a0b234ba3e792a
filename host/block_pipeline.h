// One engine's stream over two threads: the calling thread runs the chain's input side (input
// stages, the filter bank's split) and a worker of the pipeline's own the output side (band
// stages to the output), a few runs of frames behind. Each stage still sees its frames in order on
// one thread and the random draws stay on the input side, so the output is the same, bit for bit,
// as processBlock16 / processBlockDouble's on the same blocks. For long files and streams on a
// machine with a core to spare; not for the plug-ins, whose host owns the audio thread.
//
// The pipeline weighs, as it goes, whether the second thread pays (host/thread_judge.h). It takes
// up the second thread only where a processor is free for it (the worker is started then); where
// the two threads spend much of the time waiting for each other (processors busy with other work)
// and a stretch on one thread then goes faster, it lets the worker finish and runs the blocks on
// the calling thread alone, trying two threads again some seconds later; the bytes are the same
// either way. A waiting side spins only briefly, and only while the other is at work on what it
// waits for; otherwise it sleeps.
//
// Threads: one thread submits and waits. Settings handed over, a new filter design or an idle
// reset wait for the worker to finish what it holds before the block that takes them begins.
// Engines whose hooks poll (the module's own) cannot be run this way.
#pragma once

#include <cstdint>

struct Engine;
struct BlockPipeline;

// nullptr when the pipeline cannot be set up (or the engine polls). Its worker thread is started
// when the blocks first go to two threads.
BlockPipeline* startBlockPipeline(Engine& engine);
// Waits for what was submitted, then stops the worker.
void stopBlockPipeline(BlockPipeline* pipeline);

// One block, in place, as processBlock16 (16-bit stereo) or processBlockDouble (stereo) would
// process it. Returns once the input side has read the block: the samples are complete after
// waitForBlocks, and the buffer must stay in place until then.
void submitBlock16(BlockPipeline& pipeline, int16_t* interleaved, int frames);
void submitBlockDouble(BlockPipeline& pipeline, double* interleaved, int frames);
// Until the output side has written every frame submitted.
void waitForBlocks(BlockPipeline& pipeline);
// A mark of what was submitted so far, and the wait until the output side has written it all.
uint64_t submittedMark(const BlockPipeline& pipeline);
void waitForMark(BlockPipeline& pipeline, uint64_t mark);

// The threads the blocks run on now: 2, or 1 while the pipeline has fallen back.
int pipelineThreads(const BlockPipeline& pipeline);
// Keeps the pipeline on `threads` (1 or 2) from the next block on instead of its own judgement:
// for tests of the change between the two. Called from the submitting thread between blocks.
void pinPipelineThreads(BlockPipeline& pipeline, int threads);
