// Uniform grid of cells over a box: items are entered by their boxes into every cell they cover, and a query
// over a box hands out each item of the cells it covers once.
#pragma once

#include "ZevList.h"
#include "ZevMath.h"

#include <cstdint>

class TZevGrid3D : public TZevAllocated {
public:
    static constexpr int BucketCount = 256;
    // Largest number of cells a grid may have (each an empty list of 32 bytes).
    static constexpr std::int64_t MaxCells = std::int64_t(1) << 21;

    TZevGrid3D();
    ~TZevGrid3D();
    TZevGrid3D(const TZevGrid3D&) = delete;
    TZevGrid3D& operator=(const TZevGrid3D&) = delete;

    // Frees the cells of an earlier set-up and makes nx x ny x nz empty cells over the box (min, max). False,
    // leaving no cells, for a count below 1, more than MaxCells cells, a bound that is not a number or a
    // maximum below the minimum. Values are mapped to cells by floor((v - min) / extent x (n - 1)); an axis of
    // one cell or of zero extent puts every value within the bounds into its cell 0.
    bool SetUp(std::int32_t nx, std::int32_t ny, std::int32_t nz, const TZevVector& min, const TZevVector& max);

    // Appends the item to every cell its box covers, the last layer included. Nothing happens when the box lies
    // outside the bounds or no cells are set up.
    void Insert(const TZevBox& box, void* item);
    // Takes the item (the first entry holding it) out of every cell its box covers, then begins a query over
    // the box.
    void Remove(const TZevBox& box, void* item);

    // Begins a query over the cells the box covers, one layer beyond its maximum included.
    void BeginQuery(const TZevBox& box);
    // The next item of the query not handed out before in it (cells with z fastest, then y, then x); null when
    // every cell of the query is done.
    void* Next();
    // Was the item handed out in the current query?
    bool Contains(void* item) const;

    // Cell index of (x, y, z).
    std::int32_t CellIndex(std::int32_t x, std::int32_t y, std::int32_t z) const { return (x * ny + y) * nz + z; }
    // Cell coordinate of a value on axis 0, 1 or 2, clamped to [-2, n].
    std::int32_t Coordinate(int axis, float v) const;

    TZevList* cells = nullptr; // nx x ny x nz lists, or null
    std::int32_t nx = 0, ny = 0, nz = 0;
    std::int32_t lastX = -1, lastY = -1, lastZ = -1; // largest indices
    float invX = 0.0f, invY = 0.0f, invZ = 0.0f;     // 1 / n
    TZevBox bounds;
    TZevVector extent;
    TZevList visited[BucketCount]; // items handed out by the query, by (address >> 2) & 255

    // The query: the cell range (inclusive), the current coordinates, cell and node.
    std::int32_t startX = 0, startY = 0, startZ = 0;
    std::int32_t endX = -1, endY = -1, endZ = -1;
    std::int32_t curX = 0, curY = 0, curZ = 0;
    TZevList* curCell = nullptr;
    TZevListNode* curNode = nullptr;
    const TZevListNode* cellEnd = nullptr;

private:
    void FreeCells();
    // The cell range of a box; false when it is empty. extraLayer widens it by one layer beyond the maximum.
    bool Range(const TZevBox& box, bool extraLayer, std::int32_t lo[3], std::int32_t hi[3]) const;
    static std::uint32_t Bucket(const void* item);
};
