// Free-form deformation: the lattice over a mesh's box and the trilinear pull of its points on the vertices.
#include "ZevFFD.h"

#include "Zev3DG2R.h"
#include "ZevMesh.h"
#include "test_meshcollider_mesh.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using physics_test::MakeMesh;

class FFDTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ZevSceneInit(); }
};

using Mesh = physics_test::TestMesh;
using physics_test::VertexPosition;

// Vertices over the box [0, 2]^3, which a 3 x 3 x 3 lattice splits into cells of side 1.
void MakeProbeMesh(Mesh& m)
{
    MakeMesh(m.data(),
             {{0, 0, 0},       // 0: on lattice point (0, 0, 0)
              {0.5f, 0.5f, 0.5f}, // 1: centre of the cell at (0, 0, 0)
              {1.5f, 0.5f, 0.5f}, // 2: centre of the next cell along x
              {2, 2, 2},       // 3: on the upper corner of the box
              {0.25f, 0, 0},   // 4: on the edge from (0, 0, 0) to (1, 0, 0)
              {2, 0, 0}},
             {{0, 3, 5}, {1, 2, 4}});
}

TEST_F(FFDTest, ARestLatticeChangesNothing)
{
    Mesh sphere;
    ASSERT_TRUE(ZevMakeSphereMesh(&sphere.data(), 7, 11));
    Mesh probe;
    MakeProbeMesh(probe);
    for (Mesh* m : {&sphere, &probe}) {
        for (const std::array<int, 3>& dims : {std::array<int, 3>{2, 2, 2}, {3, 3, 3}, {2, 5, 3}}) {
            TZevFFD ffd;
            ASSERT_TRUE(ffd.SetMesh(m->mesh));
            ASSERT_TRUE(ffd.SetLattice(dims[0], dims[1], dims[2]));
            EXPECT_EQ(ffd.PointCount, dims[0] * dims[1] * dims[2]);
            ffd.Apply();
            for (int i = 0; i < m->data().VertexCount; ++i) {
                const TZevVector a = VertexPosition(m->mesh, i), b = VertexPosition(ffd.DeformedMesh, i);
                ASSERT_EQ(a.x, b.x);
                ASSERT_EQ(a.y, b.y);
                ASSERT_EQ(a.z, b.z);
            }
        }
    }
}

TEST_F(FFDTest, OneLatticePointPullsItsCellsTrilinearly)
{
    Mesh probe;
    MakeProbeMesh(probe);
    TZevFFD ffd;
    ASSERT_TRUE(ffd.SetMesh(probe.mesh));
    EXPECT_NE(ffd.DeformedMesh, probe.mesh);
    ASSERT_TRUE(ffd.SetLattice(3, 3, 3));
    const TZevVector p000 = ffd.Points[ffd.PointIndex(0, 0, 0)];
    EXPECT_EQ(p000.x, 0.0f);
    EXPECT_EQ(ffd.Points[ffd.PointIndex(2, 1, 0)].x, 2.0f);
    EXPECT_EQ(ffd.Points[ffd.PointIndex(2, 1, 0)].y, 1.0f);

    ffd.Points[ffd.PointIndex(0, 0, 0)].x += 1.0f;
    ffd.Apply();
    struct Expect {
        int vertex;
        float dx;
    } const expected[] = {{0, 1.0f}, {1, 0.125f}, {2, 0.0f}, {3, 0.0f}, {4, 0.75f}, {5, 0.0f}};
    for (const Expect& e : expected) {
        SCOPED_TRACE("vertex " + std::to_string(e.vertex));
        const TZevVector src = VertexPosition(probe.mesh, e.vertex);
        const TZevVector out = VertexPosition(ffd.DeformedMesh, e.vertex);
        EXPECT_FLOAT_EQ(out.x - src.x, e.dx);
        EXPECT_EQ(out.y, src.y);
        EXPECT_EQ(out.z, src.z);
    }
    EXPECT_EQ(VertexPosition(probe.mesh, 0).x, 0.0f) << "the source mesh stays as it was";

    // A vertex on the upper faces of the box follows the last lattice point (no corner beyond the lattice).
    ffd.Points[ffd.PointIndex(0, 0, 0)] = p000;
    ffd.Points[ffd.PointIndex(2, 2, 2)].y += 3.0f;
    ffd.Apply();
    EXPECT_FLOAT_EQ(VertexPosition(ffd.DeformedMesh, 3).y, 5.0f);
    EXPECT_EQ(VertexPosition(ffd.DeformedMesh, 0).x, 0.0f);
}

TEST_F(FFDTest, MovingTheWholeLatticeMovesEveryVertexAlike)
{
    Mesh sphere;
    ASSERT_TRUE(ZevMakeSphereMesh(&sphere.data(), 9, 13));
    TZevFFD ffd;
    ASSERT_TRUE(ffd.SetMesh(sphere.mesh));
    ASSERT_TRUE(ffd.SetLattice(4, 3, 5));
    const TZevVector shift(0.5f, -2.0f, 1.25f);
    for (int q = 0; q < ffd.PointCount; ++q)
        ffd.Points[q].Add(shift.x, shift.y, shift.z);
    ffd.Apply();
    for (int i = 0; i < sphere.data().VertexCount; ++i) {
        const TZevVector a = VertexPosition(sphere.mesh, i), b = VertexPosition(ffd.DeformedMesh, i);
        ASSERT_NEAR(b.x - a.x, shift.x, 1e-5f);
        ASSERT_NEAR(b.y - a.y, shift.y, 1e-5f);
        ASSERT_NEAR(b.z - a.z, shift.z, 1e-5f);
    }
    // Scaling the lattice about the box minimum scales the mesh the same way.
    for (int q = 0; q < ffd.PointCount; ++q) {
        const TZevVector& r = ffd.RestPoints[q];
        ffd.Points[q] = TZevVector(ffd.BoxMin.x + 2 * (r.x - ffd.BoxMin.x), r.y, r.z);
    }
    ffd.Apply();
    for (int i = 0; i < sphere.data().VertexCount; ++i) {
        const TZevVector a = VertexPosition(sphere.mesh, i), b = VertexPosition(ffd.DeformedMesh, i);
        ASSERT_NEAR(b.x, ffd.BoxMin.x + 2 * (a.x - ffd.BoxMin.x), 1e-5f);
        ASSERT_NEAR(b.y, a.y, 1e-5f);
    }
}

TEST_F(FFDTest, FlatMeshesAndSinglePointAxesAreRefused)
{
    Mesh probe;
    MakeProbeMesh(probe);
    Mesh flat;
    MakeMesh(flat.data(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    Mesh empty;
    Mesh huge;
    MakeMesh(huge.data(), {{-3e38f, 0, 0}, {3e38f, 1, 1}}, {});

    TZevFFD none;
    EXPECT_FALSE(none.SetMesh(nullptr));
    EXPECT_FALSE(none.SetLattice(3, 3, 3)) << "no mesh";
    none.Apply();

    struct Case {
        const char* name;
        Mesh* mesh;
        int l, m, n;
    } const cases[] = {
        {"one point on x", &probe, 1, 3, 3},  {"one point on z", &probe, 3, 3, 1},
        {"no points", &probe, 0, 0, 0},       {"negative", &probe, -2, 3, 3},
        {"too many points", &probe, 1024, 1024, 1024}, {"flat mesh", &flat, 3, 3, 3},
        {"mesh without vertices", &empty, 2, 2, 2},    {"box beyond floats", &huge, 2, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TZevFFD ffd;
        ASSERT_TRUE(ffd.SetMesh(c.mesh->mesh));
        EXPECT_FALSE(ffd.SetLattice(c.l, c.m, c.n));
        EXPECT_FALSE(ffd.HasLattice());
        EXPECT_EQ(ffd.PointCount, 0);
        ffd.Apply();
    }
    // A refused lattice drops the one before it.
    TZevFFD ffd;
    ASSERT_TRUE(ffd.SetMesh(probe.mesh));
    ASSERT_TRUE(ffd.SetLattice(2, 2, 2));
    EXPECT_FALSE(ffd.SetLattice(1, 1, 1));
    EXPECT_FALSE(ffd.HasLattice());
}

TEST_F(FFDTest, MeshesAreHeldAndReleased)
{
    Mesh probe;
    MakeProbeMesh(probe);
    const int refs = probe.mesh->GetRefCount();
    {
        TZevFFD ffd;
        ASSERT_TRUE(ffd.SetMesh(probe.mesh));
        EXPECT_EQ(probe.mesh->GetRefCount(), refs + 1);
        ASSERT_TRUE(ffd.SetMesh(probe.mesh));
        EXPECT_EQ(probe.mesh->GetRefCount(), refs + 1);
    }
    EXPECT_EQ(probe.mesh->GetRefCount(), refs);

    // A derived object may free what the mesh lives in from its Clear: setting a mesh must not call that.
    struct Owning : TZevFFD {
        void Clear() override
        {
            ++clears;
            TZevFFD::Clear();
        }
        int clears = 0;
    };
    {
        Owning owning;
        ASSERT_TRUE(owning.SetMesh(probe.mesh));
        ASSERT_TRUE(owning.SetMesh(probe.mesh));
        EXPECT_EQ(owning.clears, 0);
    }
    EXPECT_EQ(probe.mesh->GetRefCount(), refs);

    // A registered mesh is copied through the object stream, with its name.
    auto* named = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
    ASSERT_NE(named, nullptr);
    named->SetName("probe");
    named->SetFaceAndVertexCount(0, 0);
    MakeMesh(*named->Geometry, {{0, 0, 0}, {1, 2, 3}, {3, 1, 2}}, {{0, 1, 2}});
    {
        TZevFFD ffd;
        ASSERT_TRUE(ffd.SetMesh(named));
        ASSERT_NE(ffd.DeformedMesh, nullptr);
        EXPECT_STREQ(ffd.DeformedMesh->GetName(), "probe");
        ASSERT_EQ(ffd.DeformedMesh->Geometry->VertexCount, 3);
        EXPECT_EQ(VertexPosition(ffd.DeformedMesh, 1).z, 3.0f);
    }
    named->Release();
}

} // namespace
