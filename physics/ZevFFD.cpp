#include "ZevFFD.h"

#include "ZevMesh.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// A copy of the mesh: through the object stream when the mesh is a registered one, else geometry and looks by
// hand (a mesh made without its factory cannot be written to a stream).
TZevPolygonMesh* CopyMesh(TZevPolygonMesh* source)
{
    if (TZevLSObj* cloned = source->GetClassRecord() ? source->Clone() : nullptr) {
        if (auto* copy = dynamic_cast<TZevPolygonMesh*>(cloned))
            return copy;
        cloned->Release();
    }
    auto* copy = new TZevPolygonMesh;
    copy->SetClassRecord(source->GetClassRecord());
    copy->SetName(source->GetName());
    copy->SetTextureEntry(source->Texture);
    copy->Material = source->Material;
    copy->Additive = source->Additive;
    copy->Translucent = source->Translucent;
    copy->ShadowOff = source->ShadowOff;
    const TZevMeshData* g = source->Geometry;
    const std::int32_t nV = g ? g->VertexCount : 0;
    const std::int32_t nF = g ? g->FaceCount : 0;
    if (!copy->SetFaceAndVertexCount(nV, nF)) {
        copy->Release();
        return nullptr;
    }
    TZevMeshData* d = copy->Geometry;
    if (nV > 0)
        std::memcpy(d->VertexArray, g->VertexArray, sizeof(TZevVertex) * std::size_t(nV));
    d->VertexCount = nV;
    for (std::int32_t f = 0; f < nF; ++f) {
        const TZevMeshFace& face = g->Faces[f];
        if (!d->SetFaceIndexCount(f, face.Count)) {
            copy->Release();
            return nullptr;
        }
        if (face.Count > 0)
            std::memcpy(d->Faces[f].Indices, face.Indices, sizeof(std::uint16_t) * face.Count);
        d->FaceCount = f + 1;
    }
    return copy;
}

TZevVector* NewVectors(std::int32_t count)
{
    void* block = ZevAlloc(sizeof(TZevVector) * std::size_t(count));
    if (block == nullptr)
        return nullptr;
    auto* v = static_cast<TZevVector*>(block);
    for (std::int32_t i = 0; i < count; ++i)
        new (&v[i]) TZevVector;
    return v;
}

// Cell of a coordinate: the truncated position, kept so that the cell's upper corner is still in the lattice;
// the fraction then reaches 1 on the upper face.
std::int32_t Cell(float u, std::int32_t count)
{
    std::int32_t i = ZevFloatToInt(u);
    if (i > count - 2)
        i = count - 2;
    if (i < 0)
        i = 0;
    return i;
}

} // namespace

TZevFFD::~TZevFFD()
{
    TZevFFD::Clear();
}

void TZevFFD::FreeLattice()
{
    ZevFree(Weights);
    Weights = nullptr;
    WeightCount = 0;
    ZevFree(Points);
    Points = nullptr;
    ZevFree(RestPoints);
    RestPoints = nullptr;
    ZevFree(Displacements);
    Displacements = nullptr;
    l = m = n = 0;
    PointCount = 0;
    InvL = InvM = InvN = 0.0f;
}

void TZevFFD::Clear()
{
    FreeLattice();
    if (DeformedMesh)
        DeformedMesh->Release();
    DeformedMesh = nullptr;
    if (SourceMesh)
        SourceMesh->Release();
    SourceMesh = nullptr;
}

bool TZevFFD::SetMesh(TZevPolygonMesh* mesh)
{
    // Our own Clear: a derived object may own what the mesh lives in.
    TZevFFD::Clear();
    if (mesh == nullptr)
        return false;
    TZevPolygonMesh* copy = CopyMesh(mesh);
    if (copy == nullptr)
        return false;
    mesh->AddRef();
    SourceMesh = mesh;
    DeformedMesh = copy;
    SourceMesh->UpdateBounds();
    DeformedMesh->UpdateBounds();
    return true;
}

bool TZevFFD::SetLattice(std::int32_t cl, std::int32_t cm, std::int32_t cn)
{
    FreeLattice();
    if (SourceMesh == nullptr || SourceMesh->Geometry == nullptr || cl < 2 || cm < 2 || cn < 2)
        return false;
    const std::int64_t count = std::int64_t(cl) * cm * cn;
    if (count > MaxPoints)
        return false;
    SourceMesh->UpdateBounds();
    const TZevBox& box = SourceMesh->Bounds;
    const TZevVector o = box.Min;
    const TZevVector s(box.Max.x - box.Min.x, box.Max.y - box.Min.y, box.Max.z - box.Min.z);
    if (!(s.x > 0.0f && s.y > 0.0f && s.z > 0.0f) || !std::isfinite(s.x) || !std::isfinite(s.y) ||
        !std::isfinite(s.z) || !std::isfinite(o.x) || !std::isfinite(o.y) || !std::isfinite(o.z))
        return false;

    const TZevMeshData* g = SourceMesh->Geometry;
    const std::int32_t vertices = g->VertexCount;
    Points = NewVectors(std::int32_t(count));
    RestPoints = NewVectors(std::int32_t(count));
    Displacements = NewVectors(std::int32_t(count));
    if (vertices > 0)
        Weights = static_cast<TZevFFDWeights*>(ZevAlloc(sizeof(TZevFFDWeights) * std::size_t(vertices)));
    if (!Points || !RestPoints || !Displacements || (vertices > 0 && !Weights)) {
        FreeLattice();
        return false;
    }
    l = cl;
    m = cm;
    n = cn;
    PointCount = std::int32_t(count);
    WeightCount = vertices;
    BoxMin = o;
    BoxSize = s;
    InvL = 1.0f / static_cast<float>(l - 1);
    InvM = 1.0f / static_cast<float>(m - 1);
    InvN = 1.0f / static_cast<float>(n - 1);

    for (std::int32_t i = 0; i < l; ++i)
        for (std::int32_t j = 0; j < m; ++j)
            for (std::int32_t k = 0; k < n; ++k) {
                const TZevVector p(o.x + static_cast<float>(i) / static_cast<float>(l - 1) * s.x,
                                   o.y + static_cast<float>(j) / static_cast<float>(m - 1) * s.y,
                                   o.z + static_cast<float>(k) / static_cast<float>(n - 1) * s.z);
                Points[PointIndex(i, j, k)] = p;
                RestPoints[PointIndex(i, j, k)] = p;
            }

    for (std::int32_t q = 0; q < vertices; ++q) {
        const TZevVertex& v = g->Vertices()[q];
        const float u = (v.x - o.x) / s.x * static_cast<float>(l - 1);
        const float w1 = (v.y - o.y) / s.y * static_cast<float>(m - 1);
        const float w2 = (v.z - o.z) / s.z * static_cast<float>(n - 1);
        const std::int32_t i = Cell(u, l);
        const std::int32_t j = Cell(w1, m);
        const std::int32_t k = Cell(w2, n);
        const float fu = u - static_cast<float>(i);
        const float fv = w1 - static_cast<float>(j);
        const float fw = w2 - static_cast<float>(k);
        TZevFFDWeights& r = Weights[q];
        const std::int32_t corner[8][3] = {{i, j, k},         {i + 1, j, k},         {i + 1, j + 1, k},
                                           {i, j + 1, k},     {i, j, k + 1},         {i + 1, j, k + 1},
                                           {i + 1, j + 1, k + 1}, {i, j + 1, k + 1}};
        const float weight[8] = {(1 - fu) * (1 - fv) * (1 - fw), fu * (1 - fv) * (1 - fw), fu * fv * (1 - fw),
                                 (1 - fu) * fv * (1 - fw),       (1 - fu) * (1 - fv) * fw, fu * (1 - fv) * fw,
                                 fu * fv * fw,                   (1 - fu) * fv * fw};
        for (int c = 0; c < 8; ++c) {
            r.Corners[c] = &Displacements[PointIndex(corner[c][0], corner[c][1], corner[c][2])];
            r.Weights[c] = weight[c];
        }
        r.Vertex = q;
    }
    return true;
}

void TZevFFD::Apply()
{
    if (Points == nullptr || SourceMesh == nullptr || DeformedMesh == nullptr || SourceMesh->Geometry == nullptr ||
        DeformedMesh->Geometry == nullptr || SourceMesh->Geometry->VertexCount != WeightCount ||
        DeformedMesh->Geometry->VertexCount != WeightCount)
        return;
    for (std::int32_t q = 0; q < PointCount; ++q)
        ZevVecSub(Displacements[q], Points[q], RestPoints[q]);
    const TZevVertex* source = SourceMesh->Geometry->Vertices();
    TZevVertex* target = DeformedMesh->Geometry->Vertices();
    for (std::int32_t q = 0; q < WeightCount; ++q) {
        const TZevFFDWeights& r = Weights[q];
        TZevVector sum;
        for (int c = 0; c < 8; ++c) {
            TZevVector part;
            ZevVecAdd(sum, sum, ZevVecTimesScalar(part, *r.Corners[c], r.Weights[c]));
        }
        const TZevVertex& s = source[r.Vertex];
        target[r.Vertex].x = s.x + sum.x;
        target[r.Vertex].y = s.y + sum.y;
        target[r.Vertex].z = s.z + sum.z;
    }
    DeformedMesh->Changed = 1;
}
