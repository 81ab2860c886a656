// Special characters: the key tables of the aircraft, the legged robot and the vehicle turned into forces,
// torques and joint settings.
#include "ZevBodyUtil.h"
#include "ZevCarChara.h"
#include "ZevCharaInit.h"
#include "ZevPlaneChara.h"
#include "ZevRobotChara.h"
#include "ZevVirtualKeys.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace physics_test;

struct Keys {
    unsigned char table[256] = {};
    Keys(std::initializer_list<int> down)
    {
        for (int k : down)
            table[k] = 1;
    }
};

void ExpectVec(const TZevVector& got, const TZevVector& want, const std::string& what)
{
    EXPECT_NEAR(got.x, want.x, 1e-3f) << what;
    EXPECT_NEAR(got.y, want.y, 1e-3f) << what;
    EXPECT_NEAR(got.z, want.z, 1e-3f) << what;
}

// A character of `factory` on a box, in no world (no gravity), at `pose`, with mass 2.
template <class T>
T* MakeChara(TZevBodyFactory factory, const TZevMatrix& pose = TZevMatrix())
{
    ZevCharaInit();
    TZevCollisionMeshObj* body =
        CreateBoxXPhBody(factory, pose, nullptr, nullptr, TZevVector(-1, -0.5f, -2), TZevVector(1, 0.5f, 2), 2.0f);
    return dynamic_cast<T*>(body);
}

TZevMatrix RotationY(float a)
{
    TZevMatrix m;
    return ZevMatRotationY(m, a);
}

// ---- Aircraft

struct PlaneCase {
    const char* name;
    std::vector<int> keys;
    TZevMatrix pose;
    TZevVector v, w;
    TZevVector torque, force;
};

TEST(SpecialChara, AircraftKeysGiveTheirTorquesAndThrust)
{
    const TZevVector none;
    const TZevVector spin(0, 0, 1); // rolling about the nose
    const std::vector<PlaneCase> cases = {
        {"no key, at rest", {}, TZevMatrix(), none, none, none, none},
        {"up: pitch", {ZevKeyUp}, TZevMatrix(), none, none, {60.75f, 0, 0}, none},
        {"down: pitch", {ZevKeyDown}, TZevMatrix(), none, none, {-60.75f, 0, 0}, none},
        {"left: roll", {ZevKeyLeft}, TZevMatrix(), none, none, {0, 0, 240.75f}, none},
        {"right: roll", {ZevKeyRight}, TZevMatrix(), none, none, {0, 0, -240.75f}, none},
        {"x: thrust", {ZevKeyX}, TZevMatrix(), none, none, none, {0, 0, 170.5f}},
        // Rolling with no roll key: roll damping -80 (z.w) 1.5 and spin damping -40.8 x 1.5.
        {"no key, rolling", {}, TZevMatrix(), none, spin, {0, 0, -120.0f - 61.2f}, none},
        // Both roll keys: both torques and no roll damping.
        {"left and right, rolling", {ZevKeyLeft, ZevKeyRight}, TZevMatrix(), none, spin, {0, 0, -61.2f}, none},
        // At 16.05 the pitch torque doubles; speed damping -0.11 v.
        {"up at speed", {ZevKeyUp}, TZevMatrix(), {0, 0, 16.05f}, none, {121.5f, 0, 0}, {0, 0, -1.7655f}},
        // Turned a quarter about y: the body's x axis is world -z.
        {"up, turned", {ZevKeyUp}, RotationY(1.5707964f), none, none, {0, 0, -60.75f}, none},
    };
    for (const PlaneCase& c : cases) {
        TZevPlaneChara* plane = MakeChara<TZevPlaneChara>(CreatePlaneChara, c.pose);
        ASSERT_NE(plane, nullptr);
        plane->MainPart->Velocity = c.v;
        plane->MainPart->AngularVelocity = c.w;
        Keys keys({});
        for (int k : c.keys)
            keys.table[k] = 1;
        plane->KeyControl(keys.table);
        ExpectVec(plane->TorqueAccumulator, c.torque, std::string(c.name) + " torque");
        ExpectVec(plane->ForceAccumulator, c.force, std::string(c.name) + " force");
        delete plane;
    }
}

TEST(SpecialChara, AircraftLiftAndWeathervane)
{
    // Flying along its nose at 50: drag-free (no sideslip) but with lift of s / 100 along its y axis.
    TZevPlaneChara* plane = MakeChara<TZevPlaneChara>(CreatePlaneChara);
    plane->MainPart->Velocity = TZevVector(0, 0, 50);
    plane->MainPart->Force = TZevVector();
    plane->LinearDamping = 0.0f;
    plane->ApplyExternalForces(0.02f);
    ExpectVec(plane->MainPart->Force, TZevVector(0, 0.5f, 0), "lift");
    ExpectVec(plane->MainPart->Torque, TZevVector(), "no turn");
    // Sideslipping: the across-nose velocity turns the nose towards the flight direction (about +y for +x).
    plane->MainPart->Force = plane->MainPart->Torque = TZevVector();
    plane->MainPart->Velocity = TZevVector(10, 0, 0);
    plane->ApplyExternalForces(0.02f);
    EXPECT_GT(plane->MainPart->Torque.y, 0.0f);
    delete plane;
}

// ---- Robot

// A robot body with twelve leg joints to bare parts. `inertia` (about every axis) is large by default: the body
// then turns too slowly for the step to bound its gains, and the key table's own numbers stand.
struct RobotRig {
    explicit RobotRig(float inertia = 1.0e4f)
    {
        robot = MakeChara<TZevRobotChara>(CreateRobotChara);
        robot->MainPart->SetInertia(TZevMatrix3(inertia, 0, 0, 0, inertia, 0, 0, 0, inertia));
        for (int i = 0; i < 12; ++i) {
            parts[i] = std::make_unique<TZevPhscs2RigidBody>();
            TZevJoint* joint = CreateJoint(robot->RigidPart, parts[i].get(), TZevVector(), TZevVector(1, 0, 0),
                                           TZevVector(0, 1, 0), 1.0f);
            robot->SetJoint(i, joint);
        }
    }
    ~RobotRig()
    {
        delete robot;
        for (auto& p : parts)
            p.reset();
    }
    TZevRobotChara* robot;
    std::unique_ptr<TZevPhscs2RigidBody> parts[12];
};

TEST(SpecialChara, RobotKeysDriveItsJointsAndBody)
{
    struct Case {
        const char* name;
        std::vector<int> keys;
        TZevVector force;  // per unit of mass
        float torqueY;     // per unit of mass
        float hipTorque[4];
        float knee1, knee2; // motor torques of every leg's knees
        float hipSpringReserved, kneeSpringReserved;
        bool hipLimited;
    };
    const float kneeD1 = ((1.5707964f - 0.5f) * 0.5f + 2.0f) * 462.5f;
    const float kneeD2 = ((1.5707964f - 0.5f) * 0.5f + 2.0f) * 925.0f;
    const std::vector<Case> cases = {
        {"no key: turn damped", {}, {}, -0.5f * 2000.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"a: stiffer knees", {ZevKeyA}, {}, -1000.0f, {0, 0, 0, 0}, 0, 0, 0, 10.1f, false},
        {"s: step", {ZevKeyS}, {}, -1000.0f, {1850, -1850, -1850, 1850}, -1850, 1850, 8.0f, 8.0f, true},
        {"d: grab", {ZevKeyD}, {}, -1000.0f, {1850, -1850, -1850, 1850}, kneeD1, kneeD2, 8.0f, 8.0f, true},
        {"e: rise", {ZevKeyE}, {0, 9.1f * 30.0f, 0}, -1000.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"x: descend", {ZevKeyX}, {0, -9.1f * 10.0f, 0}, -1000.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"up: forward", {ZevKeyUp}, {0, 0, 250}, -1000.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"down: back", {ZevKeyDown}, {0, 0, -250}, -1000.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"left", {ZevKeyLeft}, {-250, 0, 0}, -1000.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"right", {ZevKeyRight}, {250, 0, 0}, -1000.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"z: turn, no damping", {ZevKeyZ}, {}, -2800.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"c: turn, no damping", {ZevKeyC}, {}, 2800.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
        {"z and c: z wins", {ZevKeyZ, ZevKeyC}, {}, -2800.0f, {0, 0, 0, 0}, 0, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        RobotRig rig;
        TZevRobotChara* robot = rig.robot;
        const float m = robot->MainPart->Mass;
        ASSERT_EQ(m, 2.0f);
        robot->MainPart->AngularVelocity = TZevVector(0, 0.5f, 0);
        for (int i = 0; i < 4; ++i)
            for (int j = 1; j <= 2; ++j)
                robot->LegJoint(i, j)->Theta = 0.5f;
        Keys keys({});
        for (int k : c.keys)
            keys.table[k] = 1;
        robot->KeyControl(keys.table);
        ExpectVec(robot->ForceAccumulator, TZevVector(c.force.x * m, c.force.y * m, c.force.z * m), c.name);
        // Upright: no uprighting torque.
        ExpectVec(robot->TorqueAccumulator, TZevVector(0, c.torqueY * m, 0), c.name);
        for (int i = 0; i < 4; ++i) {
            TZevJoint* hip = robot->LegJoint(i, 0);
            EXPECT_FLOAT_EQ(hip->Torque, c.hipTorque[i]) << c.name << " leg " << i;
            EXPECT_FLOAT_EQ(hip->SpringReserved, c.hipSpringReserved) << c.name;
            EXPECT_FLOAT_EQ(hip->MaxTheta, c.hipLimited ? 0.7853982f : 1.5707964f) << c.name;
            EXPECT_FLOAT_EQ(hip->MinTheta, c.hipLimited ? -0.7853982f : -1.5707964f) << c.name;
            EXPECT_NEAR(robot->LegJoint(i, 1)->Torque, c.knee1, 0.01f) << c.name;
            EXPECT_NEAR(robot->LegJoint(i, 2)->Torque, c.knee2, 0.01f) << c.name;
            EXPECT_FLOAT_EQ(robot->LegJoint(i, 1)->SpringReserved, c.kneeSpringReserved) << c.name;
            EXPECT_FLOAT_EQ(robot->LegJoint(i, 2)->SpringReserved, c.kneeSpringReserved) << c.name;
        }
    }
}

TEST(SpecialChara, RobotUprightsItselfAndNeverPushesUpwardsWhenItsNoseIsVertical)
{
    RobotRig rig;
    TZevRobotChara* robot = rig.robot;
    const float m = robot->MainPart->Mass;
    // Rolled by 0.1 about z: the uprighting torque turns it back (about -z).
    TZevMatrix roll;
    ZevMatRotationZ(roll, 0.1f);
    robot->MainPart->SetMatrix(roll);
    Keys none({});
    robot->KeyControl(none.table);
    EXPECT_NEAR(robot->TorqueAccumulator.z, roll.m[4] * 25800.0f * m, 0.05f);
    EXPECT_LT(robot->TorqueAccumulator.z, 0.0f); // against the roll (its y axis leans towards -x)
    // Nose pointing straight up: the arrow keys have no horizontal direction to push along.
    TZevMatrix pitch;
    ZevMatRotationX(pitch, -1.5707964f);
    robot->MainPart->SetMatrix(pitch);
    ASSERT_NEAR(std::fabs(pitch.m[9]), 1.0f, 1e-6f);
    robot->ForceAccumulator = TZevVector();
    Keys up({ZevKeyUp, ZevKeyDown});
    robot->KeyControl(up.table);
    ExpectVec(robot->ForceAccumulator, TZevVector(), "vertical nose");
}

// A body as light to turn as the grab scene's robot: over one step the turn damping takes back half the turn and
// the uprighting three quarters of the lean, at most, whatever the step; never more than the key table's gains.
// (At the table's gains this body's turn would come back reversed.)
TEST(SpecialChara, RobotTurnDampingAndUprightingNeverOvershootInOneStep)
{
    for (float step : {0.02f, 0.005f, 0.2f}) {
        SCOPED_TRACE(step);
        RobotRig rig(35.2f);
        TZevRobotChara* robot = rig.robot;
        const float m = robot->MainPart->Mass;
        robot->AdvanceStep(step);
        TZevMatrix roll;
        ZevMatRotationZ(roll, 0.1f);
        robot->MainPart->SetMatrix(roll);
        robot->MainPart->AngularVelocity = TZevVector(0, 0.5f, 0);
        Keys none({});
        robot->KeyControl(none.table);
        const TZevVector T = robot->TorqueAccumulator;
        // What one step of the torque does to the turn rate and to the lean (sin 0.1, towards -x: the torque
        // turns it back about -z).
        const float lean = -roll.m[4];
        ASSERT_GT(lean, 0.0f);
        const float turnAfter = 0.5f + T.y * step / 35.2f;
        const float leanBack = -T.z * step * step / 35.2f;
        EXPECT_GE(turnAfter, 0.25f - 1e-4f) << "turn damping overshoots";
        EXPECT_LT(turnAfter, 0.5f);
        EXPECT_LE(leanBack, 0.75f * lean + 1e-5f) << "uprighting overshoots";
        EXPECT_GT(leanBack, 0.0f);
        // Never stronger than the table's gains.
        EXPECT_LE(-T.y, 0.5f * 2000.0f * m * (1.0f + 1e-6f));
        EXPECT_LE(-T.z, lean * 25800.0f * m * (1.0f + 1e-6f));
    }
}

TEST(SpecialChara, JointTableForgetsJointsThatWentBackToTheirPool)
{
    RobotRig rig;
    ASSERT_NE(rig.robot->JointAt(4), nullptr);
    rig.parts[4].reset(); // the part's destructor releases its joint
    EXPECT_EQ(rig.robot->JointAt(4), nullptr);
    EXPECT_EQ(rig.robot->LegJoint(1, 1), nullptr);
    Keys keys({ZevKeyS, ZevKeyD, ZevKeyA});
    rig.robot->KeyControl(keys.table); // must not touch the released joint
    EXPECT_EQ(rig.robot->LegJoint(1, 0)->Torque, -1850.0f);
}

// ---- Vehicle

struct CarRig {
    CarRig()
    {
        car = MakeChara<TZevCarChara>(CreateCarChara);
        for (int i = 0; i < 4; ++i) {
            wheels[i] = std::make_unique<TZevPhscs2RigidBody>();
            car->SetJoint(i, CreateJoint(car->RigidPart, wheels[i].get(), TZevVector(), TZevVector(1, 0, 0),
                                         TZevVector(0, 1, 0), 1.0f));
        }
    }
    ~CarRig()
    {
        delete car;
        for (auto& w : wheels)
            w.reset();
    }
    TZevCarChara* car;
    std::unique_ptr<TZevPhscs2RigidBody> wheels[4];
};

TEST(SpecialChara, VehicleKeysDriveSteerAndBrakeItsWheels)
{
    struct Case {
        const char* name;
        std::vector<int> keys;
        float torque[4]; // pair 0 first, second; pair 1 first, second
        float brake, staticFriction;
    };
    const std::vector<Case> cases = {
        {"no key", {}, {0, 0, 0, 0}, 0, 0},
        {"up", {ZevKeyUp}, {560, 560, 560, 560}, 0, 0},
        {"down", {ZevKeyDown}, {-560, -560, -560, -560}, 0, 0},
        {"up and down: down wins", {ZevKeyUp, ZevKeyDown}, {-560, -560, -560, -560}, 0, 0},
        {"left", {ZevKeyLeft}, {-560, 560, -560, 560}, 0, 0},
        {"right", {ZevKeyRight}, {560, -560, 560, -560}, 0, 0},
        {"up and left", {ZevKeyUp, ZevKeyLeft}, {-280, 560, -280, 560}, 0, 0},
        {"down and left", {ZevKeyDown, ZevKeyLeft}, {-560, 280, -560, 280}, 0, 0},
        {"up and right", {ZevKeyUp, ZevKeyRight}, {560, -280, 560, -280}, 0, 0},
        {"left and right", {ZevKeyLeft, ZevKeyRight}, {280, -280, 280, -280}, 0, 0},
        {"b: brake", {ZevKeyB}, {0, 0, 0, 0}, 500, 0.7f},
        {"up and b", {ZevKeyUp, ZevKeyB}, {560, 560, 560, 560}, 500, 0.7f},
    };
    for (const Case& c : cases) {
        CarRig rig;
        for (int i = 0; i < 4; ++i)
            rig.car->JointAt(i)->Torque = 123.0f; // reset by every step
        Keys keys({});
        for (int k : c.keys)
            keys.table[k] = 1;
        rig.car->KeyControl(keys.table);
        rig.car->ApplyExternalForces(0.02f);
        for (int i = 0; i < 4; ++i) {
            const TZevJoint* joint = rig.car->JointAt(i);
            EXPECT_EQ(joint->Torque, c.torque[i]) << c.name << " wheel " << i;
            EXPECT_GE(joint->Torque, -560.0f);
            EXPECT_LE(joint->Torque, 560.0f);
            EXPECT_EQ(joint->Brake, c.brake) << c.name;
            EXPECT_EQ(joint->StaticFrictionCoeff, c.staticFriction) << c.name;
            EXPECT_EQ(joint->DynamicFrictionCoeff, 0.7f) << c.name;
        }
    }
}

TEST(SpecialChara, VehicleWithAMissingWheelOnlyStopsTheOthers)
{
    CarRig rig;
    rig.wheels[2].reset();
    ASSERT_EQ(rig.car->WheelJoint(1, 0), nullptr);
    for (int i : {0, 1, 3}) {
        rig.car->JointAt(i)->Torque = 50.0f;
        rig.car->JointAt(i)->Brake = 7.0f;
    }
    Keys keys({ZevKeyUp, ZevKeyB});
    rig.car->KeyControl(keys.table);
    rig.car->ApplyExternalForces(0.02f);
    for (int i : {0, 1, 3}) {
        EXPECT_EQ(rig.car->JointAt(i)->Torque, 0.0f);
        EXPECT_EQ(rig.car->JointAt(i)->Brake, 7.0f);
    }
}

} // namespace
