// Octree build time over the leaves of a triangulated height field: one point leaf per vertex, one edge leaf per
// grid edge and diagonal, one face leaf per triangle, as the collision tree of a terrain-like mesh has.
#include "ZevBBoxTree.h"
#include "ZevDebug.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

namespace {

struct THeightField {
    explicit THeightField(int side)
    {
        for (int j = 0; j < side; ++j)
            for (int i = 0; i < side; ++i)
                vertices.emplace_back(static_cast<float>(i), std::sin(i * 0.3f) * std::cos(j * 0.2f) * 3.0f,
                                      static_cast<float>(j));
        current = vertices.data();
        previous = vertices.data();
        this->side = side;
    }

    TZevPooledBBoxTree* BuildLeaves()
    {
        TZevPooledBBoxTree* root = AllocBoxNode();
        auto index = [this](int i, int j) { return static_cast<std::uint16_t>(j * side + i); };
        for (int k = 0; k < side * side; ++k) {
            auto* point = new TZevPointBoxVecT;
            point->SetPoint(&current, &previous, static_cast<std::uint16_t>(k));
            root->AppendChild(point);
        }
        for (int j = 0; j + 1 < side; ++j) {
            for (int i = 0; i + 1 < side; ++i) {
                const std::uint16_t a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1), d = index(i, j + 1);
                for (auto [p, q, r] : {std::tuple{a, b, c}, std::tuple{a, c, d}}) {
                    auto* face = new TZevFaceBoxVecT;
                    face->SetFace(&current, &previous, p, q, r);
                    root->AppendChild(face);
                }
                for (auto [p, q] : {std::pair{a, b}, std::pair{a, d}, std::pair{a, c}}) {
                    auto* edge = new TZevEdgeBoxVecT;
                    edge->SetEdge(&current, &previous, p, q);
                    root->AppendChild(edge);
                }
            }
        }
        return root;
    }

    std::vector<TZevVector> vertices;
    TZevVector* current;
    TZevVector* previous;
    int side;
};

void BM_SplitOctree(benchmark::State& state)
{
    ZevCoreInit();
    ZevBBoxTreeInit();
    THeightField field(static_cast<int>(state.range(0)));
    std::int64_t leaves = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TZevPooledBBoxTree* root = field.BuildLeaves();
        leaves = root->GetCount();
        state.ResumeTiming();
        SplitOctree(root, AllocBoxNode, ReleaseBoxNode, -1);
        root->UpdateBox();
        state.PauseTiming();
        delete root;
        state.ResumeTiming();
    }
    state.counters["leaves"] = static_cast<double>(leaves);
    state.SetItemsProcessed(state.iterations() * leaves);
}
BENCHMARK(BM_SplitOctree)->Arg(16)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);

} // namespace
