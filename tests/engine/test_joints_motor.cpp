// Joint motors through the exports: the torque turns the child about the joint's axis, in its own sign, and a
// fixed tree does not turn at all.
#include "QEJoints.h"
#include "test_joint_fixture.h"

#include "ZevJoint.h"

#include <cmath>

namespace {

// Without gravity: only the motors move the bodies.
class JointMotorTest : public JointTest {
protected:
    void SetUp() override
    {
        JointTest::SetUp();
        ASSERT_EQ(QE_SetGravity(0.0f), 1);
    }
    float Theta(QE_XPhJoint* joint)
    {
        float theta = 0.0f;
        EXPECT_EQ(QE_XPhJointGetTheta(joint, &theta), 1);
        return theta;
    }
};

TEST_F(JointMotorTest, TorqueTurnsTheChildInItsSign)
{
    for (float torque : {5.0f, -5.0f}) {
        SCOPED_TRACE(torque);
        QE_XPhBody* parent = Box(0.0f);
        QE_XPhBody* child = Box(2.0f);
        ASSERT_EQ(QE_SetXPhBodyPhysicsMode(parent, 0), 1); // before the joint: the child stays free
        QE_XPhJoint* joint = Hinge(parent, child);
        ASSERT_NE(joint, nullptr);
        ASSERT_EQ(QE_XPhJointSetTorque(joint, torque), 1);
        for (int i = 0; i < 30; ++i)
            ASSERT_EQ(QE_PhOnlyStep(), 1);
        const float theta = Theta(joint);
        float rate = 0.0f;
        ASSERT_EQ(QE_XPhJointGetDTheta(joint, &rate), 1);
        EXPECT_GT(theta * torque, 0.05f);
        EXPECT_GT(rate * torque, 0.0f);
        // The child's x axis turned by the same angle about z.
        float m[16];
        ASSERT_EQ(QE_GetXPhBodyMat(child, m), 1);
        EXPECT_NEAR(std::atan2(m[1], m[0]), theta, 0.1f);
        EXPECT_EQ(QE_DeleteXPhBody(child), 1);
        EXPECT_EQ(QE_DeleteXPhBody(parent), 1);
    }
}

// Fixing a parent fixes every body below it, the jointed child included: its joint then never turns.
TEST_F(JointMotorTest, FixingTheParentAfterwardsFixesTheChild)
{
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* child = Box(2.0f);
    QE_XPhJoint* joint = Hinge(parent, child);
    ASSERT_NE(joint, nullptr);
    ASSERT_EQ(QE_SetXPhBodyPhysicsMode(parent, 0), 1);
    int fixed = 0;
    ASSERT_EQ(QE_GetXPhBodyPhysicsMode(child, &fixed), 1);
    EXPECT_EQ(fixed, 1);
    ASSERT_EQ(QE_XPhJointSetTorque(joint, 5.0f), 1);
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(Theta(joint), 0.0f);
}

// The second axis (axis2 of the joint, here x) turns the child under its own torque, in its sign.
TEST_F(JointMotorTest, SecondAxisTorqueTurnsTheChild)
{
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* child = Box(2.0f);
    ASSERT_EQ(QE_SetXPhBodyPhysicsMode(parent, 0), 1);
    QE_XPhJoint* joint = Hinge(parent, child);
    ASSERT_NE(joint, nullptr);
    ASSERT_EQ(QE_XPhJointSetAxisCount(joint, 2), 1);
    ASSERT_EQ(QE_XPhJointSetTorque2(joint, 5.0f), 1);
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);
    float theta2 = 0.0f;
    ASSERT_EQ(QE_XPhJointGetTheta2(joint, &theta2), 1);
    EXPECT_GT(theta2, 0.05f);
}

} // namespace
