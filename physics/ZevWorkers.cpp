#include "ZevWorkers.h"

#include <algorithm>

namespace {

// A helper looks for new work this many times before it sleeps: the satisfy pass hands out jobs in quick
// succession, and a wake-up through the condition variable costs more than a short look.
constexpr int SpinRounds = 4000;

inline void Pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

} // namespace

TZevWorkers::TZevWorkers(int threads)
{
    const int n = std::clamp(threads, 1, 64) - 1;
    helpers.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        helpers.emplace_back([this] { HelperLoop(); });
}

TZevWorkers::~TZevWorkers()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        ++generation;
        published.store(generation, std::memory_order_release);
    }
    wake.notify_all();
    for (std::thread& t : helpers)
        t.join();
}

void TZevWorkers::Work()
{
    for (;;) {
        const std::size_t begin = next.fetch_add(chunk, std::memory_order_relaxed);
        if (begin >= count)
            return;
        jobCall(jobContext, begin, std::min(count, begin + chunk));
    }
}

void TZevWorkers::Run(std::size_t n, std::size_t grain, void* context, TChunkCall call)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        count = n;
        chunk = grain;
        jobContext = context;
        jobCall = call;
        next.store(0, std::memory_order_relaxed);
        busy.store(static_cast<int>(helpers.size()), std::memory_order_relaxed);
        ++generation;
        published.store(generation, std::memory_order_release);
    }
    wake.notify_all();
    Work();
    // The job's items are all taken; wait until every helper has left it.
    for (int i = 0; i < SpinRounds; ++i) {
        if (busy.load(std::memory_order_acquire) == 0)
            return;
        Pause();
    }
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [this] { return busy.load(std::memory_order_acquire) == 0; });
}

void TZevWorkers::HelperLoop()
{
    std::uint64_t seen = 0;
    for (;;) {
        bool found = false;
        for (int i = 0; i < SpinRounds && !found; ++i) {
            found = published.load(std::memory_order_acquire) != seen;
            if (!found)
                Pause();
        }
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return generation != seen; });
            seen = generation;
            if (stopping)
                return;
        }
        Work();
        if (busy.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::lock_guard<std::mutex> lock(mutex);
            done.notify_one();
        }
    }
}

int ZevMachineThreads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(n, 1u, 8u));
}
