// Jitter of the periodic timer: the spread of the intervals between callbacks of a 1 ms timer, reported as
// counters (mean interval, standard deviation and worst deviation, in microseconds).
#include "ZevPlatformThread.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

struct Samples {
    std::vector<std::chrono::steady_clock::time_point> times;
    std::atomic<std::size_t> count{0};
};

void Tick(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t)
{
    auto* s = reinterpret_cast<Samples*>(user);
    const std::size_t i = s->count.load();
    if (i < s->times.size()) {
        s->times[i] = std::chrono::steady_clock::now();
        s->count.store(i + 1);
    }
}

void BM_PeriodicTimerJitter(benchmark::State& state)
{
    const auto period = static_cast<std::uint32_t>(state.range(0));
    double meanSum = 0, sdSum = 0, worst = 0;
    for (auto _ : state) {
        Samples s;
        s.times.resize(200);
        const std::uint32_t id = timeSetEvent(period, 1, Tick, reinterpret_cast<std::uintptr_t>(&s), TIME_PERIODIC);
        while (s.count.load() < s.times.size())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        timeKillEvent(id);
        std::vector<double> gaps;
        for (std::size_t i = 1; i < s.times.size(); ++i)
            gaps.push_back(std::chrono::duration<double, std::micro>(s.times[i] - s.times[i - 1]).count());
        double mean = 0;
        for (double g : gaps)
            mean += g;
        mean /= static_cast<double>(gaps.size());
        double var = 0;
        for (double g : gaps) {
            var += (g - mean) * (g - mean);
            worst = std::max(worst, std::abs(g - period * 1000.0));
        }
        meanSum += mean;
        sdSum += std::sqrt(var / static_cast<double>(gaps.size()));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["mean_interval_us"] = meanSum / n;
    state.counters["stddev_us"] = sdSum / n;
    state.counters["worst_deviation_us"] = worst;
}

} // namespace

BENCHMARK(BM_PeriodicTimerJitter)->Arg(1)->Arg(20)->Iterations(3)->Unit(benchmark::kMillisecond);
