// The block pipeline's judgement of its second thread, from windows of measured totals.
#include "host/thread_judge.h"

#include <cstdlib>
#include <cstring>

namespace {

void startWindow(ThreadJudge& judge, const PipelineTotals& totals) { judge.windowStart = totals; }

int64_t doubled(int64_t spanNs) { return spanNs * 2 < kLongestBackoffNs ? spanNs * 2 : kLongestBackoffNs; }

// How long the current window, stretch on one thread, or wait for a free processor lasts.
int64_t spanOf(const ThreadJudge& judge) {
    if (judge.awaitingProcessor) return kFreeProcessorPollNs;
    if (judge.threads == 1 && !judge.probing) return judge.oneThreadHoldNs;
    return kJudgeWindowNs;
}

}  // namespace

bool processorFreeByLoad(const char* loadText, long processors) {
    const char* field = loadText;
    for (int skipped = 0; skipped < 3 && field != nullptr; ++skipped) {
        field = std::strchr(field, ' ');
        if (field != nullptr) ++field;
    }
    if (field == nullptr) return true;
    char* end = nullptr;
    const long running = std::strtol(field, &end, 10);
    if (end == field || *end != '/' || running <= 0 || processors <= 0) return true;
    return running < processors;
}

bool judgeDue(const ThreadJudge& judge, int64_t nowNs) {
    return !judge.started || nowNs - judge.windowStart.nowNs >= spanOf(judge);
}

int judgeThreads(ThreadJudge& judge, const PipelineTotals& totals) {
    const bool due = judgeDue(judge, totals.nowNs);
    judge.started = true;
    if (!due) return judge.threads;
    if (judge.threads == 1 && !judge.probing && !judge.awaitingProcessor) {
        judge.oneThreadHoldNs = doubled(judge.oneThreadHoldNs);  // the next, should one win again
        judge.awaitingProcessor = true;  // the hold is over: two threads where a processor is free
    }
    if (judge.awaitingProcessor) {
        if (totals.processorFree) {
            judge.awaitingProcessor = false;
            judge.threads = 2;
        }
        startWindow(judge, totals);
        return judge.threads;
    }
    const int64_t elapsedNs = totals.nowNs - judge.windowStart.nowNs;
    const double rate = static_cast<double>(totals.frames - judge.windowStart.frames) * 1e9 / elapsedNs;
    if (judge.threads == 2) {
        const int64_t waitedNs = totals.waitedNs - judge.windowStart.waitedNs;
        if (static_cast<double>(waitedNs) > kSuspectWaitShare * static_cast<double>(elapsedNs) &&
            totals.nowNs >= judge.probeAfterNs) {
            judge.threads = 1;
            judge.probing = true;
            judge.twoThreadRate = rate;
        }
    } else {
        judge.probing = false;
        if (rate < judge.twoThreadRate) {
            judge.threads = 2;
            judge.probeAfterNs = totals.nowNs + judge.probeBackoffNs;
            judge.probeBackoffNs = doubled(judge.probeBackoffNs);
            judge.oneThreadHoldNs = kFirstBackoffNs;
        } else {
            judge.probeBackoffNs = kFirstBackoffNs;
        }
    }
    startWindow(judge, totals);
    return judge.threads;
}
