// Contact estimates per leaf (face normals and thresholds, edge thresholds and mean normals, vertex normals and
// inset points, the placement of the layer boxes) and the contact re-test of face-point and edge-edge links.
#include "ZevContactEstimate.h"

#include "ZevContactLink.h"
#include "test_collink_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace physics_test;
using V = TZevVector;

using ContactEstimates = ContactWorld;

void ExpectNear(const V& actual, const V& expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// The leaf whose vertex indices are exactly these.
TZevBoxNode* FaceWith(TZevXPhObj* body, int i0, int i1, int i2)
{
    for (TZevBoxNode* n : MeshLeaves(*body, ZevTypeFaceBoxVecT)) {
        auto* f = static_cast<TZevFaceBoxVecT*>(n);
        if (f->i0 == i0 && f->i1 == i1 && f->i2 == i2)
            return n;
    }
    return nullptr;
}

TZevEdgeBoxVecT* EdgeWith(TZevXPhObj* body, int a, int b)
{
    for (TZevBoxNode* n : MeshLeaves(*body, ZevTypeEdgeBoxVecT)) {
        auto* e = static_cast<TZevEdgeBoxVecT*>(n);
        if ((e->i0 == a && e->i1 == b) || (e->i0 == b && e->i1 == a))
            return e;
    }
    return nullptr;
}

TZevPointBoxVecT* PointWith(TZevXPhObj* body, int i)
{
    for (TZevBoxNode* n : MeshLeaves(*body, ZevTypePointBoxVecT)) {
        if (static_cast<TZevPointBoxVecT*>(n)->i == i)
            return static_cast<TZevPointBoxVecT*>(n);
    }
    return nullptr;
}

TEST_F(ContactEstimates, ThresholdsAreFiveTimesThePermitDistanceOverTheEdgeLength)
{
    // Face (0, 1, 2) with |V1 - V0| = 2 and |V2 - V0| = 4; an edge of length 0.5 in a second triangle.
    TZevMeshData* mesh = NewMesh();
    MakeMesh(*mesh, {{0, 0, 0}, {2, 0, 0}, {0, 4, 0}, {10, 0, 0}, {10.5f, 0, 0}, {10, 0, 1}}, {{0, 1, 2}, {3, 4, 5}});
    mesh->ComputeNormals();
    world->InterferencePermitDistance = 0.1f;
    TZevXPhObj* body = NewBody(mesh);
    TZevFC2RFaceLink* face = ZevFaceColLink(FaceWith(body, 0, 1, 2));
    EXPECT_EQ(face->thresholdU, 0.1f * 5.0f / 2.0f);
    EXPECT_EQ(face->thresholdV, 0.1f * 5.0f / 4.0f);
    EXPECT_NEAR(face->thresholdU, 0.25f, 1e-7f);
    EXPECT_NEAR(face->thresholdV, 0.125f, 1e-7f);
    ExpectNear(face->normal, V(0, 0, 1));
    TZevFC2REdgeLink* edge = ZevEdgeColLink(EdgeWith(body, 3, 4));
    EXPECT_EQ(edge->threshold, 0.1f * 5.0f / 0.5f);
    EXPECT_NEAR(edge->threshold, 1.0f, 1e-6f);
}

TEST_F(ContactEstimates, DegenerateFacesAndEdgesGetFixedNormalsAndKeepTheirThresholds)
{
    // Triangle (0, 1, 2) collinear; triangle (3, 4, 5) with corners 3 and 4 on one spot.
    TZevMeshData* mesh = NewMesh();
    MakeMesh(*mesh, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {5, 0, 0}, {5, 0, 0}, {5, 1, 0}}, {{0, 1, 2}, {3, 4, 5}});
    TZevXPhObj* body = NewBody(mesh);
    TZevFC2RFaceLink* collinear = ZevFaceColLink(FaceWith(body, 0, 1, 2));
    ExpectNear(collinear->normal, V(0, 0, 1));
    TZevFC2RFaceLink* pinched = ZevFaceColLink(FaceWith(body, 3, 4, 5));
    ExpectNear(pinched->normal, V(0, 0, 1));
    // The zero-length edge keeps the threshold it had; the other one is computed.
    pinched->thresholdU = 7.0f;
    ProcessBodyContacts(world, body);
    EXPECT_EQ(pinched->thresholdU, 7.0f);
    EXPECT_EQ(pinched->thresholdV, 0.1f * 5.0f / 1.0f);
    // An edge between faces of opposite normals, and one without any face, get (0, 1, 0).
    TZevMeshData* folded = NewMesh();
    MakeMesh(*folded, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}}, {{0, 1, 2}, {1, 0, 3}});
    TZevXPhObj* flat = NewBody(folded);
    ExpectNear(ZevEdgeColLink(EdgeWith(flat, 0, 1))->normal, V(0, 0, 1));
    ZevFaceColLink(FaceWith(flat, 1, 0, 3))->normal = V(0, 0, -1);
    EstimateEdgeLink(0.1f, EdgeWith(flat, 0, 1));
    ExpectNear(ZevEdgeColLink(EdgeWith(flat, 0, 1))->normal, V(0, 1, 0));
    TZevEdgeBoxVecT* lone = EdgeWith(flat, 0, 1);
    lone->face0 = lone->face1 = nullptr;
    EstimateEdgeLink(0.1f, lone);
    ExpectNear(ZevEdgeColLink(lone)->normal, V(0, 1, 0));
}

TEST_F(ContactEstimates, ACubeCornerIsInsetByThePermitDistanceFromEachOfItsFaces)
{
    world->InterferencePermitDistance = 0.1f;
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    MoveTo(body, Translation(3, 0, 0));
    body->AdvanceStep(0.0f);
    ProcessBodyContacts(world, body);
    for (int deformable = 0; deformable < 2; ++deformable) {
        SCOPED_TRACE(deformable);
        body->RigidShape = deformable ? 0 : 1;
        ClearBodyLinkLists(body);
        ProcessBodyContacts(world, body);
        // Corner 6 at (1, 1, 1) of the cube now at x + 3: the inset point lies 0.1 inside every face.
        TZevFC2RPointLink* corner = ZevPointColLink(PointWith(body, 6));
        ExpectNear(corner->box1->store.currentStore[0], V(3.9f, 0.9f, 0.9f), 2e-6f);
        // Layer 2 runs from the inset point out to the vertex; layer 1 from the last inset point to this one.
        ExpectNear(corner->box2->store.previousStore[0], V(3.9f, 0.9f, 0.9f), 2e-6f);
        ExpectNear(corner->box2->store.currentStore[0], V(4, 1, 1));
        ExpectNear(corner->box1->store.previousStore[0], V(3.9f, 0.9f, 0.9f), 2e-6f);
        V unit(1, 1, 1);
        unit.Normalize();
        ExpectNear(corner->normal, unit);
        // The face and edge boxes take their corners from the point links' boxes of the same layer.
        auto* top = static_cast<TZevFaceBoxVecT*>(FaceWith(body, 4, 5, 6));
        TZevFC2RFaceLink* face = ZevFaceColLink(top);
        ExpectNear(face->normal, V(0, 0, 1));
        ExpectNear(face->box1->store.currentStore[2], corner->box1->store.currentStore[0], 0);
        ExpectNear(face->box2->store.previousStore[2], corner->box2->store.previousStore[0], 0);
        ExpectNear(face->box2->store.currentStore[2], V(4, 1, 1), 0);
        TZevFC2REdgeLink* edge = ZevEdgeColLink(EdgeWith(body, 5, 6));
        const int end = static_cast<TZevEdgeBoxVecT*>(EdgeWith(body, 5, 6))->i0 == 6 ? 0 : 1;
        ExpectNear(edge->box1->store.currentStore[end], corner->box1->store.currentStore[0], 0);
        ExpectNear(edge->box2->store.currentStore[end], V(4, 1, 1), 0);
    }
}

TEST_F(ContactEstimates, FlatAndPerpendicularVertexNormalsInsetByThePermitDistanceAlongTheNormal)
{
    // A flat 3 x 3 grid: the middle vertex's normal is the normal of every face around it.
    TZevMeshData* mesh = NewMesh();
    std::vector<TZevVector> grid;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            grid.emplace_back(static_cast<float>(x), static_cast<float>(y), 0.0f);
    std::vector<std::vector<int>> quads;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            quads.push_back({y * 3 + x, y * 3 + x + 1, y * 3 + x + 4, y * 3 + x + 3});
    MakeMesh(*mesh, grid, quads);
    mesh->ComputeNormals();
    world->InterferencePermitDistance = 0.1f;
    TZevXPhObj* body = NewBody(mesh);
    TZevFC2RPointLink* middle = ZevPointColLink(PointWith(body, 4));
    ExpectNear(middle->normal, V(0, 0, 1));
    ExpectNear(middle->box1->store.currentStore[0], V(1, 1, -0.1f));
    // A vertex normal perpendicular to every face around it: m = 0, so the inset is p along the normal.
    mesh->Vertices()[4].nx = 1.0f;
    mesh->Vertices()[4].nz = 0.0f;
    ProcessBodyContacts(world, body);
    ExpectNear(middle->box1->store.currentStore[0], V(0.9f, 1, 0));
}

TEST_F(ContactEstimates, ADeformableVertexWithoutEdgesKeepsItsNormalAndSitsOnItsVertex)
{
    TZevMeshData* mesh = NewMesh();
    MakeMesh(*mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {4, 4, 4}}, {{0, 1, 2}});
    TZevXPhObj* body = NewBody(mesh);
    body->RigidShape = 0;
    TZevFC2RPointLink* lone = ZevPointColLink(PointWith(body, 3));
    lone->normal = V(0, 0, 5);
    ProcessBodyContacts(world, body);
    ExpectNear(lone->normal, V(0, 0, 5));
    ExpectNear(lone->box1->store.currentStore[0], V(4, 4, 4));
    ExpectNear(lone->box2->store.previousStore[0], V(4, 4, 4));
}

// A contact link over hand-made records: a face (0, 1, 2) of `faceArray` and the point `point` of
// `pointArray`, or two edges.
class Retest : public ContactWorld {
protected:
    void SetUp() override
    {
        ContactWorld::SetUp();
        link = NewContactLink();
        link->RecordA = NewContactRecord();
        link->RecordB = NewContactRecord();
    }
    void TearDown() override
    {
        link->Release();
        ContactWorld::TearDown();
    }
    void FacePoint(const V& v0, const V& v1, const V& v2, const V& p, const V& normal)
    {
        corners = {v0, v1, v2};
        points = {p};
        Bind();
        face.SetFace(&cornerArray, &cornerArray, 0, 1, 2);
        point.SetPoint(&pointArray, &pointArray, 0);
        Record(link->RecordA, &face, &cornerArray, 0, 1, 2);
        Record(link->RecordB, &point, &pointArray, 0, 0, 0);
        link->RecordA->normal = normal;
    }
    void EdgeEdge(const V& a0, const V& a1, const V& b0, const V& b1)
    {
        corners = {a0, a1};
        points = {b0, b1};
        Bind();
        edgeA.SetEdge(&cornerArray, &cornerArray, 0, 1);
        edgeB.SetEdge(&pointArray, &pointArray, 0, 1);
        Record(link->RecordA, &edgeA, &cornerArray, 0, 1, 0);
        Record(link->RecordB, &edgeB, &pointArray, 0, 1, 0);
    }
    static void Record(TZevFMCTree_CFaceData* r, TZevBoxNode* node, TZevVector** array, int i0, int i1, int i2)
    {
        r->node = node;
        r->currentArray = r->previousArray = array;
        r->indices[0] = i0;
        r->indices[1] = i1;
        r->indices[2] = i2;
        r->u = r->v = 0.0f;
    }

    TZevContactLink* link = nullptr;
    std::vector<V> corners;
    std::vector<V> points;
    TZevVector* cornerArray = nullptr;
    TZevVector* pointArray = nullptr;
    TZevFaceBoxVecT face;
    TZevPointBoxVecT point;
    TZevEdgeBoxVecT edgeA;
    TZevEdgeBoxVecT edgeB;

    void Bind()
    {
        cornerArray = corners.data();
        pointArray = points.data();
    }
};

TEST_F(Retest, APointAboveTheFaceHoldsWithinATenThousandthAndKeepsItsPosition)
{
    struct Case {
        float height;
        int result;
    };
    for (const Case c : {Case{0.00005f, 1}, Case{0.0002f, 0}, Case{-0.5f, 1}}) {
        SCOPED_TRACE(c.height);
        FacePoint(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0.25f, 0.5f, c.height), V(0, 0, 1));
        link->PrevUV[0] = 0.25f;
        link->PrevUV[1] = 0.0f;
        EXPECT_EQ(RetestContact(link), c.result);
        EXPECT_NEAR(link->UV[0], 0.25f, 1e-6f);
        EXPECT_NEAR(link->UV[1], 0.5f, 1e-6f);
        EXPECT_EQ(link->RecordA->u, link->UV[0]);
        EXPECT_NEAR(link->DeltaUV[0], 0.0f, 1e-6f);
        EXPECT_NEAR(link->DeltaUV[1], 0.5f, 1e-6f);
    }
}

TEST_F(Retest, APointBeyondTheFarEdgeIsProjectedOntoItsLine)
{
    FacePoint(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0.8f, 0.6f, 0), V(0, 0, 1));
    EXPECT_EQ(RetestContact(link), 1);
    const float w = link->UV[1];
    EXPECT_NEAR(w, 0.4f, 1e-6f);
    EXPECT_EQ(link->UV[0], 1.0f - w);
}

TEST_F(Retest, ADistanceThatIsNotANumberDropsTheContact)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    FacePoint(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0.25f, 0.25f, nan), V(0, 0, 1));
    EXPECT_EQ(RetestContact(link), 0);
}

TEST_F(Retest, ASingularFaceSystemHoldsAndChangesNothing)
{
    FacePoint(V(0, 0, 0), V(1, 0, 0), V(2, 0, 0), V(0.5f, 0.5f, 3), V(0, 0, 1));
    link->UV[0] = 0.75f;
    EXPECT_EQ(RetestContact(link), 1);
    EXPECT_EQ(link->UV[0], 0.75f);
}

TEST_F(Retest, EdgesGetTheirClosestPointsClampedToTheEnds)
{
    // Parallel edges: no solution, nothing changes.
    EdgeEdge(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1, 1, 0));
    link->RecordA->u = 0.3f;
    EXPECT_EQ(RetestContact(link), 1);
    EXPECT_EQ(link->UV[0], 0.0f);
    EXPECT_EQ(link->RecordA->u, 0.3f);
    // A0 = 0, a = (1, 0, 0), B0 = (2, -1, 1), b = (0, 2, 0): s = 2 is clamped to 1 and t becomes 0.5.
    EdgeEdge(V(0, 0, 0), V(1, 0, 0), V(2, -1, 1), V(2, 1, 1));
    EXPECT_EQ(RetestContact(link), 1);
    EXPECT_EQ(link->UV[0], 1.0f);
    EXPECT_EQ(link->UV[1], 0.5f);
    EXPECT_EQ(link->RecordA->u, 1.0f);
    EXPECT_EQ(link->RecordB->u, 0.5f);
    EXPECT_EQ(link->DeltaUV[0], 1.0f);
}

} // namespace
