// The motor torque of a joint reaches the bodies as a couple through the outer links: force (r x r') T / (2 |r|)
// at the reference pair's points, r and r' the half spans of the reference and axis pairs. Its moment is therefore
// T times the square of the joint's size, and it acts from the step after the joint pass that computed it.
#include "ZevJoint.h"
#include "test_world_bodies.h"

#include <gtest/gtest.h>

namespace {

using namespace physics_test;

TEST(JointCouple, MomentIsTorqueTimesSizeSquared)
{
    const float h = 0.02f;
    const int steps = 10;
    for (float d : {0.25f, 0.5f, 1.0f, 2.0f}) {
        SCOPED_TRACE(d);
        TestWorld w;
        w.world->pairs.Gravity = 0.0f;
        SimBody* base = w.Box(0.2f, 0.2f, 0.2f, Translation(0, 0, 0), true);
        TZevMeshData mesh;
        MakeCube(mesh, -0.3f, -0.1f, -0.3f, 0.3f, 0.1f, 0.3f);
        mesh.ComputeNormals();
        auto* wheel = new SimBody(&mesh, Translation(0, -1, 0)); // inertia 0.1 about every axis
        wheel->damping = 0.0f;
        TZevJoint* joint =
            CreateJoint(base->part, wheel->part, TZevVector(0, -1, 0), TZevVector(0, 1, 0), TZevVector(1, 0, 0), d);
        ASSERT_NE(joint, nullptr);
        joint->LimitFlag = 1;
        joint->Torque = 1.0f;
        joint->RotationalDamper = 0.0f;
        w.world->AddBody(wheel);
        w.Run(steps, h);
        const float expected = joint->Torque * d * d / 0.1f * static_cast<float>(steps - 1) * h;
        EXPECT_NEAR(wheel->part->AngularVelocity.y, expected, 0.02f * expected);
        w.world->DeleteBody(wheel);
    }
}

} // namespace
