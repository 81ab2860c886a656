// The crane car of scene 4 as its keys drive it, without a display: it stands still until a key, drives and turns
// from rest however long it stood, stops, moves its arm to the poses and back, and closes and opens its gripper.
// The car drops onto the road at the start and lands after about 55 steps.
#include "GldemoTestSupport.h"
#include "OGLPomuScenes.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>
#include <string>

namespace {

const float QuarterPi = 0.7853982f;

class CraneCarTest : public ScenesTest {
protected:
    void SetUp() override
    {
        ScenesTest::SetUp();
        scene = std::make_unique<TCraneCarScene>();
        scene->Build();
    }
    void TearDown() override { scene.reset(); }
    void Run(int steps)
    {
        for (int i = 0; i < steps; ++i)
            scene->Advance();
    }
    TQECraneCar_Data& Car() { return scene->CraneCar; }
    float Base() { return Car().BaseJoint().GetTheta(); }
    float Pole() { return Car().Arm().PoleJoint().GetTheta(); }
    // Where the chassis faces in the ground plane: 0 along +z, growing towards +x (a left turn, as the follow
    // camera shows it from behind).
    float Heading()
    {
        float m[16] = {};
        Car().GetWorldMatrix(m);
        return std::atan2(m[8], m[10]);
    }
    std::unique_ptr<TCraneCarScene> scene;
};

float AngleBetween(float from, float to)
{
    float d = to - from;
    while (d > 3.1415927f)
        d -= 6.2831853f;
    while (d < -3.1415927f)
        d += 6.2831853f;
    return d;
}

TEST_F(CraneCarTest, StandsStillBeforeAnyKey)
{
    // chassis, 4 wheels, 6 arm parts, road, rock, box
    EXPECT_EQ(CountWorldBodies(), 14);
    EXPECT_FLOAT_EQ(Car().ArmAngleTarget(), QuarterPi);
    EXPECT_FLOAT_EQ(Car().BaseAngleTarget(), 0.0f);
    Run(400); // landed and settled
    float start[3];
    Car().GetPosition(start);
    float baseOff = 0.0f, poleOff = 0.0f;
    for (int i = 0; i < 2000; ++i) {
        scene->Advance();
        baseOff = std::max(baseOff, std::fabs(Base()));
        poleOff = std::max(poleOff, std::fabs(Pole() - QuarterPi));
    }
    EXPECT_LT(baseOff, 0.05f);
    EXPECT_LT(poleOff, 0.1f);
    float end[3];
    Car().GetPosition(end);
    EXPECT_LT(HorizontalDistance(start, end), 0.05f);
    EXPECT_GT(Uprightness(Car()), 0.95f);
}

// From rest after any settling time, a driving key moves the car within 250 steps (E forward, X back along the
// way it faces; S left, D right), and Z then brings it to rest within 250 steps.
struct TDriveCase {
    int settle;
    char key;
};

void PrintTo(const TDriveCase& c, std::ostream* os)
{
    *os << c.key << " after " << c.settle << " steps";
}

std::string DriveCaseName(const testing::TestParamInfo<TDriveCase>& info)
{
    return std::string(1, info.param.key) + "After" + std::to_string(info.param.settle);
}

class CraneCarDriveTest : public CraneCarTest, public testing::WithParamInterface<TDriveCase> {};

TEST_P(CraneCarDriveTest, KeyMovesTheCarAndZStopsIt)
{
    const TDriveCase c = GetParam();
    Run(c.settle);
    float start[3];
    Car().GetPosition(start);
    const float heading = Heading();
    scene->Keyboard(c.key, 0, 0);
    float lowest = 1.0f;
    for (int i = 0; i < 250; ++i) {
        scene->Advance();
        lowest = std::min(lowest, Uprightness(Car()));
    }
    float end[3];
    Car().GetPosition(end);
    const float ahead = (end[0] - start[0]) * std::sin(heading) + (end[2] - start[2]) * std::cos(heading);
    const float turned = AngleBetween(heading, Heading());
    switch (c.key) {
    case 'E': EXPECT_GT(ahead, 1.0f); break;
    case 'X': EXPECT_LT(ahead, -1.0f); break;
    case 'S': EXPECT_GT(turned, 0.1f); break;
    case 'D': EXPECT_LT(turned, -0.1f); break;
    }
    EXPECT_GT(HorizontalDistance(start, end), 1.0f);
    EXPECT_GT(lowest, 0.8f); // on its wheels all the way

    scene->Keyboard('Z', 0, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Car().WheelRateTarget(i), 0.0f);
        EXPECT_EQ(Car().SteeringTarget(i), 0.0f);
    }
    Run(200);
    Car().GetPosition(start);
    Run(50);
    Car().GetPosition(end);
    EXPECT_LT(HorizontalDistance(start, end), 0.05f) << "still moving 200 steps after Z";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CraneCarDriveTest,
    testing::Values(TDriveCase{60, 'E'}, TDriveCase{120, 'E'}, TDriveCase{200, 'E'}, TDriveCase{300, 'E'},
                    TDriveCase{450, 'E'}, TDriveCase{600, 'E'}, TDriveCase{60, 'X'}, TDriveCase{600, 'X'},
                    TDriveCase{60, 'S'}, TDriveCase{600, 'S'}, TDriveCase{60, 'D'}, TDriveCase{600, 'D'}),
    DriveCaseName);

// F and G take the arm to their poses, and H brings it back upright whatever came before: within 500 steps the
// base is within 0.05 of 0 and the pole at pi/4, and they stay there.
struct TArmCase {
    const char* name;
    const char* keys; // each held 150 steps before H
    float base, pole; // the pose the last key reaches, when it has one
    float baseTolerance;
};

void PrintTo(const TArmCase& c, std::ostream* os)
{
    *os << c.name;
}

class CraneCarArmTest : public CraneCarTest, public testing::WithParamInterface<TArmCase> {};

TEST_P(CraneCarArmTest, HReturnsTheArmAndItStays)
{
    const TArmCase c = GetParam();
    Run(300);
    for (const char* k = c.keys; *k; ++k) {
        scene->Keyboard(*k, 0, 0);
        Run(150);
    }
    if (c.pole > 0.0f) {
        Run(150);
        EXPECT_NEAR(Base(), c.base, c.baseTolerance);
        EXPECT_NEAR(Pole(), c.pole, 0.1f);
    }
    scene->Keyboard('h', 0, 0);
    EXPECT_FLOAT_EQ(Car().BaseAngleTarget(), 0.0f);
    EXPECT_FLOAT_EQ(Car().ArmAngleTarget(), QuarterPi);
    Run(500);
    float baseOff = 0.0f, poleOff = 0.0f;
    for (int i = 0; i < 300; ++i) {
        scene->Advance();
        baseOff = std::max(baseOff, std::fabs(Base()));
        poleOff = std::max(poleOff, std::fabs(Pole() - QuarterPi));
    }
    EXPECT_LT(baseOff, 0.05f);
    EXPECT_LT(poleOff, 0.1f);
}

INSTANTIATE_TEST_SUITE_P(Table, CraneCarArmTest,
                         // At G the gripper comes down onto the road before the base reaches its stop at pi/4.
                         testing::Values(TArmCase{"RaisedALittle", "f", QuarterPi, 1.0471976f, 0.1f},
                                         TArmCase{"Lowered", "FG", QuarterPi, 2.0943952f, 0.15f},
                                         TArmCase{"Driven", "EZ", 0.0f, 0.0f, 0.0f}),
                         [](const testing::TestParamInfo<TArmCase>& info) { return info.param.name; });

// C turns the plates towards each other (the left one up, the right one down in joint angle), V apart; the gap
// angle between them changes by a clear angle both ways.
TEST_F(CraneCarTest, GripperClosesOnCAndOpensOnV)
{
    TQEJoint_Data& left = Car().Arm().LeftGripJoint();
    TQEJoint_Data& right = Car().Arm().RightGripJoint();
    auto closure = [&] { return left.GetTheta() - right.GetTheta(); };
    Run(200); // landed; the plates hang
    const float rest = closure();
    scene->Keyboard('c', 0, 0);
    Run(150);
    const float closed = closure();
    EXPECT_GT(closed, rest + 0.5f);
    scene->Keyboard('V', 0, 0);
    Run(150);
    EXPECT_LT(closure(), closed - 0.5f);
}

TEST_F(CraneCarTest, KeysInEitherCaseAndOthersIgnored)
{
    scene->Keyboard('s', 0, 0);
    EXPECT_FLOAT_EQ(Car().WheelRateTarget(2), 21.047197f);
    EXPECT_FLOAT_EQ(Car().SteeringTarget(0), 0.13707785f);
    EXPECT_FLOAT_EQ(Car().SteeringTarget(1), -0.13707785f);
    scene->Keyboard('D', 0, 0);
    EXPECT_FLOAT_EQ(Car().WheelRateTarget(3), 18.952803f);
    EXPECT_FLOAT_EQ(Car().SteeringTarget(0), -0.13707785f);
    scene->Keyboard('e', 0, 0);
    EXPECT_FLOAT_EQ(Car().WheelRateTarget(0), 10.0f);
    scene->Keyboard('x', 0, 0);
    EXPECT_FLOAT_EQ(Car().WheelRateTarget(1), -10.0f);
    scene->Keyboard('Q', 0, 0);
    scene->Keyboard(0x25, 0, 0); // an arrow key
    scene->Keyboard(-1, 0, 0);
    scene->Keyboard(1000, 0, 0);
    EXPECT_FLOAT_EQ(Car().WheelRateTarget(1), -10.0f);

    // Grasp then release: the gripper torques turn round and stay through later steps.
    TQEJoint_Data& left = Car().Arm().LeftGripJoint();
    TQEJoint_Data& right = Car().Arm().RightGripJoint();
    scene->Keyboard('C', 0, 0);
    const float grasp = left.GetTorque();
    EXPECT_GT(grasp, 0.0f);
    EXPECT_FLOAT_EQ(right.GetTorque(), -grasp);
    scene->Keyboard('v', 0, 0);
    Run(3);
    EXPECT_FLOAT_EQ(left.GetTorque(), -grasp);
    EXPECT_FLOAT_EQ(right.GetTorque(), grasp);
}

} // namespace
