// Endless terrain around a moving point: a ring of height-field tiles, each an engine body made from a grid whose
// heights come from a fractal value noise. Tiles join the world when the point comes near and leave it when it
// goes away; a cell of the tile table serves every tile coordinate that maps onto it.
#ifndef QE_LAND_DATA_H
#define QE_LAND_DATA_H

#include <vector>

class TQEBody_Data;

class TQELand_Data {
public:
    TQELand_Data() = default;
    virtual ~TQELand_Data();
    TQELand_Data(const TQELand_Data&) = delete;
    TQELand_Data& operator=(const TQELand_Data&) = delete;

    void Setup(int nx, int ny, int cx, int cy, float spacing, float heightScale, int radius);
    // The tile of tile coordinates (i, j), made (or remade for these coordinates) when needed; null before Setup.
    TQEBody_Data* GetTile(int i, int j);
    // Keeps the tiles within radius - 1 of the point's tile in the world.
    void Update(float x, float z);

    // The tile coordinates the point belongs to (a point on a border belongs to the tile on its positive side).
    void CentreTile(float x, float z, int* ci, int* cj) const;
    int CellIndex(int i, int j) const;
    int RefCount(int i, int j) const;
    // Number of tiles currently in the world.
    int TilesInWorld() const;
    int BuildCount() const { return Builds; }
    // The tile coordinates the cell of (i, j) was last built for; false when the cell is still empty.
    bool CellCoordinates(int i, int j, int* ti, int* tj) const;

    float HalfExtentX() const { return HalfX; }
    float HalfExtentZ() const { return HalfZ; }

    // Height-field point of grid row a and column b of the tile being built (a MakeGridBody point function).
    static void LandHeight(int a, int b, float* x, float* y, float* z, void* land);

private:
    struct TCell {
        TQEBody_Data* Tile = nullptr;
        int RefCount = 0;
        int TileI = 0, TileJ = 0; // coordinates the tile was built for
    };
    void BuildTile(TCell& cell, int i, int j);

    bool FirstUpdate = true;
    std::vector<TCell> Cells;
    int Nx = 0, Ny = 0;
    int Cx = 0, Cy = 0;
    int Radius = 0;
    float Spacing = 0.0f;
    float HeightScale = 0.0f;
    float HalfX = 0.0f, HalfZ = 0.0f;
    // Grid index of point (0, 0) of the tile being built: each point's place comes from its index on the whole
    // land, so a point two tiles share has one position, height and normal in both.
    long long OriginA = 0, OriginB = 0;
    int PreviousI = 0, PreviousJ = 0;
    int Builds = 0;
};

// Fractal value noise of the terrain: 8 layers of an 8 x 8 table, the slowest weighing most.
float LandNoise(float x, float z);
// Forgets the noise table, so the next LandNoise call fills it again from the fixed seed.
void ResetLandNoise();

#endif
