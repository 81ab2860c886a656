// Terrain meshes from height-map bitmaps: the grid, the heights, the limits, and the drawing window at
// the edges of the grid.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "RecordingRenderer.h"
#include "ZevBitmap.h"
#include "ZevBmpLandMesh.h"
#include "ZevLSObj.h"

namespace {

class LandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevMeshesInit();
    }

    // A 32-bit bitmap whose pixel (i, j) has the green value green(i, j).
    template <class F> TZevBitmap* Bitmap(int32_t w, int32_t h, F green, uint32_t greenMask = 0x0000FF00u)
    {
        auto* bitmap = new TZevBitmap;
        EXPECT_TRUE(bitmap->Create(w, h, 32, 0x00FF0000u, greenMask, 0x000000FFu, 0xFF000000u));
        TZevBitmapAccess access(bitmap);
        for (int32_t j = 0; j < h; ++j)
            for (int32_t i = 0; i < w; ++i)
                access.WritePixel(i, j, 0xFF0000FFu | (uint32_t(green(i, j)) << 8));
        return bitmap;
    }

    TZevBmpLandMesh* Land()
    {
        auto* land = dynamic_cast<TZevBmpLandMesh*>(CreateObjectByName("TZevBmpLandMesh"));
        EXPECT_NE(land, nullptr);
        return land;
    }
};

const TZevVertex& FullVertex(const TZevBmpLandMesh* land, int32_t i, int32_t j)
{
    return land->Full->Vertices()[j * land->GridWidth + i];
}

} // namespace

TEST_F(LandTest, SmallGridPositionsAndHeights)
{
    TZevBitmap* bitmap = Bitmap(3, 2, [](int i, int j) { return i == 2 && j == 1 ? 255 : 0; });
    TZevBmpLandMesh* land = Land();
    ASSERT_TRUE(land->Build(bitmap, IdentityMatrix, 0.5f, 0.25f, 3, 2));
    ASSERT_NE(land->Full, nullptr);
    EXPECT_EQ(land->Full->VertexCount, 6);
    EXPECT_EQ(land->Full->FaceCount, 4);
    EXPECT_EQ(FullVertex(land, 0, 0).x, -1.5f);
    EXPECT_EQ(FullVertex(land, 2, 0).x, 0.5f);
    EXPECT_EQ(FullVertex(land, 0, 0).z, -1.0f);
    EXPECT_EQ(FullVertex(land, 0, 1).z, 0.0f);
    EXPECT_EQ(FullVertex(land, 2, 1).y, 1.0f); // green bits all set
    EXPECT_EQ(FullVertex(land, 1, 1).y, 0.0f); // green bits clear
    EXPECT_EQ(FullVertex(land, 2, 1).u, 0.5f); // u runs with the row, v with the column
    EXPECT_EQ(FullVertex(land, 2, 1).v, 0.5f);
    const uint16_t first[2][3] = {{0, 4, 1}, {0, 3, 4}};
    for (int f = 0; f < 2; ++f)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(land->Full->Faces[f].Indices[k], first[f][k]);
    // Normals of the full grid are computed; the flat corner's points up.
    EXPECT_FLOAT_EQ(FullVertex(land, 0, 0).ny, 1.0f);
    // The drawable window is the whole grid here.
    EXPECT_EQ(land->Geometry->VertexCount, 6);
    EXPECT_EQ(land->Geometry->FaceCount, 4);
    EXPECT_EQ(land->ShadowOff, 1);
    land->Release();
    delete bitmap;
}

TEST_F(LandTest, HeightsScaleWithThePlacementAndTheGreenMask)
{
    TZevMatrix placement = IdentityMatrix;
    placement[5] = 10.0f; // height range 10
    placement[12] = 100.0f;
    TZevBitmap* bitmap = Bitmap(2, 2, [](int i, int) { return i ? 0x80 : 0x40; });
    TZevBmpLandMesh* land = Land();
    ASSERT_TRUE(land->Build(bitmap, placement, 1, 1, 2, 2));
    EXPECT_FLOAT_EQ(FullVertex(land, 0, 0).y, 10.0f * float(0x4000) / float(0xFF00));
    EXPECT_FLOAT_EQ(FullVertex(land, 1, 0).y, 10.0f * float(0x8000) / float(0xFF00));
    EXPECT_EQ(FullVertex(land, 0, 0).x, 99.0f);
    delete bitmap;

    // A bitmap without green bits is flat, not a division by zero.
    TZevBitmap* noGreen = Bitmap(
        2, 2, [](int, int) { return 0xFF; }, 0);
    ASSERT_TRUE(land->Build(noGreen, IdentityMatrix, 1, 1, 2, 2));
    for (int32_t k = 0; k < 4; ++k)
        EXPECT_EQ(land->Full->Vertices()[k].y, 0.0f);
    land->Release();
    delete noGreen;
}

TEST_F(LandTest, LimitsAreRefused)
{
    TZevBmpLandMesh* land = Land();
    TZevBitmap* big = Bitmap(257, 256, [](int, int) { return 0; }); // 65,792 vertices
    EXPECT_FALSE(land->Build(big, IdentityMatrix, 1, 1, 8, 8));
    EXPECT_EQ(land->Full, nullptr);
    EXPECT_EQ(land->Geometry->VertexCount, 0);
    delete big;
    TZevBitmap* fits = Bitmap(256, 256, [](int, int) { return 0; });
    EXPECT_TRUE(land->Build(fits, IdentityMatrix, 1, 1, 8, 8));
    EXPECT_FALSE(land->Build(fits, IdentityMatrix, 1, 1, 0, 8));
    EXPECT_FALSE(land->Build(nullptr, IdentityMatrix, 1, 1, 8, 8));
    TZevBitmap empty;
    EXPECT_FALSE(land->Build(&empty, IdentityMatrix, 1, 1, 8, 8));
    delete fits;
    land->Release();
}

TEST_F(LandTest, WindowReachesEveryEdge)
{
    TZevBitmap* bitmap = Bitmap(10, 8, [](int i, int j) { return i * 10 + j; });
    TZevBmpLandMesh* land = Land();
    ASSERT_TRUE(land->Build(bitmap, IdentityMatrix, 1, 1, 4, 3));
    EXPECT_EQ(land->Geometry->VertexCount, 12);
    EXPECT_EQ(land->Geometry->FaceCount, 12);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        float x, z;
        int32_t column, row;
    } cases[] = {
        {-50, -50, 0, 0},
        {0, 0, 0, 0},
        {5, 4, 3, 2},
        {7.9f, 6.4f, 5, 4},
        {8, 6.5f, 6, 5},
        {9, 7, 6, 5},
        {50, 50, 6, 5},
        {nan, nan, 0, 0},
        {inf, -inf, 6, 0},
        {1e30f, 1e30f, 6, 5},
    };
    for (const Case& c : cases) {
        int32_t column, row;
        land->WindowOrigin(c.x, c.z, &column, &row);
        EXPECT_EQ(column, c.column) << c.x;
        EXPECT_EQ(row, c.row) << c.z;
    }
    // At the far corner the window holds the last column and row of the grid.
    land->CopyWindow(6, 5);
    const TZevVertex& last = land->Geometry->Vertices()[11];
    EXPECT_EQ(last.x, FullVertex(land, 9, 7).x);
    EXPECT_EQ(last.z, FullVertex(land, 9, 7).z);

    // A window larger than the grid shows the whole grid and never starts below 0.
    ASSERT_TRUE(land->Build(bitmap, IdentityMatrix, 1, 1, 20, 30));
    EXPECT_EQ(land->WindowWidth, 10);
    EXPECT_EQ(land->WindowHeight, 8);
    EXPECT_EQ(land->Geometry->VertexCount, 80);
    EXPECT_EQ(land->Geometry->FaceCount, 2 * 9 * 7);
    for (const Case& c : cases) {
        int32_t column, row;
        land->WindowOrigin(c.x, c.z, &column, &row);
        EXPECT_EQ(column, 0);
        EXPECT_EQ(row, 0);
    }
    land->Release();
    delete bitmap;
}

TEST_F(LandTest, DrawingFollowsTheCamera)
{
    TZevBitmap* bitmap = Bitmap(16, 16, [](int i, int j) { return (i + j) & 0xFF; });
    TZevBmpLandMesh* land = Land();
    TZevMatrix placement = IdentityMatrix;
    placement[0] = placement[10] = 2.0f; // two units a grid step
    ASSERT_TRUE(land->Build(bitmap, placement, 1, 1, 4, 4));
    TRecordingRenderer r;
    r.SetCameraFrame(nullptr, nullptr);
    r.SetStencilShadows(1);
    // Camera above grid point (12, 3): world x = -16 + 24, z = -16 + 6, looking straight down the z axis.
    TZevMatrix view;
    ZevMatTranslation(view, -8.0f, -5.0f, 10.0f);
    r.ViewMatrix = view;
    land->Render(&r, nullptr);
    EXPECT_EQ(land->WindowColumn, 10);
    EXPECT_EQ(land->WindowRow, 1);
    EXPECT_EQ(land->Geometry->Vertices()[0].x, FullVertex(land, 10, 1).x);
    EXPECT_EQ(land->Shadow, nullptr); // terrain casts no shadow
    r.ReplayQueue();
    land->Release();
    delete bitmap;
}

TEST_F(LandTest, RealHeightMap)
{
    TZevBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadBmp((std::string(QE_TESTDATA_DIR) + "/bmp/faerie2.bmp").c_str()));
    TZevBmpLandMesh* land = Land();
    ASSERT_TRUE(land->Build(&bitmap, IdentityMatrix, 0.01f, 0.01f, 32, 32));
    EXPECT_EQ(land->GridWidth, 220);
    EXPECT_EQ(land->GridHeight, 193);
    EXPECT_EQ(land->Full->FaceCount, 2 * 219 * 192);
    for (int32_t k = 0; k < land->Full->VertexCount; ++k) {
        const TZevVertex& v = land->Full->Vertices()[k];
        ASSERT_GE(v.y, 0.0f);
        ASSERT_LE(v.y, 1.0f);
        ASSERT_FALSE(std::isnan(v.nx) || std::isnan(v.ny) || std::isnan(v.nz));
    }
    land->Release();
}
