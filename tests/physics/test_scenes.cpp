// Whole scenes with the physics-only parameters and dt = 0.02: resting, stacking, hinges, motors, friction,
// fast bodies and bit-identical reruns.
#include "ZevContactLink.h"
#include "ZevSatisfyPass.h"
#include "ZevJoint.h"
#include "ZevRigidLink.h"
#include "test_world_bodies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace physics_test;

TZevMatrix RotationZ(float angle, float x, float y, float z)
{
    TZevMatrix m;
    ZevMatRotationZ(m, angle);
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

float Speed(const SimBody* b)
{
    const TZevVector& v = b->part->Velocity;
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

float LowestCorner(const SimBody* b, float half)
{
    float lowest = 1e30f;
    for (int i = 0; i < 8; ++i) {
        const TZevVector local((i & 1) ? half : -half, (i & 2) ? half : -half, (i & 4) ? half : -half);
        TZevVector w;
        b->part->LocalToWorld(local, w);
        lowest = std::min(lowest, w.y);
    }
    return lowest;
}

// Up axis of the body (its second row) against the world's y.
float Upright(const SimBody* b)
{
    return std::fabs(b->part->Matrix.m[5]);
}

// A hanging chain: a fixed anchor and `n` small boxes one unit apart below it, each hinged to the one above
// about z with the joints' own springs, the first box nudged sideways.
std::vector<SimBody*> Chain(TestWorld& w, int n, std::vector<TZevJoint*>& joints)
{
    std::vector<SimBody*> bodies;
    bodies.push_back(w.Box(0.2f, 0.2f, 0.2f, Translation(0, 0, 0), true));
    for (int i = 1; i <= n; ++i) {
        TZevMeshData* mesh = (w.meshes.push_back(std::make_unique<TZevMeshData>()), w.meshes.back().get());
        MakeCube(*mesh, -0.2f, -0.2f, -0.2f, 0.2f, 0.2f, 0.2f);
        mesh->ComputeNormals();
        auto* body = new SimBody(mesh, Translation(0, -static_cast<float>(i), 0));
        TZevJoint* joint = CreateJoint(bodies.back()->part, body->part, TZevVector(0, -0.5f, 0),
                                       TZevVector(0, 0, 1), TZevVector(1, 0, 0), 0.5f);
        joints.push_back(joint);
        w.world->AddBody(body);
        bodies.push_back(body);
    }
    bodies[1]->part->Velocity = TZevVector(0.5f, 0.0f, 0.0f);
    bodies[1]->part->PrevVelocity = bodies[1]->part->Velocity;
    return bodies;
}

TEST(Scenes, HingeChainKeepsItsLinkLengths)
{
    TestWorld w;
    std::vector<TZevJoint*> joints;
    std::vector<SimBody*> chain = Chain(w, 10, joints);
    for (int step = 0; step < 500; ++step) {
        w.world->Step(0.02f);
        if (step % 50 != 49)
            continue;
        for (TZevJoint* joint : joints) {
            for (TZevRigidLink* link : joint->Links) {
                if (link->Active != 0) {
                    EXPECT_LE(std::fabs(link->Length), link->Tolerance) << "step " << step;
                }
            }
        }
        for (std::size_t i = 1; i < chain.size(); ++i) {
            const TZevVector p = chain[i - 1]->Position();
            const TZevVector q = chain[i]->Position();
            const float d = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z));
            EXPECT_NEAR(d, 1.0f, 0.1f) << "step " << step << " link " << i;
        }
    }
    // Still hanging below the anchor.
    EXPECT_LT(chain.back()->Position().y, -5.0f);
}

TEST(Scenes, JointMotorAgainstDamperSettlesAtTorqueOverDamper)
{
    TestWorld w;
    w.world->pairs.Gravity = 0.0f;
    SimBody* base = w.Box(0.2f, 0.2f, 0.2f, Translation(0, 0, 0), true);
    TZevMeshData mesh;
    MakeCube(mesh, -0.3f, -0.1f, -0.3f, 0.3f, 0.1f, 0.3f);
    mesh.ComputeNormals();
    auto* wheel = new SimBody(&mesh, Translation(0, -1, 0));
    wheel->damping = 0.0f;
    TZevJoint* joint =
        CreateJoint(base->part, wheel->part, TZevVector(0, -1, 0), TZevVector(0, 1, 0), TZevVector(1, 0, 0), 0.5f);
    ASSERT_NE(joint, nullptr);
    joint->LimitFlag = 1;
    joint->Torque = 1.0f;
    joint->RotationalDamper = 2.0f;
    w.world->AddBody(wheel);
    w.Run(500);
    EXPECT_NEAR(joint->DTheta, 0.5f, 0.02f);
    EXPECT_NEAR(wheel->part->AngularVelocity.y, 0.5f, 0.03f);
    // Held on its axis.
    EXPECT_NEAR(wheel->Position().y, -1.0f, 0.05f);
    EXPECT_NEAR(wheel->Position().x, 0.0f, 0.05f);
    w.world->DeleteBody(wheel);
}

std::vector<float> RunChainAndBoxes()
{
    TestWorld w;
    std::vector<TZevJoint*> joints;
    std::vector<SimBody*> bodies = Chain(w, 5, joints);
    w.Box(5.0f, 0.5f, 5.0f, Translation(10, -0.5f, 0), true);
    for (int i = 0; i < 3; ++i)
        bodies.push_back(w.Box(0.5f, 0.5f, 0.5f, RotationZ(0.1f * static_cast<float>(i), 10.2f * i / 3.0f + 9.0f,
                                                         0.6f + 1.2f * static_cast<float>(i), 0)));
    w.Run(1000);
    std::vector<float> out;
    for (SimBody* b : bodies)
        for (int k = 0; k < 16; ++k)
            out.push_back(b->part->Matrix.m[k]);
    return out;
}

TEST(Scenes, RerunsAreBitIdentical)
{
    const std::vector<float> first = RunChainAndBoxes();
    const std::vector<float> second = RunChainAndBoxes();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
    for (float v : first)
        EXPECT_TRUE(std::isfinite(v));
}

// ---------------------------------------------------------------------------------------------------------------
// Contact scenes.

// The deepest contact the satisfy passes left in the last step.
float DeepestContact(TZevPhscs2World* world)
{
    float deepest = 0.0f;
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
        const TZevContactLink* link = static_cast<const TZevContactLink*>(l);
        if (link->Active != 0)
            deepest = std::min(deepest, link->Depth);
    }
    return deepest;
}

TEST(Scenes, BoxDroppedOnFloorComesToRestFlat)
{
    TestWorld w;
    w.Box(5.0f, 0.5f, 5.0f, Translation(0, -0.5f, 0), true);
    SimBody* box = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 1.0f, 0));
    const float half = w.world->InterferencePermitDistance * 0.5f;
    // The satisfy passes hold every contact within half the permitted distance; gravity, which the bodies take
    // after them, lets a resting body sink by g dt^2 more until the next step lifts it again.
    const float sink = w.world->pairs.Gravity * 0.02f * 0.02f;
    w.Run(200);
    EXPECT_GT(Upright(box), 0.9999f);
    const TZevVector rest = box->Position();
    for (int i = 0; i < 5000; ++i) {
        w.world->Step(0.02f);
        if (i % 100 == 0) {
            ASSERT_GE(DeepestContact(w.world.get()), -half) << "step " << i;
            ASSERT_GE(LowestCorner(box, 0.5f), -half - sink) << "step " << i;
            ASSERT_LT(Speed(box), 0.001f) << "step " << i;
        }
    }
    EXPECT_GT(Upright(box), 0.9999f);
    EXPECT_NEAR(box->Position().x, rest.x, 0.001f);
    EXPECT_NEAR(box->Position().y, rest.y, 0.001f);
    EXPECT_NEAR(box->Position().z, rest.z, 0.001f);
    // It rests on its four bottom corners, each with a link of its own.
    int corners = 0;
    for (TZevOwnerListLink* l = w.world->ContactLinks->First(); l != w.world->ContactLinks->End(); l = l->next) {
        const TZevContactLink* link = static_cast<const TZevContactLink*>(l);
        if (link->Active != 0 && link->SubContacts[0] == nullptr && link->SubContacts[1] == nullptr)
            ++corners;
    }
    EXPECT_GE(corners, 4);
}

// Whichever axis of the box ends up vertical.
float AnyAxisUpright(const SimBody* b)
{
    const float* m = b->part->Matrix.m;
    return std::max({std::fabs(m[1]), std::fabs(m[5]), std::fabs(m[9])});
}

TEST(Scenes, BoxLandingOnACornerTipsOntoAFace)
{
    for (float height : {2.0f, 5.0f}) {
        TestWorld w;
        w.Box(5.0f, 0.5f, 5.0f, Translation(0, -0.5f, 0), true);
        TZevMatrix tilt, turn, pose;
        ZevMatRotationX(tilt, 0.6f);
        ZevMatRotationZ(turn, 0.9f);
        ZevMatMultiply(pose, tilt, turn);
        pose.m[13] = height;
        SimBody* box = w.Box(0.5f, 0.5f, 0.5f, pose);
        w.Run(500);
        EXPECT_GT(AnyAxisUpright(box), 0.9999f) << height;
        EXPECT_NEAR(box->Position().y, 0.5f, 0.01f) << height;
        EXPECT_LT(Speed(box), 0.01f) << height;
    }
}

TEST(Scenes, TowerOfTenBoxesStands)
{
    TestWorld w;
    w.Box(5.0f, 0.5f, 5.0f, Translation(0, -0.5f, 0), true);
    std::vector<SimBody*> tower;
    for (int i = 0; i < 10; ++i)
        tower.push_back(w.Box(0.5f, 0.5f, 0.5f, Translation(0, 0.5f + 1.0f * static_cast<float>(i) + 0.005f * i, 0)));
    w.Run(500);
    for (int i = 0; i < 10; ++i) {
        const TZevVector p = tower[i]->Position();
        EXPECT_NEAR(p.x, 0.0f, 0.1f) << i;
        EXPECT_NEAR(p.z, 0.0f, 0.1f) << i;
        EXPECT_NEAR(p.y, 0.5f + static_cast<float>(i), 0.2f) << i;
        EXPECT_GT(Upright(tower[i]), 0.99f) << i;
    }
}

TEST(Scenes, PyramidSettlesWithoutExploding)
{
    TestWorld w;
    w.Box(10.0f, 0.5f, 10.0f, Translation(0, -0.5f, 0), true);
    std::vector<SimBody*> boxes;
    const int rows = 5;
    for (int row = 0; row < rows; ++row)
        for (int i = 0; i < rows - row; ++i)
            boxes.push_back(w.Box(0.5f, 0.5f, 0.5f,
                                  Translation(1.1f * (static_cast<float>(i) - 0.5f * static_cast<float>(rows - row - 1)),
                                              0.5f + 1.01f * static_cast<float>(row), 0)));
    w.Run(500);
    for (SimBody* b : boxes) {
        const TZevVector p = b->Position();
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
        EXPECT_LT(p.y, 0.5f + 1.01f * rows);
        EXPECT_GT(p.y, 0.3f);
        EXPECT_LT(std::fabs(p.x), 6.0f);
        EXPECT_LT(Speed(b), 0.5f);
    }
}

float SlideOnIncline(float degrees)
{
    TestWorld w;
    const float angle = degrees * 3.1415927f / 180.0f;
    w.Add(-5.0f, -0.5f, -5.0f, 5.0f, 0.5f, 5.0f, RotationZ(angle, 0, 0, 0), true);
    // The box sits on the slope at the centre: 0.5 (plate) + 0.5 (box) along the slope's normal.
    const TZevVector normal(-std::sin(angle), std::cos(angle), 0.0f);
    SimBody* box = w.Box(0.5f, 0.5f, 0.5f, RotationZ(angle, normal.x * 1.01f, normal.y * 1.01f, 0));
    w.Run(25);
    const TZevVector start = box->Position();
    w.Run(100);
    const TZevVector end = box->Position();
    return std::sqrt((end.x - start.x) * (end.x - start.x) + (end.y - start.y) * (end.y - start.y));
}

TEST(Scenes, BoxOnInclineSticksBelowTheFrictionAngleAndSlidesAbove)
{
    // Static friction 0.7: about 35 degrees.
    EXPECT_LT(SlideOnIncline(15.0f), 0.05f);
    EXPECT_GT(SlideOnIncline(50.0f), 1.0f);
}

TEST(Scenes, SmallFastBoxDoesNotPassThroughAThinPlate)
{
    TestWorld w;
    w.Box(3.0f, 0.01f, 3.0f, Translation(0, 0, 0), true);
    SimBody* box = w.Box(0.1f, 0.1f, 0.1f, Translation(0, 2.0f, 0));
    box->part->Velocity = TZevVector(0.0f, -60.0f, 0.0f);
    box->part->PrevVelocity = box->part->Velocity;
    w.Run(100);
    EXPECT_GT(box->Position().y, 0.0f);
}

} // namespace
