#include "ZevWorkers.h"

#include <algorithm>

namespace {

// A helper looks for a new job this many times before it sleeps: the satisfy pass hands out jobs in quick
// succession, and a wake-up through the condition variable costs more than a short look.
constexpr int SpinRounds = 2000;

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
    }
    wake.notify_all();
    for (std::thread& t : helpers)
        t.join();
}

void TZevWorkers::Work(std::uint32_t job)
{
    const std::uint32_t n = count.load(std::memory_order_relaxed);
    const std::uint32_t step = chunk.load(std::memory_order_relaxed);
    TChunkCall call = jobCall.load(std::memory_order_relaxed);
    void* context = jobContext.load(std::memory_order_relaxed);
    std::uint64_t seen = next.load(std::memory_order_acquire);
    for (;;) {
        if (static_cast<std::uint32_t>(seen >> 32) != job)
            return;
        const std::uint32_t begin = static_cast<std::uint32_t>(seen);
        if (begin >= n)
            return;
        const std::uint32_t end = std::min(n, begin + step);
        // The chunk is ours only while the job is still this one.
        if (!next.compare_exchange_weak(seen, (static_cast<std::uint64_t>(job) << 32) | end,
                                        std::memory_order_acq_rel, std::memory_order_acquire))
            continue;
        call(context, begin, end);
        finished.fetch_add(end - begin, std::memory_order_acq_rel);
        seen = next.load(std::memory_order_acquire);
    }
}

void TZevWorkers::Run(std::uint32_t n, std::uint32_t grain, void* context, TChunkCall call)
{
    std::uint32_t job = published.load(std::memory_order_relaxed) + 1;
    if (job == 0)
        job = 1; // 0 is what a helper has seen before its first job
    // The last job is closed before its fields change: a helper still in it, which may read the new fields, can
    // no longer take a chunk of it.
    next.exchange((static_cast<std::uint64_t>(job) << 32) | 0xFFFFFFFFu, std::memory_order_acq_rel);
    count.store(n, std::memory_order_relaxed);
    chunk.store(grain, std::memory_order_relaxed);
    jobContext.store(context, std::memory_order_relaxed);
    jobCall.store(call, std::memory_order_relaxed);
    finished.store(0, std::memory_order_relaxed);
    next.store(static_cast<std::uint64_t>(job) << 32, std::memory_order_release);
    published.store(job, std::memory_order_release);
    bool anyAsleep;
    {
        std::lock_guard<std::mutex> lock(mutex);
        anyAsleep = sleeping > 0;
    }
    if (anyAsleep)
        wake.notify_all();
    Work(job);
    // Every chunk is taken; wait for those still running on helpers.
    for (int i = 0; i < SpinRounds; ++i) {
        if (finished.load(std::memory_order_acquire) == n)
            return;
        Pause();
    }
    while (finished.load(std::memory_order_acquire) != n)
        std::this_thread::yield();
}

void TZevWorkers::HelperLoop()
{
    std::uint32_t seen = 0;
    for (;;) {
        std::uint32_t job = published.load(std::memory_order_acquire);
        for (int i = 0; i < SpinRounds && job == seen; ++i) {
            Pause();
            job = published.load(std::memory_order_acquire);
        }
        if (job == seen) {
            std::unique_lock<std::mutex> lock(mutex);
            ++sleeping;
            wake.wait(lock, [&] {
                return stopping || published.load(std::memory_order_acquire) != seen;
            });
            --sleeping;
            if (stopping)
                return;
            job = published.load(std::memory_order_acquire);
        }
        seen = job;
        Work(job);
    }
}

int ZevMachineThreads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(n, 1u, 8u));
}
