// Land collision trees: leaves sorted into grid cells, the cell query (also under placements that mirror or turn
// the grid), and a box that falls on a terrain and rests on its surface.
#include "ZevBodyUtil.h"
#include "ZevLandCTree.h"

#include "ZevBitmap.h"
#include "ZevCollisionSpace.h"
#include "ZevPhscs2World.h"
#include "ZevCharaInit.h"
#include "test_world_bodies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using namespace physics_test;

// A 32-bit height map of w x h pixels whose green channel is height(column, row) in [0, 1].
TZevBitmap* HeightMap(int w, int h, const std::function<float(int, int)>& height)
{
    auto* bitmap = dynamic_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    bitmap->Create(w, h, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    for (int j = 0; j < h; ++j) {
        auto* row = reinterpret_cast<std::uint32_t*>(bitmap->GetBits() + j * bitmap->GetPitch());
        for (int i = 0; i < w; ++i) {
            const auto g = static_cast<std::uint32_t>(std::lround(height(i, j) * 255.0f));
            row[i] = 0xFF000000u | (g << 8);
        }
    }
    return bitmap;
}

float Hills(int i, int j)
{
    return 0.5f + 0.25f * std::sin(0.7f * static_cast<float>(i)) * std::cos(0.5f * static_cast<float>(j));
}

class Land : public ::testing::Test {
protected:
    void SetUp() override { ZevCharaInit(); }

    // Every face, edge and point leaf under a node.
    static int CountLeaves(TZevBoxNode* node)
    {
        if (node->type == ZevCollisionTypeInfo(ZevTypeFaceBoxVecT) ||
            node->type == ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT) ||
            node->type == ZevCollisionTypeInfo(ZevTypePointBoxVecT))
            return 1;
        int n = 0;
        for (TZevBoxNode* c = node->FirstChild(); c != nullptr; c = c->NextSibling())
            n += CountLeaves(c);
        return n;
    }
};

TEST_F(Land, LeavesAreSortedIntoTheCellOfTheirCentre)
{
    TZevBitmap* bitmap = HeightMap(7, 5, Hills);
    TZevMatrix placement;
    ZevMatScaling(placement, 2.0f, 3.0f, 1.5f);
    placement.m[12] = 10.0f;
    TZevLandCTree land;
    ASSERT_TRUE(land.SetUp(bitmap, placement, 0.1f, 0.1f, 7, 5));
    ASSERT_EQ(land.CellColumns(), 6);
    ASSERT_EQ(land.CellRows(), 4);
    // The grid holds every leaf of the ordinary build, each in the cell of its box centre.
    TZevLandCTree octree;
    octree.useOctree = 1;
    ASSERT_TRUE(octree.SetUp(bitmap, placement, 0.1f, 0.1f, 7, 5));
    EXPECT_EQ(CountLeaves(land.primitiveRoot), CountLeaves(octree.primitiveRoot));
    EXPECT_EQ(octree.cells, nullptr);
    int cellsSeen = 0;
    for (TZevBoxNode* cell = land.primitiveRoot->FirstChild(); cell != nullptr; cell = cell->NextSibling()) {
        const int index = cellsSeen++;
        for (TZevBoxNode* leaf = cell->FirstChild(); leaf != nullptr; leaf = leaf->NextSibling()) {
            const TZevVector centre((leaf->box.Min.x + leaf->box.Max.x) * 0.5f, 0.0f,
                                    (leaf->box.Min.z + leaf->box.Max.z) * 0.5f);
            std::int32_t c, r;
            land.CellOf(centre, &c, &r);
            ASSERT_EQ(r * 6 + c, index);
        }
    }
    EXPECT_EQ(cellsSeen, 24);
    // Centres beyond the grid go to the border cells.
    std::int32_t c, r;
    land.CellOf(TZevVector(-1000.0f, 0.0f, -1000.0f), &c, &r);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(r, 0);
    land.CellOf(TZevVector(1000.0f, 0.0f, 1000.0f), &c, &r);
    EXPECT_EQ(c, 5);
    EXPECT_EQ(r, 3);
    bitmap->Release();
}

// Contacts of a box sunk into the terrain, found by the land query and by the ordinary octree query: the same
// whether the placement keeps, mirrors or turns the grid.
struct PlacementCase {
    const char* name;
    TZevMatrix placement;
};

TZevMatrix Mirrored(float sx, float sz)
{
    TZevMatrix m;
    ZevMatScaling(m, sx, 4.0f, sz);
    return m;
}

TZevMatrix Turned()
{
    TZevMatrix m;
    ZevMatRotationY(m, 0.6f);
    TZevMatrix s;
    ZevMatScaling(s, 1.0f, 4.0f, 1.0f);
    TZevMatrix r;
    ZevMatMultiply(r, s, m);
    return r;
}

int ContactsWith(TZevLandCTree& land, TZevFMCTTree& box)
{
    TZevCollisionSpace space;
    space.AddBody(&land);
    space.AddBody(&box);
    space.RefitTrees(0.0f);
    ZevCollideTrees(&space, &box, &land);
    const int n = space.contactRecords.GetCount();
    space.ClearContacts();
    land.Detach();
    box.Detach();
    land.space = nullptr;
    box.space = nullptr;
    return n;
}

TEST_F(Land, GridQueryFindsWhatTheOctreeFindsUnderAnyPlacement)
{
    const PlacementCase cases[] = {
        {"identity", Mirrored(1.0f, 1.0f)},
        {"mirrored x", Mirrored(-1.0f, 1.0f)},
        {"mirrored z", Mirrored(1.0f, -1.0f)},
        {"turned", Turned()},
    };
    TZevBitmap* bitmap = HeightMap(12, 10, Hills);
    for (const PlacementCase& pc : cases) {
        SCOPED_TRACE(pc.name);
        TZevLandCTree grid;
        ASSERT_TRUE(grid.SetUp(bitmap, pc.placement, 0.1f, 0.1f, 12, 10));
        TZevLandCTree octree;
        octree.useOctree = 1;
        ASSERT_TRUE(octree.SetUp(bitmap, pc.placement, 0.1f, 0.1f, 12, 10));
        // A box moving down through the surface near (1, 2) during the step.
        TZevMeshData mesh;
        MakeCube(mesh, -0.7f, -0.7f, -0.7f, 0.7f, 0.7f, 0.7f);
        TZevFMCTTree box;
        box.ClearNodes(&mesh);
        box.SetMatrix(ZevMatTranslation(1.0f, 4.0f, 2.0f));
        box.AdvanceStep(0.0f);
        box.SetMatrix(ZevMatTranslation(1.0f, 1.0f, 2.0f));
        box.AdvanceStep(0.0f);
        box.previousMatrix = ZevMatTranslation(1.0f, 4.0f, 2.0f);
        const int viaGrid = ContactsWith(grid, box);
        EXPECT_GT(grid.lastCellsVisited, 0);
        const int viaOctree = ContactsWith(octree, box);
        EXPECT_GT(viaOctree, 0);
        EXPECT_EQ(viaGrid, viaOctree);
    }
    bitmap->Release();
}

TEST_F(Land, BoxOutsideTheGridVisitsNoCell)
{
    TZevBitmap* bitmap = HeightMap(8, 8, Hills);
    TZevLandCTree land;
    ASSERT_TRUE(land.SetUp(bitmap, Mirrored(1.0f, 1.0f), 0.1f, 0.1f, 8, 8));
    land.UpdateBox();
    TZevMeshData mesh;
    MakeCube(mesh, -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f);
    for (const TZevVector at : {TZevVector(-20.0f, 1.0f, 0.0f), TZevVector(0.0f, 1.0f, 20.0f),
                                TZevVector(20.0f, 1.0f, 0.0f), TZevVector(0.0f, 1.0f, -20.0f)}) {
        TZevFMCTTree box;
        box.ClearNodes(&mesh);
        box.SetMatrix(ZevMatTranslation(at.x, at.y, at.z));
        box.AdvanceStep(0.0f);
        box.AdvanceStep(0.0f);
        box.UpdateBox();
        land.lastCellsVisited = -1;
        EXPECT_EQ(land.CollideChildren(nullptr, land.primitiveRoot, nullptr, &box, box.primitiveRoot, nullptr), 0);
        EXPECT_EQ(land.lastCellsVisited, 0);
    }
    bitmap->Release();
}

TEST_F(Land, SetUpRefusesAnEmptyBitmap)
{
    auto* bitmap = dynamic_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    TZevLandCTree land;
    EXPECT_FALSE(land.SetUp(bitmap, TZevMatrix(), 0.1f, 0.1f, 1, 1));
    EXPECT_EQ(land.landMesh, nullptr);
    EXPECT_EQ(CreateLand("no-such-map.bmp", nullptr, nullptr, nullptr), nullptr);
    bitmap->Release();
}

TEST_F(Land, BoxDroppedOnTerrainRestsOnItsSurface)
{
    TZevPhscs2World world;
    ZevSetPhOnlyParameters(&world);
    // A gentle slope is not needed: a flat patch in the middle of hills, at height 0.5 x 4 = 2.
    TZevBitmap* bitmap = HeightMap(16, 16, [](int i, int j) {
        return (i >= 5 && i <= 10 && j >= 5 && j <= 10) ? 0.5f : Hills(i, j);
    });
    TZevMatrix placement;
    ZevMatScaling(placement, 1.0f, 4.0f, 1.0f);
    TZevLandCTree* land = CreateLandFromBitmaps(bitmap, nullptr, nullptr, &world, placement, 16, 16, 0.1f, 0.1f);
    ASSERT_NE(land, nullptr);
    // The flat patch spans grid columns and rows 5 to 10, that is x and z from -3 to 2.
    TZevCollisionMeshObj* body =
        CreateBoxXPhBody(nullptr, ZevMatTranslation(-0.5f, 4.0f, -0.5f), nullptr, &world,
                         TZevVector(-0.5f, -0.5f, -0.5f), TZevVector(0.5f, 0.5f, 0.5f), 1.0f);
    TZevGameChara* box = ZevAsGameChara(body);
    ASSERT_NE(box, nullptr);
    for (int i = 0; i < 300; ++i)
        world.Step(0.02f);
    const TZevVector p = box->RigidPart->GetPosition();
    const float surface = 2.0f;
    EXPECT_NEAR(p.y, surface + 0.5f, 0.1f);
    EXPECT_NEAR(p.x, -0.5f, 0.1f);
    EXPECT_NEAR(p.z, -0.5f, 0.1f);
    EXPECT_LT(box->RigidPart->Velocity.Length(), 0.05f);
    bitmap->Release();
}

} // namespace

