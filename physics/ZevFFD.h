// Free-form deformation: a regular lattice of control points over a mesh's box bends a copy of the mesh; every
// vertex follows the displacement of the eight points of its lattice cell, weighted trilinearly.
#pragma once

#include "ZevDebug.h"
#include "ZevMath.h"

#include <cstdint>

class TZevPolygonMesh;

// The eight displacements a vertex follows and their weights.
struct TZevFFDWeights {
    TZevVector* Corners[8];
    float Weights[8];
    std::int32_t Vertex; // index of the source vertex
};

class TZevFFD : public TZevAllocated {
public:
    // Largest number of lattice points.
    static constexpr std::int64_t MaxPoints = std::int64_t(1) << 20;

    TZevFFD() = default;
    virtual ~TZevFFD();
    TZevFFD(const TZevFFD&) = delete;
    TZevFFD& operator=(const TZevFFD&) = delete;

    // Drops the lattice and both meshes.
    virtual void Clear();

    // Keeps the mesh (one reference) as the source and makes the deformed copy; the lattice is dropped. False,
    // with no meshes, for a null mesh or one that cannot be copied.
    bool SetMesh(TZevPolygonMesh* mesh);
    // Builds l x m x n points over the source's box, at rest. False, with no lattice, without a source, for fewer
    // than 2 points on an axis, for more than MaxPoints points, or for a source that is flat (or not finite) on
    // an axis, since a cell position is divided by the box size and the point spacing by the count - 1.
    bool SetLattice(std::int32_t l, std::int32_t m, std::int32_t n);
    // Moves every vertex of the deformed copy to its source position plus the weighted displacements of its cell.
    // Nothing happens without a lattice or when the meshes no longer have the vertices the lattice was built on.
    void Apply();

    // Index of point (i, j, k).
    std::int32_t PointIndex(std::int32_t i, std::int32_t j, std::int32_t k) const { return (i * m + j) * n + k; }
    bool HasLattice() const { return Points != nullptr; }

    std::int32_t l = 0, m = 0, n = 0;
    std::int32_t PointCount = 0;
    TZevPolygonMesh* SourceMesh = nullptr;   // one reference
    TZevPolygonMesh* DeformedMesh = nullptr; // owned copy
    TZevFFDWeights* Weights = nullptr;       // one per source vertex
    std::int32_t WeightCount = 0;
    TZevVector* Points = nullptr; // current lattice points, written by the owner
    TZevVector* RestPoints = nullptr;
    TZevVector* Displacements = nullptr;
    TZevVector BoxMin;
    TZevVector BoxSize;
    float InvL = 0.0f, InvM = 0.0f, InvN = 0.0f; // 1 / (count - 1)

private:
    void FreeLattice();
};
