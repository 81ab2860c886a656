// The step's helper threads: every item of a job is done once, by whichever thread takes it, and jobs follow each
// other without waiting for a helper that is slow to start.
#include "ZevWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

TEST(Workers, EveryItemIsDoneOnceAndTheHelpersTakeTheirShare)
{
    for (int threads : {1, 2, 8}) {
        TZevWorkers workers(threads);
        EXPECT_EQ(workers.Threads(), threads);
        std::mutex mutex;
        std::set<std::thread::id> seen;
        for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{200}}) {
            std::vector<std::atomic<int>> done(n);
            auto item = [&](std::size_t i) {
                done[i].fetch_add(1);
                // Slow items, so that the helpers wake while the job lasts.
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                std::lock_guard<std::mutex> lock(mutex);
                seen.insert(std::this_thread::get_id());
            };
            workers.For(n, 2, item);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(done[i].load(), 1) << threads << " threads, " << n << " items, item " << i;
        }
        if (threads == 1)
            EXPECT_EQ(seen.size(), 1u);
        else
            EXPECT_GT(seen.size(), 1u) << threads;
    }
}

TEST(Workers, ManyShortJobsInARowEachFinishBeforeTheNextStarts)
{
    TZevWorkers workers(8);
    std::vector<int> values(1000, 0);
    for (int job = 1; job <= 2000; ++job) {
        auto item = [&](std::size_t i) { values[i] += 1; };
        workers.For(values.size(), 16, item);
        ASSERT_EQ(values.front(), job);
        ASSERT_EQ(values.back(), job);
    }
    for (int v : values)
        EXPECT_EQ(v, 2000);
}

} // namespace
