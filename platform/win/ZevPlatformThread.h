// Threads, periodic timers and the millisecond clock over pthreads and CLOCK_MONOTONIC.
//
// Suspension is a permit: a thread can only suspend itself (WaitForResume), and a Resume that arrives before the
// thread waits is kept, so a resume is never lost and a render thread never sleeps forever.
//
// A body runs on a worker thread that outlives it: when the body ends its worker waits (up to two do) for the
// next Start. Each thread of the process gets a heap arena of its own from the C library, which keeps the memory
// it touched; a new thread for every view opened would leave one such arena behind per view, where a worker
// taken up again reuses its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TZevPlatformThread {
public:
    typedef std::uint32_t (*TBody)(void* arg);

    TZevPlatformThread() = default;
    // Waits for a body still running (it must end by itself).
    ~TZevPlatformThread();
    TZevPlatformThread(const TZevPlatformThread&) = delete;
    TZevPlatformThread& operator=(const TZevPlatformThread&) = delete;

    // Runs body(arg) on another thread; false when one runs already or no thread could be made.
    bool Start(TBody body, void* arg);
    // On the thread itself: takes the permit, waiting for it when there is none.
    void WaitForResume();
    // Gives the permit. 1 when the thread was waiting for it (it runs again now), 0 when it was running (the permit
    // waits for its next WaitForResume).
    int Resume();
    // Waits until the body has ended; its result (0 when none was started, or when called by the body itself).
    std::uint32_t Join();
    // From Start until Join: set before the body can run, so the body sees itself started.
    bool IsStarted() const { return started.load(); }
    // Whether the caller is the body of this object.
    bool IsCurrent() const;

private:
    // The loop of a worker thread (a TZevWorker).
    static void* RunWorker(void* worker);
    // The worker's last touch of this object: the result, then a joiner may go on (and free the object).
    void Finish(std::uint32_t value);

    std::atomic<bool> started{false};
    TBody body = nullptr;
    void* arg = nullptr;
    std::uint32_t result = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable ended;
    bool finished = false;
    bool permit = false;
    bool waiting = false;
};

// Periodic and one-shot timers, each on a thread of its own, paced by absolute deadlines on the monotonic clock.
typedef void (*TZevTimerProc)(std::uint32_t id, std::uint32_t message, std::uintptr_t user, std::uintptr_t,
                              std::uintptr_t);
constexpr std::uint32_t TIME_ONESHOT = 0;
constexpr std::uint32_t TIME_PERIODIC = 1;
constexpr std::uint32_t TIMERR_NOERROR = 0;
constexpr std::uint32_t MMSYSERR_INVALPARAM = 11;

// Starts a timer: proc(id, 0, user, 0, 0) every `delay` ms (1 ms at least); the resolution is met by the
// monotonic clock whatever is asked. Returns its id (never 0), or 0 for a null proc.
std::uint32_t timeSetEvent(std::uint32_t delay, std::uint32_t resolution, TZevTimerProc proc, std::uintptr_t user,
                           std::uint32_t flags);
// Stops the timer: when it returns, proc is not running and will not be called again (called from proc itself it
// only stops later calls). MMSYSERR_INVALPARAM for an unknown id.
std::uint32_t timeKillEvent(std::uint32_t id);
// Milliseconds of the monotonic clock, wrapping at 2^32.
std::uint32_t timeGetTime();
std::uint32_t timeBeginPeriod(std::uint32_t period);
std::uint32_t timeEndPeriod(std::uint32_t period);
// Sleeps the calling thread.
void ZevSleep(std::uint32_t milliseconds);
