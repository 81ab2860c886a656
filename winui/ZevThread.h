// Worker threads with a pure body, periodic timers, the millisecond clock since start-up, and opening a document
// with the desktop. The program-wide lock `GlobalLock` is in GlobalLock.h.
//
// A thread can suspend only itself; Resume from any thread gives it a permit, and a resume that comes before the
// suspension is kept, so the thread then does not sleep at all.
#pragma once

#include "GlobalLock.h"
#include "ZevDebug.h"
#include "ZevPlatformThread.h"

#include <atomic>
#include <cstdint>

class TZevThread : public TZevAllocated {
public:
    TZevThread() = default;
    // Stops the thread. A derived class whose Execute uses its own members stops it in its own destructor.
    virtual ~TZevThread();
    TZevThread(const TZevThread&) = delete;
    TZevThread& operator=(const TZevThread&) = delete;

    // The thread body; its result is the thread's result.
    virtual std::uint32_t Execute() = 0;

    // Starts the thread (stop and suspended flags cleared); true when it runs.
    bool Start();
    // On the thread itself: waits until resumed (at once when a resume came first). Ignored from other threads.
    void Suspend();
    // 1 when the thread was suspended and runs again, 0 when it was running (the resume then waits for it).
    std::int32_t Resume();
    // Sets the stop flag, resumes the thread and waits for its end. Nothing for a thread never started.
    void Stop();
    bool IsStarted() const { return Thread.IsStarted(); }

    // 1 while the thread waits in Suspend (it clears the flag itself as it wakes).
    std::atomic<std::int32_t> SuspendedFlag{1};
    std::atomic<std::uint32_t> ThreadId{0};
    std::atomic<std::int32_t> StopFlag{1};

private:
    static std::uint32_t ZevThreadProc(void* self);
    TZevPlatformThread Thread;
};

class TZevMMTimer : public TZevAllocated {
public:
    TZevMMTimer() = default;
    // Kills the timer: no OnTimer runs after this returns. A derived class kills it in its own destructor first.
    virtual ~TZevMMTimer();
    TZevMMTimer(const TZevMMTimer&) = delete;
    TZevMMTimer& operator=(const TZevMMTimer&) = delete;

    // Called on the timer's own thread at every period.
    virtual void OnTimer() {}
    // Starts the periodic timer (a running one is killed first); returns its id.
    std::uint32_t Start();
    // Kills the timer; no OnTimer runs after it returns (unless called from OnTimer itself).
    void Stop();

    std::uint32_t TimerId = 0;
    std::uint32_t Interval = 20;
    std::uint32_t Resolution = 5;
};

// Milliseconds since start-up.
double GetElapsedMilliseconds();
// The elapsed time between two readings of the 32-bit millisecond counter, across one wrap of it.
double ElapsedBetween(std::uint32_t now, std::uint32_t start);
// Opens a document with the desktop's opener; true when it was started.
bool ShellOpen(const char* file, const char* parameters);
// The counter reading taken at start-up.
extern std::uint32_t StartTime;
