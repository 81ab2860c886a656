// The ring of terrain tiles around a moving point, the noise under it, and the follow camera.
#include "GldemoTestSupport.h"
#include "QEFollowCamera.h"
#include "QELandData.h"
#include "QEMeshGenerators.h"

#include <set>
#include <utility>

namespace {

class LandTest : public GldemoTest {
protected:
    void SetUp() override
    {
        GldemoTest::SetUp();
        ResetLandNoise();
        world = std::make_unique<TQEWorld_Data>();
        land = std::make_unique<TQELand_Data>();
        land->Setup(32, 32, 8, 8, 0.4f, 8.0f, 5);
    }
    void TearDown() override
    {
        land.reset();
        world.reset();
    }
    // Tile coordinates with a tile in the world.
    std::set<std::pair<int, int>> Present(int ci, int cj, int reach)
    {
        std::set<std::pair<int, int>> present;
        for (int j = cj - reach; j <= cj + reach; ++j)
            for (int i = ci - reach; i <= ci + reach; ++i)
                if (land->RefCount(i, j) > 0)
                    present.insert({i, j});
        return present;
    }
    float TileWidth() const { return 8 * 0.4f; }
    // x (or z) of the point at the centre of tile coordinate t.
    float Centre(int t) const { return (float(t) + 0.5f) * TileWidth() - land->HalfExtentX(); }

    std::unique_ptr<TQEWorld_Data> world;
    std::unique_ptr<TQELand_Data> land;
};

TEST_F(LandTest, RingHoldsNineByNineTilesAndMovesByOneRow)
{
    land->Update(0.0f, 0.0f);
    EXPECT_EQ(land->TilesInWorld(), 81);
    EXPECT_EQ(CountWorldBodies(), 81);
    int ci, cj;
    land->CentreTile(0.0f, 0.0f, &ci, &cj);
    const auto before = Present(ci, cj, 8);
    EXPECT_EQ(before.size(), 81u);

    land->Update(TileWidth(), 0.0f); // one tile along x
    const auto after = Present(ci, cj, 8);
    int added = 0, removed = 0;
    for (const auto& t : after)
        added += before.count(t) ? 0 : 1;
    for (const auto& t : before)
        removed += after.count(t) ? 0 : 1;
    EXPECT_EQ(added, 9);
    EXPECT_EQ(removed, 9);
    EXPECT_EQ(land->TilesInWorld(), 81);
    EXPECT_EQ(CountWorldBodies(), 81);

    // Standing still changes nothing.
    land->Update(TileWidth(), 0.0f);
    EXPECT_EQ(Present(ci, cj, 8), after);
}

TEST_F(LandTest, CentreTileUsesFloorOnBothSides)
{
    const float hx = land->HalfExtentX();
    int ci, cj;
    // Exactly on a border: the tile on the positive side.
    land->CentreTile(3 * TileWidth() - hx, -hx, &ci, &cj);
    EXPECT_EQ(ci, 3);
    EXPECT_EQ(cj, 0);
    // Just left of the grid's origin lies tile -1, not tile 0 (truncation would say 0).
    land->CentreTile(-hx - 0.1f, -hx - 2 * TileWidth() - 0.1f, &ci, &cj);
    EXPECT_EQ(ci, -1);
    EXPECT_EQ(cj, -3);
}

TEST_F(LandTest, NegativeCoordinatesUseAPositiveModulo)
{
    EXPECT_EQ(land->CellIndex(-1, 0), 31);
    EXPECT_EQ(land->CellIndex(0, -1), 31 * 32);
    EXPECT_EQ(land->CellIndex(-33, -65), land->CellIndex(31, 31));
    EXPECT_EQ(land->CellIndex(32, 32), 0);
    // A ring far on the negative side works like any other.
    land->Update(Centre(-100), Centre(-70));
    EXPECT_EQ(land->TilesInWorld(), 81);
    EXPECT_EQ(CountWorldBodies(), 81);
}

TEST_F(LandTest, ReusedCellMovesItsTileToTheNewCoordinates)
{
    TQEBody_Data* tile = land->GetTile(2, 3);
    ASSERT_NE(tile, nullptr);
    float lo[3], hi[3];
    QE_XPhBodyGetAABB(tile->GetHandle(), &lo[0], &lo[1], &lo[2], &hi[0], &hi[1], &hi[2]);
    EXPECT_NEAR(lo[0], 2 * TileWidth() - land->HalfExtentX(), 1e-3f);
    EXPECT_NEAR(lo[2], 3 * TileWidth() - land->HalfExtentZ(), 1e-3f);

    // Tile coordinates 32 apart share the cell: asking for the far one rebuilds the ground there.
    TQEBody_Data* far = land->GetTile(2 + 32, 3);
    EXPECT_EQ(far, tile);
    QE_XPhBodyGetAABB(far->GetHandle(), &lo[0], &lo[1], &lo[2], &hi[0], &hi[1], &hi[2]);
    EXPECT_NEAR(lo[0], (2 + 32) * TileWidth() - land->HalfExtentX(), 1e-3f);
    int ti, tj;
    ASSERT_TRUE(land->CellCoordinates(2, 3, &ti, &tj));
    EXPECT_EQ(ti, 34);
    EXPECT_EQ(tj, 3);
    // Asking again for the same coordinates keeps the tile as it is.
    const int builds = land->BuildCount();
    land->GetTile(34, 3);
    EXPECT_EQ(land->BuildCount(), builds);
}

TEST_F(LandTest, LongDriveNeverMeetsStaleGround)
{
    // Drive 40 tiles along x; at every stop each present tile stands where its coordinates say.
    for (int t = 0; t <= 40; ++t) {
        land->Update(Centre(t), Centre(0));
        int ci, cj;
        land->CentreTile(Centre(t), Centre(0), &ci, &cj);
        ASSERT_EQ(ci, t);
        for (int j = cj - 4; j <= cj + 4; ++j) {
            for (int i = ci - 4; i <= ci + 4; ++i) {
                int ti, tj;
                ASSERT_TRUE(land->CellCoordinates(i, j, &ti, &tj));
                ASSERT_EQ(ti, i) << "stop " << t;
                ASSERT_EQ(tj, j) << "stop " << t;
            }
        }
    }
    EXPECT_EQ(CountWorldBodies(), 81);
}

TEST_F(LandTest, TilesJoinSeamlesslyAndNoiseRepeats)
{
    // Neighbouring tiles overlap by two grid cells. Each shared point must have one position and one normal in
    // both tiles (the border normal too): otherwise the overlap shows stripes of two shadings fighting for depth.
    TQEBody_Data* origin = land->GetTile(0, 0);
    QE_RenderData d0{};
    ASSERT_EQ(QE_GetXPhBodyRenderData(origin->GetHandle(), &d0), 1);
    ASSERT_EQ(d0.vertexCount, 11 * 11);
    struct Neighbour {
        int i, j;
        int rowStep, colStep; // tile 0's point (row, col) is the neighbour's (row - rowStep, col - colStep)
    };
    // Rows run along x, columns along z.
    for (const Neighbour& n : {Neighbour{1, 0, 8, 0}, Neighbour{0, 1, 0, 8}, Neighbour{1, 1, 8, 8}}) {
        QE_RenderData dn{};
        ASSERT_EQ(QE_GetXPhBodyRenderData(land->GetTile(n.i, n.j)->GetHandle(), &dn), 1);
        for (int row = n.rowStep; row < 11; ++row) {
            for (int col = n.colStep; col < 11; ++col) {
                const QE_Vertex& p = d0.vertices[row * 11 + col];
                const QE_Vertex& q = dn.vertices[(row - n.rowStep) * 11 + col - n.colStep];
                const float a[6] = {p.x, p.y, p.z, p.nx, p.ny, p.nz};
                const float b[6] = {q.x, q.y, q.z, q.nx, q.ny, q.nz};
                for (int k = 0; k < 6; ++k)
                    ASSERT_EQ(a[k], b[k]) << "tile " << n.i << "," << n.j << " point " << row << "," << col << " #" << k;
            }
        }
    }
    const float h1 = LandNoise(1.25f, -3.5f);
    ResetLandNoise();
    EXPECT_EQ(LandNoise(1.25f, -3.5f), h1);
    EXPECT_NE(LandNoise(1.25f, -3.5f), LandNoise(7.0f, 2.0f));
    // Far on the negative side the noise stays finite and bounded.
    const float far = LandNoise(-60000.0f, -60000.0f);
    EXPECT_TRUE(std::isfinite(far));
    EXPECT_LT(std::fabs(far), 1.0f);
}

TEST_F(LandTest, UpdateBeforeSetupOrWithBadPointDoesNothing)
{
    TQELand_Data empty;
    empty.Update(0.0f, 0.0f);
    EXPECT_EQ(empty.GetTile(0, 0), nullptr);
    land->Update(std::nanf(""), 0.0f);
    EXPECT_EQ(land->TilesInWorld(), 0);
    // Far away but finite: the tile index stays an int, and the ring around it cannot overflow.
    int ci, cj;
    land->CentreTile(1e30f, -1e30f, &ci, &cj);
    EXPECT_EQ(ci, 1000000000);
    EXPECT_EQ(cj, -1000000000);
}

TEST_F(LandTest, FollowCameraApproachesWithoutOvershoot)
{
    TQEBody_Data target;
    ASSERT_TRUE(MakeBoxBody(target, -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f));
    QE_SetXPhBodyPhysicsMode(target.GetHandle(), 0); // fixed: it stands still
    target.SetPosition(4.0f, 1.0f, 2.0f);
    TQEFollowCamera_Data camera;
    camera.Attach(&target);
    EXPECT_FLOAT_EQ(camera.Eye()[1], 4.0f);
    EXPECT_FLOAT_EQ(camera.Eye()[2], -8.0f);
    // The eye heads for look + (-10, 1, -10) by a tenth per step, from one side only.
    const float goal[3] = {4.0f - 10.0f, 1.0f + 1.0f, 2.0f - 10.0f};
    float previous = 1e9f;
    for (int i = 0; i < 200; ++i) {
        camera.Step();
        const float d[3] = {camera.Eye()[0] - goal[0], camera.Eye()[1] - goal[1], camera.Eye()[2] - goal[2]};
        EXPECT_LE(Length3(d), previous + 1e-5f);
        previous = Length3(d);
        EXPECT_GE(camera.Eye()[0], goal[0] - 1e-4f);
    }
    EXPECT_LT(previous, 1e-3f);
    float m[16];
    QE_GetXPhCameraMat(m);
    EXPECT_NEAR(m[13], goal[1] + 2.5f, 1e-3f); // raised by a quarter of the distance
}

} // namespace
