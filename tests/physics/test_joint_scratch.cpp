// scratch
#include "ZevJoint.h"
#include "test_world_bodies.h"
#include <gtest/gtest.h>
#include <cstdio>
namespace {
using namespace physics_test;
TEST(JointScratch, TorqueScale)
{
    for (float d : {0.25f, 0.5f, 1.0f, 2.0f}) {
        TestWorld w;
        w.world->pairs.Gravity = 0.0f;
        SimBody* base = w.Box(0.2f, 0.2f, 0.2f, Translation(0, 0, 0), true);
        TZevMeshData mesh;
        MakeCube(mesh, -0.3f, -0.1f, -0.3f, 0.3f, 0.1f, 0.3f);
        mesh.ComputeNormals();
        auto* wheel = new SimBody(&mesh, Translation(0, -1, 0));
        wheel->damping = 0.0f;
        TZevJoint* joint =
            CreateJoint(base->part, wheel->part, TZevVector(0, -1, 0), TZevVector(0, 1, 0), TZevVector(1, 0, 0), d);
        joint->LimitFlag = 1;
        joint->Torque = 1.0f;
        joint->RotationalDamper = 0.0f;
        w.world->AddBody(wheel);
        w.Run(10);
        std::printf("d %g I %g  w %g  dtheta %g  -> accel %g\n", d, wheel->part->Inertia.m[4], wheel->part->AngularVelocity.y, joint->DTheta, wheel->part->AngularVelocity.y / 0.2f);
        w.world->DeleteBody(wheel);
    }
}
}
