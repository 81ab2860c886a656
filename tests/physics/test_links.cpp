// Rigid links and contact links: creation, points in world space, a pendulum held by a link, and release back
// into the pools without leaving anything in the objects' lists.
#include "ZevBodyBoxes.h"
#include "ZevBodyPair.h"
#include "ZevContactLink.h"
#include "ZevPhscs2RigidBody.h"
#include "ZevRigidLink.h"

#include "ZevDebug.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace {

using namespace physics_test;
using V = TZevVector;

class Links : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevRigidLinkInit();
        ZevContactLinkInit();
    }
};

TEST_F(Links, NullObjectGivesNoLinkAndLeavesThePoolAlone)
{
    TZevPhscs2Particle a;
    const int pooled = ZevRigidLinkPoolSize();
    EXPECT_EQ(CreateRigidLink(&a, nullptr, V(), V()), nullptr);
    EXPECT_EQ(CreateRigidLink(nullptr, &a, V(), V()), nullptr);
    EXPECT_TRUE(a.RigidLinks.IsEmpty());
    EXPECT_EQ(ZevRigidLinkPoolSize(), pooled);
}

TEST_F(Links, NewLinkStartsAtItsAttachmentPointsWithTheDefaults)
{
    TZevPhscs2RigidBody a;
    TZevPhscs2RigidBody b;
    TZevMatrix turn;
    ZevMatRotationZ(turn, 1.5707964f);
    turn.m[12] = 2.0f;
    a.SetMatrix(turn);
    b.SetMatrix(Translation(2.0f, 1.0f, 0.0f));
    // (1, 0, 0) in a's frame and (0, 0, 0) in b's are the same world point (2, 1, 0).
    TZevRigidLink* link = CreateRigidLink(&a, &b, V(1, 0, 0), V(0, 0, 0));
    ASSERT_NE(link, nullptr);
    EXPECT_NEAR(link->PointA.x, 2.0f, 1e-6f);
    EXPECT_NEAR(link->PointA.y, 1.0f, 1e-6f);
    EXPECT_EQ(link->PointB.x, 2.0f);
    EXPECT_EQ(link->PrevPointA.x, link->PointA.x);
    EXPECT_EQ(link->PrevPointB.y, link->PointB.y);
    link->UpdateLength();
    EXPECT_NEAR(link->Length, 0.0f, 1e-6f);
    EXPECT_EQ(link->Active, 1);
    EXPECT_EQ(link->RestLength, 0.0f);
    EXPECT_EQ(link->Tolerance, 0.5f);
    EXPECT_EQ(link->Spring, 40.0f);
    EXPECT_EQ(link->Damper, 0.025f);
    EXPECT_EQ(link->StaticFriction, 0.08f);
    EXPECT_EQ(link->DynamicFriction, 0.08f);
    EXPECT_EQ(link->Pair, nullptr);
    EXPECT_EQ(a.RigidLinks.First()->data, static_cast<TZevReleasableLink*>(link));
    EXPECT_EQ(b.RigidLinks.First()->data, static_cast<TZevReleasableLink*>(link));
}

// A bob hangs from a fixed point by a rigid link of rest length 1 and swings from 60 degrees for 500 steps. The
// test's own stepping loop stands in for the world step: gravity, one integration, then corrections along the
// link until it is satisfied, as the satisfy pass does.
TEST_F(Links, PendulumKeepsItsLengthWithinTheToleranceOver500Steps)
{
    TZevPhscs2Particle anchor;
    anchor.Fixed = 1;
    TZevPhscs2Particle bob;
    const float angle = 1.0471976f;
    bob.PrevPosition = bob.Position = V(std::sin(angle), -std::cos(angle), 0.0f);
    TZevRigidLink* link = CreateRigidLink(&anchor, &bob, V(0, 0, 0), V(0, 0, 0));
    ASSERT_NE(link, nullptr);
    link->RestLength = 1.0f;
    link->UpdateLength();
    ASSERT_NEAR(link->Length, 0.0f, 1e-6f);

    const float dt = 0.02f;
    const V gravity(0.0f, -9.8f * bob.Mass, 0.0f);
    float worst = 0.0f;
    float lowest = 0.0f;
    float highestLater = -2.0f;
    for (int step = 0; step < 500; ++step) {
        bob.AddStepForceAt(gravity, bob.Position, dt);
        bob.Integrate(dt);
        link->UpdateLength();
        for (int pass = 0; pass < 8 && std::fabs(link->Length) > 0.1f * link->Tolerance; ++pass) {
            const float k = -link->Length * bob.Mass / (dt * dt);
            const V correction(link->Direction.x * k, link->Direction.y * k, link->Direction.z * k);
            bob.AddForceAt(correction, link->PointB, dt);
            bob.Integrate(dt);
            link->UpdateLength();
        }
        worst = std::max(worst, std::fabs(link->Length));
        EXPECT_LT(std::fabs(link->Length), link->Tolerance) << "step " << step;
        bob.EndStep();
        link->Advance();
        lowest = std::min(lowest, bob.Position.y);
        if (step > 20)
            highestLater = std::max(highestLater, bob.Position.y);
    }
    // It did swing: through the bottom and back up well above it.
    EXPECT_LT(lowest, -0.98f);
    EXPECT_GT(highestLater, -0.7f);
    EXPECT_LT(worst, link->Tolerance);
    EXPECT_EQ(link->PrevPointB.x, link->PointB.x);
}

TEST_F(Links, ReleasedLinkLeavesBothObjectsAndItsPairAndIsPooledOnce)
{
    TZevBodyPairTable* table = new TZevBodyPairTable;
    TZevPhscs2Particle a;
    TZevPhscs2Particle b;
    TZevRigidLink* keep = CreateRigidLink(&a, &b, V(), V());
    TZevRigidLink* link = CreateRigidLink(&a, &b, V(), V());
    link->Pair = RegisterPair(table, &a, &b, nullptr, 1.0f);
    keep->Pair = RegisterPair(table, &a, &b, nullptr, 1.0f);
    ASSERT_EQ(link->Pair, keep->Pair);
    TZevBodyPair* pair = link->Pair;
    TZevOwnerList worldLinks;
    worldLinks.Append(link);

    const int pooled = ZevRigidLinkPoolSize();
    link->Release();
    EXPECT_EQ(a.RigidLinks.GetCount(), 1);
    EXPECT_EQ(b.RigidLinks.GetCount(), 1);
    EXPECT_EQ(a.RigidLinks.First()->data, static_cast<TZevReleasableLink*>(keep));
    EXPECT_EQ(pair->RefCount, 1);
    EXPECT_TRUE(worldLinks.IsEmpty());
    EXPECT_EQ(link->ObjectA, nullptr);
    EXPECT_EQ(ZevRigidLinkPoolSize(), pooled + 1);
    link->Release();
    EXPECT_EQ(ZevRigidLinkPoolSize(), pooled + 1);
    EXPECT_EQ(pair->RefCount, 1);

    // The next link comes out of the pool clean.
    TZevRigidLink* again = CreateRigidLink(&b, &a, V(1, 2, 3), V());
    EXPECT_EQ(ZevRigidLinkPoolSize(), pooled);
    EXPECT_EQ(again->InPool, 0);
    EXPECT_EQ(again->Pair, nullptr);
    EXPECT_EQ(again->AttachA.y, 2.0f);
    a.ReleaseLinks();
    EXPECT_TRUE(b.RigidLinks.IsEmpty());
    delete table;
}

class ContactLinks : public Links {
protected:
    void SetUp() override
    {
        Links::SetUp();
        MakeCube(mesh, 0, 0, 0, 1, 1, 1);
        face.ClearNodes(&mesh);
        point.ClearNodes(&mesh);
        point.SetMatrix(Translation(0, 0, 2));
        point.AdvanceStep(0.0f);
        point.UpdateBox();
    }

    TZevFMCTree_CFaceData* Record(TZevFMCTTree& tree, int i0, int i1, int i2, float u, float v)
    {
        TZevFMCTree_CFaceData* r = NewContactRecord();
        r->tree = &tree;
        r->node = static_cast<TZevBoxNode*>(tree.faces.First()->data);
        r->node->contactCount += 1;
        r->currentArray = &tree.currentVertices;
        r->previousArray = &tree.previousVertices;
        r->indices[0] = i0;
        r->indices[1] = i1;
        r->indices[2] = i2;
        r->u = u;
        r->v = v;
        return r;
    }

    TZevMeshData mesh;
    TZevFMCTTree face;
    TZevFMCTTree point;
};

TEST_F(ContactLinks, PointsLieOnTheRecordsPrimitives)
{
    TZevContactLink* link = NewContactLink();
    EXPECT_EQ(link->State, 1);
    EXPECT_EQ(link->Keep, 1);
    EXPECT_EQ(link->released, 0);
    // Corners 0 (0,0,0), 1 (1,0,0), 2 (1,1,0) of the face tree; vertex 4 (0,0,1) of the point tree, moved by 2.
    link->RecordA = Record(face, 0, 1, 2, 0.25f, 0.5f);
    link->RecordB = Record(point, 4, 4, 4, 0.0f, 0.0f);
    link->UV[0] = 0.25f;
    link->Advance();
    EXPECT_FLOAT_EQ(link->PointA.x, 0.75f);
    EXPECT_FLOAT_EQ(link->PointA.y, 0.5f);
    EXPECT_FLOAT_EQ(link->PointB.z, 3.0f);
    EXPECT_EQ(link->PrevUV[0], 0.25f);
    EXPECT_FLOAT_EQ(GetFacePointPrev(*link->RecordB).z, 1.0f);
    link->Release();
}

TEST_F(ContactLinks, SecondReleaseIsLoggedAndDoesNotPoolTheLinkAgain)
{
    const char* message = "TZevFC2RColLinkの2重開放\n";
    const int logged = CountInDebugLog(message);
    TZevPhscs2Particle a;
    TZevPhscs2Particle b;
    TZevList ownedA;
    TZevList ownedB;
    TZevList worldNew;

    TZevContactLink* link = NewContactLink();
    link->RecordA = Record(face, 0, 1, 2, 0, 0);
    link->RecordB = Record(point, 4, 4, 4, 0, 0);
    TZevBoxNode* primitive = link->RecordA->node;
    const int contacts = primitive->contactCount;
    link->ObjectNodeA = a.ContactLinks.Add(link);
    link->ObjectNodeB = b.ContactLinks.Add(link);
    link->OwnerNodeA = ownedA.Add(link);
    link->OwnerNodeB = ownedB.Add(link);
    link->NewNode = worldNew.Add(link);
    link->RecordA->node->object = &a;
    link->RecordB->node->object = &b;
    EXPECT_EQ(FindContactLink(&b, &a), link);

    const int pooledLinks = ZevContactLinkPoolSize();
    const int pooledRecords = ZevContactRecordPoolSize();
    link->Release();
    EXPECT_TRUE(a.ContactLinks.IsEmpty());
    EXPECT_TRUE(b.ContactLinks.IsEmpty());
    EXPECT_TRUE(ownedA.IsEmpty());
    EXPECT_TRUE(ownedB.IsEmpty());
    EXPECT_TRUE(worldNew.IsEmpty());
    EXPECT_EQ(primitive->contactCount, contacts - 1);
    EXPECT_EQ(link->RecordA, nullptr);
    EXPECT_EQ(ZevContactRecordPoolSize(), pooledRecords + 2);
    EXPECT_EQ(ZevContactLinkPoolSize(), pooledLinks + 1);
    EXPECT_EQ(FindContactLink(&a, &b), nullptr);

    link->Release();
    EXPECT_EQ(CountInDebugLog(message), logged + 1);
    EXPECT_EQ(ZevContactLinkPoolSize(), pooledLinks + 1);
    EXPECT_EQ(primitive->contactCount, contacts - 1);

    // Handed out once, and clean.
    TZevContactLink* next = NewContactLink();
    TZevContactLink* other = NewContactLink();
    EXPECT_NE(next, other);
    EXPECT_EQ(next->released + other->released, 0);
    next->Release();
    other->Release();
}

TEST_F(Links, BodyAttachedBoxesKeepTheirOwnPositionsAndArePooledOnce)
{
    RFBVT* face = NewRFBVT();
    EXPECT_EQ(face->bodyAttached, 1);
    EXPECT_EQ(face->type, ZevCollisionTypeInfo(ZevTypeFaceBoxVecT));
    const V now[3] = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)};
    const V before[3] = {V(0, 0, 2), V(1, 0, 2), V(0, 1, 2)};
    face->SetPositions(now, before);
    EXPECT_FLOAT_EQ(face->box.Min.z, -ZevLeafBoxPadding);
    EXPECT_FLOAT_EQ(face->box.Max.z, 2.0f + ZevLeafBoxPadding);
    EXPECT_FLOAT_EQ(face->box.Max.x, 1.0f + ZevLeafBoxPadding);

    RPBVT* point = NewRPBVT();
    point->SetPosition(V(5, 5, 5), V(4, 5, 5));
    EXPECT_FLOAT_EQ(point->box.Min.x, 4.0f - ZevLeafBoxPadding);
    TZevPooledBBoxTree* holder = AllocBoxNode();
    holder->AppendChild(point);
    point->layer = 2;
    const int pooled = ZevBodyBoxPoolSize(0);
    point->Release();
    point->Release();
    EXPECT_EQ(holder->FirstChild(), nullptr);
    EXPECT_EQ(ZevBodyBoxPoolSize(0), pooled + 1);
    // Handed out once, clean, and then new ones: emptying the pool and one more meets the box exactly once.
    std::vector<RPBVT*> taken;
    for (int k = 0; k <= pooled + 1; ++k)
        taken.push_back(NewRPBVT());
    EXPECT_EQ(std::count(taken.begin(), taken.end(), point), 1);
    EXPECT_EQ(std::set<RPBVT*>(taken.begin(), taken.end()).size(), taken.size());
    EXPECT_EQ(point->layer, 0);
    EXPECT_EQ(point->box.Max.x, ZevLeafBoxPadding);
    for (RPBVT* box : taken)
        box->Release();
    face->Release();
    ReleaseBoxNode(holder);
}

TEST_F(Links, AssignBoxObjectReachesEveryLeafOfATree)
{
    TZevMeshData mesh;
    MakeCube(mesh, 0, 0, 0, 1, 1, 1);
    TZevFMCTTree tree;
    ASSERT_TRUE(tree.ClearNodes(&mesh));
    TZevPhscs2RigidBody body;
    AssignBoxObject(tree.primitiveRoot, &body);
    std::vector<TZevBoxNode*> leaves;
    CollectLeaves(tree.primitiveRoot, leaves);
    ASSERT_EQ(leaves.size(), 38u);
    for (TZevBoxNode* leaf : leaves)
        EXPECT_EQ(leaf->object, &body);
    EXPECT_EQ(tree.primitiveRoot->object, nullptr);
}

} // namespace
