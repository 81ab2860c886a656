// The joint PID laws, measured on a real engine joint between two resting bodies (angle and rate 0).
#include "GldemoTestSupport.h"
#include "QEBodyData.h"
#include "QEJointData.h"
#include "QEMeshGenerators.h"

namespace {

class JointDataTest : public GldemoTest {
protected:
    void SetUp() override
    {
        GldemoTest::SetUp();
        world = std::make_unique<TQEWorld_Data>();
        parent = std::make_unique<TQEBody_Data>();
        child = std::make_unique<TQEBody_Data>();
        ASSERT_TRUE(MakeBoxBody(*parent, -1, -0.25f, -1, 1, 0.25f, 1));
        ASSERT_TRUE(MakeBoxBody(*child, -0.2f, -0.2f, -0.2f, 0.2f, 0.2f, 0.2f));
        child->SetPosition(1.5f, 0, 0);
        const float at[3] = {1.2f, 0, 0};
        const float axis1[3] = {1, 0, 0};
        const float axis2[3] = {0, 1, 0};
        ASSERT_TRUE(joint.Create(*parent, *child, at, axis1, axis2));
        QE_GetSimulationStepSize(&dt);
    }
    void TearDown() override
    {
        child.reset();
        parent.reset();
        world.reset();
    }

    std::unique_ptr<TQEWorld_Data> world;
    std::unique_ptr<TQEBody_Data> parent, child;
    TQEJoint_Data joint;
    float dt = 0;
};

TEST_F(JointDataTest, ZeroGainsGiveZeroTorque)
{
    joint.SetTorque(5.0f);
    joint.ControlAngle1(1.0f);
    EXPECT_EQ(joint.GetTorque(), 0.0f);
    joint.ControlRate1(3.0f);
    EXPECT_EQ(joint.GetTorque(), 0.0f);
    joint.ControlAngle2(1.0f);
    EXPECT_EQ(joint.GetTorque2(), 0.0f);
}

TEST_F(JointDataTest, AngleAndRateLawsOnEachAxis)
{
    ASSERT_FLOAT_EQ(joint.GetTheta(), 0.0f);
    joint.SetAngleGains1(2.0f, 3.0f, 5.0f);
    joint.ControlAngle1(0.5f);
    // e = 0.5, I = dt e, w = 0.
    EXPECT_NEAR(joint.GetTorque(), 2.0f * 0.5f + 3.0f * dt * 0.5f, 1e-5f);
    EXPECT_NEAR(joint.AxisState(0).AngleIntegral, dt * 0.5f, 1e-7f);

    joint.SetRateGains2(0.15f, 0.01f, 0.0005f);
    joint.ControlRate2(20.0f);
    EXPECT_NEAR(joint.GetTorque2(), 0.15f * 20.0f + 0.01f * dt * 20.0f, 1e-5f);
    EXPECT_NEAR(joint.AxisState(1).RateIntegral, dt * 20.0f, 1e-6f);
    // Axis 1 keeps its own torque.
    EXPECT_NEAR(joint.GetTorque(), 2.0f * 0.5f + 3.0f * dt * 0.5f, 1e-5f);
}

TEST_F(JointDataTest, SaturatedTorqueStopsTheIntegral)
{
    joint.SetAngleGains1(100.0f, 1.0f, 0.0f);
    joint.SetTorqueLimit1(10.0f);
    joint.ControlAngle1(1.0f);
    EXPECT_FLOAT_EQ(joint.GetTorque(), 10.0f);
    EXPECT_EQ(joint.AxisState(0).AngleIntegral, 0.0f);
    joint.ControlAngle1(-1.0f);
    EXPECT_FLOAT_EQ(joint.GetTorque(), -10.0f);
    EXPECT_EQ(joint.AxisState(0).AngleIntegral, 0.0f);

    // A torque equal to the limit passes and keeps its integral.
    joint.SetRateGains1(1.0f, 0.0f, 0.0f);
    joint.ControlRate1(10.0f);
    EXPECT_FLOAT_EQ(joint.GetTorque(), 10.0f);
    EXPECT_NEAR(joint.AxisState(0).RateIntegral, dt * 10.0f, 1e-6f);
}

TEST_F(JointDataTest, SettersReachTheEngineJoint)
{
    joint.SetMaxTheta(2.0943952f);
    joint.SetMinTheta2(-0.5235988f);
    float v = 0;
    QE_XPhJointGetMaxTheta(joint.GetHandle(), &v);
    EXPECT_FLOAT_EQ(v, 2.0943952f);
    QE_XPhJointGetMinTheta2(joint.GetHandle(), &v);
    EXPECT_FLOAT_EQ(v, -0.5235988f);
    const float k = joint.GetSpringCoeff();
    joint.SetSpringCoeff(k * 0.05f);
    EXPECT_FLOAT_EQ(joint.GetSpringCoeff(), k * 0.05f);
    joint.SetAxisCount(2);
    int count = 0;
    QE_XPhJointGetAxisCount(joint.GetHandle(), &count);
    EXPECT_EQ(count, 2);
}

TEST(JointDataNoJoint, ControlsWithoutJointDoNothing)
{
    TQEJoint_Data joint;
    joint.SetAngleGains1(1, 1, 1);
    joint.ControlAngle1(1.0f);
    joint.ControlBoth2(1.0f, 1.0f);
    EXPECT_EQ(joint.GetTorque(), 0.0f);
    EXPECT_EQ(joint.SetTorque(1.0f), 0);
}

} // namespace
