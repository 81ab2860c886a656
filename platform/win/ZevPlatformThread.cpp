#include "ZevPlatformThread.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

// ---- Threads -------------------------------------------------------------------------------------------------------

// One thread that runs the bodies handed to it, one after another.
struct TZevWorker {
    std::mutex mutex;
    std::condition_variable handed;
    TZevPlatformThread* job = nullptr;
};

namespace {

// Workers whose body has ended, waiting for the next one; the latest is taken first.
constexpr std::size_t MaxIdleWorkers = 2;

struct TWorkerPool {
    std::mutex mutex;
    std::vector<TZevWorker*> idle;
};

TWorkerPool& Workers()
{
    static TWorkerPool* pool = new TWorkerPool(); // idle workers wait in it until the process ends
    return *pool;
}

thread_local const TZevPlatformThread* tCurrent = nullptr;

} // namespace

void* TZevPlatformThread::RunWorker(void* self)
{
    auto* worker = static_cast<TZevWorker*>(self);
    for (;;) {
        TZevPlatformThread* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(worker->mutex);
            worker->handed.wait(lock, [&] { return worker->job != nullptr; });
            job = worker->job;
            worker->job = nullptr;
        }
        tCurrent = job;
        const std::uint32_t result = job->body(job->arg);
        tCurrent = nullptr;
        // Waiting before the joiner goes on: a Start that follows the Join takes this worker up again.
        bool kept = false;
        {
            TWorkerPool& pool = Workers();
            std::lock_guard<std::mutex> lock(pool.mutex);
            if (pool.idle.size() < MaxIdleWorkers) {
                pool.idle.push_back(worker);
                kept = true;
            }
        }
        job->Finish(result);
        if (!kept) {
            delete worker;
            return nullptr;
        }
    }
}

TZevPlatformThread::~TZevPlatformThread()
{
    if (IsStarted() && !IsCurrent())
        Join();
}

bool TZevPlatformThread::Start(TBody b, void* a)
{
    if (!b || started.exchange(true))
        return false;
    body = b;
    arg = a;
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = false;
        permit = false;
        waiting = false;
    }
    TZevWorker* worker = nullptr;
    {
        TWorkerPool& pool = Workers();
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (!pool.idle.empty()) {
            worker = pool.idle.back();
            pool.idle.pop_back();
        }
    }
    if (worker) {
        std::lock_guard<std::mutex> lock(worker->mutex);
        worker->job = this;
        worker->handed.notify_one();
        return true;
    }
    worker = new TZevWorker();
    worker->job = this;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int made = pthread_create(&thread, &attributes, RunWorker, worker);
    pthread_attr_destroy(&attributes);
    if (made != 0) {
        delete worker;
        started = false;
        return false;
    }
    return true;
}

void TZevPlatformThread::Finish(std::uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    result = value;
    finished = true;
    ended.notify_all();
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
    if (!IsStarted() || IsCurrent())
        return 0;
    std::uint32_t value = 0;
    {
        std::unique_lock<std::mutex> lock(mutex);
        ended.wait(lock, [this] { return finished; });
        value = result;
    }
    started = false;
    return value;
}

bool TZevPlatformThread::IsCurrent() const { return tCurrent == this; }

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
