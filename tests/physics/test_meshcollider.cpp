// The stand-alone mesh collision model: grouping of faces into nodes, touching triangle pairs of two placed
// models, rays and segments, and inside/outside of a closed mesh.
#include "ZevMeshCollider.h"

#include "Zev3DG2R.h"
#include "ZevMesh.h"
#include "test_meshcollider_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using physics_test::MakeCube;
using physics_test::MakeMesh;
using physics_test::Translation;

class MeshColliderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ZevSceneInit(); }
};

using Mesh = physics_test::TestMesh;

// The same cube made of six quads (fans of two triangles each).
void MakeQuadCube(TZevMeshData& data, float lo, float hi)
{
    MakeMesh(data,
             {{lo, lo, lo}, {hi, lo, lo}, {hi, hi, lo}, {lo, hi, lo}, {lo, lo, hi}, {hi, lo, hi}, {hi, hi, hi},
              {lo, hi, hi}},
             {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}});
}

// A flat square of n x n quads in z = 0 over [-r, r]^2, split into triangles.
void MakeSheet(TZevMeshData& data, int n, float r)
{
    std::vector<TZevVector> p;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            p.emplace_back(-r + 2 * r * i / n, -r + 2 * r * j / n, 0.0f);
    std::vector<std::vector<int>> f;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i;
            f.push_back({a, a + 1, a + n + 2});
            f.push_back({a, a + n + 2, a + n + 1});
        }
    MakeMesh(data, p, f);
}

struct HitKey {
    int mine[3];
    int other[3];
    bool operator<(const HitKey& o) const
    {
        return std::tie(mine[0], mine[1], mine[2], other[0], other[1], other[2]) <
               std::tie(o.mine[0], o.mine[1], o.mine[2], o.other[0], o.other[1], o.other[2]);
    }
    bool operator==(const HitKey& o) const { return !(*this < o) && !(o < *this); }
};

// Records what the hooks receive; `log` is shared to see the order across models.
class Recorder : public TZevMeshCollider {
public:
    explicit Recorder(std::vector<std::string>* sharedLog = nullptr, const char* name = "") : log(sharedLog),
                                                                                                  tag(name)
    {
    }
    void OnHit(const TZevMeshHit& hit) override
    {
        hits.push_back(hit);
        if (log)
            log->push_back(tag);
    }
    void OnCollide(TZevMeshCollider* other) override
    {
        ++collides;
        lastOther = other;
    }
    std::multiset<HitKey> Keys(bool mirrored = false) const
    {
        std::multiset<HitKey> keys;
        for (const TZevMeshHit& h : hits) {
            HitKey k{{h.I0, h.I1, h.I2}, {h.J0, h.J1, h.J2}};
            if (mirrored)
                std::swap(k.mine, k.other);
            keys.insert(k);
        }
        return keys;
    }
    std::vector<std::string>* log;
    const char* tag;
    std::vector<TZevMeshHit> hits;
    int collides = 0;
    TZevMeshCollider* lastOther = nullptr;
};

void Place(TZevMeshCollider& model, const TZevMatrix& m)
{
    model.TransformVertices(m);
    model.Transform(m);
}

// Every fan triangle of a mesh, by its corner indices.
std::vector<std::array<int, 3>> FanTriangles(const TZevMeshData& data)
{
    std::vector<std::array<int, 3>> out;
    for (int f = 0; f < data.FaceCount; ++f)
        for (std::uint32_t j = 0; j + 2 < data.Faces[f].Count; ++j)
            out.push_back({data.Faces[f].Indices[0], data.Faces[f].Indices[j + 1], data.Faces[f].Indices[j + 2]});
    return out;
}

// Every touching triangle pair found by testing each pair directly.
std::multiset<HitKey> BruteForceHits(const TZevMeshData& a, const TZevMatrix& ma, const TZevMeshData& b,
                                     const TZevMatrix& mb)
{
    auto world = [](const TZevMeshData& d, const TZevMatrix& m, int i) {
        TZevVector p;
        return ZevVecTransform(p, TZevVector(d.Vertices()[i].x, d.Vertices()[i].y, d.Vertices()[i].z), m);
    };
    std::multiset<HitKey> keys;
    for (const auto& ta : FanTriangles(a)) {
        const TZevVector va[3] = {world(a, ma, ta[0]), world(a, ma, ta[1]), world(a, ma, ta[2])};
        for (const auto& tb : FanTriangles(b)) {
            const TZevVector vb[3] = {world(b, mb, tb[0]), world(b, mb, tb[1]), world(b, mb, tb[2])};
            bool touch = false;
            float t;
            for (int k = 0; k < 3 && !touch; ++k)
                touch = ZevSegmentTriangle(va[k], va[(k + 1) % 3], vb[0], vb[1], vb[2], t);
            for (int k = 0; k < 3 && !touch; ++k)
                touch = ZevSegmentTriangle(vb[k], vb[(k + 1) % 3], va[0], va[1], va[2], t);
            if (touch)
                keys.insert(HitKey{{ta[0], ta[1], ta[2]}, {tb[0], tb[1], tb[2]}});
        }
    }
    return keys;
}

TEST_F(MeshColliderTest, EveryFaceLandsInExactlyOneNodeOfAtMostSixteen)
{
    for (int rings : {2, 5, 12}) {
        SCOPED_TRACE("rings " + std::to_string(rings));
        Mesh sphere;
        ASSERT_TRUE(ZevMakeSphereMesh(&sphere.data(), rings, 9));
        TZevMeshCollider model;
        ASSERT_TRUE(model.BuildFromMesh(sphere.mesh));
        const int faces = sphere.data().FaceCount;
        std::vector<int> seen(faces, 0);
        int nodes = 0;
        for (void* item : model.nodes) {
            auto* node = static_cast<TZevMeshColliderNode*>(item);
            ++nodes;
            EXPECT_GE(node->Entries.GetCount(), 1);
            EXPECT_LE(node->Entries.GetCount(), 16);
            for (void* e : node->Entries) {
                const auto* entry = static_cast<TZevMeshFaceEntry*>(e);
                const int f = static_cast<int>(entry->Face - sphere.data().Faces);
                ASSERT_GE(f, 0);
                ASSERT_LT(f, faces);
                ++seen[f];
                for (std::uint32_t k = 0; k < entry->Face->Count; ++k) {
                    const TZevVertex& v = sphere.data().Vertices()[entry->Face->Indices[k]];
                    EXPECT_TRUE(v.x >= node->LocalBox.Min.x && v.x <= node->LocalBox.Max.x &&
                                v.y >= node->LocalBox.Min.y && v.y <= node->LocalBox.Max.y &&
                                v.z >= node->LocalBox.Min.z && v.z <= node->LocalBox.Max.z);
                }
            }
            EXPECT_FLOAT_EQ(node->Size, (node->LocalBox.Max.x - node->LocalBox.Min.x) +
                                            (node->LocalBox.Max.y - node->LocalBox.Min.y) +
                                            (node->LocalBox.Max.z - node->LocalBox.Min.z));
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), faces);
        EXPECT_EQ(nodes, model.GetNodeCount());
        EXPECT_EQ(nodes, (faces + 15) / 16);
        const TZevBox& bounds = sphere.mesh->Bounds;
        EXPECT_EQ(model.localBox.Min.x, bounds.Min.x);
        EXPECT_EQ(model.localBox.Min.y, bounds.Min.y);
        EXPECT_EQ(model.localBox.Max.z, bounds.Max.z);
    }
}

TEST_F(MeshColliderTest, BadMeshesAreRefusedAndLeaveAnEmptyModel)
{
    TZevMeshCollider model;
    EXPECT_FALSE(model.BuildFromMesh(nullptr));

    Mesh broken;
    MakeMesh(broken.data(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 5}});
    EXPECT_FALSE(model.BuildFromMesh(broken.mesh));
    EXPECT_EQ(model.GetNodeCount(), 0);
    EXPECT_EQ(model.vertices, nullptr);

    Mesh empty;
    EXPECT_TRUE(model.BuildFromMesh(empty.mesh));
    EXPECT_EQ(model.GetNodeCount(), 0);
    EXPECT_FALSE(model.IsPointInside(TZevVector(0, 0, 0)));

    Mesh cube;
    MakeCube(cube.data(), -1, -1, -1, 1, 1, 1);
    TZevMeshCollider solid;
    ASSERT_TRUE(solid.BuildFromMesh(cube.mesh));
    Place(solid, IdentityMatrix);
    Place(model, IdentityMatrix);
    EXPECT_FALSE(TZevMeshCollider::Collide(IdentityMatrix, &model, IdentityMatrix, &solid));
    EXPECT_FALSE(TZevMeshCollider::Collide(IdentityMatrix, &solid, IdentityMatrix, nullptr));
}

// A derived model may own the frame its mesh lives in and free it in its Clear: building must not call that.
TEST_F(MeshColliderTest, BuildingLeavesADerivedClearAlone)
{
    struct Owning : TZevMeshCollider {
        void Clear() override
        {
            ++clears;
            TZevMeshCollider::Clear();
        }
        int clears = 0;
    };
    Mesh cube;
    MakeCube(cube.data(), -1, -1, -1, 1, 1, 1);
    Owning model;
    ASSERT_TRUE(model.BuildFromMesh(cube.mesh));
    ASSERT_TRUE(model.BuildFromMesh(cube.mesh));
    EXPECT_EQ(model.clears, 0);
    model.Clear();
    EXPECT_EQ(model.clears, 1);
    EXPECT_EQ(model.GetNodeCount(), 0);
    EXPECT_EQ(model.mesh, nullptr);
}

TEST_F(MeshColliderTest, SegmentTriangleCountsOnlyWithinTheSegment)
{
    const TZevVector a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    struct Case {
        const char* name;
        TZevVector p, q;
        bool hit;
        float t;
    } const cases[] = {
        {"crosses in the middle", {0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}, true, 0.5f},
        {"ends on the plane", {0.25f, 0.25f, 1}, {0.25f, 0.25f, 0}, true, 1.0f},
        {"starts on the plane", {0.25f, 0.25f, 0}, {0.25f, 0.25f, 3}, true, 0.0f},
        {"stops short", {0.25f, 0.25f, 2}, {0.25f, 0.25f, 1}, false, 0},
        {"starts beyond", {0.25f, 0.25f, -1}, {0.25f, 0.25f, -2}, false, 0},
        {"passes beside", {2, 2, 1}, {2, 2, -1}, false, 0},
        {"parallel to the plane", {0.25f, 0.25f, 1}, {0.5f, 0.25f, 1}, false, 0},
        {"no length", {0.25f, 0.25f, 0}, {0.25f, 0.25f, 0}, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        float t = -7.0f;
        EXPECT_EQ(ZevSegmentTriangle(k.p, k.q, a, b, c, t), k.hit);
        if (k.hit)
            EXPECT_NEAR(t, k.t, 1e-6f);
        else
            EXPECT_EQ(t, -7.0f);
    }
}

TEST_F(MeshColliderTest, RaysAndSegmentsReportOnlyHitsAheadOfTheirStart)
{
    Mesh cube;
    MakeQuadCube(cube.data(), -1, 1);
    TZevMeshCollider model;
    ASSERT_TRUE(model.BuildFromMesh(cube.mesh));

    std::vector<float> ts;
    auto collect = [](TZevMeshCollider*, std::uint16_t, std::uint16_t, std::uint16_t, float t, void* ctx) {
        static_cast<std::vector<float>*>(ctx)->push_back(t);
    };
    const TZevVector from(0.1f, 0.2f, 5);
    EXPECT_TRUE(model.RayCast(from, TZevVector(0, 0, -1), collect, &ts));
    std::sort(ts.begin(), ts.end());
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_FLOAT_EQ(ts[0], 4.0f);
    EXPECT_FLOAT_EQ(ts[1], 6.0f);

    ts.clear();
    EXPECT_FALSE(model.RayCast(from, TZevVector(0, 0, 1), collect, &ts)) << "the cube lies behind the origin";
    EXPECT_TRUE(ts.empty());
    EXPECT_FALSE(model.RayCast(from, TZevVector(1, 0, 0), collect, &ts)) << "parallel to every face it meets";

    // From inside, only the face ahead.
    ts.clear();
    EXPECT_TRUE(model.RayCast(TZevVector(0.1f, 0.2f, 0.3f), TZevVector(0, 0, 2), collect, &ts));
    ASSERT_EQ(ts.size(), 1u);
    EXPECT_FLOAT_EQ(ts[0], 0.35f);

    // Segments: within their length only.
    ts.clear();
    EXPECT_FALSE(model.SegmentCast(from, TZevVector(0.1f, 0.2f, 2), collect, &ts));
    EXPECT_TRUE(model.SegmentCast(from, TZevVector(0.1f, 0.2f, 0), collect, &ts));
    ASSERT_EQ(ts.size(), 1u);
    EXPECT_FLOAT_EQ(ts[0], 0.8f);
    ts.clear();
    EXPECT_TRUE(model.SegmentCast(TZevVector(0.1f, 0.3f, 0.5f), TZevVector(0.1f, 0.3f, 3), collect, &ts))
        << "from inside";
    EXPECT_EQ(ts.size(), 1u);
    EXPECT_FALSE(model.SegmentCast(TZevVector(0.1f, 0.3f, 0.5f), TZevVector(0.1f, 0.3f, -0.5f), collect, &ts))
        << "wholly inside";
}

TEST_F(MeshColliderTest, PointsInsideAndOutsideAClosedCube)
{
    struct Case {
        const char* name;
        TZevVector p;
        bool inside;
    } const cases[] = {
        {"centre", {0, 0, 0}, true},
        {"off centre", {0.3f, -0.6f, 0.2f}, true},
        {"just inside a face", {0.95f, 0.1f, 0.2f}, true},
        {"near a corner inside", {-0.9f, -0.9f, 0.9f}, true},
        {"just outside a face", {1.05f, 0.1f, 0.2f}, false},
        {"beyond a corner", {2, 2, 2}, false},
        {"far away", {100, -50, 30}, false},
        {"far below", {0, 0, -1000}, false},
        {"beside an edge", {1.5f, 1.5f, 0}, false},
    };
    Mesh shared;
    MakeCube(shared.data(), -1, -1, -1, 1, 1, 1);
    Mesh quads;
    MakeQuadCube(quads.data(), -1, 1);
    Mesh separate; // 24 vertices, every face its own corners
    ASSERT_TRUE(ZevMakeBoxMesh(&separate.data(), -1, -1, -1, 1, 1, 1));
    for (Mesh* m : {&shared, &quads, &separate}) {
        TZevMeshCollider model;
        ASSERT_TRUE(model.BuildFromMesh(m->mesh));
        for (const Case& k : cases)
            EXPECT_EQ(model.IsPointInside(k.p), k.inside) << k.name << " (" << m->data().VertexCount << " vertices)";
    }
}

TEST_F(MeshColliderTest, OverlappingCubesReportMirroredPairsToBothModels)
{
    std::vector<std::string> log;
    Mesh ca, cb;
    MakeCube(ca.data(), -1, -1, -1, 1, 1, 1);
    MakeQuadCube(cb.data(), -1, 1);
    Recorder a(&log, "a"), b(&log, "b");
    ASSERT_TRUE(a.BuildFromMesh(ca.mesh));
    ASSERT_TRUE(b.BuildFromMesh(cb.mesh));
    TZevMatrix rot, mb;
    ZevMatRotationFromVector(rot, 0.3f, 0.5f, 0.2f, 1.0f);
    ZevMatMultiply(mb, rot, Translation(1.2f, 0.7f, 0.4f));
    const TZevMatrix ma = Translation(0.1f, 0, 0);
    Place(a, ma);
    Place(b, mb);

    EXPECT_TRUE(TZevMeshCollider::Collide(ma, &a, mb, &b));
    ASSERT_FALSE(a.hits.empty());
    EXPECT_EQ(a.hits.size(), b.hits.size());
    EXPECT_EQ(a.Keys(), b.Keys(true)) << "every pair is reported to both sides, mirrored";
    EXPECT_EQ(a.Keys(), BruteForceHits(ca.data(), ma, cb.data(), mb));
    for (const TZevMeshHit& h : a.hits) {
        EXPECT_EQ(h.Other, &b);
        EXPECT_NE(h.Node, nullptr);
        EXPECT_NE(h.OtherNode, nullptr);
    }
    EXPECT_EQ(a.collides, 1);
    EXPECT_EQ(b.collides, 1);
    EXPECT_EQ(a.lastOther, &b);
    EXPECT_EQ(a.matrix, &ma);
    // Equal node counts: the second model passed hears of each pair first.
    ASSERT_EQ(a.GetNodeCount(), b.GetNodeCount());
    for (std::size_t i = 0; i + 1 < log.size(); i += 2) {
        EXPECT_EQ(log[i], "b");
        EXPECT_EQ(log[i + 1], "a");
    }

    // Moved apart: the world boxes no longer meet, and no hook is called.
    Recorder c, d;
    ASSERT_TRUE(c.BuildFromMesh(ca.mesh));
    ASSERT_TRUE(d.BuildFromMesh(cb.mesh));
    const TZevMatrix far = Translation(2.5f, 0, 0);
    Place(c, IdentityMatrix);
    Place(d, far);
    EXPECT_FALSE(TZevMeshCollider::Collide(IdentityMatrix, &c, far, &d));
    EXPECT_TRUE(c.hits.empty());
    EXPECT_TRUE(d.hits.empty());
    EXPECT_EQ(c.collides + d.collides, 0);
}

TEST_F(MeshColliderTest, TheModelWithMoreNodesHearsFirst)
{
    std::vector<std::string> log;
    Mesh big, small;
    ASSERT_TRUE(ZevMakeSphereMesh(&big.data(), 8, 12)); // 168 faces, 11 nodes
    MakeCube(small.data(), -0.3f, -0.3f, -0.3f, 0.3f, 0.3f, 0.3f);
    Recorder many(&log, "many"), few(&log, "few");
    ASSERT_TRUE(many.BuildFromMesh(big.mesh));
    ASSERT_TRUE(few.BuildFromMesh(small.mesh));
    ASSERT_GT(many.GetNodeCount(), few.GetNodeCount());
    const TZevMatrix onSurface = Translation(0.95f, 0.1f, 0.05f);
    Place(many, IdentityMatrix);
    Place(few, onSurface);
    for (bool swapped : {false, true}) {
        log.clear();
        EXPECT_TRUE(swapped ? TZevMeshCollider::Collide(onSurface, &few, IdentityMatrix, &many)
                            : TZevMeshCollider::Collide(IdentityMatrix, &many, onSurface, &few));
        ASSERT_FALSE(log.empty());
        for (std::size_t i = 0; i + 1 < log.size(); i += 2) {
            EXPECT_EQ(log[i], "many");
            EXPECT_EQ(log[i + 1], "few");
        }
    }
}

TEST_F(MeshColliderTest, CollideFindsExactlyTheTouchingTrianglePairs)
{
    // Random placements of a sphere against a sphere, a cube and a large flat sheet whose nodes are far larger
    // than the sphere (tested triangle by triangle). The pairs found must be those of testing every pair.
    Mesh sphere, other, cube, sheet;
    ASSERT_TRUE(ZevMakeSphereMesh(&sphere.data(), 6, 10));
    ASSERT_TRUE(ZevMakeSphereMesh(&other.data(), 5, 7));
    MakeQuadCube(cube.data(), -0.8f, 0.8f);
    MakeSheet(sheet.data(), 4, 40.0f);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> offset(-1.6f, 1.6f);
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
    int touching = 0;
    int descended = 0;
    for (Mesh* second : {&other, &cube, &sheet}) {
        for (int trial = 0; trial < 40; ++trial) {
            Recorder a, b;
            ASSERT_TRUE(a.BuildFromMesh(sphere.mesh));
            ASSERT_TRUE(b.BuildFromMesh(second->mesh));
            TZevMatrix rot, ma, mb;
            ZevMatRotationFromVector(rot, angle(rng), angle(rng), angle(rng), 1.0f);
            ZevMatMultiply(ma, rot, Translation(offset(rng), offset(rng), offset(rng)));
            ZevMatRotationFromVector(mb, angle(rng) * 0.1f, angle(rng) * 0.1f, angle(rng) * 0.1f, 1.0f);
            Place(a, ma);
            Place(b, mb);
            const bool hit = trial % 2 ? TZevMeshCollider::Collide(ma, &a, mb, &b)
                                       : TZevMeshCollider::Collide(mb, &b, ma, &a);
            const std::multiset<HitKey> expected = BruteForceHits(sphere.data(), ma, second->data(), mb);
            ASSERT_EQ(a.Keys(), expected) << "trial " << trial;
            ASSERT_EQ(b.Keys(true), expected) << "trial " << trial;
            EXPECT_EQ(hit, !expected.empty());
            EXPECT_EQ(a.collides, hit ? 1 : 0);
            touching += hit;
            descended += second == &sheet && b.size > 4.0f * a.size;
        }
    }
    EXPECT_GT(touching, 30);
    EXPECT_EQ(descended, 40);
}

} // namespace
