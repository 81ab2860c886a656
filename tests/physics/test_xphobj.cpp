// Physics objects: the flags of a new body, the flags over a body tree, the contact-hit rebuild rule, and the
// teardown that detaches links and records before a body leaves.
#include "ZevXPhObj.h"

#include "ZevCollisionSpace.h"
#include "ZevContactLink.h"
#include "ZevJoint.h"
#include "ZevPhscs2RigidBody.h"

#include "ZevDebug.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

namespace {

using namespace physics_test;
using V = TZevVector;

class PhysicsObject : public ::testing::Test {
protected:
    void SetUp() override { ZevCoreInit(); }
};

TEST_F(PhysicsObject, NewBodyIsDynamicNotFixedRetestedAndWithoutContactHit)
{
    TZevXPhObj body;
    EXPECT_NE(body.IsDynamic(), 0);
    EXPECT_EQ(body.IsFixed(), 0);
    EXPECT_EQ(body.IsNoRetest(), 0);
    EXPECT_EQ(body.IsContactHit(), 0);
    EXPECT_EQ(body.RigidShape, 1);
    EXPECT_EQ(body.objectType, ZevCollisionTypeInfo(ZevTypeFMCTTree));
    EXPECT_TRUE(body.IsMeshTree());
    // Setters hand back what they store; any non-zero value counts as set.
    EXPECT_EQ(body.SetFixed(7), 7);
    EXPECT_EQ(body.IsFixed(), 7);
    EXPECT_EQ(body.SetDynamic(0), 0);
    EXPECT_EQ(body.SetNoRetest(1), 1);
}

TEST_F(PhysicsObject, FixedTreeReachesEveryBodyOfTwoLevels)
{
    TZevXPhObj root;
    auto* child = new TZevXPhObj;
    auto* grandchild = new TZevXPhObj;
    auto* sibling = new TZevXPhObj;
    root.AppendChild(child);
    root.AppendChild(sibling);
    child->AppendChild(grandchild);
    root.SetFixedTree(1);
    for (TZevXPhObj* body : {&root, child, grandchild, sibling})
        EXPECT_EQ(body->IsFixed(), 1);
    child->SetFixedTree(0);
    EXPECT_EQ(child->IsFixed(), 0);
    EXPECT_EQ(grandchild->IsFixed(), 0);
    EXPECT_EQ(sibling->IsFixed(), 1);
}

TEST_F(PhysicsObject, ContactHitHoldsTheRebuildUntilCleared)
{
    TZevMeshData mesh;
    MakeCube(mesh, 0, 0, 0, 1, 1, 1);
    TZevXPhObj parent;
    auto* body = new TZevXPhObj;
    parent.AppendChild(body);
    ASSERT_TRUE(body->ClearNodes(&mesh));
    parent.level = 0;
    body->SetMatrix(Translation(1, 0, 0));
    body->SetContactHit(1);
    EXPECT_EQ(body->level, 0);
    EXPECT_NE(body->IsContactHit(), 0);
    parent.level = 0;
    body->ClearContactHit();
    EXPECT_EQ(body->IsContactHit(), 0);
    EXPECT_EQ(body->level, 2);
    EXPECT_EQ(parent.level, 2);
}

TEST_F(PhysicsObject, UnlinkDetachesLinksAndRecordsButKeepsTheJoints)
{
    TZevCollisionSpace* space = new TZevCollisionSpace;
    auto* body = new TZevXPhObj;
    auto* part = new TZevXPhObj;
    auto* other = new TZevXPhObj;
    body->AppendChild(part);
    space->AddBody(body);
    space->AddBody(other);

    TZevPhscs2RigidBody state;
    TZevPhscs2RigidBody otherState;
    LinkBodyAndRigidBody(body, &state);
    LinkBodyAndRigidBody(other, &otherState);
    state.Owner = body;
    EXPECT_EQ(state.Users.First()->data, body);

    // The world holds the joint and the links in rings of its own.
    TZevJoint* joint = CreateJoint(&state, &otherState, V(), V(0, 0, 1), V(1, 0, 0), 1.0f);
    ASSERT_NE(joint, nullptr);
    TZevOwnerList worldJoints;
    TZevOwnerList worldLinks;
    worldJoints.Append(joint);
    for (TZevRigidLink* link : joint->Links)
        worldLinks.Append(link);

    // A contact link between a part of the body and the other body, listed by both, and the world list nodes.
    TZevContactLink* contact = NewContactLink();
    contact->OwnerNodeA = part->OwnedRecords.Add(contact);
    contact->OwnerNodeB = other->OwnedRecords.Add(contact);
    TZevList worldBodies;
    body->WorldNode0 = worldBodies.Add(body);
    const int pooledLinks = ZevContactLinkPoolSize();

    body->Unlink();
    EXPECT_EQ(body->Parent(), space->parkedRoot);
    EXPECT_FALSE(joint->IsLinked());
    EXPECT_TRUE(worldJoints.IsEmpty());
    EXPECT_TRUE(worldLinks.IsEmpty());
    // The joint itself stays valid and attached to both state objects.
    EXPECT_EQ(state.Joints.GetCount(), 1);
    EXPECT_EQ(otherState.Joints.GetCount(), 1);
    EXPECT_EQ(joint->Links[0]->ObjectA, &state);
    EXPECT_TRUE(part->OwnedRecords.IsEmpty());
    EXPECT_TRUE(other->OwnedRecords.IsEmpty());
    EXPECT_EQ(ZevContactLinkPoolSize(), pooledLinks + 1);
    EXPECT_EQ(body->WorldNode0, nullptr);
    EXPECT_TRUE(worldBodies.IsEmpty());

    // Destroying the body leaves no pointer to it in its state object.
    delete space;
    EXPECT_TRUE(state.Users.IsEmpty());
    EXPECT_EQ(state.Owner, nullptr);
    EXPECT_TRUE(otherState.Users.IsEmpty());
    UnlinkBodyAndRigidBody(nullptr, &state);
}

} // namespace
