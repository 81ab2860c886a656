// Billboards: meshes of camera-facing squares (sprites), one per record, rebuilt from the camera on
// every drawing. TZevBillBoard is lit by the renderer; TZevLBillBoard is pre-lit with a colour per
// sprite and is the base of the particle emitters, which own and move its records. Only the enabled
// records are drawn, packed at the front of the geometry. The records are not saved: the stream form
// is the base mesh's.
#pragma once

#include "ZevMesh.h"

// One sprite of TZevBillBoard (nine 32-bit words).
struct TZevBillBoardRecord {
    float X, Y, Z;
    float UA, VA; // texture coordinates of the first corner (0, 0 after resizing)
    float UB, VB; // of the opposite corner (1, 1 after resizing)
    float Size;   // half the side along each camera axis (2 after resizing)
    int32_t Enabled; // 0: not drawn (0 after resizing)
};

// One sprite of TZevLBillBoard: the same nine words, then its colour (0 to 1; 1, 1, 1, 1 after
// resizing).
struct TZevLBillBoardRecord {
    float X, Y, Z;
    float UA, VA;
    float UB, VB;
    float Size;
    int32_t Enabled;
    float Red, Green, Blue, Alpha;
};

static_assert(sizeof(TZevBillBoardRecord) == 36 && sizeof(TZevLBillBoardRecord) == 52,
    "sprite records are 9 and 13 words");

// Most sprites one billboard holds: four 16-bit-indexed vertices each.
inline constexpr int32_t ZevMaxBillBoardRecords = ZevMaxMeshVertices / 4;

class TZevBillBoard : public TZevPolygonMesh {
public:
    TZevBillBoard() = default;
    ~TZevBillBoard() override;

    // Rebuilds the enabled sprites to face the camera of the renderer's view, then draws as a polygon
    // mesh. Without records it only draws as a polygon mesh.
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;
    // Frees the record array (the count is kept).
    virtual void FreeRecords();
    // n records with the defaults, and geometry of 4n vertices and 2n triangles (counts included). False,
    // with no records, for n outside [0, ZevMaxBillBoardRecords] or a failed allocation.
    virtual bool Resize(int32_t n);

    TZevBillBoardRecord* Records = nullptr; // ZevAlloc, owned
    int32_t RecordCount = 0;
};

class TZevLBillBoard : public TZevLPolygonMesh {
public:
    TZevLBillBoard() = default;
    ~TZevLBillBoard() override;

    // Rebuilds the enabled sprites, packed at the front, to face the camera, then draws as a pre-lit mesh.
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;
    virtual void FreeRecords();
    // As TZevBillBoard::Resize, with the colour defaults; the positions are left to the caller.
    virtual bool Resize(int32_t n);

    TZevLBillBoardRecord* Records = nullptr; // ZevAlloc, owned
    int32_t RecordCount = 0;
    // The space the records' positions are given in; its translation is subtracted from each position.
    TZevMatrix Placement;
    int32_t BillboardFlag = 0; // 1 for particle emitters
    // Two words that the particle emitter's saved form carries; unused here.
    int32_t SavedWord1 = 0;
    int32_t SavedWord2 = 0;
};

// The four corners of a sprite at p with half side s along the axes r (right) and u (up), with their
// texture coordinates, in corner order.
void ZevBillBoardCorners(const TZevVector& p, float s, const TZevVector& r, const TZevVector& u, float ua,
    float va, float ub, float vb, TZevVector corners[4], float uv[8]);
// A colour of four floats in [0, 1] as ARGB bytes (each component x 255, truncated; outside values clamped).
uint32_t ZevPackColor(float red, float green, float blue, float alpha);

extern TZevClassRecord TZevBillBoardClassRecord;
extern TZevClassRecord TZevLBillBoardClassRecord;
TZevLSObj* CreateTZevBillBoard();
TZevLSObj* CreateTZevLBillBoard();

// Registers both billboard classes (after the mesh classes). Runs once; later calls do nothing.
void ZevBillBoardInit();
