// The scenes built in code: each is built from its meshes, steps without a display, keeps its bodies finite, and
// does what its keys say; the flight test scene keeps its world to itself.
#include "AppTestFixture.h"

#include "../common/TestFiles.h"

#include "ZevCarChara.h"
#include "ZevEasyTestScene.h"
#include "ZevFlightScene.h"
#include "ZevFrame.h"
#include "ZevGrabScene.h"
#include "ZevJoint.h"
#include "ZevLandCTree.h"
#include "ZevGameChara.h"
#include "ZevPlaneChara.h"
#include "ZevRobotChara.h"
#include "ZevSceneSupport.h"
#include "ZevSpinScene.h"
#include "ZevVehicleScene.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using DemoSceneTest = AppSceneTest;

bool Finite(const TZevMatrix& m)
{
    for (float v : m.m)
        if (!std::isfinite(v))
            return false;
    return true;
}

// Every body of the world has a finite pose.
void ExpectWorldFinite(TZevPhscs2World* world)
{
    int bodies = 0;
    ZevForEachWorldBody(world, [&](TZevCollisionMeshObj* body) {
        ++bodies;
        EXPECT_TRUE(Finite(body->GetMatrix())) << "body " << bodies;
    });
    EXPECT_GT(bodies, 0);
}

int CountWorldBodies(TZevPhscs2World* world, bool withChildren)
{
    TZevList bodies;
    ZevCollectWorldBodies(world, bodies, withChildren);
    return bodies.GetCount();
}

void ExpectMatrixNear(const TZevMatrix& a, const TZevMatrix& b, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

TEST_F(DemoSceneTest, FlightDemonstrationFollowsItsAircraftAmongBoxesOverTheLand)
{
    TZevGMLoop* scene = Start(new TZevGMLoop);
    ASSERT_NE(dynamic_cast<TZevPlaneChara*>(scene->MainChara), nullptr);
    ASSERT_NE(scene->Land, nullptr);
    // Aircraft, five boxes, a stack of 16 or 25 and the land.
    const int bodies = CountWorldBodies(scene->World, false);
    EXPECT_TRUE(bodies == 1 + 5 + 16 + 1 || bodies == 1 + 5 + 25 + 1) << bodies;
    EXPECT_STREQ(scene->ShownStatusText(), "xキーで前進，カーソルキーで旋回．");
    EXPECT_FLOAT_EQ(scene->World->Gravity(), 29.4f);
    EXPECT_NE(ReadFile("ZevDebug.txt").find("min_depth = "), std::string::npos);
    keys[0x58] = 1; // X: thrust
    Frames(30);
    ExpectWorldFinite(scene->World);
    TZevMatrix expected;
    ZevMatMultiply(expected, ZevMatTranslation(0.0f, 6.0f, -40.0f), scene->MainChara->GetMatrix());
    ExpectMatrixNear(host.Camera->LocalMatrix, expected, 1e-3f);
}

TEST_F(DemoSceneTest, GrabSceneBuildsTheRobotLandBoxesAndHeartsAndRisesUnderE)
{
    TZevGrabScene* scene = Start(new TZevGrabScene);
    ASSERT_NE(scene->Robot, nullptr);
    EXPECT_EQ(scene->MainChara, scene->Robot);
    ASSERT_NE(scene->Land, nullptr);
    EXPECT_EQ(CountWorldBodies(scene->World, false), 1 + 1 + 2 + 2);
    EXPECT_FLOAT_EQ(renderer.ViewSettings[13], -50.0f);
    Frames(40);
    ExpectWorldFinite(scene->World);
    const float standing = scene->Robot->GetMatrix().m[13];
    keys[0x45] = 1; // E: rise
    Frames(40);
    keys[0x45] = 0;
    EXPECT_GT(scene->Robot->GetMatrix().m[13], standing);
    ExpectWorldFinite(scene->World);
    // The camera looks on from a fixed place.
    EXPECT_NEAR(host.Camera->LocalMatrix.m[13], 12.0f * std::cos(0.7853982f) + 150.0f * std::sin(0.7853982f), 1.0f);
    keys[27] = 1; // ESCAPE held down
    host.Frame();
    EXPECT_EQ(host.QuitFlag, 1);
}

// Where a point shows in a 640 x 480 view through the camera frame: -1 to 1 across and up inside the view (the
// renderers' projection: x and y over the depth, x scaled by the aspect); nothing behind the camera.
bool InView(const TZevMatrix& camera, const TZevVector& p)
{
    TZevMatrix view;
    if (!ZevMatInverse(view, camera))
        return false;
    const float* v = view.m;
    const float x = p.x * v[0] + p.y * v[4] + p.z * v[8] + v[12];
    const float y = p.x * v[1] + p.y * v[5] + p.z * v[9] + v[13];
    const float z = p.x * v[2] + p.y * v[6] + p.z * v[10] + v[14];
    return z > 0.0f && std::fabs(0.75f * x / z) < 1.0f && std::fabs(y / z) < 1.0f;
}

// The robot under keys held as a person holds them: E tapped, E held 0.6 s, X held after it. It rises by what
// the key was held for, stays in the fixed view and comes to rest within a second of the key's release.
TEST_F(DemoSceneTest, GrabSceneRobotRisesAndDescendsByWhatItsKeysAreHeldForAndStaysInView)
{
    TZevGrabScene* scene = Start(new TZevGrabScene);
    ASSERT_NE(scene->Robot, nullptr);
    Frames(150); // on its legs
    const auto height = [&] { return scene->Robot->MainPart->Matrix.m[13]; };
    const float ground = height();
    struct Case {
        const char* Name;
        std::uint8_t Key;
        int Frames;          // held for
        float Low, High;     // the rise at its highest, from where it started
    };
    const Case cases[] = {
        {"E tapped", 'E', 5, 0.5f, 6.0f},
        {"E held 0.6 s", 'E', 30, 12.0f, 45.0f},
        {"X held 1 s", 'X', 50, -45.0f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const float start = height();
        float highest = start, lowest = start;
        int out = 0, atRest = -1;
        float last = start;
        for (int f = 0; f < c.Frames + 100; ++f) {
            keys[c.Key] = f < c.Frames;
            host.Frame();
            const float* m = scene->Robot->MainPart->Matrix.m;
            const TZevVector p(m[12], m[13], m[14]);
            out += !InView(host.Camera->LocalMatrix, p);
            highest = std::max(highest, p.y);
            lowest = std::min(lowest, p.y);
            if (f >= c.Frames && atRest < 0 && std::fabs(p.y - last) < 0.02f * 2.0f)
                atRest = f - c.Frames;
            last = p.y;
        }
        keys[c.Key] = 0;
        EXPECT_EQ(out, 0) << "frames with the robot out of view";
        const float rise = c.High > 1.0f ? highest - start : lowest - start;
        EXPECT_GE(rise, c.Low);
        EXPECT_LE(rise, c.High);
        EXPECT_GE(atRest, 0) << "still moving 2 s after the key";
        EXPECT_LE(atRest, 50);
    }
    EXPECT_LT(height(), ground + 6.0f) << "X did not bring it back down";
    ExpectWorldFinite(scene->World);
}

// A person at the robot's keys who watches it: every frame the arrow keys (along the robot's own axes) and E / X
// bring it towards a target point, let go early by its speed, and D (grab) or S (open) is held as asked.
class TRobotDriver {
public:
    TRobotDriver(TZevEngineHost& host, std::uint8_t* keys, TZevRobotChara* robot)
        : Host(host), Keys(keys), Robot(robot), Last(Position())
    {
    }
    TZevVector Position() const
    {
        const TZevMatrix& m = Robot->MainPart->Matrix;
        return TZevVector(m.m[12], m.m[13], m.m[14]);
    }
    // One frame towards the target, with the hand key (0 none) held.
    void Frame(const TZevVector& target, std::uint8_t hand)
    {
        for (int k = 0; k < 256; ++k)
            Keys[k] = 0;
        const TZevVector p = Position();
        const TZevVector v((p.x - Last.x) / 0.02f, (p.y - Last.y) / 0.02f, (p.z - Last.z) / 0.02f);
        Last = p;
        const float* r = Robot->MainPart->Matrix.m;
        const float ex = target.x - p.x - 0.4f * v.x, ez = target.z - p.z - 0.4f * v.z;
        const float side = ex * r[0] + ez * r[2], forward = ex * r[8] + ez * r[10];
        Keys[side > 0.0f ? 0x27 : 0x25] = std::fabs(side) > 1.0f;  // Right / Left
        Keys[forward > 0.0f ? 0x26 : 0x28] = std::fabs(forward) > 1.0f; // Up / Down
        const float ey = target.y - p.y - 0.3f * v.y;
        Keys['E'] = ey > 0.5f;
        Keys['X'] = ey < -3.0f;
        if (hand != 0)
            Keys[hand] = 1;
        Host.Frame();
        OutOfView += !InView(Host.Camera->LocalMatrix, Position());
    }
    void Frames(const TZevVector& target, std::uint8_t hand, int n)
    {
        for (int i = 0; i < n; ++i)
            Frame(target, hand);
    }

private:
    TZevEngineHost& Host;
    std::uint8_t* Keys;
    TZevRobotChara* Robot;
    TZevVector Last;

public:
    int OutOfView = 0; // frames that ended with the robot out of the view
};

TZevVector PartPosition(TZevGameChara* body)
{
    const TZevMatrix& m = body->MainPart->Matrix;
    return TZevVector(m.m[12], m.m[13], m.m[14]);
}

// Flown over the stack of boxes with its legs open (S), lowered round the top box, D closes the legs on it, E lifts
// it off the box below and the arrow keys carry it away.
TEST_F(DemoSceneTest, GrabSceneRobotPicksUpTheTopBoxAndCarriesItUnderItsKeys)
{
    TZevGrabScene* scene = Start(new TZevGrabScene);
    ASSERT_NE(scene->Robot, nullptr);
    TZevGameChara* top = nullptr;
    ZevForEachWorldBody(scene->World, [&](TZevCollisionMeshObj* body) {
        const TZevMatrix m = body->GetMatrix();
        if (m.m[12] == 0.0f && m.m[14] == 0.0f && m.m[13] > 30.0f && m.m[13] < 30.1f)
            top = dynamic_cast<TZevGameChara*>(body);
    });
    ASSERT_NE(top, nullptr);
    Frames(150); // the robot lands and the boxes settle
    const TZevVector rest = PartPosition(top);
    TRobotDriver driver(host, keys, scene->Robot);
    const TZevVector start = driver.Position();
    driver.Frames(TZevVector(start.x, rest.y + 45.0f, start.z), 'S', 100);
    driver.Frames(TZevVector(rest.x, rest.y + 45.0f, rest.z), 'S', 200);
    EXPECT_NEAR(PartPosition(top).y, rest.y, 1.0f) << "the robot knocked the box on its way";
    driver.Frames(TZevVector(rest.x, rest.y + 25.0f, rest.z), 'S', 100);
    driver.Frames(TZevVector(rest.x, rest.y + 25.0f, rest.z), 'D', 100);
    driver.Frames(TZevVector(rest.x, rest.y + 45.0f, rest.z), 'D', 100);
    TZevVector box = PartPosition(top), robot = driver.Position();
    EXPECT_GT(box.y, rest.y + 15.0f) << "not lifted";
    EXPECT_LT(std::fabs(box.x - robot.x), 5.0f);
    EXPECT_LT(std::fabs(box.z - robot.z), 10.0f);
    // Carried slowly along x: the legs hold the box by its long sides, along which it slips a little.
    for (int i = 0; i < 60; ++i)
        driver.Frame(TZevVector(rest.x + 0.3f * static_cast<float>(i), rest.y + 45.0f, rest.z), 'D');
    box = PartPosition(top);
    robot = driver.Position();
    EXPECT_GT(box.x - rest.x, 8.0f) << "not carried";
    EXPECT_GT(box.y, rest.y + 15.0f) << "dropped";
    EXPECT_LT(std::fabs(box.x - robot.x), 5.0f);
    EXPECT_LT(std::fabs(box.z - robot.z), 20.0f) << "slipped out of the legs";
    EXPECT_EQ(driver.OutOfView, 0);
    ExpectWorldFinite(scene->World);
}

// With no key held the robot stands where it landed for 10 s: it neither drifts, sinks, rocks nor turns.
TEST_F(DemoSceneTest, GrabSceneRobotStandsStillWithNoKeyHeld)
{
    TZevGrabScene* scene = Start(new TZevGrabScene);
    ASSERT_NE(scene->Robot, nullptr);
    Frames(150); // on its legs
    const TZevMatrix start = scene->Robot->MainPart->Matrix;
    float farthest = 0.0f, sunk = 0.0f, lean = 0.0f, turned = 0.0f;
    for (int f = 0; f < 500; ++f) {
        host.Frame();
        const TZevMatrix& m = scene->Robot->MainPart->Matrix;
        farthest = std::max(farthest, std::hypot(m.m[12] - start.m[12], m.m[14] - start.m[14]));
        sunk = std::max(sunk, std::fabs(m.m[13] - start.m[13]));
        lean = std::max(lean, std::hypot(m.m[4], m.m[6]));
        // The heading's turn from the start, from the z axes' dot product on the ground.
        const float c = (m.m[8] * start.m[8] + m.m[10] * start.m[10]) /
                        (std::hypot(m.m[8], m.m[10]) * std::hypot(start.m[8], start.m[10]));
        turned = std::max(turned, std::acos(std::clamp(c, -1.0f, 1.0f)));
    }
    EXPECT_LT(farthest, 1.0f) << "drifted";
    EXPECT_LT(sunk, 1.0f) << "sank or rose";
    EXPECT_LT(lean, 0.05f) << "rocked";
    EXPECT_LT(turned, 0.05f) << "turned";
    EXPECT_LT(std::fabs(scene->Robot->MainPart->AngularVelocity.y), 0.5f) << "still spinning";
}

// The vehicle scene's chase view: upright (its y axis straight up, its x axis level), looking along the car's
// heading on the ground, 40 behind the car and 12 above it, however the car lies.
void ExpectChaseView(const TZevMatrix& camera, const TZevMatrix& car)
{
    EXPECT_NEAR(camera.m[4], 0.0f, 1e-5f);
    EXPECT_NEAR(camera.m[5], 1.0f, 1e-5f);
    EXPECT_NEAR(camera.m[6], 0.0f, 1e-5f);
    EXPECT_NEAR(camera.m[1], 0.0f, 1e-5f);
    EXPECT_NEAR(camera.m[9], 0.0f, 1e-5f);
    const float flat = std::hypot(car.m[8], car.m[10]);
    if (flat > 0.2f) {
        EXPECT_NEAR(camera.m[8], car.m[8] / flat, 1e-4f);
        EXPECT_NEAR(camera.m[10], car.m[10] / flat, 1e-4f);
    }
    EXPECT_NEAR(camera.m[12], car.m[12] - 40.0f * camera.m[8], 1e-3f);
    EXPECT_NEAR(camera.m[13], car.m[13] + 12.0f, 1e-3f);
    EXPECT_NEAR(camera.m[14], car.m[14] - 40.0f * camera.m[10], 1e-3f);
}

TEST_F(DemoSceneTest, VehicleStandsOnFourJointedWheelsAndDrivesUnderTheCursorKeys)
{
    TZevVehicleScene* scene = Start(new TZevVehicleScene);
    ASSERT_NE(scene->Vehicle, nullptr);
    for (int k = 0; k < 4; ++k) {
        ASSERT_NE(scene->Vehicle->JointAt(k), nullptr) << k;
        EXPECT_EQ(scene->Vehicle->JointAt(k)->LimitFlag, 1);
    }
    EXPECT_STREQ(scene->ShownStatusText(), "カーソルキーで移動\n");
    Frames(150); // falls onto the land and settles
    ExpectWorldFinite(scene->World);
    const TZevMatrix start = scene->Vehicle->GetMatrix();
    EXPECT_GT(start.m[5], 0.8f); // upright
    keys[0x26] = 1; // Up
    Frames(100);
    keys[0x26] = 0;
    const TZevMatrix end = scene->Vehicle->GetMatrix();
    const float dx = end.m[12] - start.m[12], dz = end.m[14] - start.m[14];
    EXPECT_GT(std::sqrt(dx * dx + dz * dz), 5.0f);
    ExpectChaseView(host.Camera->LocalMatrix, end);
}

// Rolled onto its side, on its roof, or standing on its nose, the car drags no view over with it: every frame the
// view stays upright behind the car (on its nose, along the heading it had before).
TEST_F(DemoSceneTest, VehicleViewStaysUprightWhateverWayTheCarLies)
{
    const struct {
        const char* name;
        float roll, pitch;
    } cases[] = {{"on its side", 1.5707964f, 0.0f}, {"on its roof", 3.1415927f, 0.0f}, {"on its nose", 0.0f, 1.5707964f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.Final();
        TZevVehicleScene* scene = Start(new TZevVehicleScene);
        ASSERT_NE(scene->Vehicle, nullptr);
        Frames(20);
        const TZevVector heading(host.Camera->LocalMatrix.m[8], 0.0f, host.Camera->LocalMatrix.m[10]);
        TZevMatrix roll, pitch, turned;
        ZevMatRotationZ(roll, c.roll);
        ZevMatRotationX(pitch, c.pitch);
        const TZevMatrix at = scene->Vehicle->GetMatrix();
        ZevMatMultiply(turned, ZevMatMultiply(turned, roll, pitch), ZevMatTranslation(at.m[12], at.m[13] + 20.0f, at.m[14]));
        scene->Vehicle->PlaceAt(turned);
        keys[0x26] = 1; // Up: the wheels spin in the air or push it along
        for (int i = 0; i < 60; ++i) {
            host.Frame();
            ExpectChaseView(host.Camera->LocalMatrix, scene->Vehicle->GetMatrix());
            if (c.pitch != 0.0f && i == 0) {
                EXPECT_NEAR(host.Camera->LocalMatrix.m[8], heading.x, 1e-4f);
                EXPECT_NEAR(host.Camera->LocalMatrix.m[10], heading.z, 1e-4f);
            }
            if (HasFailure())
                break;
        }
        keys[0x26] = 0;
        ExpectWorldFinite(scene->World);
    }
}

TEST_F(DemoSceneTest, SpinningSpheresTurnInPlaceAndGoWithTheScene)
{
    TZevSpinScene* scene = Start(new TZevSpinScene);
    ASSERT_EQ(scene->SphereCount, 2);
    ASSERT_NE(scene->Spheres[0], nullptr);
    ASSERT_NE(scene->Spheres[1], nullptr);
    EXPECT_EQ(scene->Spheres[0]->Dynamic, 0);
    Frames(50);
    TZevMatrix yaw;
    ExpectMatrixNear(scene->Spheres[0]->RigidPart->Matrix, ZevMatRotationY(yaw, 0.5f), 1e-4f);
    EXPECT_GT(std::fabs(scene->Spheres[1]->RigidPart->Matrix.m[6]), 0.1f); // turned about x as well
    EXPECT_EQ(host.Camera->LocalMatrix.m[14], -15.0f);
    keys[16] = 1;
    host.Frame();
    host.Frame();
    EXPECT_GT(renderer.CountOf("WorldLines"), 0);
    EXPECT_EQ(CountWorldBodies(scene->World, true), 2);
    scene->OnShutdown();
    EXPECT_EQ(CountWorldBodies(scene->World, true), 0);
}

TEST_F(DemoSceneTest, EasyTestSceneIsAnEmptyLitWorldThatStepsWhatTheConsoleLoads)
{
    TZevEasyTestScene* scene = Start(new TZevEasyTestScene);
    EXPECT_EQ(CountWorldBodies(scene->World, true), 0);
    ASSERT_FALSE(renderer.Lights.empty());
    EXPECT_FLOAT_EQ(renderer.Lights.back().Ambient[1], 0.5f);
    EXPECT_FLOAT_EQ(renderer.ViewSettings[14], 0.0f);
    EXPECT_FLOAT_EQ(scene->World->CollisionSpringCoeff, 40.5f);
    Frames(5);
    ASSERT_NE(Run("(setq b (LoadXPhBody \"lbox.x\"))"), "nil\n");
    const std::string start = Run("(GetXPhBodyMat b)");
    Frames(10);
    EXPECT_NE(Run("(GetXPhBodyMat b)"), start);
}

TEST_F(DemoSceneTest, FlightTestSceneFliesInAWorldOfItsOwnWithoutTheWorldStep)
{
    TZevFlightScene* scene = Start(new TZevFlightScene);
    ASSERT_NE(scene->Aircraft, nullptr);
    ASSERT_NE(scene->Land, nullptr);
    EXPECT_EQ(CurrentWorld, nullptr);
    EXPECT_EQ(RootFrame, nullptr);
    const TZevMatrix start = scene->Aircraft->GetMatrix();
    EXPECT_FLOAT_EQ(start.m[12], 3.0f);
    keys[0x58] = 1; // X: thrust
    Frames(30);
    const TZevMatrix end = scene->Aircraft->GetMatrix();
    EXPECT_TRUE(Finite(end));
    EXPECT_NE(end.m[14], start.m[14]);
    EXPECT_EQ(scene->World->StepSize, 0.0f); // the world's own step never ran
    TZevMatrix expected;
    ZevMatMultiply(expected, ZevMatTranslation(0.0f, 6.0f, -16.0f), end);
    ExpectMatrixNear(host.Camera->LocalMatrix, expected, 1e-3f);
}

// The arrow keys steer the aircraft of the flight test scene: Left and Right roll it opposite ways about its nose,
// Up and Down pitch it opposite ways; without them it flies level.
TEST_F(DemoSceneTest, FlightTestSceneSteersUnderTheArrowKeys)
{
    struct Attitude {
        float Roll, Pitch; // the y components of the aircraft's x and z axes
    };
    auto fly = [&](int key) {
        host.Final();
        for (auto& k : keys)
            k = 0;
        TZevFlightScene* scene = Start(new TZevFlightScene);
        keys[0x58] = 1; // X: thrust throughout
        Frames(10);
        if (key != 0)
            keys[key] = 1;
        Frames(15);
        const TZevMatrix m = scene->Aircraft->GetMatrix();
        EXPECT_TRUE(Finite(m));
        return Attitude{m.m[1], m.m[9]};
    };
    const Attitude level = fly(0), left = fly(0x25), right = fly(0x27), up = fly(0x26), down = fly(0x28);
    EXPECT_NEAR(level.Roll, 0.0f, 0.05f);
    EXPECT_NEAR(level.Pitch, 0.0f, 0.05f);
    EXPECT_GT(left.Roll, 0.3f);
    EXPECT_LT(right.Roll, -0.3f);
    EXPECT_NEAR(left.Pitch, 0.0f, 0.05f);
    EXPECT_LT(up.Pitch, -0.3f);
    EXPECT_GT(down.Pitch, 0.3f);
    EXPECT_NEAR(up.Roll, 0.0f, 0.05f);
}

} // namespace
