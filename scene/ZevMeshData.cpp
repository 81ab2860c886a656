#include "ZevMeshData.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

bool TZevMeshFace::SetIndexCount(uint32_t n)
{
    FreeIndices();
    if (n == 0)
        return true;
    void* block = ZevAlloc(size_t(n) * sizeof(uint16_t));
    if (!block)
        return false;
    std::memset(block, 0, size_t(n) * sizeof(uint16_t));
    Indices = static_cast<uint16_t*>(block);
    Count = n;
    return true;
}

void TZevMeshFace::FreeIndices()
{
    ZevFree(Indices);
    Indices = nullptr;
    Count = 0;
}

bool TZevMeshData::SetVertexCount(int32_t n)
{
    ZevFree(VertexArray);
    VertexArray = nullptr;
    VertexCount = 0;
    VertexCapacity = 0;
    if (n < 0 || n > ZevMaxMeshVertices)
        return false;
    if (n == 0)
        return true;
    void* block = ZevAlloc(size_t(n) * sizeof(TZevVertex));
    if (!block)
        return false;
    std::memset(block, 0, size_t(n) * sizeof(TZevVertex));
    VertexArray = block;
    VertexCapacity = n;
    return true;
}

bool TZevMeshData::SetFaceCount(int32_t n)
{
    if (Faces) {
        for (int32_t f = 0; f < FaceCapacity; ++f)
            Faces[f].FreeIndices();
        ZevFree(Faces);
    }
    Faces = nullptr;
    FaceCount = 0;
    FaceCapacity = 0;
    if (n < 0)
        return false;
    if (n == 0)
        return true;
    void* block = ZevAlloc(size_t(n) * sizeof(TZevMeshFace));
    if (!block)
        return false;
    std::memset(block, 0, size_t(n) * sizeof(TZevMeshFace));
    Faces = static_cast<TZevMeshFace*>(block);
    FaceCapacity = n;
    return true;
}

bool TZevMeshData::SetFaceIndexCount(int32_t f, uint32_t n)
{
    if (f < 0 || f >= FaceCapacity)
        return false;
    return Faces[f].SetIndexCount(n);
}

void TZevMeshData::Free()
{
    SetVertexCount(0);
    SetFaceCount(0);
}

bool ZevJoinMeshData(const TZevMeshData* const* parts, int32_t count, TZevMeshData& out)
{
    out.Free();
    int64_t vertices = 0, faces = 0;
    for (int32_t p = 0; p < count; ++p) {
        if (!parts[p])
            continue;
        if (!parts[p]->IndicesInRange())
            return false;
        vertices += parts[p]->VertexCount;
        faces += parts[p]->FaceCount;
    }
    if (vertices > ZevMaxMeshVertices || faces > INT32_MAX || !out.SetVertexCount(int32_t(vertices)) ||
        !out.SetFaceCount(int32_t(faces))) {
        out.Free();
        return false;
    }
    for (int32_t p = 0; p < count; ++p) {
        const TZevMeshData* part = parts[p];
        if (!part)
            continue;
        // Every index stays below the joined count, which fits 16 bits.
        const uint32_t base = uint32_t(out.VertexCount);
        if (part->VertexCount > 0)
            std::memcpy(out.Vertices() + base, part->VertexArray, size_t(part->VertexCount) * sizeof(TZevVertex));
        out.VertexCount += part->VertexCount;
        for (int32_t f = 0; f < part->FaceCount; ++f) {
            const TZevMeshFace& from = part->Faces[f];
            if (!out.SetFaceIndexCount(out.FaceCount, from.Count)) {
                out.Free();
                return false;
            }
            TZevMeshFace& to = out.Faces[out.FaceCount++];
            for (uint32_t k = 0; k < from.Count; ++k)
                to.Indices[k] = uint16_t(base + from.Indices[k]);
        }
    }
    return true;
}

bool TZevMeshData::IndicesInRange() const
{
    for (int32_t f = 0; f < FaceCount; ++f) {
        const TZevMeshFace& face = Faces[f];
        for (uint32_t k = 0; k < face.Count; ++k)
            if (face.Indices[k] >= VertexCount)
                return false;
    }
    return true;
}

namespace {

TZevVector Position(const TZevVertex& v)
{
    return TZevVector(v.x, v.y, v.z);
}

} // namespace

void TZevMeshData::ComputeNormals()
{
    if (VertexCount <= 0)
        return;
    TZevVertex* vertices = Vertices();
    std::vector<float> weight(size_t(VertexCount), 0.0f);
    for (int32_t i = 0; i < VertexCount; ++i)
        vertices[i].nx = vertices[i].ny = vertices[i].nz = 0.0f;
    for (int32_t f = 0; f < FaceCount; ++f) {
        const TZevMeshFace& face = Faces[f];
        if (face.Count < 3)
            continue;
        bool valid = true;
        for (uint32_t k = 0; k < face.Count; ++k)
            valid = valid && face.Indices[k] < VertexCount;
        if (!valid)
            continue; // a face that points past the vertices contributes nothing
        for (uint32_t t = 0; t + 2 < face.Count; ++t) {
            const uint16_t corner[3] = {face.Indices[0], face.Indices[t + 1], face.Indices[t + 2]};
            for (int k = 0; k < 3; ++k) {
                TZevVertex& vk = vertices[corner[k]];
                TZevVector p = Position(vk);
                TZevVector e1, e2, c;
                ZevVecSub(e1, Position(vertices[corner[(k + 1) % 3]]), p);
                ZevVecSub(e2, Position(vertices[corner[(k + 2) % 3]]), p);
                ZevVecCross(c, e1, e2);
                if (!e2.Normalize() || !e1.Normalize() || !c.Normalize())
                    continue;
                // Unit vectors can give a dot product a rounding step past 1: clamp, or acos gives NaN.
                float dot = std::clamp(ZevVecDot(e2, e1), -1.0f, 1.0f);
                float angle = ZevAcosF(dot);
                float& w = weight[corner[k]];
                vk.nx = vk.nx * w + c.x * angle;
                vk.ny = vk.ny * w + c.y * angle;
                vk.nz = vk.nz * w + c.z * angle;
                w += angle;
                if (w > 0.0000001f) {
                    vk.nx /= w;
                    vk.ny /= w;
                    vk.nz /= w;
                }
            }
        }
    }
    for (int32_t i = 0; i < VertexCount; ++i) {
        TZevVector n(vertices[i].nx, vertices[i].ny, vertices[i].nz);
        if (n.Normalize()) {
            vertices[i].nx = n.x;
            vertices[i].ny = n.y;
            vertices[i].nz = n.z;
        }
    }
}

void TZevMeshData::Transform(const TZevMatrix& m)
{
    TZevVertex* vertices = Vertices();
    for (int32_t i = 0; i < VertexCount; ++i) {
        TZevVertex& v = vertices[i];
        TZevVector p;
        ZevVecTransform(p, Position(v), m);
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
        TZevVector n;
        ZevVecRotate(n, TZevVector(v.nx, v.ny, v.nz), m);
        if (n.Normalize()) {
            v.nx = n.x;
            v.ny = n.y;
            v.nz = n.z;
        }
    }
}

bool ZevMeshDataExtent(const TZevMeshData& data, TZevVector& low, TZevVector& high)
{
    low = high = TZevVector();
    const int32_t count = std::min(data.VertexCount, data.VertexCapacity);
    if (data.VertexArray == nullptr || count <= 0)
        return false;
    const TZevVertex* v = data.Vertices();
    low = high = TZevVector(v[0].x, v[0].y, v[0].z);
    for (int32_t i = 1; i < count; ++i) {
        low = TZevVector(std::min(low.x, v[i].x), std::min(low.y, v[i].y), std::min(low.z, v[i].z));
        high = TZevVector(std::max(high.x, v[i].x), std::max(high.y, v[i].y), std::max(high.z, v[i].z));
    }
    return true;
}

bool ZevMeshFacesConsistent(const TZevMeshData& data)
{
    // Directed edge -> the face that first ran along it.
    std::unordered_map<uint32_t, int32_t> edges;
    for (int32_t f = 0; f < data.FaceCount; ++f) {
        const TZevMeshFace& face = data.Faces[f];
        for (uint32_t i = 0; i < face.Count; ++i) {
            uint32_t key = (uint32_t(face.Indices[i]) << 16) | face.Indices[(i + 1) % face.Count];
            auto found = edges.find(key);
            if (found != edges.end() && found->second != f)
                return false;
        }
        for (uint32_t i = 0; i < face.Count; ++i) {
            uint32_t key = (uint32_t(face.Indices[i]) << 16) | face.Indices[(i + 1) % face.Count];
            edges.emplace(key, f);
        }
    }
    return true;
}

namespace {

constexpr float WeldDistance = 0.05f;
constexpr float TooCloseDistance = 0.001f;
constexpr int GridCells = 16;

struct WeldGrid {
    float Min[3];
    float Extent[3];
    int Reach[3];
    std::vector<std::vector<int32_t>> Cells = std::vector<std::vector<int32_t>>(GridCells * GridCells * GridCells);

    int CellOf(float c, int axis) const
    {
        if (!(std::fabs(Extent[axis]) > 0.0f))
            return 0;
        float cell = 15.0f * (c - Min[axis]) / Extent[axis];
        if (!(cell > 0.0f))
            return 0; // NaN as well
        if (cell >= 15.0f)
            return 15;
        return static_cast<int>(cell);
    }
};

} // namespace

bool ZevMeshFaceDirectionPass(const TZevMeshData& source, TZevMeshData& out)
{
    out.Free();
    if (!source.IndicesInRange())
        return false;
    if (!ZevMeshFacesConsistent(source))
        ZevDebugLog("pre CheckFaceDirection\n");
    const TZevVertex* vertices = source.Vertices();

    // Triangulate: fans from corner 0; faces of fewer than 3 corners disappear.
    std::vector<uint16_t> triangles;
    for (int32_t f = 0; f < source.FaceCount; ++f) {
        const TZevMeshFace& face = source.Faces[f];
        for (uint32_t t = 0; t + 2 < face.Count; ++t) {
            triangles.push_back(face.Indices[0]);
            triangles.push_back(face.Indices[t + 1]);
            triangles.push_back(face.Indices[t + 2]);
        }
    }

    // Weld over a 16 x 16 x 16 grid of the positions' box.
    const int32_t n = source.VertexCount;
    WeldGrid grid;
    // A mesh thinner than the weld distance would have its two sides welded into one: a 0.02 plate became a
    // plane whose top triangles lay on its bottom. The weld stays below a quarter of the mesh's thinnest extent.
    float weld = WeldDistance;
    for (int axis = 0; axis < 3; ++axis) {
        float lo = 0.0f, hi = 0.0f;
        for (int32_t i = 0; i < n; ++i) {
            const float c = axis == 0 ? vertices[i].x : axis == 1 ? vertices[i].y : vertices[i].z;
            if (i == 0 || c < lo)
                lo = c;
            if (i == 0 || c > hi)
                hi = c;
        }
        grid.Min[axis] = lo;
        grid.Extent[axis] = hi - lo;
        if (grid.Extent[axis] > 0.0f && grid.Extent[axis] * 0.25f < weld)
            weld = grid.Extent[axis] * 0.25f;
    }
    for (int axis = 0; axis < 3; ++axis) {
        // Enough cells to each side to cover the weld distance (a cell is extent / 15 wide).
        float reach = grid.Extent[axis] > 0.0f ? weld * 15.0f / grid.Extent[axis] + 1.0f : 15.0f;
        grid.Reach[axis] = reach >= 15.0f || !(reach > 0.0f) ? 15 : static_cast<int>(reach);
    }
    std::vector<int32_t> mapTo(size_t(n), -1);
    std::vector<int32_t> kept; // source index of each kept vertex
    std::vector<int> cellOf;   // grid cell of each kept vertex
    for (int32_t i = 0; i < n; ++i) {
        const TZevVertex& v = vertices[i];
        const int c[3] = {grid.CellOf(v.x, 0), grid.CellOf(v.y, 1), grid.CellOf(v.z, 2)};
        int32_t found = -1;
        for (int x = std::max(0, c[0] - grid.Reach[0]); found < 0 && x <= std::min(15, c[0] + grid.Reach[0]); ++x)
            for (int y = std::max(0, c[1] - grid.Reach[1]); found < 0 && y <= std::min(15, c[1] + grid.Reach[1]); ++y)
                for (int z = std::max(0, c[2] - grid.Reach[2]); found < 0 && z <= std::min(15, c[2] + grid.Reach[2]);
                     ++z)
                    for (int32_t k : grid.Cells[(x * GridCells + y) * GridCells + z]) {
                        const TZevVertex& w = vertices[kept[k]];
                        const float dx = v.x - w.x, dy = v.y - w.y, dz = v.z - w.z;
                        if (std::sqrt(dx * dx + dy * dy + dz * dz) < weld) {
                            found = k;
                            break;
                        }
                    }
        if (found >= 0) {
            mapTo[i] = found;
        } else {
            mapTo[i] = static_cast<int32_t>(kept.size());
            const int cell = (c[0] * GridCells + c[1]) * GridCells + c[2];
            grid.Cells[cell].push_back(static_cast<int32_t>(kept.size()));
            kept.push_back(i);
            cellOf.push_back(cell);
        }
    }
    // Kept vertices this close could only be a pair the weld missed: report each ordered pair.
    for (size_t a = 0; a < kept.size(); ++a) {
        const TZevVertex& va = vertices[kept[a]];
        const int cx = cellOf[a] / (GridCells * GridCells), cy = cellOf[a] / GridCells % GridCells;
        const int cz = cellOf[a] % GridCells;
        for (int x = std::max(0, cx - 1); x <= std::min(15, cx + 1); ++x)
            for (int y = std::max(0, cy - 1); y <= std::min(15, cy + 1); ++y)
                for (int z = std::max(0, cz - 1); z <= std::min(15, cz + 1); ++z)
                    for (int32_t b : grid.Cells[(x * GridCells + y) * GridCells + z]) {
                        if (size_t(b) == a)
                            continue;
                        const TZevVertex& vb = vertices[kept[b]];
                        if (std::fabs(va.x - vb.x) + std::fabs(va.y - vb.y) + std::fabs(va.z - vb.z) < TooCloseDistance)
                            ZevDebugLog("Too Small Distance of Vertices!\n");
                    }
    }

    // The copy: kept vertices whole, triangles whose corners stay apart, corners in their order.
    int32_t faces = 0;
    for (size_t t = 0; t < triangles.size(); t += 3) {
        const int32_t a = mapTo[triangles[t]], b = mapTo[triangles[t + 1]], c = mapTo[triangles[t + 2]];
        if (a != b && b != c && a != c)
            ++faces;
    }
    if (!out.SetVertexCount(static_cast<int32_t>(kept.size())) || !out.SetFaceCount(faces)) {
        out.Free();
        return false;
    }
    for (size_t k = 0; k < kept.size(); ++k)
        out.Vertices()[k] = vertices[kept[k]];
    out.VertexCount = static_cast<int32_t>(kept.size());
    for (size_t t = 0; t < triangles.size(); t += 3) {
        const int32_t a = mapTo[triangles[t]], b = mapTo[triangles[t + 1]], c = mapTo[triangles[t + 2]];
        if (a == b || b == c || a == c)
            continue;
        if (!out.SetFaceIndexCount(out.FaceCount, 3)) {
            out.Free();
            return false;
        }
        TZevMeshFace& face = out.Faces[out.FaceCount++];
        face.Indices[0] = static_cast<uint16_t>(a);
        face.Indices[1] = static_cast<uint16_t>(b);
        face.Indices[2] = static_cast<uint16_t>(c);
    }
    if (!ZevMeshFacesConsistent(out))
        ZevDebugLog("post CheckFaceDirection\n");
    out.ComputeNormals();
    return true;
}

bool ZevMakeBoxMesh(TZevMeshData* data, float x0, float y0, float z0, float x1, float y1, float z1)
{
    if (!data)
        return false;
    if (!data->SetVertexCount(24) || !data->SetFaceCount(12)) {
        data->Free();
        return false;
    }
    data->VertexCount = 24;
    data->FaceCount = 12;
    for (int i = 0; i < 24; ++i) {
        const int corner = i % 8;
        TZevVertex& v = data->Vertices()[i];
        v = TZevVertex{};
        v.x = corner & 1 ? x1 : x0;
        v.y = corner & 2 ? y1 : y0;
        v.z = corner & 4 ? z1 : z0;
    }
    // Copy k serves the two faces across one axis: x, then z, then y.
    const int strides[3][3] = {{4, 1, 2}, {2, 4, 1}, {1, 2, 4}};
    for (int k = 0; k < 3; ++k) {
        const int s1 = strides[k][0], s2 = strides[k][1], s4 = strides[k][2], b = 8 * k;
        const int tri[4][3] = {{b, b + s1, b + s4}, {b + s4, b + s1, b + s4 + s1}, {b + s2, b + s2 + s4, b + s2 + s1},
            {b + s2 + s4, b + s2 + s4 + s1, b + s2 + s1}};
        for (int t = 0; t < 4; ++t) {
            const int f = k * 4 + t;
            if (!data->SetFaceIndexCount(f, 3)) {
                data->Free();
                return false;
            }
            for (int c = 0; c < 3; ++c)
                data->Faces[f].Indices[c] = static_cast<uint16_t>(tri[t][c]);
        }
    }
    data->ComputeNormals();
    return true;
}

bool ZevMakeBoxMesh(TZevMeshData* data, const TZevVector& min, const TZevVector& max)
{
    return ZevMakeBoxMesh(data, min.x, min.y, min.z, max.x, max.y, max.z);
}

bool ZevMakeSphereMesh(TZevMeshData* data, int32_t rings, int32_t segments)
{
    if (!data)
        return false;
    if (rings < 2 || segments < 1 || int64_t(rings) * segments > ZevMaxMeshVertices) {
        data->Free();
        return false;
    }
    const int32_t faces = 2 * (rings - 1) * segments;
    if (!data->SetVertexCount(rings * segments) || !data->SetFaceCount(faces)) {
        data->Free();
        return false;
    }
    data->VertexCount = rings * segments;
    data->FaceCount = faces;
    const float pi = 3.1415927f, twoPi = 6.2831855f;
    for (int32_t r = 0; r < rings; ++r) {
        for (int32_t s = 0; s < segments; ++s) {
            const float t = float(r) * pi / float(rings - 1);
            const float f = float(s) * twoPi / float(segments);
            TZevVertex& v = data->Vertices()[r * segments + s];
            v.x = v.nx = std::cos(f) * std::sin(t);
            v.y = v.ny = std::sin(f) * std::sin(t);
            v.z = v.nz = std::cos(t);
            v.u = f / twoPi;
            v.v = t / pi;
        }
    }
    int32_t face = 0;
    for (int32_t r = 0; r + 1 < rings; ++r) {
        for (int32_t s = 0; s < segments; ++s) {
            const int32_t a = r * segments + s, b = (r + 1) * segments + s, s2 = (s + 1) % segments;
            const int32_t tri[2][3] = {
                {a, b, (r + 1) * segments + s2}, {a, (r + 1) * segments + s2, r * segments + s2}};
            for (int k = 0; k < 2; ++k, ++face) {
                if (!data->SetFaceIndexCount(face, 3)) {
                    data->Free();
                    return false;
                }
                for (int c = 0; c < 3; ++c)
                    data->Faces[face].Indices[c] = static_cast<uint16_t>(tri[k][c]);
            }
        }
    }
    return true;
}
