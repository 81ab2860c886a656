// Swept face-point and edge-edge tests, the 3x3 solver and the triangle queries.
#include "ZevNarrowPhase.h"

#include "ZevBBoxTree.h"
#include "ZevDebug.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

using V = TZevVector;

struct FacePointCase {
    const char* name;
    V a0, b0, c0, a1, b1, c1; // triangle at time 0, then at time 1
    V q0, q1;                 // the vertex at time 0 and 1
    bool hit;
    float time, u, v;
};

const V kA(0, 0, 0), kB(1, 0, 0), kC(0, 1, 0); // resting unit triangle in z = 0

const FacePointCase kFacePointCases[] = {
    {"crossing", kA, kB, kC, kA, kB, kC, V(0.25f, 0.25f, 1), V(0.25f, 0.25f, -1), true, 0.5f, 0.25f, 0.25f},
    {"stays on one side", kA, kB, kC, kA, kB, kC, V(0.25f, 0.25f, 1), V(0.25f, 0.25f, 0.5f), false, 0, 0, 0},
    {"leaves the plane at time 0", kA, kB, kC, kA, kB, kC, V(0.25f, 0.25f, 0), V(0.25f, 0.25f, -1), true, 0.0f,
     0.25f, 0.25f},
    {"reaches the plane at time 1", kA, kB, kC, kA, kB, kC, V(0.5f, 0.25f, 2), V(0.5f, 0.25f, 0), true, 1.0f, 0.5f,
     0.25f},
    {"hits a corner exactly", kA, kB, kC, kA, kB, kC, V(0, 0, 1), V(0, 0, -1), true, 0.5f, 0.0f, 0.0f},
    {"hits the long edge", kA, kB, kC, kA, kB, kC, V(0.5f, 0.5f, 1), V(0.5f, 0.5f, -1), true, 0.5f, 0.5f, 0.5f},
    {"grazes a corner inside the tolerance", kA, kB, kC, kA, kB, kC, V(-0.00005f, -0.00005f, 1),
     V(-0.00005f, -0.00005f, -1), true, 0.5f, -0.00005f, -0.00005f},
    {"misses a corner beyond the tolerance", kA, kB, kC, kA, kB, kC, V(-0.0002f, 0.25f, 1), V(-0.0002f, 0.25f, -1),
     false, 0, 0, 0},
    {"passes beside the triangle", kA, kB, kC, kA, kB, kC, V(0.8f, 0.8f, 1), V(0.8f, 0.8f, -1), false, 0, 0, 0},
    {"degenerate triangle", kA, kB, V(2, 0, 0), kA, kB, V(2, 0, 0), V(0.5f, 0, 1), V(0.5f, 0, -1), false, 0, 0, 0},
    {"triangle collapses at time 1", kA, kB, kC, kA, kB, V(0.5f, 0, 0), V(0.1f, 0.1f, 1), V(0.1f, 0.1f, -1), false,
     0, 0, 0},
    {"moves parallel to the plane", kA, kB, kC, kA, kB, kC, V(0.25f, 0.25f, 1), V(0.5f, 0.25f, 1), false, 0, 0, 0},
    {"rests in the plane", kA, kB, kC, kA, kB, kC, V(0.25f, 0.25f, 0), V(0.25f, 0.25f, 0), false, 0, 0, 0},
    {"triangle sweeps over a resting vertex", V(0, 0, -1), V(1, 0, -1), V(0, 1, -1), V(0, 0, 1), V(1, 0, 1),
     V(0, 1, 1), V(0.25f, 0.5f, 0), V(0.25f, 0.5f, 0), true, 0.5f, 0.25f, 0.5f},
};

void PrintTo(const FacePointCase& c, std::ostream* os)
{
    *os << c.name;
}

class SweptFacePoint : public ::testing::TestWithParam<FacePointCase> {};

TEST_P(SweptFacePoint, HitOrMissAndTime)
{
    const FacePointCase& c = GetParam();
    TZevSweptHit hit;
    const bool found = ZevSweptFacePoint(c.a0, c.b0, c.c0, c.a1, c.b1, c.c1, c.q0, c.q1, hit);
    ASSERT_EQ(found, c.hit);
    if (!found)
        return;
    EXPECT_FLOAT_EQ(hit.time, c.time);
    EXPECT_NEAR(hit.u, c.u, 1e-6f);
    EXPECT_NEAR(hit.v, c.v, 1e-6f);
    EXPECT_FLOAT_EQ(hit.normal.Length(), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SweptFacePoint, ::testing::ValuesIn(kFacePointCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST(SweptFacePointNormal, IsTheFaceNormalAtTheContactTime)
{
    // The triangle turns from facing +z to facing +y over the step; the vertex crosses at t = 0.5.
    const V a0(0, 0, 0), b0(2, 0, 0), c0(0, 2, 0);
    const V a1(0, 0, 0), b1(2, 0, 0), c1(0, 0, -2);
    TZevSweptHit hit;
    ASSERT_TRUE(ZevSweptFacePoint(a0, b0, c0, a1, b1, c1, V(0.5f, 0.5f, 0.5f), V(0.5f, -0.5f, -0.5f), hit));
    EXPECT_GT(hit.time, 0.0f);
    EXPECT_LT(hit.time, 1.0f);
    EXPECT_NEAR(hit.normal.x, 0.0f, 1e-6f);
    EXPECT_GT(hit.normal.y, 0.0f);
    EXPECT_GT(hit.normal.z, 0.0f);
    EXPECT_FLOAT_EQ(hit.normal.Length(), 1.0f);
}

struct EdgeEdgeCase {
    const char* name;
    V a00, a10, b00, b10; // time 0
    V a01, a11, b01, b11; // time 1
    bool hit;
    float time, s, u;
};

const V kA0(-1, 0, 0), kA1(1, 0, 0); // resting edge along x

const EdgeEdgeCase kEdgeEdgeCases[] = {
    {"crossing", kA0, kA1, V(0, -1, 1), V(0, 1, 1), kA0, kA1, V(0, -1, -1), V(0, 1, -1), true, 0.5f, 0.5f, 0.5f},
    {"stays above", kA0, kA1, V(0, -1, 2), V(0, 1, 2), kA0, kA1, V(0, -1, 1), V(0, 1, 1), false, 0, 0, 0},
    {"touches at the end of A", kA0, kA1, V(1, -1, 1), V(1, 1, 1), kA0, kA1, V(1, -1, -1), V(1, 1, -1), true, 0.5f,
     1.0f, 0.5f},
    {"touches at the start of B", kA0, kA1, V(0.5f, 0, 1), V(0.5f, 2, 1), kA0, kA1, V(0.5f, 0, -1), V(0.5f, 2, -1),
     true, 0.5f, 0.75f, 0.0f},
    {"passes beyond the end of A", kA0, kA1, V(1.0003f, -1, 1), V(1.0003f, 1, 1), kA0, kA1, V(1.0003f, -1, -1),
     V(1.0003f, 1, -1), false, 0, 0, 0},
    {"parallel edges", kA0, kA1, V(-1, 0, 1), V(1, 0, 1), kA0, kA1, V(-1, 0, -1), V(1, 0, -1), false, 0, 0, 0},
    {"moves parallel to A", kA0, kA1, V(0, -1, 1), V(0, 1, 1), kA0, kA1, V(0.5f, -1, 1), V(0.5f, 1, 1), false, 0, 0,
     0},
    {"B collapses at time 1", kA0, kA1, V(0, -1, 1), V(0, 1, 1), kA0, kA1, V(0, 0, -1), V(0, 0, -1), false, 0, 0, 0},
};

void PrintTo(const EdgeEdgeCase& c, std::ostream* os)
{
    *os << c.name;
}

class SweptEdgeEdge : public ::testing::TestWithParam<EdgeEdgeCase> {};

TEST_P(SweptEdgeEdge, HitOrMissAndTime)
{
    const EdgeEdgeCase& c = GetParam();
    TZevSweptHit hit;
    const bool found = ZevSweptEdgeEdge(c.a00, c.a10, c.b00, c.b10, c.a01, c.a11, c.b01, c.b11, hit);
    ASSERT_EQ(found, c.hit);
    if (!found)
        return;
    EXPECT_FLOAT_EQ(hit.time, c.time);
    EXPECT_NEAR(hit.u, c.s, 1e-6f);
    EXPECT_NEAR(hit.v, c.u, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SweptEdgeEdge, ::testing::ValuesIn(kEdgeEdgeCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST(SweptEdgeEdgeNormal, IsTheUnnormalisedCrossProduct)
{
    TZevSweptHit hit;
    ASSERT_TRUE(ZevSweptEdgeEdge(kA0, kA1, V(0, -1, 1), V(0, 1, 1), kA0, kA1, V(0, -1, -1), V(0, 1, -1), hit));
    // |a| = |b| = 2 at right angles
    EXPECT_FLOAT_EQ(hit.normal.x, 0.0f);
    EXPECT_FLOAT_EQ(hit.normal.y, 0.0f);
    EXPECT_FLOAT_EQ(hit.normal.z, 4.0f);
}

TEST(Solve3x3, SolvesAndRejectsTinyDeterminants)
{
    float x = 7, y = 7, z = 7;
    ASSERT_TRUE(ZevSolve3x3(2, 0, 0, 0, 4, 0, 1, 0, 1, 5, 8, 3, x, y, z));
    // 2x + z = 5, 4y = 8, z = 3
    EXPECT_FLOAT_EQ(x, 1.0f);
    EXPECT_FLOAT_EQ(y, 2.0f);
    EXPECT_FLOAT_EQ(z, 3.0f);

    x = y = z = 7;
    EXPECT_EQ(ZevDet3(1e-19f, 0, 0, 0, 1, 0, 0, 0, 1), 1e-19f);
    EXPECT_FALSE(ZevSolve3x3(1e-19f, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, x, y, z));
    EXPECT_FALSE(ZevSolve3x3(-1e-19f, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, x, y, z));
    EXPECT_EQ(x, 7.0f); // nothing written
    EXPECT_TRUE(ZevSolve3x3(2e-19f, 0, 0, 0, 1, 0, 0, 0, 1, 2e-19f, 1, 1, x, y, z));
    EXPECT_FLOAT_EQ(x, 1.0f);

    float one = 7;
    EXPECT_FALSE(ZevSolve3x3One(1, 0, 0, 2, 0, 0, 0, 0, 1, 1, 1, 1, one)); // two parallel columns
    EXPECT_EQ(one, 7.0f);
    EXPECT_TRUE(ZevSolve3x3One(2, 0, 0, 0, 4, 0, 1, 0, 1, 5, 8, 3, one));
    EXPECT_FLOAT_EQ(one, 1.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(ZevSolve3x3One(nan, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, one));
}

TEST(PointInTriangle, InsideOnBorderAndOutside)
{
    // A triangle in the x = 1 plane, so the test works on the x axis.
    const V a(1, 0, 0), b(1, 2, 0), c(1, 0, 2);
    EXPECT_TRUE(ZevPointInTriangle(V(1, 0.5f, 0.5f), a, b, c));
    EXPECT_TRUE(ZevPointInTriangle(V(1, 1, 1), a, b, c)); // on the long edge
    EXPECT_TRUE(ZevPointInTriangle(a, a, b, c));
    EXPECT_FALSE(ZevPointInTriangle(V(1, 1.5f, 1.5f), a, b, c));
    EXPECT_FALSE(ZevPointInTriangle(V(1, -0.1f, 0.5f), a, b, c));
    // A zero-area triangle contains nothing.
    EXPECT_FALSE(ZevPointInTriangle(V(0.5f, 0, 0), V(0, 0, 0), V(1, 0, 0), V(2, 0, 0)));
}

TEST(RayTriangle, HitsInFrontAndBehindButNotBeside)
{
    float t = 0;
    ASSERT_TRUE(ZevRayTriangle(V(0.2f, 0.2f, 5), V(0, 0, -1), kA, kB, kC, t));
    EXPECT_FLOAT_EQ(t, 5.0f);
    ASSERT_TRUE(ZevRayTriangle(V(0.2f, 0.2f, 5), V(0, 0, 2), kA, kB, kC, t));
    EXPECT_FLOAT_EQ(t, -2.5f);
    t = 9;
    EXPECT_FALSE(ZevRayTriangle(V(2, 2, 5), V(0, 0, -1), kA, kB, kC, t));
    EXPECT_FALSE(ZevRayTriangle(V(0.2f, 0.2f, 5), V(1, 0, 0), kA, kB, kC, t)); // parallel to the plane
    EXPECT_EQ(t, 9.0f);
}

TEST(SlabTest, PrunesBoxesOutsideAnySlab)
{
    TZevSlabSet slabs;
    EXPECT_TRUE(ZevBoxInSlabs(V(100, 100, 100), V(101, 101, 101), slabs)); // no direction: all pass

    // One slab: 0 <= (p - (0,0,1)) . (0,0,1) <= 2, i.e. 1 <= z <= 3
    slabs.count = 1;
    slabs.directions[0] = V(0, 0, 1);
    slabs.reference = V(0, 0, 1);
    slabs.lower[0] = 0;
    slabs.upper[0] = 2;
    EXPECT_TRUE(ZevBoxInSlabs(V(-5, -5, 0), V(5, 5, 1), slabs)); // touches z = 1
    EXPECT_TRUE(ZevBoxInSlabs(V(0, 0, 2), V(1, 1, 2.5f), slabs));
    EXPECT_FALSE(ZevBoxInSlabs(V(0, 0, -2), V(1, 1, 0.9f), slabs));
    EXPECT_FALSE(ZevBoxInSlabs(V(0, 0, 3.1f), V(1, 1, 4), slabs));

    // A second, slanted slab: the box corner nearest the direction decides.
    slabs.count = 2;
    slabs.directions[1] = V(-1, 1, 0);
    slabs.lower[1] = -0.5f;
    slabs.upper[1] = 0.5f;
    EXPECT_TRUE(ZevBoxInSlabs(V(0, 0, 1), V(1, 1, 2), slabs));
    EXPECT_FALSE(ZevBoxInSlabs(V(2, 0, 1), V(3, 1, 2), slabs)); // y - x <= -1 everywhere
}

// Leaves read their positions from their tree's two arrays.
class LeafTests : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        // 0-2: a triangle falling from z = 1 to z = -1; 3: a resting vertex under its middle;
        // 4-5: an edge along x falling the same way; 6-7: a resting edge along y at z = 0.
        previous = {V(0, 0, 1), V(2, 0, 1), V(0, 2, 1), V(0.5f, 0.5f, 0), V(-1, 0, 1), V(1, 0, 1), V(0, -1, 0),
                    V(0, 1, 0)};
        current = {V(0, 0, -1), V(2, 0, -1), V(0, 2, -1), V(0.5f, 0.5f, 0), V(-1, 0, -1), V(1, 0, -1),
                   V(0, -1, 0), V(0, 1, 0)};
        now = current.data();
        before = previous.data();
        face.SetFace(&now, &before, 0, 1, 2);
        point.SetPoint(&now, &before, 3);
        edgeA.SetEdge(&now, &before, 4, 5);
        edgeB.SetEdge(&now, &before, 6, 7);
    }

    static TZevBox Box(const V& min, const V& max)
    {
        TZevBox box;
        box.Min = min;
        box.Max = max;
        return box;
    }

    std::vector<V> previous, current;
    V* now = nullptr;
    V* before = nullptr;
    TZevFaceBoxVecT face;
    TZevPointBoxVecT point;
    TZevEdgeBoxVecT edgeA, edgeB;
};

TEST_F(LeafTests, SweptTestsOnLeavesHonourLayers)
{
    TZevSweptHit hit;
    ASSERT_TRUE(ZevFacePointHit(face, point, hit));
    EXPECT_EQ(hit.time, 0.5f);
    EXPECT_FLOAT_EQ(hit.u, 0.25f);
    EXPECT_FLOAT_EQ(hit.v, 0.25f);
    EXPECT_EQ(ZevVertexFaceTest(&face, nullptr, &point), 1);
    ASSERT_TRUE(ZevEdgeEdgeHit(edgeA, edgeB, hit));
    EXPECT_EQ(hit.time, 0.5f);
    EXPECT_FLOAT_EQ(hit.u, 0.5f);
    EXPECT_FLOAT_EQ(hit.v, 0.5f);
    EXPECT_EQ(ZevEdgeEdgeTest(&edgeA, nullptr, &edgeB), 1);

    point.layer = 1;
    edgeB.layer = 2;
    EXPECT_FALSE(ZevFacePointHit(face, point, hit));
    EXPECT_EQ(ZevVertexFaceTest(&face, nullptr, &point), 0);
    EXPECT_EQ(ZevEdgeEdgeTest(&edgeA, nullptr, &edgeB), 0);
    face.layer = 1;
    EXPECT_EQ(ZevVertexFaceTest(&face, nullptr, &point), 1);
}

TEST_F(LeafTests, SlabSetsHoldTheLeafAndPruneWhatCannotMeetIt)
{
    TZevSlabSet slabs;
    // The falling triangle: the slabs contain its sweep and nothing beside it.
    ASSERT_TRUE(ZevBuildSlabSet(face, 2, slabs));
    EXPECT_EQ(slabs.count, 3);
    EXPECT_TRUE(ZevBoxInSlabs(face.box.Min, face.box.Max, slabs));
    EXPECT_TRUE(ZevBoxInSlabs(point.box.Min, point.box.Max, slabs));
    const TZevBox beside = Box(V(2.1f, 0.2f, -0.1f), V(2.3f, 0.4f, 0.1f));
    EXPECT_FALSE(ZevBoxInSlabs(beside.Min, beside.Max, slabs));
    const TZevBox below = Box(V(0.2f, 0.2f, -3), V(0.4f, 0.4f, -2)); // under the sweep
    EXPECT_FALSE(ZevBoxInSlabs(below.Min, below.Max, slabs));
    EXPECT_TRUE(ZevBoxInSlabs(V(0.2f, 0.2f, -3), V(0.4f, 0.4f, -0.9f), slabs));

    // At rest, the triangle's slabs are its plane and its edges.
    ASSERT_TRUE(ZevBuildSlabSet(face, 0, slabs));
    EXPECT_EQ(slabs.count, 3);
    EXPECT_FALSE(ZevBoxInSlabs(below.Min, below.Max, slabs));
    EXPECT_FALSE(ZevBoxInSlabs(beside.Min, beside.Max, slabs));
    EXPECT_TRUE(ZevBoxInSlabs(V(0.2f, 0.2f, -1.5f), V(0.4f, 0.4f, -0.5f), slabs));

    // A resting point gives no slab; a moving one a column along its motion.
    ASSERT_TRUE(ZevBuildSlabSet(point, 2, slabs));
    EXPECT_EQ(slabs.count, 0);
    ASSERT_TRUE(ZevBuildSlabSet(edgeA, 0, slabs));
    EXPECT_EQ(slabs.count, 2);
    ASSERT_TRUE(ZevBuildSlabSet(edgeA, 1, slabs));
    EXPECT_EQ(slabs.count, 3);
    EXPECT_TRUE(ZevBoxInSlabs(edgeB.box.Min, edgeB.box.Max, slabs));
    EXPECT_FALSE(ZevBoxInSlabs(V(0, 2, -0.5f), V(0.1f, 2.1f, 0.5f), slabs));
    EXPECT_FALSE(ZevBoxInSlabs(V(2, 0, -0.5f), V(2.1f, 0.1f, 0.5f), slabs));

    previous[3] = V(0.5f, 0.5f, 4);
    ASSERT_TRUE(ZevBuildSlabSet(point, 1, slabs));
    EXPECT_EQ(slabs.count, 2);
    EXPECT_TRUE(ZevBoxInSlabs(V(0.4f, 0.4f, 1), V(0.6f, 0.6f, 2), slabs));
    EXPECT_FALSE(ZevBoxInSlabs(V(1, 1, 1), V(1.2f, 1.2f, 2), slabs));

    TZevBBoxTree inner;
    EXPECT_FALSE(ZevBuildSlabSet(inner, 1, slabs));
}

} // namespace
