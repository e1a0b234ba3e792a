// The pipeline's judgement of its second thread, on made-up totals: which windows make it try one
// thread, what the try decides, the back-off, the hold on one thread, the retry, and the wait for
// a free processor.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/thread_judge.h"

namespace {

// Feeds the judge windows of kJudgeWindowNs as a pipeline would at block starts.
struct Feed {
    ThreadJudge judge;
    PipelineTotals totals{1'000'000, 0, 0, true};

    explicit Feed(bool processorFree = true) {
        totals.processorFree = processorFree;
        judgeThreads(judge, totals);
    }

    // One window at `framesPerSecond`, both threads waiting `waitShare` of it; the threads after it.
    int window(double framesPerSecond, double waitShare) {
        totals.nowNs += kJudgeWindowNs;
        totals.frames += static_cast<int64_t>(framesPerSecond * kJudgeWindowNs / 1e9);
        totals.waitedNs += static_cast<int64_t>(waitShare * kJudgeWindowNs);
        return judgeThreads(judge, totals);
    }
    // Time passing on one thread at `framesPerSecond`, judged at blocks every millisecond.
    int runFor(int64_t spanNs, double framesPerSecond) {
        int threads = judge.threads;
        for (int64_t at = 0; at < spanNs; at += 1'000'000) {
            totals.nowNs += 1'000'000;
            totals.frames += static_cast<int64_t>(framesPerSecond / 1000);
            threads = judgeThreads(judge, totals);
        }
        return threads;
    }
};

constexpr double kRate = 6'000'000.0;  // frames per second, any

TEST(ThreadJudge, LittleWaitingKeepsTwoThreadsWithoutTrying) {
    Feed feed;
    for (int i = 0; i < 50; ++i) EXPECT_EQ(feed.window(kRate, kSuspectWaitShare * 0.9), 2) << i;
}

TEST(ThreadJudge, AWindowShorterThanTheJudgedLengthDecidesNothing) {
    Feed feed;
    feed.totals.nowNs += kJudgeWindowNs - 1;
    feed.totals.waitedNs += kJudgeWindowNs - 1;
    EXPECT_EQ(judgeThreads(feed.judge, feed.totals), 2);
    EXPECT_EQ(feed.window(kRate, 1.0), 1);
}

TEST(ThreadJudge, MuchWaitingTriesOneThreadAndKeepsItWhereItIsFasterForLongerEachTime) {
    Feed feed;
    int64_t holdNs = kFirstBackoffNs;
    for (int round = 0; round < 6; ++round) {
        EXPECT_EQ(feed.window(kRate, 0.95), 1) << round;
        EXPECT_EQ(feed.window(kRate * 1.1, 0.0), 1) << round;  // the try: faster
        // Kept for the hold, then two again, judged afresh.
        EXPECT_EQ(feed.runFor(holdNs - 2'000'000, kRate), 1) << round;
        EXPECT_EQ(feed.runFor(2'000'000, kRate), 2) << round;
        holdNs = holdNs * 2 < kLongestBackoffNs ? holdNs * 2 : kLongestBackoffNs;
    }
    EXPECT_EQ(feed.window(kRate, 0.1), 2);
}

TEST(ThreadJudge, ATryThatIsSlowerStartsTheHoldOnOneThreadAfresh) {
    Feed feed;
    EXPECT_EQ(feed.window(kRate, 0.95), 1);
    EXPECT_EQ(feed.window(kRate * 1.1, 0.0), 1);
    EXPECT_EQ(feed.runFor(kFirstBackoffNs, kRate), 2);
    EXPECT_EQ(feed.window(kRate, 0.95), 1);
    EXPECT_EQ(feed.window(kRate * 0.5, 0.0), 2);  // slower this time
    feed.runFor(kFirstBackoffNs, kRate);           // the back-off
    EXPECT_EQ(feed.window(kRate, 0.95), 1);
    EXPECT_EQ(feed.window(kRate * 1.1, 0.0), 1);
    EXPECT_EQ(feed.runFor(kFirstBackoffNs - 2'000'000, kRate), 1);
    EXPECT_EQ(feed.runFor(2'000'000, kRate), 2);
}

TEST(ThreadJudge, NoFreeProcessorKeepsOneThreadUntilOneIsFreeAtTheStartAndAfterAHold) {
    Feed feed(false);
    EXPECT_EQ(feed.judge.threads, 1);
    EXPECT_EQ(feed.runFor(3 * kFirstBackoffNs, kRate), 1);
    feed.totals.processorFree = true;
    EXPECT_EQ(feed.runFor(kFreeProcessorPollNs, kRate), 2);

    EXPECT_EQ(feed.window(kRate, 0.95), 1);
    EXPECT_EQ(feed.window(kRate * 1.1, 0.0), 1);  // the try: faster, so a hold
    feed.totals.processorFree = false;
    EXPECT_EQ(feed.runFor(3 * kFirstBackoffNs, kRate), 1);
    feed.totals.processorFree = true;
    EXPECT_EQ(feed.runFor(kFreeProcessorPollNs, kRate), 2);
}

TEST(ThreadJudge, AProcessorIsFreeWhileFewerTasksRunThanThereAreProcessors) {
    EXPECT_TRUE(processorFreeByLoad("0.52 0.58 0.59 1/345 12345\n", 2));
    EXPECT_FALSE(processorFreeByLoad("0.52 0.58 0.59 2/345 12345\n", 2));
    EXPECT_FALSE(processorFreeByLoad("9.00 8.00 7.00 12/345 12345\n", 8));
    EXPECT_TRUE(processorFreeByLoad("9.00 8.00 7.00 7/345 12345\n", 8));
    // Text that does not say leaves it to the windows.
    for (const char* unreadable : {"", "0.52 0.58", "0.52 0.58 0.59 x/345", "0.52 0.58 0.59 2"}) {
        EXPECT_TRUE(processorFreeByLoad(unreadable, 2)) << unreadable;
    }
}

TEST(ThreadJudge, AsFastOnOneThreadKeepsOne) {
    Feed feed;
    EXPECT_EQ(feed.window(kRate, 0.9), 1);
    EXPECT_EQ(feed.window(kRate, 0.0), 1);
}

TEST(ThreadJudge, ATryThatIsSlowerGoesBackToTwoAndBacksOffLongerEachTime) {
    Feed feed;
    int64_t backoffNs = kFirstBackoffNs;
    for (int round = 0; round < 6; ++round) {
        EXPECT_EQ(feed.window(kRate, 0.9), 1) << round;
        EXPECT_EQ(feed.window(kRate * 0.8, 0.0), 2) << round;  // the try: slower
        // No new try while the back-off lasts, however much the threads wait.
        for (int64_t waitedNs = 0; waitedNs + kJudgeWindowNs < backoffNs; waitedNs += kJudgeWindowNs) {
            EXPECT_EQ(feed.window(kRate, 1.0), 2) << round;
        }
        feed.totals.nowNs += backoffNs;  // past it, without waiting
        judgeThreads(feed.judge, feed.totals);
        backoffNs = backoffNs * 2 < kLongestBackoffNs ? backoffNs * 2 : kLongestBackoffNs;
    }
}

}  // namespace
