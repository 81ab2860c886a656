// A scene built and stepped through the exported interface gives the same results, bit for bit, however often it
// is run in one process: after the physics-only run was ended and started again, and with the heap in another
// state (so that every object lands at another address).
#include "EngineTestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using PhOnlyReruns = EngineTest;

void Translation(float* m, float x, float y, float z)
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

// FNV-1a over every body's world matrix and velocities, in the order the world lists its bodies.
std::uint64_t HashBodies()
{
    std::uint64_t hash = 14695981039346656037ull;
    QE_BodyEnumDesc desc{};
    desc.userData = &hash;
    desc.function = [](QE_XPhBody* body, void* user) {
        std::uint64_t& h = *static_cast<std::uint64_t*>(user);
        float values[22] = {};
        QE_GetXPhBodyGMat(body, values);
        QE_XPhBodyGetVelocity(body, values + 16);
        QE_XPhBodyGetAVelocity(body, values + 19);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(values);
        for (std::size_t i = 0; i < sizeof values; ++i) {
            h ^= p[i];
            h *= 1099511628211ull;
        }
        return 1;
    };
    QE_GetXPhBodyEnume(&desc);
    return hash;
}

// A fixed floor and twelve boxes (the data folder's cube of side 2) dropped on it in a loose heap, turned a
// little each, stepped 120 times; the hash of the result. The physics-only run is ended afterwards.
std::uint64_t RunHeap()
{
    if (QE_PhOnlyInit() != 1)
        return 0;
    float m[16];
    QE_XPhBody* floor = QE_LoadXPhBody(QE_DATA_DIR "/lbox.x");
    if (floor == nullptr)
        return 0;
    Translation(m, 0, 0, 0);
    m[0] = 20.0f;
    m[5] = 0.5f;
    m[10] = 20.0f;
    QE_SetXPhVertexTransformMat(floor, m);
    Translation(m, 0, -0.5f, 0);
    QE_SetXPhBodyMat(floor, m);
    QE_SetXPhBodyPhysicsMode(floor, 0);
    for (int k = 0; k < 12; ++k) {
        QE_XPhBody* box = QE_LoadXPhBody(QE_DATA_DIR "/lbox.x");
        if (box == nullptr)
            return 0;
        const float turn = 0.1f * static_cast<float>(k % 5);
        Translation(m, 0.9f * static_cast<float>(k % 3) - 0.9f, 1.2f + 2.3f * static_cast<float>(k / 3),
                    0.7f * static_cast<float>(k % 2));
        m[0] = m[5] = std::cos(turn);
        m[1] = std::sin(turn);
        m[4] = -std::sin(turn);
        QE_SetXPhBodyMat(box, m);
    }
    for (int i = 0; i < 120; ++i)
        QE_PhOnlyStep();
    const std::uint64_t hash = HashBodies();
    QE_PhOnlyFinal();
    return hash;
}

// Another scene in between: what it built and stepped must leave nothing behind that the next run depends on.
void RunChair()
{
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    ASSERT_NE(QE_LoadXPhBody(QE_DATA_DIR "/chair.x"), nullptr);
    for (int i = 0; i < 10; ++i)
        QE_PhOnlyStep();
    QE_PhOnlyFinal();
}

TEST_F(PhOnlyReruns, SameResultsAfterTheRunEndedAndStartedAgain)
{
    const std::uint64_t first = RunHeap();
    ASSERT_NE(first, 0u);
    for (int interludes = 1; interludes <= 3; ++interludes) {
        for (int k = 0; k < interludes; ++k)
            RunChair();
        EXPECT_EQ(RunHeap(), first) << interludes;
    }
}

TEST_F(PhOnlyReruns, SameResultsWithTheHeapInAnotherState)
{
    const std::uint64_t first = RunHeap();
    ASSERT_NE(first, 0u);
    // Blocks of many sizes kept alive, every other one freed: the next run's objects take other addresses and
    // are met in other address orders.
    std::vector<void*> blocks;
    for (int i = 0; i < 4000; ++i)
        blocks.push_back(std::malloc(static_cast<std::size_t>(16 + (i * 37) % 700)));
    for (std::size_t i = 0; i < blocks.size(); i += 2) {
        std::free(blocks[i]);
        blocks[i] = nullptr;
    }
    EXPECT_EQ(RunHeap(), first);
    for (void* block : blocks)
        std::free(block);
}

// The step's worker threads leave the results as they are, set before the run or during it; a number below 1 is
// refused.
TEST_F(PhOnlyReruns, SameResultsWithAnyNumberOfWorkerThreads)
{
    const std::uint64_t first = RunHeap();
    ASSERT_NE(first, 0u);
    EXPECT_EQ(QE_SetWorkerThreads(0), 0);
    for (int threads : {2, 8}) {
        ASSERT_EQ(QE_SetWorkerThreads(threads), 1);
        EXPECT_EQ(RunHeap(), first) << threads;
    }
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    EXPECT_EQ(QE_SetWorkerThreads(3), 1);
    QE_PhOnlyFinal();
    EXPECT_EQ(QE_SetWorkerThreads(1), 1);
    EXPECT_EQ(RunHeap(), first);
}

} // namespace
