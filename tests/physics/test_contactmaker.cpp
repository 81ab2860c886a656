// Contact links made from the narrow phase's records: one per pair of mesh primitives (a box on a floor stands on
// its four corners), records moved from the body-attached boxes onto the mesh leaves, hooked into every list and
// unhooked by the release; the face-point re-test while in touch and after separation; the edge-edge geometry.
#include "ZevContactMaker.h"

#include "ZevBodyPair.h"
#include "ZevCollisionSpace.h"
#include "ZevContactEstimate.h"
#include "ZevContactPass.h"
#include "test_collink_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>
#include <set>

namespace {

using namespace physics_test;
using V = TZevVector;

V Minus(const V& a, const V& b)
{
    return V(a.x - b.x, a.y - b.y, a.z - b.z);
}

bool Listed(const TZevList& list, const void* item)
{
    for (void* x : list) {
        if (x == item)
            return true;
    }
    return false;
}

std::vector<TZevFMCTree_CFaceData*> RecordsOfKind(TZevCollisionSpace* space, EZevCollisionType firstKind)
{
    std::vector<TZevFMCTree_CFaceData*> out;
    for (void* item : space->contactRecords) {
        auto* record = static_cast<TZevFMCTree_CFaceData*>(item);
        if (record->node->type == ZevCollisionTypeInfo(firstKind))
            out.push_back(record);
    }
    return out;
}

// A floor cube and a smaller box whose bottom face lies 0.02 below the floor's top, clear of the floor's diagonal.
class BoxOnFloor : public ContactWorld {
protected:
    void SetUp() override
    {
        ContactWorld::SetUp();
        floor = NewBody(CubeMesh(-1, -1, 0, 2, 2, 1));
        box = NewBody(CubeMesh(0.2f, 0.3f, 0.98f, 0.7f, 0.8f, 1.48f));
        StartPass(floor);
        StartPass(box);
        ZevCollideTrees(world, floor, box);
        for (TZevFMCTree_CFaceData* record : RecordsOfKind(world, ZevTypeFaceBoxVecT)) {
            TZevContactLink* link = ZevCreateContactLink(world, record, 1);
            ASSERT_NE(link, nullptr);
            world->ContactLinks->Append(link);
            links.push_back(link);
        }
    }

    TZevXPhObj* floor = nullptr;
    TZevXPhObj* box = nullptr;
    std::vector<TZevContactLink*> links;
};

TEST_F(BoxOnFloor, EachCornerInTheFloorGetsItsOwnLinkOnTheMeshLeaves)
{
    ASSERT_EQ(links.size(), 4u);
    std::set<TZevBoxNode*> corners;
    for (TZevContactLink* link : links) {
        TZevFMCTree_CFaceData* a = link->RecordA;
        TZevFMCTree_CFaceData* b = link->RecordB;
        // Moved from the layer-2 boxes onto the floor's top triangle and the box's bottom corner.
        ASSERT_TRUE(IsLeafType(a->node, ZevTypeFaceBoxVecT));
        ASSERT_TRUE(IsLeafType(b->node, ZevTypePointBoxVecT));
        EXPECT_EQ(a->node->bodyAttached, 0);
        EXPECT_EQ(b->node->bodyAttached, 0);
        auto* face = static_cast<TZevFaceBoxVecT*>(a->node);
        auto* point = static_cast<TZevPointBoxVecT*>(b->node);
        EXPECT_EQ(a->tree, floor);
        EXPECT_EQ(b->tree, box);
        // The re-test's first look reads these copies in place of the records.
        EXPECT_EQ(link->TreeA, floor);
        EXPECT_EQ(link->TreeB, box);
        EXPECT_EQ(link->EdgeContact, 0);
        EXPECT_EQ(a->currentArray, &floor->currentVertices);
        EXPECT_EQ(a->previousArray, &floor->previousVertices);
        EXPECT_EQ(a->indices[0], face->i0);
        EXPECT_EQ(a->indices[2], face->i2);
        EXPECT_EQ(b->currentArray, &box->currentVertices);
        EXPECT_EQ(b->indices[0], point->i);
        EXPECT_EQ(b->indices[2], point->i);
        EXPECT_LT(point->i, 4); // a bottom corner
        corners.insert(point);
        // The normals of a new link are opposite and differ by twice the separation.
        const V sum(a->normal.x + b->normal.x, a->normal.y + b->normal.y, a->normal.z + b->normal.z);
        EXPECT_EQ(sum.x, 0.0f);
        EXPECT_EQ(sum.z, 0.0f);
        EXPECT_EQ(Minus(b->normal, a->normal).z, 2.0f * link->Separation.z);
        EXPECT_NEAR(link->Separation.z, -0.02f, 1e-5f);
        // The link owns its records: they stand in no ring.
        EXPECT_FALSE(a->IsLinked());
        EXPECT_FALSE(b->IsLinked());
        // One count per link standing on the primitive: a floor triangle may carry several corners.
        int onFace = 0;
        for (TZevContactLink* other : links)
            onFace += other->RecordA->node == face ? 1 : 0;
        EXPECT_EQ(face->contactCount, onFace);
        EXPECT_EQ(point->contactCount, 1);
        // Hooked into every list through which it is found.
        EXPECT_TRUE(Listed(face->contactLinks, link));
        EXPECT_TRUE(Listed(point->contactLinks, link));
        EXPECT_TRUE(Listed(face->partners, point));
        EXPECT_TRUE(Listed(point->partners, face));
        EXPECT_TRUE(Listed(floor->OwnedRecords, link));
        EXPECT_TRUE(Listed(box->OwnedRecords, link));
        EXPECT_TRUE(Listed(parts[0]->ContactLinks, link));
        EXPECT_TRUE(Listed(parts[1]->ContactLinks, link));
        EXPECT_TRUE(Listed(world->NewContactLinks, link));
        ASSERT_NE(link->Pair, nullptr);
        EXPECT_EQ(link->Spring, world->CollisionSpringCoeff);
        EXPECT_EQ(link->HorizontalDamper, world->CollisionHorizontalDamperCoeff);
        EXPECT_EQ(link->StepCoeff, world->LinkStepCoeff);
        EXPECT_EQ(link->Keep, 1);
        EXPECT_EQ(link->Active, 1);
        EXPECT_EQ(link->RetestNeeded, 1);
        // The re-test brought the face coordinates to the current positions.
        EXPECT_EQ(link->UV[0], a->u);
        EXPECT_EQ(link->UV[1], a->v);
        EXPECT_EQ(link->DeltaUV[0], link->UV[0] - link->PrevUV[0]);
    }
    // Four corners, four links: the box can rest on all of them.
    EXPECT_EQ(corners.size(), 4u);
    // The next collision pass no longer reaches the records the links own.
    world->ClearContacts();
    for (TZevContactLink* link : links) {
        EXPECT_EQ(link->RecordA->released, 0);
        EXPECT_EQ(link->RecordB->released, 0);
    }
}

TEST_F(BoxOnFloor, TheContactHoldsWhileTheCornerIsInTheFloorAndNotOnceItLifts)
{
    ASSERT_EQ(links.size(), 4u);
    for (TZevContactLink* link : links) {
        EXPECT_TRUE(ContactNormalFacePoint(world, link->RecordA, link->RecordB, link));
        EXPECT_NEAR(link->Depth, -0.02f, 1e-5f);
        EXPECT_EQ(link->RecordA->normal.z, 1.0f);
        EXPECT_EQ(link->RecordB->normal.z, -1.0f);
        EXPECT_EQ(RetestContact(link), 1);
    }
    MoveTo(box, Translation(0, 0, 0.1f));
    for (TZevContactLink* link : links) {
        EXPECT_FALSE(ContactNormalFacePoint(world, link->RecordA, link->RecordB, link));
        EXPECT_NEAR(link->Depth, 0.08f, 1e-5f);
        EXPECT_NEAR(link->PrevDepth, -0.02f, 1e-5f);
        EXPECT_EQ(RetestContact(link), 0);
    }
}

TEST_F(BoxOnFloor, ReleasingTheLinksUnhooksEverything)
{
    ASSERT_EQ(links.size(), 4u);
    const int pooled = ZevContactLinkPoolSize();
    const int logged = CountInDebugLog("TZevFC2RColLinkの2重開放\n");
    std::vector<TZevBoxNode*> nodes;
    for (TZevContactLink* link : links) {
        nodes.push_back(link->RecordA->node);
        nodes.push_back(link->RecordB->node);
        link->Release();
    }
    EXPECT_EQ(ZevContactLinkPoolSize(), pooled + 4);
    for (TZevBoxNode* node : nodes) {
        EXPECT_EQ(node->contactCount, 0);
        EXPECT_TRUE(node->contactLinks.IsEmpty());
        EXPECT_TRUE(node->partners.IsEmpty());
    }
    EXPECT_TRUE(floor->OwnedRecords.IsEmpty());
    EXPECT_TRUE(box->OwnedRecords.IsEmpty());
    EXPECT_TRUE(parts[0]->ContactLinks.IsEmpty());
    EXPECT_TRUE(world->NewContactLinks.IsEmpty());
    EXPECT_TRUE(world->ContactLinks->IsEmpty());
    links[0]->Release();
    EXPECT_EQ(CountInDebugLog("TZevFC2RColLinkの2重開放\n"), logged + 1);
    EXPECT_EQ(ZevContactLinkPoolSize(), pooled + 4);
    // A link handed out again names no tree of its last use.
    TZevContactLink* again = NewContactLink();
    EXPECT_EQ(again->TreeA, nullptr);
    EXPECT_EQ(again->TreeB, nullptr);
    EXPECT_EQ(again->EdgeContact, 0);
    again->Release();
}

TEST(SubContacts, ASecondReleaseIsIgnoredSoThePoolHandsItOutOnce)
{
    ZevCoreInit();
    ZevColLinkInit();
    // The pool hands out the oldest first: what earlier scenes left in it is taken out for the test.
    std::vector<TZevSubContactLink*> left;
    while (ZevSubContactPoolSize() > 0)
        left.push_back(AllocSubContact());
    TZevSubContactLink* sub = AllocSubContact();
    ASSERT_NE(sub, nullptr);
    const int pooled = ZevSubContactPoolSize();
    sub->Release();
    sub->Release();
    EXPECT_EQ(ZevSubContactPoolSize(), pooled + 1);
    EXPECT_EQ(AllocSubContact(), sub);
    TZevSubContactLink* other = AllocSubContact();
    EXPECT_NE(other, sub);
    sub->Release();
    other->Release();
    for (TZevSubContactLink* item : left)
        item->Release();
}

// A sub-contact without a face keeps the points it starts with: taken again from the pool it must not start with
// those of the contact it served before, or a rerun would depend on which one the pool hands out.
TEST(SubContacts, ATakenSubContactStartsAsANewOne)
{
    ZevCoreInit();
    ZevColLinkInit();
    TZevSubContactLink* sub = AllocSubContact();
    ASSERT_NE(sub, nullptr);
    sub->PointA = TZevVector(1, 2, 3);
    sub->PointB = TZevVector(4, 5, 6);
    sub->Depth = -0.5f;
    sub->T = 0.25f;
    sub->Correction = TZevVector(7, 8, 9);
    sub->Release();
    // Take from the pool until it hands this one out again.
    std::vector<TZevSubContactLink*> taken;
    for (int i = ZevSubContactPoolSize(); i > 0 && (taken.empty() || taken.back() != sub); --i)
        taken.push_back(AllocSubContact());
    ASSERT_FALSE(taken.empty());
    ASSERT_EQ(taken.back(), sub);
    taken.pop_back();
    for (TZevSubContactLink* t : taken)
        t->Release();
    EXPECT_EQ(sub->Face, nullptr);
    sub->Update();
    EXPECT_EQ(sub->PointA.x, 0.0f);
    EXPECT_EQ(sub->PointB.z, 0.0f);
    EXPECT_EQ(sub->Depth, 0.0f);
    EXPECT_EQ(sub->T, 0.0f);
    EXPECT_EQ(sub->Correction.y, 0.0f);
    sub->Release();
}

// Two roofs whose ridges cross: A's ridge runs along x at z = 0 with faces sloping down to y = +-1; B's ridge runs
// along y at z = -0.05 with faces sloping up to x = +-1, so B's ridge lies 0.05 inside A.
class CrossedRidges : public ContactWorld {
protected:
    void SetUp() override
    {
        ContactWorld::SetUp();
        world->InterferencePermitDistance = 0.1f;
        TZevMeshData* roofA = NewMesh();
        MakeMesh(*roofA, {{-1, 0, 0}, {1, 0, 0}, {0, 1, -1}, {0, -1, -1}}, {{0, 1, 2}, {1, 0, 3}});
        roofA->ComputeNormals();
        TZevMeshData* roofB = NewMesh();
        MakeMesh(*roofB, {{0, -1, -0.05f}, {0, 1, -0.05f}, {1, 0, 0.95f}, {-1, 0, 0.95f}}, {{0, 1, 2}, {1, 0, 3}});
        roofB->ComputeNormals();
        a = NewBody(roofA);
        b = NewBody(roofB);
        ridgeA = RidgeOf(a);
        ridgeB = RidgeOf(b);
        link = NewContactLink();
        link->RecordA = NewContactRecord();
        link->RecordB = NewContactRecord();
        world->ContactLinks->Append(link);
    }

    static TZevEdgeBoxVecT* RidgeOf(TZevXPhObj* body)
    {
        for (TZevBoxNode* n : MeshLeaves(*body, ZevTypeEdgeBoxVecT)) {
            auto* e = static_cast<TZevEdgeBoxVecT*>(n);
            if (e->i0 == 0 && e->i1 == 1)
                return e;
        }
        return nullptr;
    }

    static void OnEdge(TZevFMCTree_CFaceData* record, TZevEdgeBoxVecT* edge, float u)
    {
        record->node = edge;
        record->currentArray = edge->current;
        record->previousArray = edge->previous;
        record->indices[0] = edge->i0;
        record->indices[1] = edge->i1;
        record->indices[2] = edge->i0;
        record->u = u;
        record->v = 0.0f;
    }

    // Records on the two edges at the given parameters, the link's points there and the separation accepted.
    void Place(TZevEdgeBoxVecT* edgeA, float uA, TZevEdgeBoxVecT* edgeB, float uB)
    {
        OnEdge(link->RecordA, edgeA, uA);
        OnEdge(link->RecordB, edgeB, uB);
        link->Update();
        link->Separation = Minus(link->PointB, link->PointA);
    }

    std::int32_t Geometry() { return ZevBodyContactGeometry(link->RecordA, link->RecordB, link); }

    TZevXPhObj* a = nullptr;
    TZevXPhObj* b = nullptr;
    TZevEdgeBoxVecT* ridgeA = nullptr;
    TZevEdgeBoxVecT* ridgeB = nullptr;
    TZevContactLink* link = nullptr;
};

TEST_F(CrossedRidges, ConvexRidgesCrossingInTheMiddleKeepBothSubContacts)
{
    ASSERT_NE(ridgeA, nullptr);
    ASSERT_NE(ridgeB, nullptr);
    Place(ridgeA, 0.5f, ridgeB, 0.5f);
    ASSERT_EQ(Geometry(), 1);
    TZevSubContactLink* first = link->SubContacts[0];
    TZevSubContactLink* second = link->SubContacts[1];
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->Edge, ridgeA);
    EXPECT_EQ(first->OtherEdge, ridgeB);
    EXPECT_EQ(second->Edge, ridgeB);
    EXPECT_NE(first->Face, nullptr);
    EXPECT_TRUE(first->Face == ridgeA->face0 || first->Face == ridgeA->face1);
    EXPECT_TRUE(second->Face == ridgeB->face0 || second->Face == ridgeB->face1);
    // 0.05 deep along the ridge normal; each face sees it at 0.05 / sqrt(2).
    const float slanted = -0.05f / std::sqrt(2.0f);
    EXPECT_NEAR(first->Depth, slanted, 1e-6f);
    EXPECT_NEAR(second->Depth, slanted, 1e-6f);
    EXPECT_EQ(link->Depth, std::fmin(first->Depth, second->Depth));
    EXPECT_EQ(link->PrevDepth, 0.0f); // the depth before this run
    // Each record takes the normal of its chosen face.
    EXPECT_NEAR(link->RecordA->normal.z, 1.0f / std::sqrt(2.0f), 1e-6f);
    EXPECT_NEAR(link->RecordB->normal.z, -1.0f / std::sqrt(2.0f), 1e-6f);
    // A re-test places the sub-contacts' points on their faces.
    EXPECT_EQ(RetestContact(link), 1);
    link->Update();
    EXPECT_NEAR(first->PointB.z, -0.05f, 1e-6f);
    // PointA is the foot of B's point on the plane of A's chosen face.
    const TZevFaceBoxVecT* f = first->Face;
    const V onPlane = Minus(first->PointA, (*f->current)[f->i0]);
    const V& n = link->RecordA->normal;
    EXPECT_NEAR(onPlane.x * n.x + onPlane.y * n.y + onPlane.z * n.z, 0.0f, 1e-6f);
    const V foot = Minus(first->PointB, first->PointA);
    EXPECT_NEAR(foot.y * n.z - foot.z * n.y, 0.0f, 1e-6f); // along the face normal
    EXPECT_NEAR(first->PointA.x, 0.0f, 1e-6f);
}

// The geometry remakes the sub-contacts at every run from the ones it dropped: one taken again must hold nothing of
// its last use (points, parameters, depth), or a contact's history would leak into its next run.
TEST_F(CrossedRidges, ASubContactTakenAgainStartsAsANewOne)
{
    Place(ridgeA, 0.5f, ridgeB, 0.5f);
    ASSERT_EQ(Geometry(), 1);
    EXPECT_EQ(RetestContact(link), 1);
    link->Update();
    ASSERT_NE(link->SubContacts[0], nullptr);
    ASSERT_NE(link->SubContacts[0]->PointB.z, 0.0f);
    ASSERT_EQ(Geometry(), 1);
    const TZevSubContactLink fresh;
    for (const TZevSubContactLink* sub : link->SubContacts) {
        ASSERT_NE(sub, nullptr);
        for (const auto& [got, want] : {std::pair{sub->PointA, fresh.PointA}, std::pair{sub->PointB, fresh.PointB},
                                        std::pair{sub->PrevPointA, fresh.PrevPointA},
                                        std::pair{sub->Force, fresh.Force}, std::pair{sub->Correction, fresh.Correction},
                                        std::pair{sub->CorrectionSum, fresh.CorrectionSum}}) {
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.z, want.z);
        }
        EXPECT_EQ(sub->PrevDepth, 0.0f); // the depth of a new one
        EXPECT_EQ(sub->T, 0.0f);
        EXPECT_EQ(sub->Pair, nullptr);
        EXPECT_EQ(sub->State, fresh.State);
    }
}

TEST_F(CrossedRidges, ASeparationTurnedAroundChangesNothing)
{
    Place(ridgeA, 0.5f, ridgeB, 0.5f);
    ASSERT_EQ(Geometry(), 1);
    TZevSubContactLink* first = link->SubContacts[0];
    const float depth = link->Depth;
    const V turned(0, 0, 0.05f);
    link->Separation = turned;
    EXPECT_EQ(Geometry(), 0);
    EXPECT_EQ(link->Separation.z, turned.z);
    EXPECT_EQ(link->Depth, depth);
    EXPECT_EQ(link->SubContacts[0], first);
    // Coinciding points of parallel edges: the separation is zero, and so is the product.
    Place(ridgeA, 0.5f, ridgeA, 0.5f);
    EXPECT_EQ(Geometry(), 0);
}

// A re-test whose geometry gives up before it remakes the sub-contacts (here: the edges passed each other) leaves
// them as the link's update put them, at the current positions; only remade ones start with their points cleared.
TEST_F(CrossedRidges, AReTestThatKeepsTheSubContactsStillMovesTheirPoints)
{
    Place(ridgeA, 0.5f, ridgeB, 0.5f);
    link->EdgeContact = 1;
    link->TreeA = a;
    link->TreeB = b;
    ASSERT_EQ(Geometry(), 1);
    ASSERT_EQ(RetestContact(link), 1);
    TZevSubContactLink* first = link->SubContacts[0];
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->PointB.z, 0.0f); // remade: cleared until the next update
    link->Separation = V(0, 0, 0.05f);
    ZevRetestContactLink(world, link);
    EXPECT_EQ(link->Active, 0);
    ASSERT_EQ(link->SubContacts[0], first);
    EXPECT_NEAR(first->PointB.z, -0.05f, 1e-6f);
    EXPECT_NEAR(first->PointB.x, 0.0f, 1e-6f);
}

TEST_F(CrossedRidges, ParallelEdgesTakeTheSeparationAsTheirNormal)
{
    // A copy of roof A 0.05 lower: its ridge is parallel to A's, and the depth is the whole separation.
    TZevMeshData* lower = NewMesh();
    MakeMesh(*lower, {{-1, 0, -0.05f}, {1, 0, -0.05f}, {0, 1, -1.05f}, {0, -1, -1.05f}}, {{0, 1, 2}, {1, 0, 3}});
    TZevXPhObj* c = NewBody(lower);
    Place(ridgeA, 0.5f, RidgeOf(c), 0.5f);
    Geometry();
    EXPECT_NEAR(link->Depth, -0.05f, 1e-6f);
}

TEST_F(CrossedRidges, FlatOrFacelessEdgesAreNoRidges)
{
    TZevMeshData* square = NewMesh();
    MakeMesh(*square, {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    TZevXPhObj* flat = NewBody(square);
    TZevEdgeBoxVecT* diagonal = nullptr;
    for (TZevBoxNode* n : MeshLeaves(*flat, ZevTypeEdgeBoxVecT)) {
        auto* e = static_cast<TZevEdgeBoxVecT*>(n);
        if (e->face0 != nullptr && e->face1 != nullptr)
            diagonal = e;
    }
    ASSERT_NE(diagonal, nullptr);
    Place(diagonal, 0.5f, ridgeB, 0.5f);
    EXPECT_EQ(Geometry(), 0);
    EXPECT_EQ(link->SubContacts[0], nullptr);
    diagonal->face0 = diagonal->face1 = nullptr;
    Place(diagonal, 0.5f, ridgeB, 0.5f);
    EXPECT_EQ(Geometry(), 0);
}

TEST_F(CrossedRidges, AMissingFirstFaceMeasuresTheDepthOnTheOtherFace)
{
    TZevFaceBoxVecT* kept = ridgeA->face1;
    ridgeA->face0 = nullptr;
    Place(ridgeA, 0.5f, ridgeB, 0.5f);
    ASSERT_EQ(Geometry(), 1);
    TZevSubContactLink* first = link->SubContacts[0];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Face, nullptr);
    // The plane of the remaining face: its normal and its first corner.
    V n = Minus((*kept->current)[kept->i1], (*kept->current)[kept->i0]);
    const V e2 = Minus((*kept->current)[kept->i2], (*kept->current)[kept->i0]);
    n = V(n.y * e2.z - n.z * e2.y, n.z * e2.x - n.x * e2.z, n.x * e2.y - n.y * e2.x);
    n.Normalize();
    const V q = Minus(link->PointB, (*kept->current)[kept->i0]);
    EXPECT_NEAR(first->Depth, q.x * n.x + q.y * n.y + q.z * n.z, 1e-6f);
    EXPECT_NEAR(link->RecordA->normal.y, n.y, 1e-6f);
    // Without a face the sub-contact's points stay where they are.
    first->PointA = V(7, 7, 7);
    first->Update();
    EXPECT_EQ(first->PointA.x, 7.0f);
}

TEST_F(CrossedRidges, NearTheEndOfAnEdgeOnlyTheOtherEdgesSubContactStays)
{
    // B's ridge crosses A's at x = 0.9, where A's parameter 0.95 lies within A's threshold 0.25 of its end.
    MoveTo(b, Translation(0.9f, 0, 0));
    ProcessBodyContacts(world, b);
    EXPECT_NEAR(ZevEdgeColLink(ridgeA)->threshold, 0.25f, 1e-6f);
    Place(ridgeA, 0.95f, ridgeB, 0.5f);
    ASSERT_EQ(Geometry(), 1);
    EXPECT_EQ(link->SubContacts[0], nullptr);
    ASSERT_NE(link->SubContacts[1], nullptr);
    EXPECT_EQ(link->RecordA->normal.z, -link->RecordB->normal.z);
    EXPECT_EQ(link->Depth, std::fmin(0.0f, link->SubContacts[1]->Depth));
    // Near the ends of both edges one of the two stays, and the other record faces it.
    MoveTo(b, Translation(0.9f, -0.9f, 0));
    Place(ridgeA, 0.95f, ridgeB, 0.95f);
    ASSERT_EQ(Geometry(), 1);
    EXPECT_NE(link->SubContacts[0] == nullptr, link->SubContacts[1] == nullptr);
    EXPECT_EQ(link->RecordA->normal.x, -link->RecordB->normal.x);
    EXPECT_EQ(link->RecordA->normal.z, -link->RecordB->normal.z);
}

// The link keeps what its geometry reads of each edge and its faces; a record moved to another edge must be read
// again, or the depth would be measured against the faces of the edge it left.
TEST_F(CrossedRidges, ARecordMovedToAnotherEdgeTakesThatEdgesFaces)
{
    Place(ridgeA, 0.5f, ridgeB, 0.5f);
    ASSERT_EQ(Geometry(), 1);
    // A copy of roof A 0.01 higher: B's ridge lies 0.06 inside it.
    TZevMeshData* higher = NewMesh();
    MakeMesh(*higher, {{-1, 0, 0.01f}, {1, 0, 0.01f}, {0, 1, -0.99f}, {0, -1, -0.99f}}, {{0, 1, 2}, {1, 0, 3}});
    TZevEdgeBoxVecT* ridgeC = RidgeOf(NewBody(higher));
    ASSERT_NE(ridgeC, nullptr);
    Place(ridgeC, 0.5f, ridgeB, 0.5f);
    ASSERT_EQ(Geometry(), 1);
    TZevSubContactLink* first = link->SubContacts[0];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Edge, ridgeC);
    EXPECT_TRUE(first->Face == ridgeC->face0 || first->Face == ridgeC->face1);
    EXPECT_NEAR(first->Depth, -0.06f / std::sqrt(2.0f), 1e-6f);
    // The other edge's sub-contact measures against its own faces, now at C's point.
    ASSERT_NE(link->SubContacts[1], nullptr);
    EXPECT_NEAR(link->SubContacts[1]->Depth, -0.06f / std::sqrt(2.0f), 1e-6f);
    // Update places the points from what the sub-contact keeps: on C's ridge and on C's chosen face.
    link->Update();
    EXPECT_NEAR(link->SubContacts[1]->PointB.z, 0.01f, 1e-6f);
    EXPECT_NEAR(first->PointB.z, -0.05f, 1e-6f);
}

// The geometry keeps a sub-contact's face while it chooses the same one; a separation that turns to the other side
// of A's ridge must move it to the other face.
TEST_F(CrossedRidges, TheChosenFaceFollowsTheSeparationFromRunToRun)
{
    const struct {
        float uB;
        TZevFaceBoxVecT* TZevEdgeBoxVecT::*face;
    } runs[] = {{0.6f, &TZevEdgeBoxVecT::face1}, {0.4f, &TZevEdgeBoxVecT::face0}, {0.6f, &TZevEdgeBoxVecT::face1}};
    for (const auto& run : runs) {
        Place(ridgeA, 0.5f, ridgeB, run.uB);
        ASSERT_EQ(Geometry(), 1) << run.uB;
        ASSERT_NE(link->SubContacts[0], nullptr);
        EXPECT_EQ(link->SubContacts[0]->Face, ridgeA->*run.face) << run.uB;
        EXPECT_EQ(link->SubContacts[0]->Edge, ridgeA);
    }
}

// The re-test's objects are laid out by cache line; one made by another path would not start on a line (and
// would be freed wrongly), so each is checked as its usual maker hands it out.
TEST_F(CrossedRidges, TheReTestsObjectsStartOnACacheLine)
{
    const auto onLine = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p) % 64 == 0; };
    EXPECT_TRUE(onLine(link));
    EXPECT_TRUE(onLine(link->RecordA));
    TZevSubContactLink* sub = AllocSubContact();
    EXPECT_TRUE(onLine(sub));
    sub->Release();
    TZevPooledBBoxTree* inner = AllocBoxNode();
    EXPECT_TRUE(onLine(inner));
    ReleaseBoxNode(inner);
    int leaves = 0;
    for (EZevCollisionType kind : {ZevTypeFaceBoxVecT, ZevTypeEdgeBoxVecT, ZevTypePointBoxVecT}) {
        for (TZevBoxNode* leaf : MeshLeaves(*a, kind)) {
            EXPECT_TRUE(onLine(leaf));
            ++leaves;
        }
    }
    EXPECT_EQ(leaves, 2 + 5 + 4);
}

TEST_F(CrossedRidges, AnEdgeContactFromTheBandsBecomesALinkOnTheMeshEdges)
{
    StartPass(a);
    StartPass(b);
    ZevCollideTrees(world, a, b);
    const std::vector<TZevFMCTree_CFaceData*> records = RecordsOfKind(world, ZevTypeEdgeBoxVecT);
    ASSERT_FALSE(records.empty());
    TZevFMCTree_CFaceData* record = records[0];
    const float uA = record->u;
    const float uB = record->other->u;
    TZevContactLink* made = ZevCreateContactLink(world, record, 1);
    ASSERT_NE(made, nullptr);
    world->ContactLinks->Append(made);
    std::set<TZevBoxNode*> ridges{made->RecordA->node, made->RecordB->node};
    EXPECT_EQ(ridges, (std::set<TZevBoxNode*>{ridgeA, ridgeB}));
    EXPECT_EQ(made->EdgeContact, 1);
    EXPECT_EQ(made->TreeA, made->RecordA->tree);
    EXPECT_EQ(made->TreeB, made->RecordB->tree);
    const auto* edge = static_cast<TZevEdgeBoxVecT*>(made->RecordA->node);
    EXPECT_EQ(made->RecordA->indices[0], edge->i0);
    EXPECT_EQ(made->RecordA->indices[1], edge->i1);
    EXPECT_EQ(made->RecordA->indices[2], edge->i0);
    EXPECT_EQ(made->PrevUV[0], uA);
    EXPECT_EQ(made->PrevUV[1], uB);
    made->Advance();
    EXPECT_EQ(ZevBodyContactGeometry(made->RecordA, made->RecordB, made), 1);
    EXPECT_LT(made->Depth, 0.0f);
}

} // namespace
