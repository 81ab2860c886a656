// What the world step computes, pinned bit for bit: for a table of scenes, a hash of every body's matrix and
// velocities after a set number of steps. A change meant only to make the step faster (or to reshape its code)
// must keep every hash. A change that means to alter the results re-records them, in a commit that says why:
// run this test with QE_RECORD_SCENE_HASHES=1 and it prints the table's new rows.
#include "physics_scene_table.h"
#include "scene_hash_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace physics_scenes;

// Every body's matrix and, for bodies with a rigid part, its linear and angular velocity.
inline std::uint64_t HashBodies(const Scene& s)
{
    BitHash h;
    for (const TZevCollisionMeshObj* body : s.bodies) {
        const TZevMatrix m = body->GetMatrix();
        h.Mix(m.m, sizeof m.m);
        if (const TZevGameChara* chara = dynamic_cast<const TZevGameChara*>(body)) {
            const TZevPhscs2RigidBody* part = chara->RigidPart;
            if (part != nullptr) {
                h.Mix(&part->Velocity, sizeof(TZevVector));
                h.Mix(&part->AngularVelocity, sizeof(TZevVector));
            }
        }
    }
    return h.Value();
}

Scene WithSatisfyMode(Scene s, std::int32_t mode)
{
    s.world->CollisionSatisfyMode = mode;
    return s;
}

struct HashCase {
    const char* name;
    std::function<Scene()> build;
    int steps;
    std::uint64_t hash;
};

const HashCase Cases[] = {
    {"BoxAtRest", [] { return BoxAtRest(); }, 200, 0x386577b61426eef2ull},
    {"Tower5", [] { return Tower(5); }, 60, 0xa1b71c9398064a67ull},
    {"Tower10", [] { return Tower(10); }, 50, 0x8e441f9dddc5be47ull},
    {"Tower20", [] { return Tower(20); }, 30, 0x7ed79a8619f2e9d6ull},
    {"Pyramid55", [] { return Pyramid(); }, 20, 0xc4cbaa51e45efad6ull},
    {"Pile100", [] { return Pile(100); }, 30, 0xdc14aa54c04e5956ull},
    {"Pile500", [] { return Pile(500); }, 20, 0x22bdfcebb447da7dull},
    {"HingeChain10", [] { return HingeChain(10); }, 200, 0xae94b568b0d03c22ull},
    {"HingeChain50", [] { return HingeChain(50); }, 60, 0x77ceb811769e1e35ull},
    {"BoxesOnTerrain16", [] { return BoxesOnTerrain(16, 64); }, 70, 0x7a5a7e2fd86f74ffull},
    // Many bodies beside one far wider than the rest: the body pairing sorts the trees and keeps the wide apart.
    {"BoxesOnTerrain100", [] { return BoxesOnTerrain(100); }, 60, 0xacd116e48aef2ec9ull},
    // The two other satisfy modes.
    {"Tower5LineSearch", [] { return WithSatisfyMode(Tower(5), 0); }, 12, 0x40ec31562eedb70full},
    {"Pile100MarkScaled", [] { return WithSatisfyMode(Pile(100), 1); }, 21, 0x3df2e1311e897d5cull},
};

class SceneHashes : public testing::TestWithParam<HashCase> {};

TEST_P(SceneHashes, StepResultsRepeatBitForBit)
{
    const HashCase& c = GetParam();
    const auto start = std::chrono::steady_clock::now();
    Scene s = c.build();
    ASSERT_FALSE(s.bodies.empty());
    s.Run(c.steps);
    CheckSceneHash(c.name, c.steps, HashBodies(s), c.hash, start);
}

INSTANTIATE_TEST_SUITE_P(Table, SceneHashes, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<HashCase>& info) { return std::string(info.param.name); });

} // namespace
