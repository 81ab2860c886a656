// The uniform grid: items entered by their boxes, queries that hand out each nearby item once.
#include "ZevGrid3D.h"

#include "ZevDebug.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

class GridTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ZevCoreInit(); }
};

TZevBox Box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    TZevBox b;
    b.Set(TZevVector(x0, y0, z0), TZevVector(x1, y1, z1));
    return b;
}

std::vector<void*> Query(TZevGrid3D& grid, const TZevBox& box)
{
    std::vector<void*> out;
    grid.BeginQuery(box);
    while (void* item = grid.Next())
        out.push_back(item);
    return out;
}

bool CellHolds(const TZevGrid3D& grid, int x, int y, int z, void* item)
{
    for (void* held : grid.cells[grid.CellIndex(x, y, z)])
        if (held == item)
            return true;
    return false;
}

TEST_F(GridTest, AnItemOverSeveralCellsIsHandedOutOncePerQuery)
{
    TZevGrid3D grid;
    ASSERT_TRUE(grid.SetUp(8, 8, 8, TZevVector(-32, -32, -32), TZevVector(32, 32, 32)));
    int a, b, c;
    grid.Insert(Box(-1, -1, -1, 1, 1, 1), &a);
    grid.Insert(Box(0, 0, 0, 8, 8, 8), &b);
    grid.Insert(Box(0, 4, 0, 4, 16, 4), &c);
    int cellsOfB = 0;
    for (int i = 0; i < 8 * 8 * 8; ++i)
        for (void* held : grid.cells[i])
            cellsOfB += held == &b;
    EXPECT_GT(cellsOfB, 1);

    std::vector<void*> found = Query(grid, Box(-2, -2, -2, 20, 20, 20));
    EXPECT_EQ(found, (std::vector<void*>{&a, &b, &c}));
    EXPECT_TRUE(grid.Contains(&b));
    // A second query starts afresh.
    EXPECT_EQ(Query(grid, Box(0, 0, 0, 8, 8, 8)).size(), 3u);
    EXPECT_EQ(grid.Next(), nullptr);

    // Remove takes the item out of its cells and begins a query over its box.
    grid.Remove(Box(0, 0, 0, 8, 8, 8), &b);
    std::vector<void*> rest;
    while (void* item = grid.Next())
        rest.push_back(item);
    EXPECT_EQ(rest, (std::vector<void*>{&a, &c}));
}

TEST_F(GridTest, AnItemAtTheMaximumEdgeEntersTheLastLayer)
{
    TZevGrid3D grid;
    ASSERT_TRUE(grid.SetUp(4, 4, 4, TZevVector(0, 0, 0), TZevVector(12, 12, 12)));
    int corner, face;
    grid.Insert(Box(12, 12, 12, 12, 12, 12), &corner);
    grid.Insert(Box(0, 0, 12, 1, 1, 12), &face);
    EXPECT_TRUE(CellHolds(grid, 3, 3, 3, &corner));
    EXPECT_TRUE(CellHolds(grid, 0, 0, 3, &face));
    EXPECT_EQ(Query(grid, Box(12, 12, 12, 12, 12, 12)), (std::vector<void*>{&corner}));
    EXPECT_EQ(Query(grid, Box(0, 0, 11.5f, 0.5f, 0.5f, 12)), (std::vector<void*>{&face}));
}

TEST_F(GridTest, QueryRangeIsClampedToTheBounds)
{
    TZevGrid3D grid;
    ASSERT_TRUE(grid.SetUp(5, 5, 5, TZevVector(0, 0, 0), TZevVector(10, 10, 10)));
    int item;
    grid.Insert(Box(0, 0, 0, 1, 1, 1), &item);
    // Left of the bounds but touching them: starts at cell 0.
    EXPECT_EQ(Query(grid, Box(-5, -5, -5, 0, 0, 0)), (std::vector<void*>{&item}));
    EXPECT_EQ(grid.startX, 0);
    // Far away on either side, huge or not a number: no cell, no crash.
    EXPECT_TRUE(Query(grid, Box(-50, -50, -50, -40, -40, -40)).empty());
    EXPECT_TRUE(Query(grid, Box(40, 40, 40, 50, 50, 50)).empty());
    EXPECT_EQ(Query(grid, Box(-3e38f, -3e38f, -3e38f, 3e38f, 3e38f, 3e38f)).size(), 1u);
    EXPECT_TRUE(Query(grid, Box(NAN, NAN, NAN, NAN, NAN, NAN)).empty());
    // Items outside the bounds are not entered.
    int outside;
    grid.Insert(Box(20, 20, 20, 30, 30, 30), &outside);
    EXPECT_EQ(Query(grid, Box(-1e30f, -1e30f, -1e30f, 1e30f, 1e30f, 1e30f)), (std::vector<void*>{&item}));
}

TEST_F(GridTest, OneCellPerAxisAndZeroExtentWork)
{
    TZevGrid3D single;
    ASSERT_TRUE(single.SetUp(1, 1, 1, TZevVector(0, 0, 0), TZevVector(4, 4, 4)));
    int a, b;
    single.Insert(Box(1, 1, 1, 2, 2, 2), &a);
    single.Insert(Box(0, 0, 0, 4, 4, 4), &b);
    EXPECT_EQ(Query(single, Box(3, 3, 3, 3, 3, 3)), (std::vector<void*>{&a, &b}));

    // A flat grid: all items in the plane z = 0.
    TZevGrid3D flat;
    ASSERT_TRUE(flat.SetUp(4, 4, 4, TZevVector(0, 0, 0), TZevVector(8, 8, 0)));
    flat.Insert(Box(0, 0, 0, 1, 1, 0), &a);
    flat.Insert(Box(7, 7, 0, 8, 8, 0), &b);
    EXPECT_TRUE(CellHolds(flat, 0, 0, 0, &a));
    EXPECT_TRUE(CellHolds(flat, 3, 3, 0, &b));
    EXPECT_EQ(Query(flat, Box(0, 0, 0, 0.5f, 0.5f, 0)), (std::vector<void*>{&a}));
    EXPECT_EQ(Query(flat, Box(0, 0, -1, 8, 8, 1)), (std::vector<void*>{&a, &b}));
    EXPECT_TRUE(Query(flat, Box(0, 0, 1, 8, 8, 2)).empty());

    // All bounds in one point.
    TZevGrid3D point;
    ASSERT_TRUE(point.SetUp(3, 3, 3, TZevVector(1, 1, 1), TZevVector(1, 1, 1)));
    point.Insert(Box(1, 1, 1, 1, 1, 1), &a);
    EXPECT_EQ(Query(point, Box(0, 0, 0, 2, 2, 2)), (std::vector<void*>{&a}));
}

TEST_F(GridTest, SetUpReplacesTheCellsAndRefusesBadSizes)
{
    // Run twice: list nodes stay in the thread's pool, so only the second run shows what is not freed.
    int before = 0;
    for (int run = 0; run < 2; ++run) {
        before = NewCount.load() - DeleteCount.load();
        TZevGrid3D grid;
        int a;
        ASSERT_TRUE(grid.SetUp(4, 4, 4, TZevVector(0, 0, 0), TZevVector(1, 1, 1)));
        grid.Insert(Box(0, 0, 0, 1, 1, 1), &a);
        ASSERT_TRUE(grid.SetUp(2, 3, 5, TZevVector(0, 0, 0), TZevVector(1, 1, 1)));
        EXPECT_EQ(grid.nx * grid.ny * grid.nz, 30);
        EXPECT_TRUE(Query(grid, Box(0, 0, 0, 1, 1, 1)).empty()) << "the new cells start empty";
        grid.Insert(Box(0, 0, 0, 1, 1, 1), &a);
        EXPECT_EQ(Query(grid, Box(0, 0, 0, 1, 1, 1)).size(), 1u);

        struct Bad {
            const char* name;
            int nx, ny, nz;
            TZevVector min, max;
        } const bad[] = {
            {"no cells", 0, 4, 4, {0, 0, 0}, {1, 1, 1}},
            {"negative count", 4, -1, 4, {0, 0, 0}, {1, 1, 1}},
            {"too many cells", 4096, 4096, 4096, {0, 0, 0}, {1, 1, 1}},
            {"inverted bounds", 4, 4, 4, {1, 0, 0}, {0, 1, 1}},
            {"not a number", 4, 4, 4, {NAN, 0, 0}, {1, 1, 1}},
            {"infinite", 4, 4, 4, {0, 0, 0}, {INFINITY, 1, 1}},
        };
        for (const Bad& b : bad) {
            SCOPED_TRACE(b.name);
            EXPECT_FALSE(grid.SetUp(b.nx, b.ny, b.nz, b.min, b.max));
            EXPECT_EQ(grid.cells, nullptr);
            grid.Insert(Box(0, 0, 0, 1, 1, 1), &a);
            EXPECT_TRUE(Query(grid, Box(0, 0, 0, 1, 1, 1)).empty());
        }
    }
    EXPECT_EQ(NewCount.load() - DeleteCount.load(), before) << "every cell array was freed";
}

TEST_F(GridTest, QueriesFindEveryOverlappingItemOnce)
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> pos(-10.0f, 10.0f);
    std::uniform_real_distribution<float> len(0.0f, 4.0f);
    for (int n : {1, 2, 3, 7}) {
        TZevGrid3D grid;
        ASSERT_TRUE(grid.SetUp(n, n + 1, n + 2, TZevVector(-10, -10, -10), TZevVector(10, 10, 10)));
        std::vector<TZevBox> boxes(300);
        auto randomBox = [&]() {
            const float x = pos(rng), y = pos(rng), z = pos(rng);
            return Box(x, y, z, std::fmin(x + len(rng), 10.0f), std::fmin(y + len(rng), 10.0f),
                       std::fmin(z + len(rng), 10.0f));
        };
        for (TZevBox& b : boxes) {
            b = randomBox();
            grid.Insert(b, &b);
        }
        for (int q = 0; q < 100; ++q) {
            const TZevBox query = randomBox();
            std::vector<void*> found = Query(grid, query);
            std::set<void*> unique(found.begin(), found.end());
            ASSERT_EQ(unique.size(), found.size()) << "an item was handed out twice";
            for (TZevBox& b : boxes) {
                if (b.Overlaps(query)) {
                    ASSERT_TRUE(unique.count(&b)) << "n=" << n << " query " << q;
                }
            }
        }
    }
}

} // namespace
