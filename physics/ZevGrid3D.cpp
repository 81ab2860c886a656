#include "ZevGrid3D.h"

#include <cmath>
#include <cstdint>
#include <new>

TZevGrid3D::TZevGrid3D()
{
    const float big = 3.4e38f;
    bounds.Set(TZevVector(big, big, big), TZevVector(-big, -big, -big));
}

TZevGrid3D::~TZevGrid3D()
{
    FreeCells();
    ClearBucketArray(visited, BucketCount);
}

void TZevGrid3D::FreeCells()
{
    curCell = nullptr;
    curNode = nullptr;
    cellEnd = nullptr;
    if (cells == nullptr)
        return;
    const std::int64_t count = std::int64_t(nx) * ny * nz;
    for (std::int64_t i = 0; i < count; ++i)
        cells[i].~TZevList();
    ZevFree(cells);
    cells = nullptr;
}

bool TZevGrid3D::SetUp(std::int32_t cx, std::int32_t cy, std::int32_t cz, const TZevVector& min,
                       const TZevVector& max)
{
    FreeCells();
    nx = ny = nz = 0;
    lastX = lastY = lastZ = -1;
    const float lo[3] = {min.x, min.y, min.z};
    const float hi[3] = {max.x, max.y, max.z};
    for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(lo[a]) || !std::isfinite(hi[a]) || hi[a] < lo[a])
            return false;
    }
    if (cx < 1 || cy < 1 || cz < 1)
        return false;
    const std::int64_t count = std::int64_t(cx) * cy * cz;
    if (count > MaxCells)
        return false;
    void* block = ZevAlloc(static_cast<std::size_t>(count) * sizeof(TZevList));
    if (block == nullptr)
        return false;
    cells = static_cast<TZevList*>(block);
    for (std::int64_t i = 0; i < count; ++i)
        new (&cells[i]) TZevList;

    nx = cx;
    ny = cy;
    nz = cz;
    lastX = nx - 1;
    lastY = ny - 1;
    lastZ = nz - 1;
    invX = 1.0f / static_cast<float>(nx);
    invY = 1.0f / static_cast<float>(ny);
    invZ = 1.0f / static_cast<float>(nz);
    bounds.Set(min, max);
    extent = TZevVector(bounds.Max.x - bounds.Min.x, bounds.Max.y - bounds.Min.y, bounds.Max.z - bounds.Min.z);
    return true;
}

std::int32_t TZevGrid3D::Coordinate(int axis, float v) const
{
    const std::int32_t n = axis == 0 ? nx : axis == 1 ? ny : nz;
    const float lo = axis == 0 ? bounds.Min.x : axis == 1 ? bounds.Min.y : bounds.Min.z;
    const float hi = axis == 0 ? bounds.Max.x : axis == 1 ? bounds.Max.y : bounds.Max.z;
    const float ext = axis == 0 ? extent.x : axis == 1 ? extent.y : extent.z;
    if (v != v)
        return -2;
    // One cell, or no extent to divide by: everything within the bounds is in cell 0.
    if (n == 1 || !(ext > 0.0f))
        return v < lo ? -2 : v > hi ? n : 0;
    const float c = std::floor((v - lo) / ext * static_cast<float>(n - 1));
    // Clamped so that the layer beyond the maximum can be added without overflow; -2 keeps a box that ends
    // far below the bounds out of cell 0 even with that layer.
    const std::int32_t i = ZevFloatToInt(c);
    return i < -2 ? -2 : i > n ? n : i;
}

bool TZevGrid3D::Range(const TZevBox& box, bool extraLayer, std::int32_t lo[3], std::int32_t hi[3]) const
{
    if (cells == nullptr)
        return false;
    const float mins[3] = {box.Min.x, box.Min.y, box.Min.z};
    const float maxs[3] = {box.Max.x, box.Max.y, box.Max.z};
    const std::int32_t last[3] = {lastX, lastY, lastZ};
    for (int a = 0; a < 3; ++a) {
        const std::int32_t s = Coordinate(a, mins[a]);
        const std::int32_t e = Coordinate(a, maxs[a]) + (extraLayer ? 1 : 0);
        lo[a] = s > 0 ? s : 0;
        hi[a] = e < last[a] ? e : last[a];
        if (lo[a] > hi[a])
            return false;
    }
    return true;
}

void TZevGrid3D::Insert(const TZevBox& box, void* item)
{
    std::int32_t lo[3];
    std::int32_t hi[3];
    if (item == nullptr || !Range(box, false, lo, hi))
        return;
    for (std::int32_t x = lo[0]; x <= hi[0]; ++x)
        for (std::int32_t y = lo[1]; y <= hi[1]; ++y)
            for (std::int32_t z = lo[2]; z <= hi[2]; ++z)
                cells[CellIndex(x, y, z)].Add(item);
}

void TZevGrid3D::Remove(const TZevBox& box, void* item)
{
    std::int32_t lo[3];
    std::int32_t hi[3];
    if (item != nullptr && Range(box, false, lo, hi)) {
        for (std::int32_t x = lo[0]; x <= hi[0]; ++x)
            for (std::int32_t y = lo[1]; y <= hi[1]; ++y)
                for (std::int32_t z = lo[2]; z <= hi[2]; ++z)
                    cells[CellIndex(x, y, z)].Remove(item);
    }
    BeginQuery(box);
}

void TZevGrid3D::BeginQuery(const TZevBox& box)
{
    ClearBucketArray(visited, BucketCount);
    curCell = nullptr;
    curNode = nullptr;
    cellEnd = nullptr;
    std::int32_t lo[3];
    std::int32_t hi[3];
    if (!Range(box, true, lo, hi)) {
        startX = startY = startZ = 0;
        endX = endY = endZ = -1;
        return;
    }
    startX = lo[0];
    startY = lo[1];
    startZ = lo[2];
    endX = hi[0];
    endY = hi[1];
    endZ = hi[2];
    curX = startX;
    curY = startY;
    curZ = startZ;
    curCell = &cells[CellIndex(curX, curY, curZ)];
    curNode = curCell->First();
    cellEnd = curCell->End();
}

std::uint32_t TZevGrid3D::Bucket(const void* item)
{
    return static_cast<std::uint32_t>((reinterpret_cast<std::uintptr_t>(item) >> 2) & 255u);
}

void* TZevGrid3D::Next()
{
    while (curCell != nullptr) {
        while (curNode != cellEnd) {
            void* item = curNode->data;
            curNode = curNode->next;
            if (!Contains(item)) {
                visited[Bucket(item)].Add(item);
                return item;
            }
        }
        if (++curZ > endZ) {
            curZ = startZ;
            if (++curY > endY) {
                curY = startY;
                if (++curX > endX) {
                    curCell = nullptr;
                    curNode = nullptr;
                    cellEnd = nullptr;
                    return nullptr;
                }
            }
        }
        curCell = &cells[CellIndex(curX, curY, curZ)];
        curNode = curCell->First();
        cellEnd = curCell->End();
    }
    return nullptr;
}

bool TZevGrid3D::Contains(void* item) const
{
    for (void* held : visited[Bucket(item)])
        if (held == item)
            return true;
    return false;
}
