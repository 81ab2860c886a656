#include "QELandData.h"

#include "QEBodyData.h"
#include "QEMeshGenerators.h"
#include "QERandom.h"

#include <algorithm>
#include <cmath>

namespace {

const int NoiseLayers = 8;
const int NoiseSize = 8;

struct TNoiseTable {
    bool Filled = false;
    float Value[NoiseLayers][NoiseSize][NoiseSize];
};

TNoiseTable Noise;

// Non-negative remainder, whatever the sign of the number.
int PositiveModulo(long long value, int modulus)
{
    long long r = value % modulus;
    return int(r < 0 ? r + modulus : r);
}

void FillNoise()
{
    TQERandom random(1);
    for (int k = 0; k < NoiseLayers; ++k) {
        for (int r = 0; r < NoiseSize; ++r) {
            for (int c = 0; c < NoiseSize; ++c) {
                const int a = random.Next() % 512;
                const int b = random.Next() % 512;
                Noise.Value[k][r][c] = float((a - 256) * (b - 256)) / 65536.0f;
            }
        }
    }
    // Smooth each layer in place: later cells of the pass see the smoothed earlier ones.
    for (int k = 0; k < NoiseLayers; ++k) {
        for (int r = 0; r < NoiseSize; ++r) {
            for (int c = 0; c < NoiseSize; ++c) {
                const int rp = (r + 1) % NoiseSize, rm = (r + NoiseSize - 1) % NoiseSize;
                const int cp = (c + 1) % NoiseSize, cm = (c + NoiseSize - 1) % NoiseSize;
                float(&layer)[NoiseSize][NoiseSize] = Noise.Value[k];
                layer[r][c] = 0.5f * layer[r][c] +
                              0.125f * (layer[rm][cm] + layer[rm][cp] + layer[rp][cm] + layer[rp][cp]);
            }
        }
    }
    Noise.Filled = true;
}

} // namespace

float LandNoise(float x, float z)
{
    if (!Noise.Filled)
        FillNoise();
    double u = (double(x) + 51231.023453) * 13.13525;
    double v = (double(z) + 51231.023453) * 13.13525;
    double a = 256.0;
    double sum = 0.0;
    for (int k = 0; k < NoiseLayers; ++k) {
        a /= 2.0;
        u /= 2.0;
        v /= 2.0;
        // floor keeps the blend weights in [0, 1) on both sides of zero.
        const double iu = std::floor(u), iv = std::floor(v);
        const double fu = u - iu, fv = v - iv;
        const long long lu = (long long)iu, lv = (long long)iv;
        const int u0 = PositiveModulo(lu, NoiseSize), u1 = PositiveModulo(lu + 1, NoiseSize);
        const int v0 = PositiveModulo(lv, NoiseSize), v1 = PositiveModulo(lv + 1, NoiseSize);
        const float(&layer)[NoiseSize][NoiseSize] = Noise.Value[k];
        const double blend = (layer[u0][v0] * (1.0 - fu) + layer[u1][v0] * fu) * (1.0 - fv) +
                             (layer[u0][v1] * (1.0 - fu) + layer[u1][v1] * fu) * fv;
        sum += blend / a * 0.25;
    }
    return float(sum);
}

void ResetLandNoise()
{
    Noise.Filled = false;
}

TQELand_Data::~TQELand_Data()
{
    for (TCell& cell : Cells)
        delete cell.Tile;
}

void TQELand_Data::Setup(int nx, int ny, int cx, int cy, float spacing, float heightScale, int radius)
{
    for (TCell& cell : Cells)
        delete cell.Tile;
    Cells.clear();
    if (nx < 1 || ny < 1 || cx < 1 || cy < 1 || !(spacing > 0.0f) || long(nx) * long(ny) > 1 << 20) {
        Nx = Ny = 0;
        return;
    }
    Nx = nx;
    Ny = ny;
    Cx = cx;
    Cy = cy;
    Spacing = spacing;
    HeightScale = heightScale;
    Radius = radius;
    HalfX = float(nx + 1) * float(cx) * spacing / 2.0f;
    HalfZ = float(ny + 1) * float(cy) * spacing / 2.0f;
    Cells.assign(size_t(nx) * size_t(ny), TCell{});
    FirstUpdate = true;
}

int TQELand_Data::CellIndex(int i, int j) const
{
    if (Nx <= 0 || Ny <= 0)
        return -1;
    return PositiveModulo(j, Ny) * Nx + PositiveModulo(i, Nx);
}

int TQELand_Data::RefCount(int i, int j) const
{
    const int index = CellIndex(i, j);
    return index < 0 ? 0 : Cells[size_t(index)].RefCount;
}

int TQELand_Data::TilesInWorld() const
{
    int n = 0;
    for (const TCell& cell : Cells)
        n += cell.RefCount > 0 ? 1 : 0;
    return n;
}

bool TQELand_Data::CellCoordinates(int i, int j, int* ti, int* tj) const
{
    const int index = CellIndex(i, j);
    if (index < 0 || !Cells[size_t(index)].Tile)
        return false;
    *ti = Cells[size_t(index)].TileI;
    *tj = Cells[size_t(index)].TileJ;
    return true;
}

void TQELand_Data::LandHeight(int a, int b, float* x, float* y, float* z, void* userData)
{
    const TQELand_Data* land = static_cast<const TQELand_Data*>(userData);
    *x = float(double(land->OriginA + a) * double(land->Spacing) - double(land->HalfX));
    *z = float(double(land->OriginB + b) * double(land->Spacing) - double(land->HalfZ));
    *y = LandNoise(*x, *z) * land->HeightScale * 3.0f - 10.0f;
}

void TQELand_Data::BuildTile(TCell& cell, int i, int j)
{
    OriginA = (long long)i * Cx;
    OriginB = (long long)j * Cy;
    // A reused cell keeps its body and only gets the ground of its new place. The border normals come from the
    // ground beyond the tile, as the neighbour tile's inner normals do: the overlap shades alike in both.
    MakeGridBody(*cell.Tile, Cx + 3, Cy + 3, &TQELand_Data::LandHeight, this, true, TQEGridBorder::Extend);
    const float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float specular[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    cell.Tile->SetVisualMaterial(diffuse, ambient, specular, 20.0f);
    cell.Tile->SetFixed(true);
    // A new body starts in the world; the tile waits outside until Update adds it, so it is added only once.
    cell.Tile->RemoveFromWorld();
    cell.TileI = i;
    cell.TileJ = j;
    ++Builds;
}

TQEBody_Data* TQELand_Data::GetTile(int i, int j)
{
    const int index = CellIndex(i, j);
    if (index < 0)
        return nullptr;
    TCell& cell = Cells[size_t(index)];
    if (!cell.Tile) {
        cell.Tile = new TQEBody_Data;
        BuildTile(cell, i, j);
    } else if (cell.TileI != i || cell.TileJ != j) {
        // The cell served other tile coordinates before: its ground lies elsewhere, so make it anew here.
        BuildTile(cell, i, j);
    }
    return cell.Tile;
}

void TQELand_Data::CentreTile(float x, float z, int* ci, int* cj) const
{
    // Far beyond any drive, but inside int: the ring's arithmetic around the centre must not overflow.
    auto tile = [](double t) { return int(std::clamp(std::floor(t), -1.0e9, 1.0e9)); };
    *ci = tile((double(x) + HalfX) / (double(Cx) * Spacing));
    *cj = tile((double(z) + HalfZ) / (double(Cy) * Spacing));
}

void TQELand_Data::Update(float x, float z)
{
    if (Cells.empty() || !std::isfinite(x) || !std::isfinite(z))
        return;
    int ci, cj;
    CentreTile(x, z, &ci, &cj);
    for (int dj = 1 - Radius; dj <= Radius - 1; ++dj) {
        for (int di = 1 - Radius; di <= Radius - 1; ++di) {
            TCell& cell = Cells[size_t(CellIndex(ci + di, cj + dj))];
            if (cell.RefCount == 0) {
                if (TQEBody_Data* tile = GetTile(ci + di, cj + dj))
                    tile->AddToWorld();
            }
            ++cell.RefCount;
        }
    }
    if (!FirstUpdate) {
        for (int dj = 1 - Radius; dj <= Radius - 1; ++dj) {
            for (int di = 1 - Radius; di <= Radius - 1; ++di) {
                TCell& cell = Cells[size_t(CellIndex(PreviousI + di, PreviousJ + dj))];
                if (cell.RefCount > 0 && --cell.RefCount == 0 && cell.Tile)
                    cell.Tile->RemoveFromWorld();
            }
        }
    }
    PreviousI = ci;
    PreviousJ = cj;
    FirstUpdate = false;
}
