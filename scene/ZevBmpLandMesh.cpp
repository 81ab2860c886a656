#include "ZevBmpLandMesh.h"

#include <algorithm>

#include "Zev3DRenderer.h"
#include "ZevBitmap.h"
#include "ZevFrame.h"

TZevClassRecord TZevBmpLandMeshClassRecord;

TZevLSObj* CreateTZevBmpLandMesh()
{
    return ZevCreateRegistered<TZevBmpLandMesh>(&TZevBmpLandMeshClassRecord);
}

TZevBmpLandMesh::TZevBmpLandMesh()
{
    ShadowOff = 1;
}

TZevBmpLandMesh::~TZevBmpLandMesh()
{
    FreeExtraGeometry();
}

void TZevBmpLandMesh::FreeExtraGeometry()
{
    delete Full;
    Full = nullptr;
}

namespace {

// Two triangles a cell, row by row, for a grid of `width` x `height` vertices.
bool BuildCellFaces(TZevMeshData* g, int32_t width, int32_t height)
{
    for (int32_t j = 0; j + 1 < height; ++j)
        for (int32_t i = 0; i + 1 < width; ++i) {
            const int32_t a = j * width + i, b = (j + 1) * width + i;
            const int32_t tri[2][3] = {{a, b + 1, a + 1}, {a, b, b + 1}};
            for (const auto& t : tri) {
                if (!g->SetFaceIndexCount(g->FaceCount, 3))
                    return false;
                for (int k = 0; k < 3; ++k)
                    g->Faces[g->FaceCount].Indices[k] = uint16_t(t[k]);
                ++g->FaceCount;
            }
        }
    return true;
}

int32_t CellFaces(int32_t width, int32_t height)
{
    return width > 1 && height > 1 ? 2 * (width - 1) * (height - 1) : 0;
}

// Centred on the camera, clamped to [0, grid - window]; NaN and infinities are clamped too.
int32_t WindowStart(float camera, int32_t window, int32_t grid)
{
    const float start = camera - float(window) / 2.0f;
    const int32_t last = std::max(0, grid - window);
    if (!(start > 0.0f))
        return 0;
    if (start >= float(last))
        return last;
    return std::min(last, static_cast<int32_t>(start));
}

} // namespace

bool TZevBmpLandMesh::Build(
    TZevVBitmap* bitmap, const TZevMatrix& placement, float uStep, float vStep, int32_t w, int32_t h)
{
    Clear();
    FreeExtraGeometry();
    GridWidth = GridHeight = WindowWidth = WindowHeight = 0;
    if (!bitmap || w < 1 || h < 1)
        return false;
    const int32_t W = bitmap->GetWidth(), H = bitmap->GetHeight();
    if (W < 1 || H < 1 || int64_t(W) * H > ZevMaxMeshVertices) {
        ZevDebugLog("terrain bitmap: empty, or more than 65536 vertices\n");
        return false;
    }
    Placement = placement;
    if (!ZevMatInverse(PlacementInverse, placement))
        ZevDebugLog("terrain placement matrix is singular\n");

    Full = new TZevMeshData;
    if (!Full->SetVertexCount(W * H) || !Full->SetFaceCount(CellFaces(W, H))) {
        FreeExtraGeometry();
        return false;
    }
    const TZevVector X(placement[0], placement[1], placement[2]);
    const TZevVector Y(placement[4], placement[5], placement[6]);
    const TZevVector Z(placement[8], placement[9], placement[10]);
    const float halfW = float(W) / 2.0f, halfH = float(H) / 2.0f;
    Reference = TZevVector(placement[12] - halfW * X.x - halfH * Z.x, placement[13] - halfW * X.y - halfH * Z.y,
        placement[14] - halfW * X.z - halfH * Z.z);
    {
        TZevBitmapAccess access(bitmap);
        const uint32_t mask = access.greenMask;
        for (int32_t j = 0; j < H; ++j)
            for (int32_t i = 0; i < W; ++i) {
                // A bitmap without a green channel is flat.
                const float g = mask ? float(double(access.ReadPixel(i, j) & mask) / double(mask)) : 0.0f;
                TZevVertex& v = Full->Vertices()[j * W + i];
                v.x = Reference.x + float(i) * X.x + float(j) * Z.x + g * Y.x;
                v.y = Reference.y + float(i) * X.y + float(j) * Z.y + g * Y.y;
                v.z = Reference.z + float(i) * X.z + float(j) * Z.z + g * Y.z;
                v.u = float(j) * uStep;
                v.v = float(i) * vStep;
            }
    }
    Full->VertexCount = W * H;
    if (!BuildCellFaces(Full, W, H)) {
        FreeExtraGeometry();
        return false;
    }
    Full->ComputeNormals();

    // A window larger than the grid shows the whole grid.
    const int32_t ww = std::min(w, W), wh = std::min(h, H);
    if (!SetFaceAndVertexCount(ww * wh, CellFaces(ww, wh)) || !BuildCellFaces(Geometry, ww, wh)) {
        Clear();
        FreeExtraGeometry();
        return false;
    }
    GridWidth = W;
    GridHeight = H;
    WindowWidth = ww;
    WindowHeight = wh;
    CopyWindow(0, 0);
    return true;
}

void TZevBmpLandMesh::WindowOrigin(float x, float z, int32_t* column, int32_t* row) const
{
    *column = WindowStart(x, WindowWidth, GridWidth);
    *row = WindowStart(z, WindowHeight, GridHeight);
}

void TZevBmpLandMesh::CopyWindow(int32_t column, int32_t row)
{
    if (!Full || !Geometry || WindowWidth < 1 || WindowHeight < 1)
        return;
    column = std::clamp(column, 0, GridWidth - WindowWidth);
    row = std::clamp(row, 0, GridHeight - WindowHeight);
    for (int32_t j = 0; j < WindowHeight; ++j)
        for (int32_t i = 0; i < WindowWidth; ++i)
            Geometry->Vertices()[j * WindowWidth + i] = Full->Vertices()[(row + j) * GridWidth + column + i];
    Geometry->VertexCount = WindowWidth * WindowHeight;
    WindowColumn = column;
    WindowRow = row;
    Changed = 1;
}

void TZevBmpLandMesh::Render(TZev3DRenderer* renderer, TZevVFrame* frame)
{
    if (!renderer)
        return;
    if (Full) {
        // The camera in the terrain's own coordinates, then in grid steps from the reference point.
        TZevMatrix camera;
        TZevVector position = renderer->CameraPosition;
        if (ZevMatInverse(camera, renderer->ViewMatrix))
            position = TZevVector(camera[12], camera[13], camera[14]);
        TZevMatrix toFrame;
        if (frame && ZevMatInverse(toFrame, frame->WorldMatrix)) {
            const TZevVector world = position;
            ZevVecTransform(position, world, toFrame);
        }
        TZevVector offset, grid;
        ZevVecSub(offset, position, Reference);
        ZevVecRotate(grid, offset, PlacementInverse);
        int32_t column, row;
        WindowOrigin(grid.x, grid.z, &column, &row);
        CopyWindow(column, row);
    }
    TZevPolygonMesh::Render(renderer, frame);
}
