// Narrow-phase throughput: one tree-against-tree query between two meshes of 5,000 triangles each, in contact
// while they move during the step, so that the query descends to many leaf pairs and makes contacts. Two shapes:
// spheres of 51 rings x 50 segments whose caps sweep into each other, and wavy sheets of 51 x 51 vertices that
// pass through each other over their whole area. Each iteration gives the previous query's contacts back and runs
// the query again.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "ZevCollisionSpace.h"
#include "ZevDebug.h"
#include "ZevFMCTTree.h"
#include "ZevMeshData.h"

namespace {

constexpr int Side = 51; // vertices per side: 50 x 50 quads, 5,000 triangles

void MakeSheet(TZevMeshData& mesh, float phase)
{
    mesh.SetVertexCount(Side * Side);
    mesh.VertexCount = Side * Side;
    for (int j = 0; j < Side; ++j) {
        for (int i = 0; i < Side; ++i) {
            TZevVertex& v = mesh.Vertices()[j * Side + i];
            v.x = static_cast<float>(i) * 0.1f - 2.5f;
            v.y = static_cast<float>(j) * 0.1f - 2.5f;
            v.z = 0.15f * std::sin(v.x * 2.0f + phase) * std::cos(v.y * 1.5f);
        }
    }
    const int quads = (Side - 1) * (Side - 1);
    mesh.SetFaceCount(quads * 2);
    mesh.FaceCount = quads * 2;
    int f = 0;
    for (int j = 0; j + 1 < Side; ++j) {
        for (int i = 0; i + 1 < Side; ++i) {
            const int a = j * Side + i;
            const int corners[2][3] = {{a, a + 1, a + Side + 1}, {a, a + Side + 1, a + Side}};
            for (const auto& tri : corners) {
                mesh.SetFaceIndexCount(f, 3);
                for (int k = 0; k < 3; ++k)
                    mesh.Faces[f].Indices[k] = static_cast<std::uint16_t>(tri[k]);
                ++f;
            }
        }
    }
}

TZevFMCTTree* MovingTree(TZevCollisionSpace* space, TZevMeshData& mesh, const TZevMatrix& from,
                         const TZevMatrix& to)
{
    auto* tree = new TZevFMCTTree;
    space->AddBody(tree);
    tree->SetMatrix(from);
    tree->ClearNodes(&mesh);
    tree->SetMatrix(to);
    tree->AdvanceStep(0.02f);
    tree->UpdateBox();
    return tree;
}

// Mesh B moves from `from` to a turn of 0.05 about z followed by `to`; mesh A stands still.
void RunQueries(benchmark::State& state, TZevMeshData& meshA, TZevMeshData& meshB, const TZevVector& from,
                const TZevVector& to)
{
    TZevCollisionSpace* space = new TZevCollisionSpace;
    TZevMatrix still;
    TZevMatrix start;
    ZevMatTranslation(start, from.x, from.y, from.z);
    TZevMatrix turn;
    ZevMatRotationZ(turn, 0.05f);
    TZevMatrix shift;
    ZevMatTranslation(shift, to.x, to.y, to.z);
    TZevMatrix end;
    ZevMatMultiply(end, turn, shift);
    TZevFMCTTree* a = MovingTree(space, meshA, still, still);
    TZevFMCTTree* b = MovingTree(space, meshB, start, end);

    long contacts = 0;
    for (auto _ : state) {
        space->ClearContacts();
        benchmark::DoNotOptimize(ZevCollideTrees(space, a, b));
        contacts = space->contactRecords.GetCount();
    }
    space->ClearContacts();
    state.SetItemsProcessed(state.iterations());
    state.counters["contacts"] = static_cast<double>(contacts);
    state.counters["faces"] = static_cast<double>(a->faces.GetCount());
    delete space;
}

void BM_SpheresInContact(benchmark::State& state)
{
    ZevCoreInit();
    TZevMeshData meshA;
    TZevMeshData meshB;
    ZevMakeSphereMesh(&meshA, 51, 50);
    ZevMakeSphereMesh(&meshB, 51, 50);
    RunQueries(state, meshA, meshB, TZevVector(1.95f, 0.1f, 0.0f), TZevVector(1.85f, 0.1f, 0.0f));
}
BENCHMARK(BM_SpheresInContact)->Unit(benchmark::kMicrosecond);

void BM_SheetsPassingThrough(benchmark::State& state)
{
    ZevCoreInit();
    TZevMeshData meshA;
    TZevMeshData meshB;
    MakeSheet(meshA, 0.0f);
    MakeSheet(meshB, 1.3f);
    RunQueries(state, meshA, meshB, TZevVector(0.0f, 0.0f, 0.12f), TZevVector(0.02f, 0.0f, -0.05f));
}
BENCHMARK(BM_SheetsPassingThrough)->Unit(benchmark::kMicrosecond);

} // namespace
