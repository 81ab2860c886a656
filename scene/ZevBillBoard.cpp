#include "ZevBillBoard.h"

#include <mutex>

#include "Zev3DRenderer.h"
#include "ZevFrame.h"

TZevClassRecord TZevBillBoardClassRecord;
TZevClassRecord TZevLBillBoardClassRecord;

TZevLSObj* CreateTZevBillBoard()
{
    return ZevCreateRegistered<TZevBillBoard>(&TZevBillBoardClassRecord);
}

TZevLSObj* CreateTZevLBillBoard()
{
    return ZevCreateRegistered<TZevLBillBoard>(&TZevLBillBoardClassRecord);
}

void ZevBillBoardCorners(const TZevVector& p, float s, const TZevVector& r, const TZevVector& u, float ua,
    float va, float ub, float vb, TZevVector corners[4], float uv[8])
{
    const float sign[4][2] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
    for (int c = 0; c < 4; ++c) {
        const float a = sign[c][0], b = sign[c][1];
        corners[c] = TZevVector(p.x + (a * r.x + b * u.x) * s, p.y + (a * r.y + b * u.y) * s,
            p.z + (a * r.z + b * u.z) * s);
    }
    const float table[8] = {ua, va, ua, vb, ub, vb, ub, va};
    for (int i = 0; i < 8; ++i)
        uv[i] = table[i];
}

uint32_t ZevPackColor(float red, float green, float blue, float alpha)
{
    auto byte = [](float c) {
        const int v = ZevFloatToInt(c * 255.0f);
        return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
    };
    return (byte(alpha) << 24) | (byte(red) << 16) | (byte(green) << 8) | byte(blue);
}

namespace {

// Two triangles a sprite: (4i, 4i+1, 4i+2) and (4i, 4i+2, 4i+3).
bool BuildSpriteFaces(TZevMeshData* g, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const uint16_t b = uint16_t(4 * i);
        const uint16_t corners[2][3] = {{b, uint16_t(b + 1), uint16_t(b + 2)}, {b, uint16_t(b + 2), uint16_t(b + 3)}};
        for (int t = 0; t < 2; ++t) {
            if (!g->SetFaceIndexCount(2 * i + t, 3))
                return false;
            for (int k = 0; k < 3; ++k)
                g->Faces[2 * i + t].Indices[k] = corners[t][k];
        }
    }
    return true;
}

// Sprites that the geometry has room for (a clear or a load leaves less than the records need).
int32_t SpriteRoom(const TZevMeshData* g, int32_t records)
{
    if (!g)
        return 0;
    int32_t n = records;
    if (n > g->VertexCapacity / 4)
        n = g->VertexCapacity / 4;
    if (n > g->FaceCapacity / 2)
        n = g->FaceCapacity / 2;
    for (int32_t f = 0; f < 2 * n; ++f)
        if (g->Faces[f].Count != 3)
            return f / 2;
    return n;
}

// Both kinds: n records of the defaults, and 4n vertices and 2n triangles in use.
template <class Board, class Record> bool ResizeBoard(Board* board, int32_t n, const Record& defaults)
{
    board->FreeRecords();
    board->RecordCount = 0;
    if (n < 0 || n > ZevMaxBillBoardRecords)
        return false;
    Record* records = n > 0 ? static_cast<Record*>(ZevAlloc(size_t(n) * sizeof(Record))) : nullptr;
    if (n > 0 && !records)
        return false;
    for (int32_t i = 0; i < n; ++i)
        records[i] = defaults;
    board->Records = records;
    if (!board->SetFaceAndVertexCount(4 * n, 2 * n) || !BuildSpriteFaces(board->Geometry, n)) {
        board->FreeRecords();
        board->Clear();
        return false;
    }
    board->RecordCount = n;
    board->Geometry->VertexCount = 4 * n;
    board->Geometry->FaceCount = 2 * n;
    board->Changed = 1;
    return true;
}

} // namespace

// ---- TZevBillBoard ----

TZevBillBoard::~TZevBillBoard()
{
    TZevBillBoard::FreeRecords();
}

void TZevBillBoard::FreeRecords()
{
    ZevFree(Records);
    Records = nullptr;
}

bool TZevBillBoard::Resize(int32_t n)
{
    return ResizeBoard(this, n, TZevBillBoardRecord{0, 0, 0, 0, 0, 1, 1, 2, 0});
}

void TZevBillBoard::Render(TZev3DRenderer* renderer, TZevVFrame* frame)
{
    Changed = 1;
    if (!renderer || RecordCount < 1 || !Records || !Geometry) {
        TZevPolygonMesh::Render(renderer, frame);
        return;
    }
    // The camera's axes in the mesh's own space: the mesh is drawn through the frame's world matrix, so
    // that is undone here, and the sprites face the camera however both are turned.
    TZevMatrix camera, unworld, toMesh;
    (void)ZevMatInverse(camera, renderer->ViewMatrix);
    (void)ZevMatInverse(unworld, frame ? frame->WorldMatrix : IdentityMatrix);
    ZevMatMultiply(toMesh, camera, unworld);
    const TZevVector right(toMesh.m[0], toMesh.m[1], toMesh.m[2]);
    const TZevVector up(toMesh.m[4], toMesh.m[5], toMesh.m[6]);

    const int32_t room = SpriteRoom(Geometry, RecordCount);
    int32_t k = 0;
    for (int32_t i = 0; i < RecordCount && k < room; ++i) {
        const TZevBillBoardRecord& b = Records[i];
        if (!b.Enabled)
            continue;
        TZevVector corners[4];
        float uv[8];
        ZevBillBoardCorners(TZevVector(b.X, b.Y, b.Z), b.Size, right, up, b.UA, b.VA, b.UB, b.VB, corners, uv);
        for (int c = 0; c < 4; ++c) {
            TZevVertex& v = Geometry->Vertices()[4 * k + c];
            v.x = corners[c].x;
            v.y = corners[c].y;
            v.z = corners[c].z;
            v.u = uv[2 * c];
            v.v = uv[2 * c + 1];
        }
        ++k;
    }
    Geometry->VertexCount = 4 * k;
    Geometry->FaceCount = 2 * k;
    TZevPolygonMesh::Render(renderer, frame);
}

// ---- TZevLBillBoard ----

TZevLBillBoard::~TZevLBillBoard()
{
    TZevLBillBoard::FreeRecords();
}

void TZevLBillBoard::FreeRecords()
{
    ZevFree(Records);
    Records = nullptr;
}

bool TZevLBillBoard::Resize(int32_t n)
{
    return ResizeBoard(this, n, TZevLBillBoardRecord{0, 0, 0, 0, 0, 1, 1, 2, 0, 1, 1, 1, 1});
}

void TZevLBillBoard::Render(TZev3DRenderer* renderer, TZevVFrame* frame)
{
    if (!renderer)
        return;
    if (!Geometry)
        Clear();
    TZevMatrix unplace, camera, m;
    (void)ZevMatInverse(unplace, Placement);
    (void)ZevMatInverse(camera, renderer->ViewMatrix);
    ZevMatMultiply(m, unplace, camera);
    const TZevVector right(m.m[0], m.m[1], m.m[2]);
    const TZevVector up(m.m[4], m.m[5], m.m[6]);
    Changed = 1;

    const int32_t room = Records ? SpriteRoom(Geometry, RecordCount) : 0;
    int32_t k = 0;
    for (int32_t i = 0; i < RecordCount && k < room; ++i) {
        const TZevLBillBoardRecord& b = Records[i];
        if (!b.Enabled)
            continue;
        const TZevVector p(b.X - Placement.m[12], b.Y - Placement.m[13], b.Z - Placement.m[14]);
        TZevVector corners[4];
        float uv[8];
        ZevBillBoardCorners(p, b.Size, right, up, b.UA, b.VA, b.UB, b.VB, corners, uv);
        const uint32_t color = ZevPackColor(b.Red, b.Green, b.Blue, b.Alpha);
        for (int c = 0; c < 4; ++c)
            Geometry->LVertices()[4 * k + c] =
                TZevLVertex{corners[c].x, corners[c].y, corners[c].z, 0, color, 0, uv[2 * c], uv[2 * c + 1]};
        ++k;
    }
    Geometry->VertexCount = 4 * k;
    Geometry->FaceCount = 2 * k;
    TZevLPolygonMesh::Render(renderer, frame);
}

// ---- start-up ----

void ZevBillBoardInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClassRecord(&TZevBillBoardClassRecord, "TZevBillBoard", "TZevPolygonMesh", CreateTZevBillBoard);
        // Registered under the class it is built on, so that the registry's parent chain is true.
        RegisterClassRecord(&TZevLBillBoardClassRecord, "TZevLBillBoard", "TZevLPolygonMesh", CreateTZevLBillBoard);
    });
}
