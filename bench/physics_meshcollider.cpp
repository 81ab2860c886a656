// The stand-alone mesh collision model: grouping the faces into nodes (quadratic in the face count), testing two
// placed spheres, and the inside test; the grid query and the key sort beside it.
#include "Zev3DG2R.h"
#include "ZevFloatKeyList.h"
#include "ZevGrid3D.h"
#include "ZevMesh.h"
#include "ZevMeshCollider.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

struct SphereMesh {
    explicit SphereMesh(int rings)
    {
        ZevSceneInit();
        mesh = new TZevPolygonMesh;
        mesh->SetFaceAndVertexCount(0, 0);
        ZevMakeSphereMesh(mesh->Geometry, rings, 2 * rings);
    }
    ~SphereMesh() { mesh->Release(); }
    TZevPolygonMesh* mesh;
};

void BM_BuildFromMesh(benchmark::State& state)
{
    SphereMesh sphere(static_cast<int>(state.range(0)));
    TZevMeshCollider model;
    for (auto _ : state)
        benchmark::DoNotOptimize(model.BuildFromMesh(sphere.mesh));
    state.counters["faces"] = sphere.mesh->Geometry->FaceCount;
}
BENCHMARK(BM_BuildFromMesh)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_CollideOverlappingSpheres(benchmark::State& state)
{
    SphereMesh sphere(static_cast<int>(state.range(0)));
    TZevMeshCollider a, b;
    a.BuildFromMesh(sphere.mesh);
    b.BuildFromMesh(sphere.mesh);
    TZevMatrix mb;
    ZevMatTranslation(mb, 1.2f, 0.3f, 0.1f);
    a.TransformVertices(IdentityMatrix);
    a.Transform(IdentityMatrix);
    b.TransformVertices(mb);
    b.Transform(mb);
    for (auto _ : state)
        benchmark::DoNotOptimize(TZevMeshCollider::Collide(IdentityMatrix, &a, mb, &b));
}
BENCHMARK(BM_CollideOverlappingSpheres)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_IsPointInside(benchmark::State& state)
{
    SphereMesh sphere(static_cast<int>(state.range(0)));
    TZevMeshCollider model;
    model.BuildFromMesh(sphere.mesh);
    for (auto _ : state)
        benchmark::DoNotOptimize(model.IsPointInside(TZevVector(0.2f, 0.1f, -0.3f)));
}
BENCHMARK(BM_IsPointInside)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_GridQuery(benchmark::State& state)
{
    ZevCoreInit();
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> pos(-30.0f, 30.0f);
    TZevGrid3D grid;
    grid.SetUp(16, 16, 16, TZevVector(-32, -32, -32), TZevVector(32, 32, 32));
    std::vector<TZevBox> boxes(static_cast<std::size_t>(state.range(0)));
    for (TZevBox& b : boxes) {
        const float x = pos(rng), y = pos(rng), z = pos(rng);
        b.Set(TZevVector(x, y, z), TZevVector(x + 2, y + 2, z + 2));
        grid.Insert(b, &b);
    }
    TZevBox query;
    query.Set(TZevVector(-4, -4, -4), TZevVector(4, 4, 4));
    for (auto _ : state) {
        grid.BeginQuery(query);
        int n = 0;
        while (grid.Next())
            ++n;
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_GridQuery)->Arg(1000)->Arg(10000);

void BM_SortByKey(benchmark::State& state)
{
    std::mt19937 rng(2);
    std::vector<TZevFloatKeyRecord> records(static_cast<std::size_t>(state.range(0)));
    std::vector<TZevFloatKeyRecord*> ptrs(records.size());
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].Key = static_cast<float>(rng() % 10);
            ptrs[i] = &records[i];
        }
        state.ResumeTiming();
        TZevFloatKeyList::SortArray(ptrs.data(), static_cast<std::int32_t>(ptrs.size()));
    }
}
BENCHMARK(BM_SortByKey)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
