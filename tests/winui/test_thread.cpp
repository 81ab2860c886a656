// Threads, resume permits, periodic timers, pool slots and the millisecond clock.
#include "ZevObjPool.h"
#include "ZevThread.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

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

// Notes the time of its first ticks.
class TStampTimer : public TZevMMTimer {
public:
    explicit TStampTimer(int wanted) : Stamps(static_cast<std::size_t>(wanted)) {}
    ~TStampTimer() override { Stop(); }
    void OnTimer() override
    {
        const int k = Count++;
        if (k < static_cast<int>(Stamps.size())) {
            Stamps[static_cast<std::size_t>(k)] = std::chrono::steady_clock::now();
            if (k + 1 == static_cast<int>(Stamps.size())) {
                std::lock_guard<std::mutex> lock(Mutex);
                Full = true;
                Filled.notify_all();
            }
        }
    }
    bool WaitForTicks(std::chrono::seconds limit)
    {
        std::unique_lock<std::mutex> lock(Mutex);
        return Filled.wait_for(lock, limit, [&] { return Full; });
    }
    std::vector<std::chrono::steady_clock::time_point> Stamps;
    std::atomic<int> Count{0};
    std::mutex Mutex;
    std::condition_variable Filled;
    bool Full = false;
};

// Its first callback waits until it is let go.
class TBlockingTimer : public TZevMMTimer {
public:
    ~TBlockingTimer() override { Stop(); }
    void OnTimer() override
    {
        if (Calls++ > 0)
            return;
        std::unique_lock<std::mutex> lock(Mutex);
        Inside = true;
        Changed.notify_all();
        Changed.wait(lock, [&] { return Released; });
        Ended = true;
    }
    std::atomic<int> Calls{0};
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Inside = false;
    bool Released = false;
    std::atomic<bool> Ended{false};
};

} // namespace

// Waits for what another thread does. The deadline is generous: a loaded machine may keep a thread from running
// for seconds, and the wait ends as soon as the event is there.
template <class F> bool WaitFor(F done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

TEST(ZevThreadTest, AResumeBeforeTheSuspendIsKeptAndStopEndsASuspendedThread)
{
    TPassThread t;
    // Resumes given before the thread ever suspends are not lost: it passes again instead of sleeping forever.
    t.Resume();
    ASSERT_TRUE(t.Start());
    t.Resume();
    EXPECT_TRUE(WaitFor([&] { return t.Passes >= 2; })) << t.Passes.load();
    EXPECT_TRUE(WaitFor([&] { return t.SuspendedFlag == 1; }));
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
        WaitFor([&] { return t.Slot != -2; });
        EXPECT_GE(t.Slot.load(), 0) << "thread " << i;
        t.Stop();
    }
    EXPECT_EQ(GetThreadPoolCount(), before);
}

TEST(ZevThreadTest, PeriodicTimerFiresAtItsPeriodAndNeverAfterItIsKilled)
{
    using Clock = std::chrono::steady_clock;
    constexpr int Period = 20;
    constexpr int Ticks = 31;
    auto* timer = new TStampTimer(Ticks);
    timer->Interval = Period;
    timer->Resolution = 1;
    const Clock::time_point start = Clock::now();
    ASSERT_NE(timer->Start(), 0u);
    ASSERT_TRUE(timer->WaitForTicks(std::chrono::seconds(60)));
    timer->Stop();
    const int ticks = timer->Count;
    // Nothing after the kill (it waits for a callback in progress).
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * Period));
    EXPECT_EQ(timer->Count.load(), ticks);
    // Tick k is due (k + 1) periods after the start and never comes earlier. On a loaded machine a tick may come
    // late and periods may be skipped, so the period is measured as the shortest time between two ticks.
    double shortest = 1e9;
    for (int k = 0; k < Ticks; ++k) {
        const double since = std::chrono::duration<double, std::milli>(timer->Stamps[k] - start).count();
        EXPECT_GE(since, (k + 1) * Period) << "tick " << k;
        if (k > 0)
            shortest = std::min(shortest, std::chrono::duration<double, std::milli>(timer->Stamps[k] -
                                                                                     timer->Stamps[k - 1])
                                              .count());
    }
    EXPECT_LT(shortest, 1.5 * Period);
    delete timer; // a running timer is killed before the object goes
    EXPECT_EQ(timeKillEvent(123456), MMSYSERR_INVALPARAM);
}

TEST(ZevThreadTest, KillingATimerWaitsForTheCallbackInProgress)
{
    TBlockingTimer timer;
    timer.Interval = 1;
    ASSERT_NE(timer.Start(), 0u);
    // Inside the callback, which waits until it is let go.
    {
        std::unique_lock<std::mutex> lock(timer.Mutex);
        ASSERT_TRUE(timer.Changed.wait_for(lock, std::chrono::seconds(60), [&] { return timer.Inside; }));
    }
    // Let go by another thread once the kill has returned, or a while after it began if it waits as it must.
    std::atomic<bool> stopped{false};
    std::thread letGo([&] {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (!stopped && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard<std::mutex> lock(timer.Mutex);
        timer.Released = true;
        timer.Changed.notify_all();
    });
    timer.Stop();
    const bool callbackEnded = timer.Ended;
    stopped = true;
    letGo.join();
    EXPECT_TRUE(callbackEnded) << "the kill returned while the callback was still running";
    EXPECT_EQ(timer.Calls.load(), 1);
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
