// Cost of one world step (physics-only parameters, dt 0.02) for N boxes falling on a terrain of 128 x 128 height
// samples and coming to rest on it: 200 steps from the drop, so the figure covers the fall, the landing and the
// resting contacts. The terrain is generated here: smooth hills of up to 6 units over a 128 x 128 unit grid.
#include "ZevBitmap.h"
#include "ZevBodyUtil.h"
#include "ZevPhscs2World.h"
#include "ZevPhysicsInit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

constexpr int Side = 128;
constexpr float HeightRange = 6.0f;

TZevBitmap* HillMap()
{
    auto* bitmap = dynamic_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    bitmap->Create(Side, Side, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    for (int j = 0; j < Side; ++j) {
        auto* row = reinterpret_cast<std::uint32_t*>(bitmap->GetBits() + j * bitmap->GetPitch());
        for (int i = 0; i < Side; ++i) {
            const float h = 0.5f + 0.25f * std::sin(0.11f * static_cast<float>(i)) +
                            0.25f * std::cos(0.07f * static_cast<float>(j) + 0.3f * std::sin(0.05f * static_cast<float>(i)));
            const auto g = static_cast<std::uint32_t>(std::lround(h * 255.0f));
            row[i] = 0xFF000000u | (g << 8);
        }
    }
    return bitmap;
}

void BM_BoxesOnTerrain(benchmark::State& state)
{
    ZevPhysicsInit();
    auto world = std::make_unique<TZevPhscs2World>();
    ZevSetPhOnlyParameters(world.get());
    TZevBitmap* map = HillMap();
    TZevMatrix placement;
    ZevMatScaling(placement, 1.0f, HeightRange, 1.0f);
    TZevLandCTree* land = CreateLandFromBitmaps(map, nullptr, nullptr, world.get(), placement, Side, Side, 0.1f, 0.1f);
    map->Release();
    if (land == nullptr) {
        state.SkipWithError("no terrain");
        return;
    }
    // The boxes on a square lattice 3 units apart over the middle of the terrain, 2 units above its highest point.
    const int n = static_cast<int>(state.range(0));
    const int perRow = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    for (int k = 0; k < n; ++k) {
        const float x = 3.0f * static_cast<float>(k % perRow - perRow / 2) + 0.37f;
        const float z = 3.0f * static_cast<float>(k / perRow - perRow / 2) + 0.61f;
        CreateBoxXPhBody(nullptr, ZevMatTranslation(x, HeightRange + 2.0f, z), nullptr, world.get(),
                         TZevVector(-0.4f, -0.4f, -0.4f), TZevVector(0.4f, 0.4f, 0.4f), 1.0f);
    }
    for (auto _ : state)
        world->Step(0.02f);
    state.counters["contact links"] = static_cast<double>(world->ContactLinks->GetCount());
    state.counters["retries"] = static_cast<double>(world->RetryCollisionCount);
}

BENCHMARK(BM_BoxesOnTerrain)->Arg(10)->Arg(100)->Arg(500)->Iterations(200)->Unit(benchmark::kMillisecond);

} // namespace
