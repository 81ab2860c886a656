// Land collision tree: the body of a terrain built from a height-map bitmap. Its leaves are sorted into a regular
// grid of cells, one per grid square, instead of an octree, and a query looks only at the cells under the other
// body's box.
#pragma once

#include "ZevBmpLandMesh.h"
#include "ZevCollisionMeshObj.h"
#include "ZevPhscs2RigidBody.h"

#include <atomic>

class TZevVBitmap;

class TZevLandCTree : public TZevCollisionMeshObj {
public:
    TZevLandCTree();
    // Clears the watched flag word, frees the cell array and releases the land mesh.
    ~TZevLandCTree() override;

    // The grid build; the ordinary one while useOctree is set or without a grid of at least 2 x 2 vertices.
    void Build() override;
    // The land query when `node` is the primitive root of the grid build; the ordinary one otherwise.
    int CollideChildren(TZevCollisionSpace* space, TZevBoxNode* node, void* extra, TZevFMCTTree* otherTree,
                        TZevBoxNode* otherNode, void* otherExtra) override;
    // Builds the land mesh from the bitmap (placement matrix, texture steps, window size), hangs it in a new
    // frame and builds the tree. False, with no mesh, when the bitmap gives no terrain.
    virtual bool SetUp(TZevVBitmap* bitmap, const TZevMatrix& matrix, float uStep, float vStep, std::int32_t w,
                       std::int32_t h);

    // Grid cell of a point in world space, as the build sorts leaf centres: truncated, then kept in the grid.
    void CellOf(const TZevVector& point, std::int32_t* column, std::int32_t* row) const;
    // Cell counts of the grid build (0 without one).
    std::int32_t CellColumns() const { return cells != nullptr ? landMesh->GridWidth - 1 : 0; }
    std::int32_t CellRows() const { return cells != nullptr ? landMesh->GridHeight - 1 : 0; }
    TZevPooledBBoxTree* Cell(std::int32_t column, std::int32_t row) const
    {
        return cells[row * CellColumns() + column];
    }

    TZevBmpLandMesh* landMesh = nullptr; // one reference; also the visual and the collision mesh
    TZevPooledBBoxTree** cells = nullptr; // (width - 1) x (depth - 1), row by row; owned by the box tree
    std::int32_t useOctree = 0;
    std::int32_t* watchedFlag = nullptr;  // cleared by the destructor
    TZevString heightMapFile;
    TZevString textureFile;
    TZevMatrix placement;
    float uStep = 0.0f;
    float vStep = 0.0f;
    std::int32_t windowWidth = 0;
    std::int32_t windowHeight = 0;
    // The land's dynamic object: fixed, so that contacts with the terrain have an object that never moves.
    TZevPhscs2RigidBody* fixedPart = nullptr;
    // Cells looked at by the last land query (a measure for tests and benchmarks). Atomic: bodies collided on
    // several threads at once query the land at once.
    std::atomic<std::int32_t> lastCellsVisited{0};

private:
    void FreeCells();
    void BuildGrid();
};
