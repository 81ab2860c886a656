// Reruns repeat bit for bit in one process: whatever the program built before (the coin of the octree split), and
// with the heap in another state, so that every object of the scene lands at another address. (The recorded
// scene hashes check the same across processes: each test runs in a process of its own.)
#include "physics_scene_table.h"
#include "scene_hash_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

using namespace physics_scenes;

std::uint64_t HashAfter(Scene s, int steps)
{
    s.Run(steps);
    BitHash h;
    for (const TZevCollisionMeshObj* body : s.bodies) {
        const TZevMatrix m = body->GetMatrix();
        h.Mix(m.m, sizeof m.m);
        if (const TZevGameChara* chara = dynamic_cast<const TZevGameChara*>(body)) {
            h.Mix(&chara->RigidPart->Velocity, sizeof(TZevVector));
            h.Mix(&chara->RigidPart->AngularVelocity, sizeof(TZevVector));
        }
    }
    return h.Value();
}

TEST(Reruns, NothingBuiltBeforeChangesTheResults)
{
    OctreeTieWord = 0;
    const std::uint64_t first = HashAfter(Tower(10), 60);
    for (std::uint32_t word : {1u, 12345u, 0x80000000u, 0xFFFFFFFFu}) {
        OctreeTieWord = word;
        EXPECT_EQ(HashAfter(Tower(10), 60), first) << word;
    }
}

TEST(Reruns, HeapInAnotherStateChangesNothing)
{
    const std::uint64_t first = HashAfter(Pile(100), 30);
    std::vector<void*> blocks;
    for (int i = 0; i < 4000; ++i)
        blocks.push_back(std::malloc(static_cast<std::size_t>(16 + (i * 37) % 700)));
    for (std::size_t i = 0; i < blocks.size(); i += 2) {
        std::free(blocks[i]);
        blocks[i] = nullptr;
    }
    EXPECT_EQ(HashAfter(Pile(100), 30), first);
    for (void* block : blocks)
        std::free(block);
}

// The step's helper threads share out work whose items are independent: any number of them gives the numbers of
// the caller's thread alone.
TEST(Reruns, AnyNumberOfWorkerThreadsGivesTheSameResults)
{
    auto withThreads = [](Scene s, int threads) {
        s.world->WorkerThreads = threads;
        return s;
    };
    const struct {
        const char* name;
        Scene (*build)();
        int steps;
    } cases[] = {
        {"pile of 100", [] { return Pile(100); }, 12},
        {"pyramid", [] { return Pyramid(); }, 12},
        {"boxes on a terrain", [] { return BoxesOnTerrain(100); }, 15},
        // Islands of the satisfy pass side by side on the helpers.
        {"separate piles", [] { return SeparatePiles(16, 6); }, 40},
    };
    for (const auto& c : cases) {
        const std::uint64_t one = HashAfter(withThreads(c.build(), 1), c.steps);
        for (int threads = 2; threads <= 8; ++threads)
            EXPECT_EQ(HashAfter(withThreads(c.build(), threads), c.steps), one) << c.name << ", " << threads;
    }
}

} // namespace
