// Simulation world: defaults, the two parameter sets, the world lists and what the destructor leaves alive.
#include "ZevPhscs2World.h"

#include "ZevContactLink.h"
#include "ZevJoint.h"
#include "ZevRigidLink.h"
#include "test_world_bodies.h"

#include <gtest/gtest.h>

namespace {

using namespace physics_test;

TEST(World, NewWorldHasTheDefaults)
{
    ZevPhysicsInit();
    TZevPhscs2World world;
    EXPECT_EQ(world.CollisionSatisfyMode, 2);
    EXPECT_EQ(world.CollisionSatisfyRepeatMax, 128);
    EXPECT_EQ(world.RetryCollisionMax, 6);
    EXPECT_EQ(world.LinkSatisfyRepeatMax, 4);
    EXPECT_EQ(world.CollisionSpringCoeff, 20.5f);
    EXPECT_EQ(world.CollisionHorizontalDamperCoeff, 0.0f);
    EXPECT_EQ(world.InterferencePermitDistance, 0.1f);
    EXPECT_EQ(world.CollisionReboundCoeff, 0.3f);
    EXPECT_EQ(world.CollisionVerticalDamperCoeff, 0.05f);
    EXPECT_EQ(world.CollisionStaticFrictionCoeff, 0.8f);
    EXPECT_EQ(world.CollisionDynamicFrictionCoeff, 0.4f);
    EXPECT_EQ(world.LinkStepCoeff, 0.25f);
    EXPECT_EQ(world.CollisionSatisfyCoefficientScale, 10.0f);
    EXPECT_EQ(world.CollisionExtraCoeff, 0.15f);
    EXPECT_EQ(world.PairForceSharing, 1);
    EXPECT_EQ(world.EdgeSmoothing, 0);
    EXPECT_EQ(world.SatisfyRepeatCount, 0);
    EXPECT_EQ(world.RetryCollisionCount, 0);
    EXPECT_EQ(world.Gravity(), 9.8f);
    EXPECT_TRUE(world.HasNoBodies());
    ASSERT_NE(world.ContactLinks, nullptr);
    ASSERT_NE(world.Joints, nullptr);
    ASSERT_NE(world.RigidLinks, nullptr);
    EXPECT_TRUE(world.ContactLinks->IsEmpty());
    EXPECT_TRUE(world.BodyList.IsEmpty());
    // The contact parameter block: nine floats in table order.
    const float* block = &world.CollisionReboundCoeff;
    EXPECT_EQ(block[1], world.CollisionSpringCoeff);
    EXPECT_EQ(block[6], world.CollisionHorizontalDamperCoeff);
    EXPECT_EQ(block[8], world.CollisionExtraCoeff);
}

TEST(World, ParameterSetsOfThePhysicsOnlyRunAndTheSceneStart)
{
    ZevPhysicsInit();
    TZevPhscs2World world;
    ZevSetPhOnlyParameters(&world);
    EXPECT_EQ(world.InterferencePermitDistance, 0.01f);
    EXPECT_EQ(world.CollisionSpringCoeff, 15.0f);
    EXPECT_EQ(world.CollisionSatisfyCoefficientScale, 10.0f);
    EXPECT_EQ(world.CollisionVerticalDamperCoeff, 0.15f);
    EXPECT_EQ(world.CollisionStaticFrictionCoeff, 0.7f);
    EXPECT_EQ(world.CollisionDynamicFrictionCoeff, 0.5f);
    EXPECT_EQ(world.CollisionReboundCoeff, 0.1f);
    EXPECT_EQ(world.CollisionHorizontalDamperCoeff, 0.0f);
    EXPECT_EQ(world.CollisionSatisfyRepeatMax, 256);
    EXPECT_EQ(world.RetryCollisionMax, 10);
    EXPECT_EQ(world.LinkSatisfyRepeatMax, 6);
    // Untouched by the set.
    EXPECT_EQ(world.CollisionSatisfyMode, 2);
    EXPECT_EQ(world.LinkStepCoeff, 0.25f);

    TZevPhscs2World scene;
    ZevSetSceneStartParameters(&scene);
    EXPECT_EQ(scene.InterferencePermitDistance, 0.1f);
    EXPECT_EQ(scene.CollisionSpringCoeff, 60.0f);
    EXPECT_EQ(scene.CollisionVerticalDamperCoeff, 0.1f);
    ZevSetPhOnlyParameters(nullptr);
    ZevSetSceneStartParameters(nullptr);
}

TEST(World, AddBodyListsTheJointsAndLinksOfTheBodyTree)
{
    TestWorld w;
    SimBody* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 0, 0));
    TZevMeshData mesh;
    MakeCube(mesh, -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f);
    auto* b = new SimBody(&mesh, Translation(2, 0, 0));
    TZevJoint* joint = CreateJoint(a->part, b->part, TZevVector(1, 0, 0), TZevVector(0, 0, 1), TZevVector(0, 1, 0),
                                   0.5f);
    ASSERT_NE(joint, nullptr);
    TZevRigidLink* link = CreateRigidLink(a->part, b->part, TZevVector(0, 0, 0), TZevVector(0, 0, 0));
    ASSERT_NE(link, nullptr);
    w.world->AddBody(b);
    EXPECT_EQ(ZevBodyWorld(b), w.world.get());
    EXPECT_EQ(w.world->Joints->GetCount(), 1);
    // The joint's five links and the extra link.
    EXPECT_EQ(w.world->RigidLinks->GetCount(), 6);
    w.world->Step(0.0f);
    EXPECT_EQ(w.world->BodyList.GetCount(), 2);
}

TEST(World, DestroyingTheWorldLeavesJointsAndLinksAliveInTheirBodies)
{
    ZevPhysicsInit();
    TZevMeshData mesh;
    MakeCube(mesh, -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f);
    TZevPhscs2RigidBody a;
    TZevPhscs2RigidBody b;
    a.SetMatrix(Translation(0, 0, 0));
    b.SetMatrix(Translation(2, 0, 0));
    TZevJoint* joint =
        CreateJoint(&a, &b, TZevVector(1, 0, 0), TZevVector(0, 0, 1), TZevVector(0, 1, 0), 0.5f);
    ASSERT_NE(joint, nullptr);
    {
        auto world = std::make_unique<TZevPhscs2World>();
        world->Joints->Append(joint);
        for (TZevRigidLink* l : joint->Links)
            world->RigidLinks->Append(l);
    }
    EXPECT_FALSE(joint->IsLinked());
    EXPECT_EQ(a.Joints.GetCount(), 1);
    EXPECT_EQ(a.RigidLinks.GetCount(), 5);
    EXPECT_EQ(joint->Links[4]->ObjectA, &a);
}

TEST(World, BodiesDeletedDuringTheCallbackWalkGoAfterIt)
{
    TestWorld w;
    SimBody* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 0, 0));
    SimBody* b = w.Box(0.5f, 0.5f, 0.5f, Translation(3, 0, 0));
    SimBody* c = w.Box(0.5f, 0.5f, 0.5f, Translation(6, 0, 0));
    TZevMeshData mesh;
    MakeCube(mesh, -0.1f, -0.1f, -0.1f, 0.1f, 0.1f, 0.1f);
    auto* child = new SimBody(&mesh, Translation(0, 1, 0));
    c->AppendChild(child);
    w.world->Step(0.0f);
    // a deletes itself and c (with its child), which the walk has not reached yet; b is left.
    int aCalls = 0;
    int after = 0;
    a->onCallback = [&](SimBody* self) {
        ++aCalls;
        w.world->DeleteBody(self);
        w.world->DeleteBody(c);
        w.world->DeleteBody(child);
        w.world->DeleteBody(self); // twice is once
        EXPECT_TRUE(w.world->IsDeletionPending(c));
    };
    c->onCallback = [&](SimBody*) { ++after; };
    child->onCallback = [&](SimBody*) { ++after; };
    w.world->Step(0.02f);
    EXPECT_EQ(aCalls, 1);
    EXPECT_EQ(after, 0);
    EXPECT_EQ(b->callbacks, 1);
    EXPECT_FALSE(w.world->IsDeletionPending(b));
    int bodies = 0;
    for (TZevCTree* t = w.world->activeRoot->FirstChildTree(); t != nullptr; t = t->NextSiblingTree())
        ++bodies;
    EXPECT_EQ(bodies, 1);
    w.world->Step(0.02f);
    EXPECT_EQ(b->callbacks, 2);
    // Outside the walk a deletion is immediate.
    EXPECT_EQ(w.world->FirstBody(), b);
    w.world->DeleteBody(b);
    EXPECT_TRUE(w.world->HasNoBodies());
    w.world->Step(0.02f);
}

} // namespace
