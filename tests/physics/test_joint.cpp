// Hinge joints: creation from the first object's frame, refused degenerate axes, the angle setting, and release of
// a joint with its five links when an object goes.
#include "ZevJoint.h"
#include "ZevPhscs2RigidBody.h"

#include "ZevDebug.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using V = TZevVector;

class Joints : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevJointInit();
        ZevRigidLinkInit();
        // b sits at (3, 0, 0), turned by 90 degrees about z.
        TZevMatrix m;
        ZevMatRotationZ(m, 1.5707964f);
        m.m[12] = 3.0f;
        b.SetMatrix(m);
    }

    TZevPhscs2RigidBody a;
    TZevPhscs2RigidBody b;
};

TEST_F(Joints, DegenerateAxisOrReferenceGivesNoJointAndTouchesNothing)
{
    const int joints = ZevJointPoolSize();
    const int links = ZevRigidLinkPoolSize();
    struct Case {
        const char* name;
        V axis;
        V ref;
    };
    const Case cases[] = {{"zero axis", V(0, 0, 0), V(1, 0, 0)},
                          {"reference along the axis", V(0, 0, 1), V(0, 0, -2)},
                          {"zero reference", V(0, 1, 0), V(0, 0, 0)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CreateJoint(&a, &b, V(1, 0, 0), c.axis, c.ref, 1.0f), nullptr);
    }
    EXPECT_EQ(CreateJoint(&a, nullptr, V(), V(0, 0, 1), V(1, 0, 0), 1.0f), nullptr);
    EXPECT_TRUE(a.Joints.IsEmpty());
    EXPECT_TRUE(a.RigidLinks.IsEmpty());
    EXPECT_TRUE(b.Joints.IsEmpty());
    EXPECT_EQ(ZevJointPoolSize(), joints);
    EXPECT_EQ(ZevRigidLinkPoolSize(), links);
}

TEST_F(Joints, NewJointHasFiveLinksAtItsFrameWithTheDefaults)
{
    // Pivot (1, 0, 0) in a; axis z; reference not yet perpendicular to it.
    TZevJoint* joint = CreateJoint(&a, &b, V(1, 0, 0), V(0, 0, 2), V(1, 0, 1), 2.0f);
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(joint->ObjectA(), &a);
    EXPECT_EQ(joint->ObjectB(), &b);
    EXPECT_EQ(joint->AxisA.z, 1.0f);
    EXPECT_EQ(joint->RefA.x, 1.0f);
    EXPECT_EQ(joint->RefA.z, 0.0f);
    // In b's frame the world point (1, 0, 0) is (0, 2, 0), and the world x axis is b's -y.
    EXPECT_NEAR(joint->PivotB.x, 0.0f, 1e-6f);
    EXPECT_NEAR(joint->PivotB.y, 2.0f, 1e-6f);
    EXPECT_NEAR(joint->RefB.y, -1.0f, 1e-6f);
    EXPECT_NEAR(joint->AxisB.z, 1.0f, 1e-6f);

    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        TZevRigidLink* link = joint->Links[k];
        ASSERT_NE(link, nullptr);
        EXPECT_FLOAT_EQ(link->Tolerance, 0.3f);
        EXPECT_EQ(link->Spring, 10.0f);
        EXPECT_EQ(link->Damper, 0.05f);
        // Both ends of every link start at the same world point.
        link->UpdateLength();
        EXPECT_NEAR(link->Length, 0.0f, 1e-5f);
    }
    EXPECT_EQ(joint->Links[4]->Tolerance, 0.5f);
    EXPECT_EQ(joint->Links[4]->Spring, 40.0f);
    EXPECT_EQ(joint->Links[0]->AttachA.z, 2.0f);
    EXPECT_EQ(joint->Links[3]->AttachA.x, -1.0f);
    EXPECT_EQ(joint->LinkSpring, 10.0f);
    EXPECT_EQ(joint->LinkDamper, 0.1f);
    EXPECT_EQ(joint->State, 1);
    EXPECT_EQ(joint->AxisCount, 1);
    EXPECT_EQ(joint->MaxTheta, 1.5707964f);
    EXPECT_EQ(joint->MinTheta, -1.5707964f);
    EXPECT_EQ(a.RigidLinks.GetCount(), 5);
    EXPECT_EQ(b.RigidLinks.GetCount(), 5);
    EXPECT_EQ(a.Joints.First()->data, static_cast<TZevReleasableLink*>(joint));
    EXPECT_EQ(b.Joints.First()->data, static_cast<TZevReleasableLink*>(joint));
}

TEST_F(Joints, SetAngleTurnsTheReferenceEndsAboutTheAxis)
{
    const V pivot(1, 0, 0);
    TZevJoint* joint = CreateJoint(&a, &b, pivot, V(0, 0, 1), V(1, 0, 0), 2.0f);
    ASSERT_NE(joint, nullptr);
    EXPECT_FLOAT_EQ(joint->Links[2]->AttachA.x, 3.0f);
    joint->SetAngle(1.5707964f);
    EXPECT_EQ(joint->Theta, 1.5707964f);
    EXPECT_EQ(joint->PrevTheta, 1.5707964f);
    EXPECT_NEAR(joint->Links[2]->AttachA.x, 1.0f, 1e-6f);
    EXPECT_NEAR(joint->Links[2]->AttachA.y, 2.0f, 1e-6f);
    EXPECT_NEAR(joint->Links[3]->AttachA.x, 1.0f, 1e-6f);
    EXPECT_NEAR(joint->Links[3]->AttachA.y, -2.0f, 1e-6f);
    EXPECT_NEAR(joint->CurRefA.y, 1.0f, 1e-6f);
    // The B ends stay where the joint frame put them.
    EXPECT_NEAR(joint->Links[2]->AttachB.y, 2.0f - 2.0f, 1e-6f);
}

TEST_F(Joints, ReleasingAnObjectReturnsItsJointsAndTheirLinksAndLeavesNothingBehind)
{
    TZevPhscs2RigidBody c;
    TZevJoint* ab = CreateJoint(&a, &b, V(1, 0, 0), V(0, 0, 1), V(1, 0, 0), 1.0f);
    TZevJoint* cb = CreateJoint(&c, &b, V(0, 0, 0), V(0, 1, 0), V(1, 0, 0), 1.0f);
    TZevRigidLink* plain = CreateRigidLink(&b, &a, V(), V());
    ASSERT_NE(ab, nullptr);
    ASSERT_NE(cb, nullptr);
    // The world keeps joints and links in owning rings of its own.
    TZevOwnerList worldJoints;
    worldJoints.Append(ab);
    worldJoints.Append(cb);
    ASSERT_EQ(b.Joints.GetCount(), 2);
    ASSERT_EQ(b.RigidLinks.GetCount(), 11);

    const int joints = ZevJointPoolSize();
    const int links = ZevRigidLinkPoolSize();
    a.ReleaseLinks();
    EXPECT_EQ(ZevJointPoolSize(), joints + 1);
    EXPECT_EQ(ZevRigidLinkPoolSize(), links + 6);
    EXPECT_TRUE(a.Joints.IsEmpty());
    EXPECT_TRUE(a.RigidLinks.IsEmpty());
    // b keeps exactly what it shares with c.
    ASSERT_EQ(b.Joints.GetCount(), 1);
    EXPECT_EQ(b.Joints.First()->data, static_cast<TZevReleasableLink*>(cb));
    EXPECT_EQ(b.RigidLinks.GetCount(), 5);
    for (void* item : b.RigidLinks) {
        auto* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(item));
        EXPECT_EQ(link->ObjectA, &c);
    }
    EXPECT_EQ(worldJoints.GetCount(), 1);
    for (TZevRigidLink* link : ab->Links)
        EXPECT_EQ(link, nullptr);
    EXPECT_EQ(plain->ObjectA, nullptr);

    // A second release of the same joint changes nothing.
    ab->Release();
    EXPECT_EQ(ZevJointPoolSize(), joints + 1);
    EXPECT_EQ(ZevRigidLinkPoolSize(), links + 6);

    // A joint from the pool starts afresh.
    TZevJoint* again = CreateJoint(&a, &c, V(), V(1, 0, 0), V(0, 1, 0), 1.0f);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->InPool, 0);
    EXPECT_EQ(again->Theta, 0.0f);
    EXPECT_EQ(ZevJointPoolSize(), joints);
    c.ReleaseLinks();
    EXPECT_TRUE(a.Joints.IsEmpty());
    EXPECT_TRUE(b.Joints.IsEmpty());
    EXPECT_TRUE(b.RigidLinks.IsEmpty());
    EXPECT_TRUE(worldJoints.IsEmpty());
}

TEST_F(Joints, DestroyedJointLeavesBothObjects)
{
    TZevJoint* joint = CreateJoint(&a, &b, V(), V(0, 0, 1), V(1, 0, 0), 1.0f);
    ASSERT_NE(joint, nullptr);
    const int pooled = ZevJointPoolSize();
    delete joint;
    EXPECT_TRUE(a.Joints.IsEmpty());
    EXPECT_TRUE(b.Joints.IsEmpty());
    EXPECT_TRUE(a.RigidLinks.IsEmpty());
    EXPECT_EQ(ZevJointPoolSize(), pooled);
}

} // namespace
