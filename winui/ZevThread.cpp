#include "ZevThread.h"

#include "ZevObjPool.h"
#include "ZevWinApi.h"

std::uint32_t StartTime = timeGetTime();

TZevThread::~TZevThread() { Stop(); }

std::uint32_t TZevThread::ZevThreadProc(void* self)
{
    auto* thread = static_cast<TZevThread*>(self);
    // The new thread takes its pool slot under the program-wide lock; the slot goes back when the thread ends.
    GlobalLock.Enter();
    AttachThreadNodePools();
    GlobalLock.Leave();
    const std::uint32_t result = thread->Execute();
    // The worker that ran the body may run another thread's next: the slot goes back as at a thread's end.
    ReleaseThreadNodePools();
    return result;
}

bool TZevThread::Start()
{
    StopFlag = 0;
    SuspendedFlag = 0;
    static std::atomic<std::uint32_t> serial{1};
    ThreadId = serial++;
    return Thread.Start(ZevThreadProc, this);
}

void TZevThread::Suspend()
{
    if (!Thread.IsCurrent())
        return;
    SuspendedFlag = 1;
    Thread.WaitForResume();
    SuspendedFlag = 0;
}

// The flag is the thread's own to clear as it wakes: cleared here, after the wake, it could wipe out the mark of the
// thread's next suspension, and the thread would sleep while the flag said it ran.
std::int32_t TZevThread::Resume() { return Thread.Resume(); }

void TZevThread::Stop()
{
    if (!Thread.IsStarted() || Thread.IsCurrent())
        return;
    StopFlag = 1;
    // Always a permit: a thread about to suspend itself finds it and sees the stop flag.
    Resume();
    Thread.Join();
}

namespace {

void ZevTimerProc(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t)
{
    reinterpret_cast<TZevMMTimer*>(user)->OnTimer();
}

} // namespace

TZevMMTimer::~TZevMMTimer() { Stop(); }

std::uint32_t TZevMMTimer::Start()
{
    Stop();
    TimerId = timeSetEvent(Interval, Resolution, ZevTimerProc, reinterpret_cast<std::uintptr_t>(this),
                           TIME_PERIODIC);
    return TimerId;
}

void TZevMMTimer::Stop()
{
    if (TimerId)
        timeKillEvent(TimerId);
    TimerId = 0;
}

double ElapsedBetween(std::uint32_t now, std::uint32_t start)
{
    const auto difference = static_cast<std::int32_t>(now - start);
    double ms = static_cast<double>(difference);
    if (difference < 0)
        ms += 4294967296.0;
    return ms;
}

double GetElapsedMilliseconds() { return ElapsedBetween(timeGetTime(), StartTime); }

bool ShellOpen(const char* file, const char* parameters) { return ZevShellOpen(file, parameters); }
