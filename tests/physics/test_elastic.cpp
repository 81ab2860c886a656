// The elastic object: lattice particles joined by damped springs, moved by gravity and the springs, bending the
// mesh and its collision model with them.
#include "ZevElastic.h"

#include "Zev3DG2R.h"
#include "ZevMesh.h"
#include "ZevMeshCollider.h"
#include "test_meshcollider_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

using physics_test::MakeCube;
using physics_test::MakeMesh;

class ElasticTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ZevSceneInit();
        ZevElasticInit();
    }
};

using Mesh = physics_test::TestMesh;
using physics_test::VertexPosition;

TEST_F(ElasticTest, ClassesAreRegisteredUnderTheirParents)
{
    const TZevClassRecord* base = FindClassRecord("TZevPhisicsObj");
    ASSERT_NE(base, nullptr);
    EXPECT_STREQ(base->parentName, "TZevStringTree");
    const TZevClassRecord* elastic = FindClassRecord("TZevElastic");
    ASSERT_NE(elastic, nullptr);
    EXPECT_STREQ(elastic->parentName, "TZevPhisicsObj");
    TZevLSObj* made = CreateObjectByName("TZevElastic");
    ASSERT_NE(made, nullptr);
    EXPECT_NE(dynamic_cast<TZevElastic*>(made), nullptr);
    EXPECT_STREQ(made->GetClassRecordName(), "TZevElastic");
    made->Release();
}

TEST_F(ElasticTest, BuildMakesAParticlePerPointAndSpringsToEveryNeighbour)
{
    Mesh cube;
    MakeCube(cube.data(), -1, -1, -1, 1, 1, 1);
    TZevElastic body;
    for (int n : {2, 3, 4}) {
        SCOPED_TRACE("n=" + std::to_string(n));
        ASSERT_TRUE(body.Build(cube.mesh, n, 2.0f, 50.0f, 0.5f));
        EXPECT_EQ(body.N, n);
        EXPECT_EQ(body.NodeCount, n * n * n);
        EXPECT_EQ(body.Particles.GetCount(), n * n * n);
        // Pairs of points at most one step apart on every axis.
        EXPECT_EQ(body.Springs.GetCount(), ((3 * n - 2) * (3 * n - 2) * (3 * n - 2) - n * n * n) / 2);
        EXPECT_EQ(body.Mesh, cube.mesh);
        float mass = 0;
        for (void* p : body.Particles)
            mass += static_cast<TZevElasticParticle*>(p)->Mass;
        EXPECT_FLOAT_EQ(mass, 2.0f);
        for (void* s : body.Springs)
            EXPECT_GT(static_cast<TZevElasticSpring*>(s)->Rest, 0.0f);
        ASSERT_NE(body.Collider, nullptr);
        EXPECT_EQ(body.Collider->mesh, body.Lattice->DeformedMesh);
        EXPECT_TRUE(body.Collider->IsPointInside(TZevVector(0, 0, 0)));
    }
    body.Clear();
    EXPECT_EQ(body.Mesh, nullptr);
    EXPECT_EQ(body.Springs.GetCount(), 0);
    EXPECT_EQ(cube.mesh->GetRefCount(), 1) << "every reference given back";
}

TEST_F(ElasticTest, AtRestWithoutGravityNothingMoves)
{
    Mesh cube;
    MakeCube(cube.data(), -1, -1, -1, 1, 1, 1);
    TZevElastic body;
    ASSERT_TRUE(body.Build(cube.mesh, 3, 1.0f, 80.0f, 1.0f));
    float g = 9.8f;
    body.Gravity = &g;
    body.NoGravity = 1;
    for (int i = 0; i < 5; ++i)
        body.Step(0.02f);
    for (int q = 0; q < body.NodeCount; ++q) {
        ASSERT_EQ(body.Nodes[q].Particle.Velocity.x, 0.0f);
        ASSERT_EQ(body.Nodes[q].Particle.Velocity.y, 0.0f);
        ASSERT_EQ(std::memcmp(&body.Lattice->Points[q], &body.Lattice->RestPoints[q], sizeof(TZevVector)), 0);
    }
    for (int i = 0; i < cube.data().VertexCount; ++i) {
        const TZevVector a = VertexPosition(cube.mesh, i), b = VertexPosition(body.Lattice->DeformedMesh, i);
        ASSERT_EQ(a.x, b.x);
        ASSERT_EQ(a.y, b.y);
        ASSERT_EQ(a.z, b.z);
    }
}

TEST_F(ElasticTest, GravityMovesTheWholeBodyAndItsCollisionModel)
{
    Mesh cube;
    MakeCube(cube.data(), -1, -1, -1, 1, 1, 1);
    TZevElastic body;
    ASSERT_TRUE(body.Build(cube.mesh, 3, 1.0f, 80.0f, 1.0f));
    float g = 10.0f;
    body.Gravity = &g;
    const float dt = 0.1f;
    body.Step(dt);
    for (int q = 0; q < body.NodeCount; ++q) {
        const TZevElasticParticle& p = body.Nodes[q].Particle;
        ASSERT_NEAR(p.Velocity.y, -g * dt, 1e-5f);
        ASSERT_NEAR(p.Position.y - body.Lattice->RestPoints[q].y, -g * dt * dt, 1e-5f);
        ASSERT_EQ(p.Force.y, 0.0f);
    }
    EXPECT_NEAR(VertexPosition(body.Lattice->DeformedMesh, 0).y, -1.0f - g * dt * dt, 1e-5f);
    EXPECT_NEAR(body.Collider->localBox.Max.y, 1.0f - g * dt * dt, 1e-5f);
    // Without the pointer there is no gravity either.
    body.Gravity = nullptr;
    const float before = body.Nodes[0].Particle.Velocity.y;
    body.Step(dt);
    EXPECT_EQ(body.Nodes[0].Particle.Velocity.y, before);
}

TEST_F(ElasticTest, PausedStepOnlyCopiesParticlesIntoTheLattice)
{
    Mesh cube;
    MakeCube(cube.data(), -1, -1, -1, 1, 1, 1);
    TZevElastic body;
    ASSERT_TRUE(body.Build(cube.mesh, 2, 1.0f, 80.0f, 1.0f));
    float g = 10.0f;
    body.Gravity = &g;
    body.Paused = 1;
    body.Nodes[0].Particle.Position = TZevVector(-3, -1, -1);
    body.Step(0.1f);
    EXPECT_EQ(body.Lattice->Points[0].x, -3.0f);
    EXPECT_EQ(body.Nodes[1].Particle.Velocity.y, 0.0f) << "no forces while paused";
    EXPECT_EQ(VertexPosition(body.Lattice->DeformedMesh, 0).x, -1.0f) << "no deformation while paused";
    body.Paused = 0;
    body.NoGravity = 1;
    body.Step(0.0f);
    EXPECT_FLOAT_EQ(VertexPosition(body.Lattice->DeformedMesh, 0).x, -3.0f);
}

// Two free particles on a spring, outside any lattice.
struct Pair {
    explicit Pair(float k, float c)
    {
        a.Mass = 1.0f;
        b.Mass = 1.0f;
        b.Position = TZevVector(2, 0, 0);
        spring = body.AddSpring(&a, &b, k, c);
        body.Particles.Add(&a);
        body.Particles.Add(&b);
    }
    TZevElastic body;
    TZevElasticParticle a, b;
    TZevElasticSpring* spring;
};

TEST_F(ElasticTest, SpringsPullTogetherPushApartAndDamp)
{
    {
        Pair p(10.0f, 0.0f);
        ASSERT_NE(p.spring, nullptr);
        EXPECT_EQ(p.spring->Rest, 2.0f);
        p.b.Position = TZevVector(3, 0, 0); // stretched by 1
        p.body.Step(0.1f);
        // Spring term (L - rest) k dt = 1 along +x on a: velocity dt / m times that.
        EXPECT_FLOAT_EQ(p.a.Velocity.x, 0.1f);
        EXPECT_FLOAT_EQ(p.b.Velocity.x, -0.1f);
        EXPECT_EQ(p.a.Velocity.y, 0.0f);
    }
    {
        Pair p(10.0f, 0.0f);
        p.b.Position = TZevVector(1.5f, 0, 0); // compressed
        p.body.Step(0.1f);
        EXPECT_LT(p.a.Velocity.x, 0.0f);
        EXPECT_GT(p.b.Velocity.x, 0.0f);
    }
    {
        Pair p(0.0f, 4.0f);
        p.b.Velocity = TZevVector(1, 0, 0); // moving apart at rest length: only damping
        p.body.Step(0.5f);
        // ((dv . d) dt) d c / L^2 = (2 * 0.5) * 2 * 4 / 4 = 2 along +x.
        EXPECT_FLOAT_EQ(p.a.Velocity.x, 0.5f * 2.0f);
        EXPECT_FLOAT_EQ(p.b.Velocity.x, 1.0f - 0.5f * 2.0f);
    }
    {
        Pair p(10.0f, 1.0f);
        p.a.Increment = TZevVector(0, 0, 2);
        p.body.Step(0.5f);
        EXPECT_FLOAT_EQ(p.a.Velocity.z, 2.0f) << "the increment is added unscaled";
        EXPECT_FLOAT_EQ(p.a.Position.z, 1.0f);
        EXPECT_EQ(p.a.Increment.z, 0.0f);
    }
}

TEST_F(ElasticTest, SpringsWithoutLengthAreRefused)
{
    TZevElastic body;
    TZevElasticParticle a, b, c;
    a.Mass = b.Mass = c.Mass = 1.0f;
    b.Position = TZevVector(1, 1, 1);
    c.Position = a.Position;
    EXPECT_EQ(body.AddSpring(&a, &a, 1, 1), nullptr);
    EXPECT_EQ(body.AddSpring(&a, &c, 1, 1), nullptr);
    EXPECT_EQ(body.AddSpring(&a, nullptr, 1, 1), nullptr);
    EXPECT_EQ(body.Springs.GetCount(), 0);

    // Particles that meet during the run leave the spring without direction for that step: no division by 0.
    ASSERT_NE(body.AddSpring(&a, &b, 5, 1), nullptr);
    body.Particles.Add(&a);
    body.Particles.Add(&b);
    b.Position = a.Position;
    b.Velocity = TZevVector(1, 0, 0);
    body.Step(0.1f);
    EXPECT_TRUE(std::isfinite(a.Position.x) && std::isfinite(a.Velocity.x));
    EXPECT_EQ(a.Velocity.x, 0.0f);
    body.Step(0.1f); // apart again: the spring acts
    EXPECT_NE(a.Velocity.x, 0.0f);
    EXPECT_TRUE(std::isfinite(a.Velocity.x));
}

TEST_F(ElasticTest, FlatMeshesAndLatticesOfOnePointAreRefused)
{
    Mesh cube;
    MakeCube(cube.data(), -1, -1, -1, 1, 1, 1);
    Mesh flat;
    MakeMesh(flat.data(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 3}, {0, 3, 2}});
    struct Case {
        const char* name;
        Mesh* mesh;
        int n;
        float mass;
    } const cases[] = {
        {"one point per axis", &cube, 1, 1.0f}, {"no points", &cube, 0, 1.0f},    {"flat mesh", &flat, 3, 1.0f},
        {"no mass", &cube, 3, 0.0f},            {"mass not a number", &cube, 3, NAN}, {"no mesh", nullptr, 3, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TZevElastic body;
        float g = 9.8f;
        body.Gravity = &g;
        EXPECT_FALSE(body.Build(c.mesh ? c.mesh->mesh : nullptr, c.n, c.mass, 10.0f, 1.0f));
        EXPECT_EQ(body.Lattice, nullptr);
        EXPECT_EQ(body.NodeCount, 0);
        EXPECT_EQ(body.Springs.GetCount(), 0);
        body.Step(0.02f); // harmless on an empty body
    }
    EXPECT_EQ(cube.mesh->GetRefCount(), 1);
    EXPECT_EQ(flat.mesh->GetRefCount(), 1);
}

} // namespace
