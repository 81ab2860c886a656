// Threads, resume permits, periodic timers, pool slots and the millisecond clock.
#include "ZevObjPool.h"
#include "ZevThread.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Suspends itself after every pass until told to stop; counts its passes.
class TPassThread : public TZevThread {
public:
    ~TPassThread() override { Stop(); }
    std::uint32_t Execute() override
    {
        Slot = GetThreadPoolIndex();
        while (!StopFlag) {
            ++Passes;
            if (!StopFlag)
                Suspend();
        }
        return 0;
    }
    std::atomic<int> Passes{0};
    std::atomic<int> Slot{-2};
};

class TCountTimer : public TZevMMTimer {
public:
    ~TCountTimer() override { Stop(); }
    void OnTimer() override { ++Ticks; }
    std::atomic<int> Ticks{0};
};

} // namespace

TEST(ZevThreadTest, AResumeBeforeTheSuspendIsKeptAndStopEndsASuspendedThread)
{
    TPassThread t;
    // Resumes given before the thread ever suspends are not lost: it passes again instead of sleeping forever.
    t.Resume();
    ASSERT_TRUE(t.Start());
    t.Resume();
    for (int i = 0; i < 200 && t.Passes < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(t.Passes.load(), 2);
    for (int i = 0; i < 200 && !t.SuspendedFlag; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(t.SuspendedFlag.load(), 1);
    EXPECT_EQ(t.Resume(), 1); // it was asleep and runs again
    t.Stop();
    EXPECT_FALSE(t.IsStarted());
    TPassThread never;
    never.Stop(); // never started: nothing happens
}

// A thread that suspends itself as its first act: the suspension must hold even when the new thread runs before
// Start has returned to its caller.
class TSuspendFirstThread : public TZevThread {
public:
    ~TSuspendFirstThread() override { Stop(); }
    std::uint32_t Execute() override
    {
        Suspend();
        Ran = 1;
        Worker = gettid();
        return 0;
    }
    std::atomic<int> Ran{0};
    pid_t Worker = 0; // the kernel's thread id: never the same for two threads alive at once
};

template <class F> bool WaitFor(F done)
{
    for (int i = 0; i < 5000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

TEST(ZevThreadTest, AThreadThatSuspendsAtOnceStaysSuspendedUntilResumed)
{
    for (int i = 0; i < 100; ++i) {
        TSuspendFirstThread t;
        ASSERT_TRUE(t.Start());
        ASSERT_TRUE(WaitFor([&] { return t.SuspendedFlag == 1 || t.Ran == 1; })) << i;
        ASSERT_EQ(t.Ran.load(), 0) << "the suspension was skipped at start " << i;
        EXPECT_EQ(t.Resume(), 1);
        EXPECT_TRUE(WaitFor([&] { return t.Ran == 1; }));
        t.Stop();
    }
}

// Each thread keeps the heap arena it touched: threads started one after another run on one worker, so that
// opening views for hours does not leave an arena behind per view.
TEST(ZevThreadTest, ThreadsStartedOneAfterAnotherRunOnTheSameWorker)
{
    pid_t first = 0;
    for (int i = 0; i < 5; ++i) {
        TSuspendFirstThread t;
        ASSERT_TRUE(t.Start());
        t.Resume();
        t.Stop();
        ASSERT_EQ(t.Ran.load(), 1);
        if (i == 0)
            first = t.Worker;
        else
            EXPECT_EQ(t.Worker, first) << "a new thread for start " << i;
    }
}

TEST(ZevThreadTest, EachThreadGetsAPoolSlotAndGivesItBackWhenItEnds)
{
    GetThreadPoolIndex();
    const int before = GetThreadPoolCount();
    // More threads, one after another, than there are slots: each still gets one.
    for (int i = 0; i < ThreadPoolSlots * 3; ++i) {
        TPassThread t;
        ASSERT_TRUE(t.Start());
        for (int k = 0; k < 400 && t.Slot == -2; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_GE(t.Slot.load(), 0) << "thread " << i;
        t.Stop();
    }
    EXPECT_EQ(GetThreadPoolCount(), before);
}

TEST(ZevThreadTest, PeriodicTimerFiresAtItsPeriodAndNeverAfterItIsKilled)
{
    auto* timer = new TCountTimer();
    timer->Interval = 1;
    timer->Resolution = 1;
    ASSERT_NE(timer->Start(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    timer->Stop();
    const int ticks = timer->Ticks;
    EXPECT_GT(ticks, 20); // about 100 at 1 ms; a loaded machine gives fewer, never none
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(timer->Ticks.load(), ticks);
    delete timer; // a running timer is killed before the object goes
    EXPECT_EQ(timeKillEvent(123456), MMSYSERR_INVALPARAM);
}

TEST(ZevThreadTest, ElapsedTimeStaysPositiveAcrossTheCounterWrap)
{
    struct Case {
        std::uint32_t now, start;
        double expected;
    };
    for (const Case& c : {Case{1500, 1000, 500.0}, Case{10, 0xFFFFFFF6u, 20.0},
                          Case{0x80000010u, 0x10, 2147483648.0}, Case{5, 5, 0.0}})
        EXPECT_EQ(ElapsedBetween(c.now, c.start), c.expected) << c.now << " " << c.start;
    EXPECT_GE(GetElapsedMilliseconds(), 0.0);
}
