#include "ZevPlatformThread.h"

#include <time.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <unordered_map>

TZevPlatformThread::~TZevPlatformThread()
{
    if (started && !IsCurrent())
        Join();
}

void* TZevPlatformThread::Entry(void* self)
{
    auto* t = static_cast<TZevPlatformThread*>(self);
    t->result = t->body(t->arg);
    return nullptr;
}

bool TZevPlatformThread::Start(TBody b, void* a)
{
    if (started || !b)
        return false;
    body = b;
    arg = a;
    {
        std::lock_guard<std::mutex> lock(mutex);
        permit = false;
        waiting = false;
    }
    if (pthread_create(&thread, nullptr, Entry, this) != 0)
        return false;
    started = true;
    return true;
}

void TZevPlatformThread::WaitForResume()
{
    std::unique_lock<std::mutex> lock(mutex);
    waiting = true;
    wake.wait(lock, [this] { return permit; });
    permit = false;
    waiting = false;
}

int TZevPlatformThread::Resume()
{
    std::lock_guard<std::mutex> lock(mutex);
    const int wasWaiting = waiting && !permit ? 1 : 0;
    permit = true;
    wake.notify_one();
    return wasWaiting;
}

std::uint32_t TZevPlatformThread::Join()
{
    if (!started)
        return 0;
    if (IsCurrent())
        return 0;
    pthread_join(thread, nullptr);
    started = false;
    return result;
}

bool TZevPlatformThread::IsCurrent() const { return started && pthread_equal(thread, pthread_self()); }

// ---- Timers --------------------------------------------------------------------------------------------------------

namespace {

struct Timer {
    std::uint32_t id = 0;
    std::uint32_t period = 20;
    bool periodic = true;
    TZevTimerProc proc = nullptr;
    std::uintptr_t user = 0;
    std::mutex mutex;
    std::condition_variable stop;
    bool killed = false;
    std::thread thread;
};

struct TimerTable {
    std::mutex mutex;
    std::unordered_map<std::uint32_t, std::shared_ptr<Timer>> timers;
    std::uint32_t next = 1;
};

TimerTable& Timers()
{
    static TimerTable* table = new TimerTable(); // timers may be killed by static destructors at exit
    return *table;
}

void RunTimer(std::shared_ptr<Timer> t)
{
    using clock = std::chrono::steady_clock; // CLOCK_MONOTONIC
    const auto period = std::chrono::milliseconds(t->period);
    auto next = clock::now() + period;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(t->mutex);
            if (t->stop.wait_until(lock, next, [&] { return t->killed; }))
                return;
        }
        t->proc(t->id, 0, t->user, 0, 0);
        if (!t->periodic)
            return;
        next += period;
        // A late callback does not make the timer fire in a burst to catch up.
        const auto now = clock::now();
        if (next <= now)
            next = now + period - std::chrono::duration_cast<clock::duration>((now - next) % period);
    }
}

} // namespace

std::uint32_t timeSetEvent(std::uint32_t delay, std::uint32_t, TZevTimerProc proc, std::uintptr_t user,
                           std::uint32_t flags)
{
    if (!proc)
        return 0;
    auto t = std::make_shared<Timer>();
    t->period = delay < 1 ? 1 : delay;
    t->periodic = (flags & TIME_PERIODIC) != 0;
    t->proc = proc;
    t->user = user;
    TimerTable& table = Timers();
    std::lock_guard<std::mutex> lock(table.mutex);
    do {
        t->id = table.next++;
    } while (t->id == 0 || table.timers.count(t->id));
    table.timers[t->id] = t;
    // The thread starts under the lock, so a kill always finds it made.
    t->thread = std::thread(RunTimer, t);
    return t->id;
}

std::uint32_t timeKillEvent(std::uint32_t id)
{
    std::shared_ptr<Timer> t;
    {
        TimerTable& table = Timers();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.timers.find(id);
        if (it == table.timers.end())
            return MMSYSERR_INVALPARAM;
        t = it->second;
        table.timers.erase(it);
    }
    {
        std::lock_guard<std::mutex> lock(t->mutex);
        t->killed = true;
    }
    t->stop.notify_all();
    if (t->thread.get_id() == std::this_thread::get_id())
        t->thread.detach(); // killed from its own callback: it ends when the callback returns
    else if (t->thread.joinable())
        t->thread.join();
    return TIMERR_NOERROR;
}

std::uint32_t timeGetTime()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

std::uint32_t timeBeginPeriod(std::uint32_t) { return TIMERR_NOERROR; }
std::uint32_t timeEndPeriod(std::uint32_t) { return TIMERR_NOERROR; }

void ZevSleep(std::uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
