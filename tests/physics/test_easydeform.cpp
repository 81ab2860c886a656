// Easy deformable objects: the particle lattice and its links, the binding of vertices and leaves to particles,
// the passes that move the meshes, and a soft cube falling onto a floor in a world.
#include "ZevBodyUtil.h"
#include "ZevEasyDeformableObj.h"
#include "ZevGameChara.h"
#include "ZevMesh.h"
#include "ZevPhscs2World.h"
#include "ZevCharaInit.h"
#include "ZevRigidLink.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace physics_test;

// A character whose collision mesh is `fill`ed in (no visual mesh of its own).
TZevGameChara* MeshChara(const std::function<void(TZevMeshData&)>& fill)
{
    ZevCharaInit();
    TZevGameChara* body = new TZevGameChara;
    TZevPolygonMesh* mesh = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
    mesh->Clear();
    fill(*mesh->Geometry);
    mesh->ComputeNormals();
    body->SetCollisionMesh(mesh);
    mesh->Release();
    return body;
}

// Every rigid link of the lattice once (each stands in both particles' lists).
std::vector<TZevRigidLink*> LatticeLinks(const TZevEasyDeformableObj& d)
{
    std::set<TZevRigidLink*> seen;
    std::vector<TZevRigidLink*> links;
    for (int q = 0; q < d.ParticleCount; ++q) {
        for (void* item : d.Particles[q].RigidLinks) {
            TZevRigidLink* link = static_cast<TZevRigidLink*>(item);
            if (seen.insert(link).second)
                links.push_back(link);
        }
    }
    return links;
}

struct LatticeCase {
    int n;
    int particles;
    int links;
    int pairs;
};

class EasyDeformLattice : public ::testing::TestWithParam<LatticeCase> {};

TEST_P(EasyDeformLattice, UnitCubeGetsTheParticlesAndLinksOfItsLattice)
{
    const LatticeCase c = GetParam();
    TZevGameChara* body = MeshChara([](TZevMeshData& m) { MakeCube(m, 0, 0, 0, 1, 1, 1); });
    auto* d = new TZevEasyDeformableObj;
    ASSERT_TRUE(d->Build(body, c.n));
    EXPECT_EQ(body->RigidShape, 0);
    ASSERT_EQ(d->ParticleCount, c.particles);
    ASSERT_EQ(d->ProxyCount, c.particles);
    const float top = 1.0f * TZevEasyDeformableObj::BoxEnlargement;
    for (int q = 0; q < d->ParticleCount; ++q) {
        const TZevPhscs2Particle& p = d->Particles[q];
        EXPECT_EQ(p.Mass, 0.0625f);
        EXPECT_EQ(d->Proxies[q].Object, &p);
        EXPECT_EQ(p.PrevPosition.x, p.Position.x);
        const int i = q / (c.n * c.n), j = (q / c.n) % c.n, k = q % c.n;
        const float h = top / static_cast<float>(c.n - 1);
        EXPECT_EQ(p.Position.x, h * static_cast<float>(i));
        EXPECT_EQ(p.Position.y, h * static_cast<float>(j));
        EXPECT_EQ(p.Position.z, h * static_cast<float>(k));
    }
    if (c.n == 3) {
        EXPECT_EQ(d->Particles[13].Position.x, 0.50000048f);
        EXPECT_EQ(d->Particles[26].Position.z, 1.0000010f);
    }
    const std::vector<TZevRigidLink*> links = LatticeLinks(*d);
    std::set<std::pair<void*, void*>> pairs;
    const float edge = top / static_cast<float>(c.n - 1);
    for (TZevRigidLink* l : links) {
        void* a = l->ObjectA;
        void* b = l->ObjectB;
        pairs.insert(a < b ? std::make_pair(a, b) : std::make_pair(b, a));
        EXPECT_EQ(l->Spring, 7.5f);
        EXPECT_EQ(l->Damper, 0.0625f);
        EXPECT_EQ(l->StaticFriction, 0.08f);
        EXPECT_EQ(l->DynamicFriction, 0.08f);
        EXPECT_FLOAT_EQ(l->Tolerance, 0.25f * l->RestLength);
        if (std::fabs(l->RestLength - edge) < 1e-6f && c.n == 3) {
            EXPECT_EQ(l->RestLength, 0.50000048f);
            EXPECT_EQ(l->Tolerance, 0.12500012f);
        }
    }
    EXPECT_EQ(static_cast<int>(links.size()), c.links);
    EXPECT_EQ(static_cast<int>(pairs.size()), c.pairs);
    body->SetDeformPart(d);
    delete body;
}

INSTANTIATE_TEST_SUITE_P(Sizes, EasyDeformLattice,
                         ::testing::Values(LatticeCase{2, 8, 49, 28}, LatticeCase{3, 27, 302, 158}),
                         [](const ::testing::TestParamInfo<LatticeCase>& info) {
                             return "N" + std::to_string(info.param.n);
                         });

TEST(EasyDeform, BuildRefusesTooSmallLatticesAndNullBodies)
{
    TZevGameChara* body = MeshChara([](TZevMeshData& m) { MakeCube(m, 0, 0, 0, 1, 1, 1); });
    TZevEasyDeformableObj d;
    EXPECT_FALSE(d.Build(body, 1));
    EXPECT_FALSE(d.Build(body, 0));
    EXPECT_FALSE(d.Build(nullptr, 3));
    EXPECT_EQ(d.ParticleCount, 0);
    EXPECT_EQ(body->RigidShape, 1);
    delete body;
}

// Vertices: the cube's corners, one at the centre of the lattice cell (0, 0, 0), and a small triangle inside it.
void CubeWithInnerPoints(TZevMeshData& m)
{
    MakeMesh(m,
             {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1},
              {0.1f, 0.1f, 0.1f}, {0.2f, 0.1f, 0.1f}, {0.1f, 0.2f, 0.1f}},
             {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
              {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}, {8, 9, 10}});
}

TEST(EasyDeform, VerticesTakeTrilinearWeightsAndFollowTheParticles)
{
    TZevGameChara* body = MeshChara(CubeWithInnerPoints);
    auto* d = new TZevEasyDeformableObj;
    ASSERT_TRUE(d->Build(body, 3));
    ASSERT_EQ(d->Nodes1Count, 11);
    // The corner at the lattice minimum: all its weight on particle 0.
    const TZevDeformControlNode& corner = d->Nodes1[0];
    ASSERT_EQ(corner.Count, 8);
    EXPECT_EQ(corner.Weights[0].Proxy, &d->Proxies[0]);
    EXPECT_EQ(corner.Weights[0].Weight, 1.0f);
    for (int e = 1; e < 8; ++e)
        EXPECT_EQ(corner.Weights[e].Weight, 0.0f);
    // Every node: 8 entries summing to 1, in the corner order (0,0,0), (0,0,1), ... (1,1,1) of its cell.
    for (int v = 0; v < d->Nodes1Count; ++v) {
        const TZevDeformControlNode& node = d->Nodes1[v];
        ASSERT_EQ(node.Count, 8) << v;
        float sum = 0.0f;
        for (int e = 0; e < 8; ++e) {
            ASSERT_NE(node.Weights[e].Proxy, nullptr);
            sum += node.Weights[e].Weight;
        }
        EXPECT_NEAR(sum, 1.0f, 1e-5f) << v;
        const auto* p1 = static_cast<const TZevBodyProxy*>(node.Weights[1].Proxy);
        const auto* p0 = static_cast<const TZevBodyProxy*>(node.Weights[0].Proxy);
        EXPECT_EQ(p1 - p0, 1); // (0,0,1) follows (0,0,0)
    }

    // With the particles where they were built, the update leaves every vertex in place.
    TZevVertex* live = body->collisionMesh->Geometry->Vertices();
    std::vector<TZevVector> before;
    for (int v = 0; v < 11; ++v)
        before.push_back(TZevVector(live[v].x, live[v].y, live[v].z));
    TZevDeformableObj::UpdateVertices(d->Nodes1, d->Nodes1Count);
    for (int v = 0; v < 11; ++v) {
        EXPECT_NEAR(live[v].x, before[v].x, 1e-5f);
        EXPECT_NEAR(live[v].y, before[v].y, 1e-5f);
        EXPECT_NEAR(live[v].z, before[v].z, 1e-5f);
    }
    // Particle 0 moved by (1, 0, 0): the corner moves with it, the inner vertex by its weight.
    const float w8 = d->Nodes1[8].Weights[0].Weight;
    d->Particles[0].Position.x += 1.0f;
    TZevDeformableObj::UpdateVertices(d->Nodes1, d->Nodes1Count);
    EXPECT_NEAR(live[0].x, 1.0f, 1e-6f);
    EXPECT_NEAR(live[8].x, 0.1f + w8, 1e-5f);
    EXPECT_NEAR(live[1].x, 1.0f, 1e-6f); // not in particle 0's cells
    body->SetDeformPart(d);
    delete body;
}

TEST(EasyDeform, VertexAtACellCentreWeighsItsEightParticlesEqually)
{
    TZevGameChara* body = MeshChara([](TZevMeshData& m) {
        // A tetrahedron with one vertex at the centre of the lattice cell (0, 0, 0) of a 2 x 2 x 2 box.
        MakeMesh(m, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {2, 2, 2}, {0.5f, 0.5f, 0.5f}},
                 {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 4}, {1, 4, 3}, {2, 3, 4}, {5, 1, 2}});
    });
    auto* d = new TZevEasyDeformableObj;
    ASSERT_TRUE(d->Build(body, 3));
    const TZevDeformControlNode& centre = d->Nodes1[5];
    ASSERT_EQ(centre.Count, 8);
    for (int e = 0; e < 8; ++e)
        EXPECT_NEAR(centre.Weights[e].Weight, 0.125f, 1e-5f);
    body->SetDeformPart(d);
    delete body;
}

TEST(EasyDeform, ControlNodeSharesForcesEvenlyWhateverTheWeights)
{
    TZevGameChara* body = MeshChara(CubeWithInnerPoints);
    auto* d = new TZevEasyDeformableObj;
    ASSERT_TRUE(d->Build(body, 3));
    TZevDeformControlNode& node = d->Nodes1[8];
    node.AddForceAt(TZevVector(8, 0, 0), TZevVector(), 0.02f);
    for (int e = 0; e < 8; ++e) {
        const auto* p = static_cast<TZevPhscs2Particle*>(node.Weights[e].Proxy->Object);
        EXPECT_EQ(p->Force.x, 1.0f);
        EXPECT_EQ(p->Force.y, 0.0f);
    }
    // The small triangle lies in cell (0, 0, 0): its face leaf stands on that cell's 8 corners, weight 1 each.
    std::vector<TZevBoxNode*> faces = LeavesOfType(*body, ZevTypeFaceBoxVecT);
    TZevDeformControlNode* inner = nullptr;
    for (TZevBoxNode* leaf : faces) {
        const auto* f = static_cast<TZevFaceBoxVecT*>(leaf);
        if (f->i0 >= 8 && f->i1 >= 8 && f->i2 >= 8)
            inner = dynamic_cast<TZevDeformControlNode*>(leaf->object);
    }
    ASSERT_NE(inner, nullptr);
    ASSERT_EQ(inner->Count, 8);
    const int expected[8] = {0, 1, 3, 4, 9, 10, 12, 13};
    for (int e = 0; e < 8; ++e) {
        EXPECT_EQ(inner->Weights[e].Proxy, &d->Proxies[expected[e]]);
        EXPECT_EQ(inner->Weights[e].Weight, 1.0f);
    }
    // Every leaf now stands on a control node: faces and edges on their own, points on their vertex's node.
    for (EZevCollisionType type : {ZevTypeFaceBoxVecT, ZevTypeEdgeBoxVecT})
        for (TZevBoxNode* leaf : LeavesOfType(*body, type))
            EXPECT_NE(dynamic_cast<TZevDeformControlNode*>(leaf->object), nullptr);
    for (TZevBoxNode* leaf : LeavesOfType(*body, ZevTypePointBoxVecT))
        EXPECT_EQ(leaf->object, &d->Nodes1[static_cast<TZevPointBoxVecT*>(leaf)->i]);
    EXPECT_EQ(d->LeafNodes.GetCount(), static_cast<int>(faces.size() + LeavesOfType(*body, ZevTypeEdgeBoxVecT).size()));
    body->SetDeformPart(d);
    delete body;
}

TEST(EasyDeform, BindingToBodyRecords)
{
    TZevEasyDeformableObj d;
    TZevVertex rest[1] = {};
    rest[0].x = 0.5f;
    d.AllocNodes1(1);
    // No records: one entry without a proxy; the update then keeps the vertex at rest.
    d.BindControlNodes(d.Nodes1, rest, 0, 1);
    ASSERT_EQ(d.Nodes1[0].Count, 1);
    EXPECT_EQ(d.Nodes1[0].Weights[0].Proxy, nullptr);
    EXPECT_EQ(d.Nodes1[0].Weights[0].Weight, 1.0f);
    TZevVertex live[1] = {};
    TZevDeformableObj::SetNodeVertices(d.Nodes1, live, 0, 1);
    TZevDeformableObj::UpdateVertices(d.Nodes1, 1);
    EXPECT_EQ(live[0].x, 0.5f);

    // Two records of radius 0 at (0, 0, 0) and (2, 0, 0) both influencing (0.5, 0, 0): 0.6 and 0.4.
    TZevPhscs2RigidBody a, b;
    TZevMatrix at2;
    ZevMatTranslation(at2, 2, 0, 0);
    b.SetMatrix(at2);
    d.AllocRecords(2);
    TZevPhscs2RigidBody* bodies[2] = {&a, &b};
    for (int r = 0; r < 2; ++r) {
        d.Records[r].Object = bodies[r];
        ASSERT_TRUE(ZevMatInverse(d.Records[r].BindInverse, bodies[r]->Matrix));
        d.Records[r].Deform = TZevMatrix();
        d.Records[r].InfluenceRadiusSq = 10.0f;
    }
    d.BindControlNodes(d.Nodes1, rest, 0, 1);
    ASSERT_EQ(d.Nodes1[0].Count, 2);
    EXPECT_EQ(d.Nodes1[0].Weights[0].Proxy, &d.Records[0]);
    EXPECT_FLOAT_EQ(d.Nodes1[0].Weights[0].Weight, 0.6f);
    EXPECT_FLOAT_EQ(d.Nodes1[0].Weights[1].Weight, 0.4f);

    // Both records at one place: no pair gives a weight, so the nearest record carries the vertex alone.
    b.SetMatrix(TZevMatrix());
    ASSERT_TRUE(ZevMatInverse(d.Records[1].BindInverse, b.Matrix));
    d.BindControlNodes(d.Nodes1, rest, 0, 1);
    ASSERT_EQ(d.Nodes1[0].Count, 1);
    EXPECT_EQ(d.Nodes1[0].Weights[0].Weight, 1.0f);
    d.Clear();
}

TEST(EasyDeform, FlatMeshGetsAThinLatticeWithFiniteWeights)
{
    // A square in the plane y = 2: no extent along y.
    TZevGameChara* body = MeshChara([](TZevMeshData& m) {
        MakeMesh(m, {{0, 2, 0}, {4, 2, 0}, {4, 2, 4}, {0, 2, 4}, {2, 2, 2}}, {{0, 4, 1}, {1, 4, 2}, {2, 4, 3}, {3, 4, 0}});
    });
    auto* d = new TZevEasyDeformableObj;
    ASSERT_TRUE(d->Build(body, 3));
    EXPECT_GT(d->Cell.y, 0.0f);
    EXPECT_TRUE(std::isfinite(d->Cell.y));
    EXPECT_LT(d->LatticeMin.y, 2.0f);
    for (int v = 0; v < d->Nodes1Count; ++v) {
        const TZevDeformControlNode& node = d->Nodes1[v];
        ASSERT_EQ(node.Count, 8) << v;
        for (int e = 0; e < 8; ++e) {
            EXPECT_NE(node.Weights[e].Proxy, nullptr);
            EXPECT_TRUE(std::isfinite(node.Weights[e].Weight));
        }
    }
    for (void* item : d->LeafNodes) {
        const auto* node = static_cast<TZevDeformControlNode*>(item);
        EXPECT_GT(node->Count, 0);
    }
    TZevDeformableObj::UpdateVertices(d->Nodes1, d->Nodes1Count);
    const TZevVertex* live = body->collisionMesh->Geometry->Vertices();
    for (int v = 0; v < 5; ++v)
        EXPECT_NEAR(live[v].y, 2.0f, 1e-5f);
    EXPECT_NEAR(live[2].x, 4.0f, 1e-5f);
    body->SetDeformPart(d);
    delete body;
}

struct SoftWorld {
    SoftWorld()
    {
        ZevCharaInit();
        world = std::make_unique<TZevPhscs2World>();
        ZevSetPhOnlyParameters(world.get());
        floor = ZevAsGameChara(CreateBoxXPhBody(nullptr, Translation(0, -0.5f, 0), nullptr, world.get(),
                                                TZevVector(-5, -0.5f, -5), TZevVector(5, 0.5f, 5), 1.0f));
        floor->SetFixed(1);
    }
    // A soft unit cube with its lower face at `y`, made as the script builtin makes it.
    TZevGameChara* SoftCube(float y, TZevEasyDeformableObj** out)
    {
        TZevGameChara* body = ZevAsGameChara(CreateBoxXPhBody(nullptr, Translation(0, y + 0.5f, 0), nullptr,
                                                              world.get(), TZevVector(-0.5f, -0.5f, -0.5f),
                                                              TZevVector(0.5f, 0.5f, 0.5f), 1.0f));
        auto* d = new TZevEasyDeformableObj;
        EXPECT_TRUE(d->Build(body, 3));
        body->SetDeformPart(d);
        body->Unlink();
        body->AdvanceStep(0.0f);
        body->AdvanceStep(0.0f);
        world->AddBody(body);
        *out = d;
        return body;
    }
    float Lowest(const TZevEasyDeformableObj& d) const
    {
        float y = 1e30f;
        for (int q = 0; q < d.ParticleCount; ++q)
            y = std::fmin(y, d.Particles[q].Position.y);
        return y;
    }
    std::unique_ptr<TZevPhscs2World> world;
    TZevGameChara* floor;
};

TEST(EasyDeformScenes, SoftCubeFallsAndRestsOnTheFloor)
{
    SoftWorld w;
    TZevEasyDeformableObj* d = nullptr;
    TZevGameChara* cube = w.SoftCube(1.0f, &d);
    ASSERT_NE(cube, nullptr);
    // Placed where the body was: the lattice follows the body's matrix.
    EXPECT_NEAR(w.Lowest(*d), 1.0f, 1e-4f);
    for (int i = 0; i < 20; ++i)
        w.world->Step(0.02f);
    EXPECT_LT(w.Lowest(*d), 0.99f); // falling
    for (int i = 0; i < 380; ++i)
        w.world->Step(0.02f);
    const float rest = w.Lowest(*d);
    EXPECT_GT(rest, -w.world->InterferencePermitDistance - 0.05f);
    EXPECT_LT(rest, 0.1f);
    float speed = 0.0f;
    for (int q = 0; q < d->ParticleCount; ++q) {
        EXPECT_TRUE(std::isfinite(d->Particles[q].Position.y));
        speed = std::fmax(speed, d->Particles[q].Velocity.Length());
    }
    EXPECT_LT(speed, 0.2f);
    // The collision mesh went with the particles.
    const TZevMeshData* mesh = cube->collisionMesh->Geometry;
    float meshLow = 1e30f;
    for (int v = 0; v < mesh->VertexCount; ++v)
        meshLow = std::fmin(meshLow, mesh->Vertices()[v].y);
    EXPECT_NEAR(meshLow, rest, 0.1f);
    // So did the visual mesh (moved when each step is committed), with fresh normals.
    ASSERT_NE(cube->visualMesh, cube->collisionMesh);
    const TZevMeshData* visual = cube->visualMesh->Geometry;
    float visualLow = 1e30f;
    for (int v = 0; v < visual->VertexCount; ++v) {
        const TZevVertex& x = visual->Vertices()[v];
        visualLow = std::fmin(visualLow, x.y);
        EXPECT_NEAR(x.nx * x.nx + x.ny * x.ny + x.nz * x.nz, 1.0f, 1e-3f);
    }
    EXPECT_NEAR(visualLow, rest, 0.1f);
    // The cube keeps its size roughly (the links hold the lattice).
    float top = -1e30f;
    for (int q = 0; q < d->ParticleCount; ++q)
        top = std::fmax(top, d->Particles[q].Position.y);
    EXPECT_GT(top - rest, 0.7f);
}

TEST(EasyDeformScenes, MadeRigidAgainOrDestroyedInContactLeavesNothingDangling)
{
    SoftWorld w;
    TZevEasyDeformableObj* d = nullptr;
    TZevGameChara* cube = w.SoftCube(0.05f, &d);
    for (int i = 0; i < 30; ++i)
        w.world->Step(0.02f);
    // Rigid again while touching the floor: the leaves go back to the rigid part.
    cube->SetDeformPart(nullptr);
    EXPECT_EQ(cube->RigidShape, 1);
    for (TZevBoxNode* leaf : LeavesOfType(*cube, ZevTypeFaceBoxVecT))
        EXPECT_EQ(leaf->object, cube->MainPart);
    EXPECT_EQ(cube->StateObjects.GetCount(), 1);
    for (int i = 0; i < 10; ++i)
        w.world->Step(0.02f);
    // A second soft cube is destroyed with the world while it lies on the floor.
    TZevEasyDeformableObj* d2 = nullptr;
    w.SoftCube(0.05f, &d2);
    for (int i = 0; i < 30; ++i)
        w.world->Step(0.02f);
    w.world.reset();
}

TEST(EasyDeformScenes, MovingASoftBodyMovesItsParticles)
{
    SoftWorld w;
    TZevEasyDeformableObj* d = nullptr;
    TZevGameChara* cube = w.SoftCube(3.0f, &d);
    const TZevVector before = d->Particles[0].Position;
    cube->SetMatrixValues(Translation(5, 0, 0));
    EXPECT_NEAR(d->Particles[0].Position.x, before.x + 5.0f, 1e-5f);
    EXPECT_NEAR(d->Particles[0].Position.y, before.y, 1e-5f);
    EXPECT_NEAR(d->Particles[0].PrevPosition.x, before.x + 5.0f, 1e-5f);
}

} // namespace
