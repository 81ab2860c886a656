// The collision of the active bodies runs the bodies on the worker threads and adds what each found in body order:
// the world must come out as when every body is collided and added to the world before the next one is collided.
#include "physics_scene_table.h"
#include "scene_hash_check.h"

#include "ZevListView.h"

#include <gtest/gtest.h>

namespace {

using namespace physics_scenes;

// Collides its active bodies one after another, each added to the world before the next is collided.
class OneByOneWorld : public TZevPhscs2World {
public:
    void CollideActiveBodies(std::int32_t flag) override
    {
        while (!ActiveBodies.IsEmpty()) {
            TZevXPhObj* body = ZevItem<TZevXPhObj>(ActiveBodies.First());
            RetestBody(flag, body);
            RemoveActiveBody(body);
        }
    }
};

// 64 boxes in four tight layers over the floor, each turned a little, so that they meet from the first step.
Scene TightPile(bool oneByOne, int threads)
{
    ZevCharaInit();
    Scene s;
    if (oneByOne)
        s.world = std::make_unique<OneByOneWorld>();
    else
        s.world = std::make_unique<TZevPhscs2World>();
    ZevSetPhOnlyParameters(s.world.get());
    s.world->WorkerThreads = threads;
    AddFloor(s);
    Lcg random;
    for (int k = 0; k < 64; ++k) {
        TZevMatrix pose;
        ZevMatRotationFromVector(pose, random.Next() - 0.5f, random.Next() - 0.5f, random.Next() - 0.5f, 0.4f);
        pose.m[12] = 1.05f * static_cast<float>(k % 4);
        pose.m[13] = 0.55f + 1.05f * static_cast<float>(k / 16);
        pose.m[14] = 1.05f * static_cast<float>((k / 4) % 4);
        AddBox(s, 0.5f, pose);
    }
    return s;
}

// Steps the pile, marking a few bodies with a contact hit before each step (as the engine does with a body it
// holds): the first body that meets one clears its hit, which changes what the bodies collided after it test.
std::uint64_t HeldPileHash(Scene s, int steps, int* clearedByCollision)
{
    for (int i = 0; i < steps; ++i) {
        std::vector<TZevCollisionMeshObj*> held;
        for (std::size_t k = 1; k < s.bodies.size(); ++k)
            if ((k * 7 + static_cast<std::size_t>(i)) % 11 == 0) {
                s.bodies[k]->SetContactHit(1);
                held.push_back(s.bodies[k]);
            }
        s.world->Step(0.02f);
        for (TZevCollisionMeshObj* body : held)
            if (body->IsContactHit() == 0)
                ++*clearedByCollision;
        for (TZevCollisionMeshObj* body : held)
            if (body->IsContactHit() != 0)
                body->ClearContactHit();
    }
    BitHash h;
    for (const TZevCollisionMeshObj* body : s.bodies) {
        const TZevMatrix m = body->GetMatrix();
        h.Mix(m.m, sizeof m.m);
    }
    return h.Value();
}

TEST(ActiveCollision, MatchesBodiesCollidedOneAfterAnotherWithAnyThreadCount)
{
    int cleared = 0;
    const std::uint64_t expected = HeldPileHash(TightPile(true, 1), 8, &cleared);
    // The scene reaches what it is for: hits cleared by the collision itself.
    ASSERT_GT(cleared, 0);
    for (int threads : {1, 2, 3, 8}) {
        int clearedHere = 0;
        EXPECT_EQ(HeldPileHash(TightPile(false, threads), 8, &clearedHere), expected) << threads << " threads";
        EXPECT_EQ(clearedHere, cleared) << threads << " threads";
    }
}

} // namespace
