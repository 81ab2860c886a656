// World step: the special step sizes, the statistics of a step, bounded loops and who takes part.
#include "ZevPhscs2World.h"

#include "test_world_bodies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace physics_test;

TEST(WorldStep, ZeroStepMovesNothingAndRunsNoCallbacks)
{
    TestWorld w;
    SimBody* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 5, 0));
    w.world->Step(0.0f);
    EXPECT_EQ(a->Position().y, 5.0f);
    EXPECT_EQ(a->callbacks, 0);
    EXPECT_EQ(w.world->RetryCollisionCount, 0);
    EXPECT_EQ(w.world->SatisfyRepeatCount, 0);
    EXPECT_EQ(w.world->BodyList.GetCount(), 1);
}

TEST(WorldStep, NegativeOrNotANumberStepOnlyRunsTheCallbacks)
{
    for (float dt : {-0.02f, std::numeric_limits<float>::quiet_NaN()}) {
        TestWorld w;
        SimBody* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 5, 0));
        w.world->Step(dt);
        EXPECT_EQ(a->Position().y, 5.0f);
        EXPECT_EQ(a->callbacks, 1);
        EXPECT_EQ(w.world->RetryCollisionCount, 0);
    }
}

TEST(WorldStep, WithoutLinksTheFirstIterationIsSatisfied)
{
    TestWorld w;
    SimBody* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 5, 0));
    SimBody* still = w.Box(0.5f, 0.5f, 0.5f, Translation(5, 5, 0));
    still->SetDynamic(0);
    for (int i = 0; i < 3; ++i) {
        w.world->Step(0.02f);
        // The statistics describe this step only.
        EXPECT_EQ(w.world->RetryCollisionCount, 1);
        EXPECT_EQ(w.world->SatisfyRepeatCount, 0);
    }
    EXPECT_LT(a->Position().y, 5.0f);
    // A body that is not dynamic is not collided as active, but it is stepped and called back.
    EXPECT_EQ(still->Position().y, 5.0f);
    EXPECT_EQ(still->callbacks, 3);
    EXPECT_TRUE(w.world->ActiveBodies.IsEmpty());
    EXPECT_EQ(still->WorldNode1, nullptr);
}

TEST(WorldStep, FreeFallFollowsGravity)
{
    TestWorld w;
    SimBody* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 100, 0));
    a->damping = 0.0f;
    w.Run(50);
    // One second of fall: about g / 2 (semi-implicit Euler falls a little further).
    const float fall = 100.0f - a->Position().y;
    EXPECT_NEAR(fall, 4.9f, 0.25f);
    EXPECT_NEAR(a->part->Velocity.y, -9.8f, 0.25f);
}

// A joint whose links are stretched keeps the retry loop going; the loop ends whatever the maxima hold.
TEST(WorldStep, LoopsEndForAnyMaximum)
{
    for (int max : {-5, 0, 3}) {
        TestWorld w;
        SimBody* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 0, 0), true);
        SimBody* b = w.Box(0.5f, 0.5f, 0.5f, Translation(0, -1.5f, 0));
        TZevRigidLink* link = CreateRigidLink(a->part, b->part, TZevVector(0, -0.5f, 0), TZevVector(0, 1.5f, 0));
        ASSERT_NE(link, nullptr);
        w.world->RigidLinks->Append(link);
        w.world->RetryCollisionMax = max;
        w.world->CollisionSatisfyRepeatMax = max;
        w.world->LinkSatisfyRepeatMax = max;
        w.Run(3);
        EXPECT_LE(w.world->RetryCollisionCount, std::max(max, 0) + 1);
        EXPECT_LE(w.world->SatisfyRepeatCount, std::max(max, 0) * (std::max(max, 0) + 1));
        if (max <= 0) {
            EXPECT_EQ(w.world->RetryCollisionCount, 1);
            EXPECT_EQ(w.world->SatisfyRepeatCount, 0);
        }
    }
}

} // namespace
