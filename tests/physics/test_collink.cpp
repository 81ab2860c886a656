// Collision links: every mesh leaf of a body in the world gets one counted link with two body-attached boxes
// beside it (layers 1 and 2); the narrow phase skips the leaf while it has a link; a link is released once its
// last user goes, a second release is only logged, and a body leaving the world gives every link back.
#include "ZevColLink.h"

#include "ZevCollisionSpace.h"
#include "ZevRigidLink.h"
#include "test_collink_fixtures.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace physics_test;

using CollisionLinks = ContactWorld;

TEST_F(CollisionLinks, EveryMeshLeafOfABodyGetsOneLinkWithTwoLayerBoxesBesideIt)
{
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    const std::vector<TZevBoxNode*> leaves = AllNodes(body->primitiveRoot);
    int meshLeaves = 0;
    std::set<TZevBoxNode*> boxes;
    for (TZevBoxNode* node : leaves) {
        const bool leaf = IsLeafType(node, ZevTypeFaceBoxVecT) || IsLeafType(node, ZevTypeEdgeBoxVecT) ||
                          IsLeafType(node, ZevTypePointBoxVecT);
        if (!leaf || node->bodyAttached != 0) {
            // A body-attached box is never given a link of its own.
            EXPECT_TRUE(node->links.IsEmpty());
            continue;
        }
        ++meshLeaves;
        ASSERT_EQ(node->links.GetCount(), 1);
        EXPECT_EQ(node->linkCount, 1);
        TZevFC2RColLink* link = ZevLeafColLink(node);
        EXPECT_EQ(link->GetLeaf(), node);
        EXPECT_EQ(link->refCount, 1);
        EXPECT_EQ(link->body, body);
        for (int layer = 1; layer <= 2; ++layer) {
            TZevBoxNode* box = link->GetBox(layer);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->bodyAttached, 1);
            EXPECT_EQ(box->layer, layer);
            EXPECT_EQ(box->type, node->type);
            EXPECT_EQ(box->Parent(), node->Parent());
            EXPECT_EQ(ZevMeshLeaf(box), node);
            EXPECT_EQ(box->object, node->object);
            boxes.insert(box);
        }
    }
    // 8 corners, 12 triangles and 18 edges; two boxes each, all different.
    EXPECT_EQ(meshLeaves, 38);
    EXPECT_EQ(static_cast<int>(boxes.size()), 76);
    EXPECT_EQ(CountNodes(body->primitiveRoot, true), 76);
    EXPECT_EQ(world->CollisionLinkList.GetCount(), 38);
    EXPECT_EQ(body->LinkedLeaves.GetCount(), 38);
    EXPECT_EQ(body->HasBodyBoxes, 1);
    EXPECT_EQ(body->HitWord, 1);
    EXPECT_EQ(body->space, world);
}

TEST_F(CollisionLinks, ChildBodiesAreLinkedAndTheirRigidLinksJoinTheWorld)
{
    TZevXPhObj* parent = NewBody(CubeMesh(0, 0, 0, 1, 1, 1), false);
    TZevXPhObj* child = NewBody(CubeMesh(2, 0, 0, 3, 1, 1), false);
    parent->AppendChild(child);
    TZevPhscs2RigidBody* a = parts[0].get();
    TZevPhscs2RigidBody* b = parts[1].get();
    TZevRigidLink* link = CreateRigidLink(a, b, TZevVector(), TZevVector());
    ASSERT_NE(link, nullptr);
    world->AddBody(parent);
    EXPECT_EQ(child->LinkedLeaves.GetCount(), 38);
    EXPECT_EQ(world->CollisionLinkList.GetCount(), 76);
    EXPECT_EQ(child->HitWord, 1);
    EXPECT_EQ(world->RigidLinks->GetCount(), 1);
    EXPECT_EQ(world->RigidLinks->First(), static_cast<TZevOwnerListLink*>(link));
}

TEST_F(CollisionLinks, AnotherUserSharesTheLinkAndTheLastOneReleasesIt)
{
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    auto* point = static_cast<TZevPointBoxVecT*>(MeshLeaves(*body, ZevTypePointBoxVecT)[0]);
    TZevFC2RPointLink* link = ZevPointColLink(point);
    const int boxes = CountNodes(body->primitiveRoot, true);
    EXPECT_EQ(MakePointLink(world, body, point), link);
    EXPECT_EQ(link->refCount, 2);
    EXPECT_EQ(point->linkCount, 1);
    EXPECT_EQ(CountNodes(body->primitiveRoot, true), boxes);

    // The first release of the body's boxes drops one user only; the second frees every leaf.
    ReleaseBodyBoxes(body);
    EXPECT_EQ(ZevPointColLink(point), link);
    EXPECT_EQ(link->refCount, 1);
    EXPECT_EQ(world->CollisionLinkList.GetCount(), 1);
    const int pooled = ZevColLinkPoolSize(0);
    ReleaseBodyBoxes(body);
    EXPECT_EQ(ZevColLinkPoolSize(0), pooled + 1);
    EXPECT_EQ(point->linkCount, 0);
    EXPECT_TRUE(point->links.IsEmpty());
    EXPECT_EQ(CountNodes(body->primitiveRoot, true), 0);
    EXPECT_TRUE(world->CollisionLinkList.IsEmpty());
    EXPECT_TRUE(body->LinkedLeaves.IsEmpty());
    body->HasBodyBoxes = 0;
}

TEST_F(CollisionLinks, ALeafWithoutItsLinkTakesPartInTheNarrowPhaseAgain)
{
    // Two cubes whose corners cross each other's faces over the step.
    TZevXPhObj* a = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    TZevXPhObj* b = NewBody(CubeMesh(0.25f, 0.25f, 1.5f, 0.75f, 0.75f, 2.0f));
    MoveTo(b, Translation(0, 0, -0.6f));
    Refit(a);
    Refit(b);
    // With every leaf linked the leaves themselves are never tested: only body-attached boxes make records.
    ZevCollideTrees(world, a, b);
    for (void* item : world->contactRecords)
        EXPECT_EQ(static_cast<TZevFMCTree_CFaceData*>(item)->node->bodyAttached, 1);
    world->ClearContacts();
    // Without their links the mesh leaves meet in the narrow phase themselves.
    ReleaseBodyBoxes(a);
    ReleaseBodyBoxes(b);
    a->HasBodyBoxes = b->HasBodyBoxes = 0;
    Refit(a);
    Refit(b);
    EXPECT_NE(ZevCollideTrees(world, a, b), 0);
    int meshRecords = 0;
    for (void* item : world->contactRecords)
        meshRecords += static_cast<TZevFMCTree_CFaceData*>(item)->node->bodyAttached == 0 ? 1 : 0;
    EXPECT_GT(meshRecords, 0);
    world->ClearContacts();
}

TEST_F(CollisionLinks, ASecondReleaseIsLoggedAndPoolsNothing)
{
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    for (EZevCollisionType type : {ZevTypePointBoxVecT, ZevTypeEdgeBoxVecT, ZevTypeFaceBoxVecT}) {
        SCOPED_TRACE(type);
        TZevBoxNode* leaf = MeshLeaves(*body, type)[0];
        TZevFC2RColLink* link = ZevLeafColLink(leaf);
        const int kind = type == ZevTypePointBoxVecT ? 0 : type == ZevTypeEdgeBoxVecT ? 1 : 2;
        const int pooled = ZevColLinkPoolSize(kind);
        const int logged = CountInDebugLog("TZevFC2RColLinkの2重開放\n");
        link->Release();
        EXPECT_EQ(ZevColLinkPoolSize(kind), pooled + 1);
        EXPECT_EQ(leaf->linkCount, 0);
        link->Release();
        EXPECT_EQ(CountInDebugLog("TZevFC2RColLinkの2重開放\n"), logged + 1);
        EXPECT_EQ(ZevColLinkPoolSize(kind), pooled + 1);
        EXPECT_EQ(leaf->linkCount, 0);
    }
    // The base class logs a second release too.
    TZevFC2RColLink plain;
    const int logged = CountInDebugLog("TZevFC2RColLinkの2重開放\n");
    plain.Release();
    plain.Release();
    EXPECT_EQ(CountInDebugLog("TZevFC2RColLinkの2重開放\n"), logged + 1);
}

TEST_F(CollisionLinks, ReleasingALeafWithoutLinkIsLoggedByItsKind)
{
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1), false);
    const int points = CountInDebugLog("RPBVTがないのに開放処理が行なわれました\n");
    const int edges = CountInDebugLog("REBVTがないのに開放処理が行なわれました\n");
    const int faces = CountInDebugLog("RFBVTがないのに開放処理が行なわれました\n");
    ReleaseBodyBoxes(body);
    EXPECT_EQ(CountInDebugLog("RPBVTがないのに開放処理が行なわれました\n"), points + 8);
    EXPECT_EQ(CountInDebugLog("REBVTがないのに開放処理が行なわれました\n"), edges + 18);
    EXPECT_EQ(CountInDebugLog("RFBVTがないのに開放処理が行なわれました\n"), faces + 12);
    delete body;
}

TEST_F(CollisionLinks, LeavingTheWorldGivesEveryLinkAndBoxBack)
{
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    TZevXPhObj* other = NewBody(CubeMesh(2, 0, 0, 3, 1, 1));
    const int pooled[3] = {ZevColLinkPoolSize(0), ZevColLinkPoolSize(1), ZevColLinkPoolSize(2)};
    body->Unlink();
    EXPECT_EQ(ZevColLinkPoolSize(0), pooled[0] + 8);
    EXPECT_EQ(ZevColLinkPoolSize(1), pooled[1] + 18);
    EXPECT_EQ(ZevColLinkPoolSize(2), pooled[2] + 12);
    EXPECT_EQ(body->HasBodyBoxes, 0);
    EXPECT_EQ(CountNodes(body->primitiveRoot, true), 0);
    // Only the other body's leaves remain listed by the world.
    EXPECT_EQ(world->CollisionLinkList.GetCount(), 38);
    for (void* item : world->CollisionLinkList)
        EXPECT_EQ(ZevLeafColLink(static_cast<TZevBoxNode*>(item))->body, other);
    // Back in the world, the body is linked anew from the pools.
    world->AddBody(body);
    EXPECT_EQ(ZevColLinkPoolSize(0), pooled[0]);
    EXPECT_EQ(world->CollisionLinkList.GetCount(), 76);
}

TEST_F(CollisionLinks, ABodyLinkedAgainWithoutLeavingKeepsOneUserPerLink)
{
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    AddBodyToWorld(world, body);
    EXPECT_EQ(world->CollisionLinkList.GetCount(), 38);
    for (void* item : body->LinkedLeaves)
        EXPECT_EQ(ZevLeafColLink(static_cast<TZevBoxNode*>(item))->refCount, 1);
    // So one teardown frees every leaf before the leaves go.
    body->Unlink();
    EXPECT_TRUE(world->CollisionLinkList.IsEmpty());
    EXPECT_EQ(CountNodes(body->primitiveRoot, true), 0);
}

TEST_F(CollisionLinks, AdvanceBoxStartsThePointsLayerOneBoxAtItsLastEstimate)
{
    TZevXPhObj* body = NewBody(CubeMesh(0, 0, 0, 1, 1, 1));
    auto* point = MeshLeaves(*body, ZevTypePointBoxVecT)[0];
    TZevFC2RPointLink* link = ZevPointColLink(point);
    link->box1->store.currentStore[0] = TZevVector(5, 6, 7);
    ZevLeafColLink(MeshLeaves(*body, ZevTypeFaceBoxVecT)[0])->secondList.Add(body);
    ClearBodyLinkLists(body);
    EXPECT_EQ(link->box1->store.previousStore[0].x, 5.0f);
    EXPECT_EQ(link->box1->store.previousStore[0].z, 7.0f);
    EXPECT_TRUE(ZevLeafColLink(MeshLeaves(*body, ZevTypeFaceBoxVecT)[0])->secondList.IsEmpty());
}

} // namespace
