// Cost of one world step (physics-only parameters, dt 0.02) for stacks, a pyramid and hinge chains of growing
// size, after the scene has settled; the retry and satisfy iterations per step are reported as counters.
#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevPhscs2World.h"
#include "ZevPhysicsInit.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

TZevMatrix At(float x, float y, float z)
{
    TZevMatrix m;
    ZevMatTranslation(m, x, y, z);
    return m;
}

std::unique_ptr<TZevPhscs2World> NewWorld()
{
    ZevPhysicsInit();
    auto world = std::make_unique<TZevPhscs2World>();
    ZevSetPhOnlyParameters(world.get());
    return world;
}

TZevGameChara* Box(TZevPhscs2World* world, float half, const TZevMatrix& pose, bool fixed)
{
    TZevGameChara* body = ZevAsGameChara(CreateBoxXPhBody(nullptr, pose, nullptr, world, TZevVector(-half, -half, -half),
                                                          TZevVector(half, half, half), 1.0f));
    if (body != nullptr && fixed)
        body->SetFixed(1);
    return body;
}

void Floor(TZevPhscs2World* world)
{
    TZevGameChara* floor = ZevAsGameChara(CreateBoxXPhBody(nullptr, At(0, -0.5f, 0), nullptr, world,
                                                           TZevVector(-20, -0.5f, -20), TZevVector(20, 0.5f, 20),
                                                           1.0f));
    if (floor != nullptr)
        floor->SetFixed(1);
}

// Steps the settled scene; ms per step is the benchmark time.
void RunSteps(benchmark::State& state, TZevPhscs2World* world, int settle)
{
    for (int i = 0; i < settle; ++i)
        world->Step(0.02f);
    double retries = 0.0;
    double satisfies = 0.0;
    std::int64_t steps = 0;
    for (auto _ : state) {
        world->Step(0.02f);
        retries += world->RetryCollisionCount;
        satisfies += world->SatisfyRepeatCount;
        ++steps;
    }
    state.counters["retries/step"] = steps > 0 ? retries / static_cast<double>(steps) : 0.0;
    state.counters["satisfies/step"] = steps > 0 ? satisfies / static_cast<double>(steps) : 0.0;
    state.SetComplexityN(state.range(0));
}

void BM_BoxStack(benchmark::State& state)
{
    auto world = NewWorld();
    Floor(world.get());
    const int n = static_cast<int>(state.range(0));
    for (int i = 0; i < n; ++i)
        Box(world.get(), 0.5f, At(0, 0.5f + 1.005f * static_cast<float>(i), 0), false);
    RunSteps(state, world.get(), 100);
}
BENCHMARK(BM_BoxStack)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->Complexity();

void BM_Pyramid55(benchmark::State& state)
{
    auto world = NewWorld();
    Floor(world.get());
    const int rows = 10; // 10 + 9 + ... + 1 = 55 boxes
    for (int row = 0; row < rows; ++row)
        for (int i = 0; i < rows - row; ++i)
            Box(world.get(), 0.5f,
                At(1.1f * (static_cast<float>(i) - 0.5f * static_cast<float>(rows - row - 1)),
                   0.5f + 1.005f * static_cast<float>(row), 0),
                false);
    RunSteps(state, world.get(), 100);
}
BENCHMARK(BM_Pyramid55)->Arg(55)->Unit(benchmark::kMillisecond);

void BM_HingeChain(benchmark::State& state)
{
    auto world = NewWorld();
    TZevGameChara* previous = Box(world.get(), 0.2f, At(0, 0, 0), true);
    const int n = static_cast<int>(state.range(0));
    for (int i = 1; i <= n && previous != nullptr; ++i) {
        TZevGameChara* body = Box(nullptr, 0.2f, At(0, -static_cast<float>(i), 0), false);
        if (body == nullptr)
            break;
        CreateJoint(previous->RigidPart, body->RigidPart, TZevVector(0, -0.5f, 0), TZevVector(0, 0, 1),
                    TZevVector(1, 0, 0), 0.5f);
        world->AddBody(body);
        previous = body;
    }
    RunSteps(state, world.get(), 50);
}
BENCHMARK(BM_HingeChain)->Arg(10)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
