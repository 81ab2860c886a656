// Cost of one world step (physics-only parameters, dt 0.02) on the scenes of the physics tests: piles of N boxes
// dropped on the floor, a grid of boxes resting apart, towers, the pyramid, hinge chains, boxes on a 128 x 128
// height map and one box at rest. Each scene is built and run untimed until it has landed; the time per
// iteration is then the time of one step. After the table the program prints the growth exponent k of the piles,
// fitted as ms ~ N^k, and that of the grid. The families ending in "Threads" run the same scenes with the step's
// worker threads (their second argument); the others with the caller's thread alone. The pile of 500 runs with 1, 2,
// 4 and 8 threads, and every run reports the CPU time of the whole process per step beside its wall time, so that
// what the helpers add and what they save can be told apart. Beside the table the program
// prints the figures measured for the same scenes on the faster of two common open-source engines.
#include "physics_scene_table.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace physics_scenes;

// CPU time of the whole process, the step's helper threads included (the benchmark's own CPU time counts the
// calling thread alone).
double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// One timed step, kept out of line so that a profiler can count the timed steps alone (callgrind's
// --toggle-collect=*TimedStep*), without the untimed steps that let the scene land.
[[gnu::noinline]] void TimedStep(Scene& s)
{
    s.world->Step(0.02f);
}

void RunSteps(benchmark::State& state, Scene& s, int settle, int threads = 1)
{
    s.world->WorkerThreads = threads;
    s.Run(settle);
    double retries = 0.0;
    double satisfies = 0.0;
    double retests = 0.0;
    std::int64_t steps = 0;
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        TimedStep(s);
        retries += s.world->RetryCollisionCount;
        satisfies += s.world->SatisfyRepeatCount;
        retests += static_cast<double>(s.world->RetestCount);
        ++steps;
    }
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double n = steps > 0 ? static_cast<double>(steps) : 1.0;
    state.counters["proc_cpu_ms/step"] = 1000.0 * cpu / n;
    state.counters["retries/step"] = retries / n;
    state.counters["satisfies/step"] = satisfies / n;
    state.counters["retests/step"] = retests / n;
    // CPU time per contact link re-tested: the step's cost per unit of work, which should not grow with the scene.
    state.counters["s/retest"] = benchmark::Counter(retests, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["contacts"] = static_cast<double>(s.world->ContactLinks->GetCount());
}

// `n` unit boxes on the floor 2 units apart: resting, none touching another.
Scene Grid(int n)
{
    Scene s = NewScene();
    AddFloor(s);
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    for (int k = 0; k < n; ++k)
        AddBox(s, 0.5f, At(2.0f * static_cast<float>(k % side - side / 2), 0.505f,
                           2.0f * static_cast<float>(k / side - side / 2)));
    return s;
}

void BM_Pile(benchmark::State& state)
{
    Scene s = Pile(static_cast<int>(state.range(0)));
    RunSteps(state, s, 60);
}
BENCHMARK(BM_Pile)->Arg(50)->Arg(100)->Arg(200)->Arg(500)->Arg(1000)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_PileThreads(benchmark::State& state)
{
    Scene s = Pile(static_cast<int>(state.range(0)));
    RunSteps(state, s, 60, static_cast<int>(state.range(1)));
}
BENCHMARK(BM_PileThreads)->Args({100, 8})->Args({500, 1})->Args({500, 2})->Args({500, 4})->Args({500, 8})->Args({1000, 8})->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_Grid(benchmark::State& state)
{
    Scene s = Grid(static_cast<int>(state.range(0)));
    RunSteps(state, s, 20);
}
BENCHMARK(BM_Grid)->Arg(100)->Arg(1000)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_GridThreads(benchmark::State& state)
{
    Scene s = Grid(static_cast<int>(state.range(0)));
    RunSteps(state, s, 20, static_cast<int>(state.range(1)));
}
BENCHMARK(BM_GridThreads)->Args({100, 8})->Args({1000, 8})->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_Tower(benchmark::State& state)
{
    Scene s = Tower(static_cast<int>(state.range(0)));
    RunSteps(state, s, 100);
}
BENCHMARK(BM_Tower)->Arg(10)->Arg(20)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_TowerThreads(benchmark::State& state)
{
    Scene s = Tower(static_cast<int>(state.range(0)));
    RunSteps(state, s, 100, static_cast<int>(state.range(1)));
}
BENCHMARK(BM_TowerThreads)->Args({10, 8})->Args({20, 8})->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_Pyramid(benchmark::State& state)
{
    Scene s = Pyramid();
    RunSteps(state, s, 60);
}
BENCHMARK(BM_Pyramid)->Iterations(30)->Unit(benchmark::kMillisecond);

void BM_HingeChain(benchmark::State& state)
{
    Scene s = HingeChain(static_cast<int>(state.range(0)));
    RunSteps(state, s, 50);
}
BENCHMARK(BM_HingeChain)->Arg(10)->Arg(50)->Iterations(100)->Unit(benchmark::kMillisecond);

void BM_BoxesOnTerrain(benchmark::State& state)
{
    Scene s = BoxesOnTerrain(static_cast<int>(state.range(0)));
    RunSteps(state, s, 60);
}
BENCHMARK(BM_BoxesOnTerrain)->Arg(10)->Arg(100)->Arg(500)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_BoxAtRest(benchmark::State& state)
{
    Scene s = BoxAtRest();
    RunSteps(state, s, 100);
}
BENCHMARK(BM_BoxAtRest)->Iterations(500)->Unit(benchmark::kMillisecond);

// Keeps the ms per step of every run of a family with an argument, to fit the growth exponent after the table.
class FitReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string& args = run.run_name.args;
            if (args.empty() || run.iterations == 0)
                continue;
            const double ms = run.GetAdjustedRealTime(); // in the benchmark's unit, ms
            points[run.run_name.function_name].push_back({std::stod(args), ms});
        }
    }
    // Least squares of log ms against log N; 0 with fewer than two sizes.
    double Exponent(const std::string& family) const
    {
        auto it = points.find(family);
        if (it == points.end() || it->second.size() < 2)
            return 0.0;
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        const double n = static_cast<double>(it->second.size());
        for (const auto& [size, ms] : it->second) {
            const double x = std::log(size);
            const double y = std::log(ms);
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
        }
        return (n * sxy - sx * sy) / (n * sxx - sx * sx);
    }
    bool Has(const std::string& family) const { return points.count(family) != 0; }

private:
    std::map<std::string, std::vector<std::pair<double, double>>> points;
};

// CPU ms per step of the same scenes on the faster of two common open-source engines (one interleaved run on a
// loaded shared machine): what our figures are read against.
void PrintPeerFigures()
{
    std::printf("peer figures, ms per step: pile of 100 0.80, pile of 500 7.9, grid of 1000 8.0, "
                "tower of 10 0.096, tower of 20 0.20\n");
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    FitReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintPeerFigures();
    for (const char* family : {"BM_Pile", "BM_PileThreads", "BM_Grid", "BM_GridThreads", "BM_BoxesOnTerrain"})
        if (reporter.Has(family))
            std::printf("growth exponent of %s: k = %.2f (ms ~ N^k)\n", family, reporter.Exponent(family));
    benchmark::Shutdown();
    return 0;
}
