// Terrain: a height field built from a bitmap and kept whole in a second geometry block, of which only a
// window of cells around the camera is copied into the drawable mesh and drawn. Terrain never casts a
// shadow.
#pragma once

#include <cstdint>

#include "ZevMesh.h"

class TZevVBitmap;

class TZevBmpLandMesh : public TZevPolygonMesh {
public:
    TZevBmpLandMesh();
    ~TZevBmpLandMesh() override;

    // Moves the window to the camera, then draws as a polygon mesh.
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;
    // Frees the full grid.
    void FreeExtraGeometry() override;

    // One vertex per pixel: column i and row j lie at Reference + i X + j Z + g Y, where X, Y, Z are the first
    // three rows of `placement`, Reference is centred on the grid, and g (0 to 1) is the pixel's green
    // channel. The drawable mesh is a window of w x h vertices (at most the grid). False, leaving the mesh
    // empty, for a grid of more than 65536 vertices, an empty bitmap or a window below 1 x 1.
    bool Build(TZevVBitmap* bitmap, const TZevMatrix& placement, float uStep, float vStep, int32_t w, int32_t h);

    // First column and row of the window for a camera at grid coordinates (x, z): centred on it, kept
    // inside the grid so that the last column and row can be reached.
    void WindowOrigin(float x, float z, int32_t* column, int32_t* row) const;
    // Copies the window starting at (column, row) from the full grid into the drawable mesh.
    void CopyWindow(int32_t column, int32_t row);

    int32_t GridWidth = 0;    // W, pixels of the bitmap
    int32_t GridHeight = 0;   // H
    int32_t WindowWidth = 0;  // w, vertices
    int32_t WindowHeight = 0; // h
    TZevMatrix Placement;
    TZevMatrix PlacementInverse;
    TZevVector Reference;
    TZevMeshData* Full = nullptr; // the whole grid, owned
    int32_t WindowColumn = 0;     // where the drawable window was copied from last
    int32_t WindowRow = 0;
};

extern TZevClassRecord TZevBmpLandMeshClassRecord;
TZevLSObj* CreateTZevBmpLandMesh();
