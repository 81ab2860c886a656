// The second axis of a joint: it turns about the reference direction under its own torque, damper and limits,
// measured from the first axis, and it keeps working while the first axis turns as well.
#include "ZevJoint.h"
#include "test_world_bodies.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace physics_test;

// A fixed base and a cube below it, joined at the cube's centre with the first axis along x and the second along y.
struct Axis2Rig {
    explicit Axis2Rig(float d, float gravity = 0.0f, float offset = 0.0f)
    {
        w.world->pairs.Gravity = gravity;
        base = w.Box(0.2f, 0.2f, 0.2f, Translation(0, 0, 0), true);
        MakeCube(mesh, -0.3f, -0.1f, -0.3f, 0.3f, 0.1f, 0.3f);
        mesh.ComputeNormals();
        child = new SimBody(&mesh, Translation(offset, -1, 0)); // inertia 0.1 about every axis
        child->damping = 0.0f;
        joint = CreateJoint(base->part, child->part, TZevVector(0, -1, 0), TZevVector(1, 0, 0), TZevVector(0, 1, 0),
                            d);
        w.world->AddBody(child);
    }
    ~Axis2Rig() { w.world->DeleteBody(child); }
    // The child's first axis in the world.
    TZevVector Axle() const
    {
        TZevVector out;
        child->part->LocalToWorldDir(joint->AxisB, out);
        return out;
    }
    // The child's turn about y, from x towards -z (the sense of a positive second angle).
    float Turn() const
    {
        const TZevVector a = Axle();
        return std::atan2(-a.z, a.x);
    }

    TestWorld w;
    TZevMeshData mesh;
    SimBody* child = nullptr;
    SimBody* base = nullptr;
    TZevJoint* joint = nullptr;
};

// Against its damper the second axis settles at the rate torque / damper (the couple and the damper both act
// through Size^2), and the angle it reports is the child's real turn about the second axis. The first axis, held at
// its limits, does not move.
TEST(JointAxis2, AngleFollowsTheTorqueAgainstTheDamper)
{
    struct Case {
        float d, torque, damper;
    };
    for (const Case& c : {Case{1.0f, 0.5f, 1.0f}, Case{1.0f, -0.5f, 1.0f}, Case{0.5f, 0.5f, 2.0f}}) {
        SCOPED_TRACE(testing::Message() << "d " << c.d << " torque " << c.torque << " damper " << c.damper);
        Axis2Rig rig(c.d);
        TZevJoint* j = rig.joint;
        ASSERT_NE(j, nullptr);
        j->AxisCount = 2;
        j->MaxTheta = j->MinTheta = 0.0f;
        j->Torque2 = c.torque;
        j->RotationalDamper2 = c.damper;
        j->LimitFlag2 = 1;
        rig.w.Run(75);
        const float rate = c.torque / c.damper;
        EXPECT_NEAR(j->DTheta2, rate, 0.1f * std::fabs(rate));
        EXPECT_NEAR(rig.child->part->AngularVelocity.y, rate, 0.1f * std::fabs(rate));
        EXPECT_GT(j->Theta2 / rate, 0.4f); // 1.5 s at most at that rate
        EXPECT_NEAR(j->Theta2, rig.Turn(), 0.03f);
        EXPECT_EQ(j->Theta, 0.0f);
        EXPECT_NEAR(rig.Axle().y, 0.0f, 0.02f);
    }
}

// With its limits on, the second axis stops at the limit in the torque's direction and the axis pair holds the
// child there.
TEST(JointAxis2, LimitsHold)
{
    for (float torque : {0.5f, -0.5f}) {
        SCOPED_TRACE(torque);
        Axis2Rig rig(1.0f);
        TZevJoint* j = rig.joint;
        ASSERT_NE(j, nullptr);
        j->AxisCount = 2;
        j->MaxTheta = j->MinTheta = 0.0f;
        j->Torque2 = torque;
        j->RotationalDamper2 = 0.2f;
        j->MaxTheta2 = 0.3f;
        j->MinTheta2 = -0.3f;
        j->LinkSpring = 100.0f;
        rig.w.Run(100);
        const float limit = torque > 0.0f ? 0.3f : -0.3f;
        EXPECT_EQ(j->Theta2, limit);
        EXPECT_NEAR(rig.Turn(), limit, 0.05f);
        float worst = 0.0f;
        for (int i = 0; i < 50; ++i) {
            rig.w.Run(1);
            worst = std::fmax(worst, std::fabs(rig.Turn() - limit));
        }
        EXPECT_LT(worst, 0.05f);
        EXPECT_EQ(j->Theta2, limit);
    }
}

// Both axes turning at once, as a steered wheel that spins: the second axis still follows its torque about the
// fixed second axis, the first turns about the turned axle, and the child does not tilt about the third direction
// although gravity pulls it that way (its centre lies off the pivot along the axle).
TEST(JointAxis2, BothAxesTurnWithoutTilting)
{
    Axis2Rig rig(1.0f, 9.8f, 0.3f);
    TZevJoint* j = rig.joint;
    ASSERT_NE(j, nullptr);
    j->AxisCount = 2;
    j->LimitFlag = 1;
    j->Torque = 4.0f;
    j->RotationalDamper = 1.0f;
    j->LimitFlag2 = 1;
    j->Torque2 = 0.5f;
    j->RotationalDamper2 = 1.0f;
    float lowest = 1.0f;
    for (int i = 0; i < 75; ++i) {
        rig.w.Run(1);
        lowest = std::fmin(lowest, 1.0f - std::fabs(rig.Axle().y));
    }
    // The links may stretch by their tolerance (0.15 d) before the satisfy pass pulls them back: a few degrees.
    EXPECT_GT(lowest, 0.97f);
    EXPECT_NEAR(j->DTheta2, 0.5f, 0.1f);
    EXPECT_NEAR(j->Theta2, rig.Turn(), 0.05f);
    EXPECT_GT(j->DTheta, 2.0f);
    // The spin (4 rad/s) is about the turned axle: the child's angular velocity lies near the plane of the axle and
    // y (about the unturned axle, its part across that plane would be 4 sin 0.7, about 2.6).
    const TZevVector axle = rig.Axle();
    const TZevVector w = rig.child->part->AngularVelocity;
    const TZevVector third(-axle.z, 0.0f, axle.x); // axle x y
    EXPECT_LT(std::fabs(w.x * third.x + w.y * third.y + w.z * third.z), 0.6f);
}

} // namespace
