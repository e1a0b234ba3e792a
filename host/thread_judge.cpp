// The block pipeline's judgement of its second thread, from windows of measured totals.
#include "host/thread_judge.h"

namespace {

void startWindow(ThreadJudge& judge, const PipelineTotals& totals) { judge.windowStart = totals; }

int64_t doubled(int64_t spanNs) { return spanNs * 2 < kLongestBackoffNs ? spanNs * 2 : kLongestBackoffNs; }

}  // namespace

int judgeThreads(ThreadJudge& judge, const PipelineTotals& totals) {
    if (!judge.started) {
        judge.started = true;
        startWindow(judge, totals);
        return judge.threads;
    }
    const int64_t elapsedNs = totals.nowNs - judge.windowStart.nowNs;
    if (judge.threads == 1 && !judge.probing) {
        if (elapsedNs >= judge.oneThreadHoldNs) {
            judge.threads = 2;
            judge.oneThreadHoldNs = doubled(judge.oneThreadHoldNs);  // the next, should one win again
            startWindow(judge, totals);
        }
        return judge.threads;
    }
    if (elapsedNs < kJudgeWindowNs) return judge.threads;
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
