// Threads, resume permits, periodic timers, pool slots and the millisecond clock.
#include "ZevObjPool.h"
#include "ZevThread.h"

#include <gtest/gtest.h>

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
