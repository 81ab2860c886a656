// Speed of the maths every body and mesh runs per step, and of a warm frame of queued drawing.
#include <benchmark/benchmark.h>

#include "ZevMath.h"
#include "ZevMeshPools.h"
#include "ZevQueuedRenderer.h"

namespace {

void BM_MatMultiply(benchmark::State& state)
{
    TZevMatrix a, b;
    ZevMatRotationFromVector(a, 0.3f, -1.1f, 0.7f, 0.02f);
    ZevMatRotationFromVector(b, 1.3f, 0.1f, -0.2f, 0.02f);
    for (auto _ : state) {
        ZevMatMultiply(a, a, b);
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_MatMultiply);

void BM_VecTransform(benchmark::State& state)
{
    TZevMatrix m;
    ZevMatRotationFromVector(m, 0.3f, -1.1f, 0.7f, 0.02f);
    TZevVector p(1, 2, 3), r;
    for (auto _ : state) {
        ZevVecTransform(r, p, m);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_VecTransform);

void BM_RotationFromVector(benchmark::State& state)
{
    TZevMatrix m;
    float t = 0.02f;
    for (auto _ : state) {
        ZevMatRotationFromVector(m, 0.3f, -1.1f, 0.7f, t);
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_RotationFromVector);

void BM_Inverse(benchmark::State& state)
{
    TZevMatrix m, inv;
    ZevMatRotationFromVector(m, 0.3f, -1.1f, 0.7f, 0.5f);
    m.m[12] = 4;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZevMatInverse(inv, m));
        benchmark::DoNotOptimize(inv);
    }
}
BENCHMARK(BM_Inverse);

class NullDevice : public TZevQueuedRenderer {
public:
    int GetWidth() override { return 640; }
    int GetHeight() override { return 480; }
    void Clear() override {}
    TZevTextureHandle LoadTexture(const char*) override { return 1; }
    void UnloadTexture(TZevTextureHandle) override {}
};

// A frame of state.range(0) mesh commands and one line list of 16 lines, queued and recycled.
void BM_QueuedFrame(benchmark::State& state)
{
    NullDevice renderer;
    TZevLineRecord lines[16] = {};
    TZevList list;
    for (TZevLineRecord& l : lines)
        list.Add(&l);
    TZevBox box;
    box.Set(TZevVector(-1, -1, -1), TZevVector(1, 1, 1));
    renderer.SetCameraFrame(nullptr, nullptr);
    TZevMatrix where = ZevMatTranslation(0, 0, 10);
    for (auto _ : state) {
        for (int i = 0; i < state.range(0); ++i)
            if (renderer.IsBoxVisible(where, box))
                renderer.DrawMaterialMesh(nullptr, &DefaultMaterial, where, nullptr);
        renderer.DrawLineList(&list);
        renderer.ClearCommands();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_QueuedFrame)->Arg(100)->Arg(1000);

} // namespace
