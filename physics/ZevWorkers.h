// Helper threads of a world's step: work whose items are independent (each writes only its own object) is spread
// over them and the calling thread. Which thread takes which items does not matter to the results, so a step
// gives the same numbers with any number of threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class TZevWorkers {
public:
    // `threads` counts the calling thread: threads - 1 helpers are started (none for 1 or less).
    explicit TZevWorkers(int threads);
    ~TZevWorkers();
    TZevWorkers(const TZevWorkers&) = delete;
    TZevWorkers& operator=(const TZevWorkers&) = delete;

    int Threads() const { return static_cast<int>(helpers.size()) + 1; }

    // Calls f(i) for every i in [0, n), in chunks of `grain` items taken by whichever thread is free; returns
    // once every item is done. Runs on the calling thread alone when there are no helpers or fewer items than
    // eight chunks: a small job ends sooner than the helpers come to it, and on a busy machine a helper that is
    // set aside in the middle of its chunk holds up the whole job.
    template <class F> void For(std::size_t n, std::size_t grain, F& f)
    {
        if (grain == 0)
            grain = 1;
        if (helpers.empty() || n < grain * 8 || n >= 0xFFFFFFFFu) {
            for (std::size_t i = 0; i < n; ++i)
                f(i);
            return;
        }
        Run(static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(grain), &f,
            [](void* context, std::size_t begin, std::size_t end) {
                F& body = *static_cast<F*>(context);
                for (std::size_t i = begin; i < end; ++i)
                    body(i);
            });
    }

    // g(begin, end) for chunks that together cover [0, n) once, as For hands them out: a body that reads ahead
    // of its item (a prefetch) stays within its own chunk.
    template <class G> void ForRanges(std::size_t n, std::size_t grain, G& g)
    {
        if (grain == 0)
            grain = 1;
        if (helpers.empty() || n < grain * 8 || n >= 0xFFFFFFFFu) {
            if (n > 0)
                g(std::size_t{0}, n);
            return;
        }
        Run(static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(grain), &g,
            [](void* context, std::size_t begin, std::size_t end) { (*static_cast<G*>(context))(begin, end); });
    }

private:
    using TChunkCall = void (*)(void*, std::size_t, std::size_t);
    void Run(std::uint32_t n, std::uint32_t grain, void* context, TChunkCall call);
    // Takes chunks of job `job` until none is left.
    void Work(std::uint32_t job);
    void HelperLoop();

    std::vector<std::thread> helpers;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    int sleeping = 0; // helpers waiting on `wake`, under mutex
    // The current job: its number, published last, and its fields. A helper that comes late to a job (the caller
    // went on to the next) takes nothing of it: the number in `next` no longer matches.
    std::atomic<std::uint32_t> published{0};
    std::atomic<std::uint32_t> count{0};
    std::atomic<std::uint32_t> chunk{1};
    std::atomic<void*> jobContext{nullptr};
    std::atomic<TChunkCall> jobCall{nullptr};
    std::atomic<std::uint64_t> next{0}; // job number << 32 | first item not yet taken
    std::atomic<std::uint32_t> finished{0}; // items done of the current job
};

// The number of threads a host asking for "the machine's cores" gets: the hardware's count, at least 1, at most 8.
int ZevMachineThreads();
