// Whether a block pipeline's second thread pays, judged from what the pipeline measures as it runs.
//
// Over a window of W on two threads, the calling thread and the worker together wait some time;
// were that more than W, one thread doing both threads' busy time would have been faster on any
// machine whose processors serve one thread as well as two. Where other work keeps the processors
// busy the scheduler's turns make that only a hint, so much waiting (kSuspectWaitShare of W) is
// checked by a window on one thread: its frames per second against those of the two-thread window
// before. One thread faster, or as fast (it costs less), keeps one thread for a hold, and then two
// are tried again; slower goes back to two for a back-off before the next check. Each doubles while
// the checks keep deciding the same way and starts afresh when one decides the other way, so a
// check misled by a passing burst of other work costs little. Frames per second include all the
// calling thread does besides (reading, measuring, writing), which both ways spend alike.
//
// Two threads are taken up only where a processor is free for the second: the pipeline looks at
// the start, and at the end of each hold, at how many tasks the system is running, and while none
// is free stays on one thread, looking again every kFreeProcessorPollNs. On a machine whose other
// processors are all busy the second thread is then never tried at all.
#pragma once

#include <cstdint>

constexpr int64_t kJudgeWindowNs = 100'000'000;
constexpr double kSuspectWaitShare = 0.6;
constexpr int64_t kFirstBackoffNs = 2'000'000'000;  // of a back-off and of a hold
constexpr int64_t kLongestBackoffNs = 16'000'000'000;
constexpr int64_t kFreeProcessorPollNs = 5'000'000;

// Running totals as the pipeline keeps them, read at a block start.
struct PipelineTotals {
    int64_t nowNs;     // a steady clock
    int64_t frames;    // frames submitted so far, on either thread count
    int64_t waitedNs;  // both threads' waiting for each other so far
    // A processor besides the calling thread's was free at nowNs: fewer tasks running than there
    // are processors, the calling thread counted and the worker not (asleep on one thread).
    bool processorFree;
};

struct ThreadJudge {
    int threads = 1;       // for the blocks from now on
    bool probing = false;  // on one thread for a window, to compare with twoThreadRate
    bool awaitingProcessor = true;  // on one thread until a processor is free for the second
    bool started = false;
    PipelineTotals windowStart{};  // the totals when the current window (or stretch on one thread) began
    double twoThreadRate = 0.0;    // frames per second of the two-thread window before the probe
    int64_t probeAfterNs = 0;      // no probe before
    int64_t probeBackoffNs = kFirstBackoffNs;
    int64_t oneThreadHoldNs = kFirstBackoffNs;  // of the stretch on one thread a check keeps
};

// From the system's load figures ("0.52 0.58 0.59 RUNNING/TASKS LASTPID", as /proc/loadavg
// gives them): whether fewer tasks are running than `processors`. True where the text does not
// say, so the judge's windows decide.
bool processorFreeByLoad(const char* loadText, long processors);
// Whether the judge decides anything at `nowNs`; the pipeline reads the totals only then.
bool judgeDue(const ThreadJudge& judge, int64_t nowNs);
// The threads to run the next block on. A change from 2 to 1 asks the caller to let the worker
// finish what it holds first.
int judgeThreads(ThreadJudge& judge, const PipelineTotals& totals);
