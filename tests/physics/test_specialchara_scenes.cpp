// Special characters in a world: the vehicle drives on its wheels, the aircraft slows under its drag, and the
// legged robot stands on its legs.
#include "ZevBodyUtil.h"
#include "ZevCarChara.h"
#include "ZevMesh.h"
#include "ZevPhscs2World.h"
#include "ZevCharaInit.h"
#include "ZevPlaneChara.h"
#include "ZevRobotChara.h"
#include "ZevVirtualKeys.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace physics_test;

struct Scene {
    Scene()
    {
        ZevCharaInit();
        world = std::make_unique<TZevPhscs2World>();
        ZevSetPhOnlyParameters(world.get());
    }
    TZevGameChara* Floor(float top, float half)
    {
        TZevGameChara* floor =
            ZevAsGameChara(CreateBoxXPhBody(nullptr, Translation(0, top - 0.5f, 0), nullptr, world.get(),
                                            TZevVector(-half, -0.5f, -half), TZevVector(half, 0.5f, half), 1.0f));
        floor->SetFixed(1);
        return floor;
    }
    std::unique_ptr<TZevPhscs2World> world;
    unsigned char keys[256] = {};
};

// A wheel: a sphere of radius r with mass m at `pose`, in the world.
TZevGameChara* Wheel(TZevPhscs2World* world, float r, float m, const TZevMatrix& pose)
{
    TZevPolygonMesh* mesh = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
    mesh->Clear();
    ZevMakeSphereMesh(mesh->Geometry, 8, 16);
    TZevMatrix scale;
    mesh->Geometry->Transform(ZevMatScaling(scale, r, r, r));
    mesh->ComputeNormals();
    TZevGameChara* wheel = new TZevGameChara;
    wheel->SetCollisionMesh(mesh);
    mesh->Release();
    wheel->RigidPart->SetMassSphere(m, r);
    PlaceXPhBody(wheel, pose);
    world->AddBody(wheel);
    return wheel;
}

// A chassis box on four sphere wheels joined by motor joints, settings as the vehicle scene gives them.
TZevCarChara* BuildCar(TZevPhscs2World* world)
{
    // Heavy enough that its weight holds it down against the wheels' reaction and their grip carries the
    // motor torque.
    TZevCarChara* car = dynamic_cast<TZevCarChara*>(CreateBoxXPhBody(
        CreateCarChara, Translation(0, 5, 0), nullptr, world, TZevVector(-4, -1, -10), TZevVector(4, 1, 10), 30.0f));
    if (car == nullptr)
        return nullptr;
    car->LinearDamping = 0.5f;
    int slot = 0;
    for (int i : {-1, 1}) {     // axle (pair)
        for (int j : {-1, 1}) { // side within the pair
            const TZevVector at(7.5f * static_cast<float>(j), -2.0f, 8.0f * static_cast<float>(i));
            TZevGameChara* wheel = Wheel(world, 3.0f, 1.5f, Translation(at.x, 5.0f + at.y, at.z));
            TZevJointSettings settings;
            settings.Pivot = at;
            settings.Axis = TZevVector(1, 0, 0);
            settings.Reference = TZevVector(0, 0, 1);
            settings.Size = 1.0f;
            TZevJoint* joint = car->AttachChildByJoint(wheel, settings, Translation(at.x, at.y, at.z));
            if (joint == nullptr)
                return car;
            joint->LinkSpring = 40.0f;
            joint->RotationalDamper = 10.5f;
            const float tolerances[4] = {0.25f, 0.25f, 0.5f, 0.5f};
            for (int k = 0; k < 4; ++k) {
                joint->Links[k]->Spring = 40.0f;
                joint->Links[k]->Tolerance = tolerances[k];
            }
            joint->LimitFlag = 1;
            joint->Brake = 0.0f;
            joint->LinkDamper = 0.5f;
            car->Wheels[slot] = wheel;
            car->SetJoint(slot++, joint);
        }
    }
    world->AddBody(car); // its joints join the world
    return car;
}

TEST(SpecialCharaScenes, VehicleDrivesOnItsWheels)
{
    Scene s;
    TZevPhscs2World* w = s.world.get();
    w->InterferencePermitDistance = 0.5f;
    w->CollisionSpringCoeff = 5.5f;
    w->CollisionVerticalDamperCoeff = 0.55f;
    w->CollisionHorizontalDamperCoeff = 0.15f;
    w->CollisionStaticFrictionCoeff = 0.8f;
    w->CollisionDynamicFrictionCoeff = 0.7f;
    w->Gravity() = 49.0f;
    w->RetryCollisionMax = 6;
    w->LinkSatisfyRepeatMax = 3;
    s.Floor(0.0f, 200.0f);
    TZevCarChara* car = BuildCar(w);
    ASSERT_NE(car, nullptr);
    for (int k = 0; k < 4; ++k)
        ASSERT_NE(car->JointAt(k), nullptr);
    for (int i = 0; i < 50; ++i) {
        car->KeyControl(s.keys);
        w->Step(0.02f);
    }
    const TZevMatrix start = car->GetMatrix();
    // Standing on its wheels, not on its belly.
    EXPECT_GT(start.m[13], 2.0f);
    s.keys[ZevKeyUp] = 1;
    for (int i = 0; i < 60; ++i) {
        car->KeyControl(s.keys);
        w->Step(0.02f);
    }
    const TZevMatrix end = car->GetMatrix();
    const float dz = end.m[14] - start.m[14];
    const float dx = end.m[12] - start.m[12];
    EXPECT_GT(std::fabs(dz), 5.0f);
    EXPECT_LT(std::fabs(dx), std::fabs(dz) * 0.5f);
    EXPECT_GT(end.m[5], 0.9f); // upright
    EXPECT_TRUE(std::isfinite(end.m[12] + end.m[13] + end.m[14]));
}

TEST(SpecialCharaScenes, AircraftWithNoKeySlowsUnderDrag)
{
    Scene s;
    s.world->Gravity() = 0.0f;
    const std::string file = std::string(QE_DATA_DIR) + "/f22.x";
    TZevPlaneChara* plane = dynamic_cast<TZevPlaneChara*>(
        AddXPhBodyFromXFile(file.c_str(), CreatePlaneChara, TZevMatrix(), nullptr, s.world.get()));
    ASSERT_NE(plane, nullptr);
    plane->RigidPart->SetMassSphere(1.0f, 2.5f); // the character's own inertia
    TZevPhscs2RigidBody* part = plane->MainPart;
    part->Velocity = part->PrevVelocity = TZevVector(1.0f, 0.0f, 20.0f);
    part->AngularVelocity = part->PrevAngularVelocity = TZevVector(0.0f, 0.3f, 0.2f);
    float speed = part->Velocity.Length();
    float spin = part->AngularVelocity.Length();
    for (int i = 0; i < 100; ++i) {
        plane->KeyControl(s.keys);
        s.world->Step(0.02f);
        EXPECT_LE(part->Velocity.Length(), speed + 1e-4f) << "step " << i;
        speed = part->Velocity.Length();
    }
    EXPECT_LT(speed, 20.0f * 0.9f);
    EXPECT_GT(speed, 0.0f);
    EXPECT_LT(part->AngularVelocity.Length(), spin * 0.5f);
    spin = part->AngularVelocity.Length();
    // Thrust speeds it up again.
    s.keys[ZevKeyX] = 1;
    for (int i = 0; i < 50; ++i) {
        plane->KeyControl(s.keys);
        s.world->Step(0.02f);
    }
    EXPECT_GT(part->Velocity.Length(), speed);
}

TEST(SpecialCharaScenes, VehicleMeshesMakeACarAndItsWheels)
{
    ZevCharaInit();
    const std::string dir = std::string(QE_DATA_DIR) + "/objects/";
    TZevCollisionMeshObj* chassis =
        CreateXPhBodyFromXFile((dir + "chassis.x").c_str(), CreateCarChara, TZevMatrix(), nullptr);
    ASSERT_NE(dynamic_cast<TZevCarChara*>(chassis), nullptr);
    EXPECT_GT(chassis->GetVertexCount(), 0);
    for (const char* name : {"tireld.x", "tire.x"}) {
        TZevCollisionMeshObj* wheel = CreateXPhBodyFromXFile((dir + name).c_str(), nullptr, TZevMatrix(), nullptr);
        ASSERT_NE(ZevAsGameChara(wheel), nullptr) << name;
        // The axle runs along z: the wheel is round in x and y.
        wheel->collisionMesh->UpdateBounds();
        const TZevBox& b = wheel->collisionMesh->Bounds;
        EXPECT_NEAR(b.Max.x - b.Min.x, b.Max.y - b.Min.y, 0.35f) << name;
        EXPECT_LT(b.Max.z - b.Min.z, b.Max.y - b.Min.y) << name;
        delete wheel;
    }
    delete chassis;
}

// The robot's meshes are read by their relative names "objects/..." from the working directory.
void LinkObjectsFolder()
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists("objects", error))
        fs::create_directory_symlink(fs::path(QE_DATA_DIR) / "objects", "objects", error);
}

TEST(SpecialCharaScenes, RobotBuildsItsLegsAndStandsWithNoKey)
{
    LinkObjectsFolder();
    Scene s;
    TZevPhscs2World* w = s.world.get();
    TZevRobotChara* robot = BuildRobotBody(nullptr, w);
    ASSERT_NE(robot, nullptr);
    EXPECT_EQ(robot->LinearDamping, 1.5f);
    EXPECT_EQ(robot->MainPart->Mass, 5.5f);
    for (int i = 0; i < 12; ++i) {
        TZevJoint* joint = robot->JointAt(i);
        ASSERT_NE(joint, nullptr) << i;
        EXPECT_FLOAT_EQ(joint->LinkSpring, 200.0f / w->CollisionSatisfyCoefficientScale);
        EXPECT_FLOAT_EQ(joint->LinkDamper, 2.5f / w->CollisionSatisfyCoefficientScale);
        EXPECT_EQ(joint->RotationalDamper, 6.0f);
        EXPECT_EQ(joint->Links[0]->Tolerance, 0.125f);
        EXPECT_EQ(joint->Links[3]->Tolerance, 0.25f);
        EXPECT_EQ(joint->Links[2]->Spring, joint->LinkSpring);
    }
    // The hips join the body's part; the knees join the leg segments.
    EXPECT_EQ(robot->LegJoint(0, 0)->ObjectA(), robot->MainPart);
    EXPECT_NE(robot->LegJoint(0, 1)->ObjectA(), robot->MainPart);

    // The lowest point of the legs, then a floor just under it.
    float lowest = 1e30f;
    TZevList bodies;
    CollectBodyTree(robot, bodies);
    EXPECT_EQ(bodies.GetCount(), 13);
    for (void* item : bodies) {
        auto* b = static_cast<TZevFMCTTree*>(item);
        for (int v = 0; v < b->GetVertexCount(); ++v)
            lowest = std::fmin(lowest, b->currentVertices[v].y);
    }
    ASSERT_LT(lowest, -20.0f);
    const float floorTop = lowest - 0.05f;
    s.Floor(floorTop, 100.0f);
    const float startY = robot->MainPart->GetPosition().y;
    for (int i = 0; i < 300; ++i) {
        robot->KeyControl(s.keys);
        w->Step(0.02f);
    }
    const TZevMatrix& m = robot->MainPart->Matrix;
    EXPECT_TRUE(std::isfinite(m.m[12] + m.m[13] + m.m[14]));
    EXPECT_GT(m.m[5], 0.9f); // upright
    // Held up by its legs: its belly (1.5 below its centre) stays far above the floor.
    EXPECT_GT(m.m[13], floorTop + 10.0f);
    EXPECT_LT(m.m[13], startY + 1.0f);
}

} // namespace
