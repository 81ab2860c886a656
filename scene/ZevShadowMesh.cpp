#include "ZevShadowMesh.h"

#include "Zev3DRenderer.h"
#include "ZevFrame.h"

#include <algorithm>
#include <cstring>

TZevClassRecord TZevShadowMeshClassRecord;

TZevLSObj* CreateTZevShadowMesh()
{
    return ZevCreateRegistered<TZevShadowMesh>(&TZevShadowMeshClassRecord);
}

namespace {

template <class T> T* AllocArray(size_t n)
{
    return n ? static_cast<T*>(ZevAlloc(n * sizeof(T))) : nullptr;
}

} // namespace

// A shadow never casts a shadow of its own.
TZevShadowMesh::TZevShadowMesh()
{
    ShadowOff = 1;
}

TZevShadowMesh::~TZevShadowMesh()
{
    FreeTables();
}

void TZevShadowMesh::FreeTables()
{
    ZevFree(FaceRecords);
    FaceRecords = nullptr;
    FaceRecordCount = 0;
    ZevFree(Edges);
    Edges = nullptr;
    EdgeCount = 0;
    for (Volume& volume : Volumes) {
        ZevFree(volume.SlotRoom);
        if (volume.Data != Geometry)
            delete volume.Data;
    }
    Volumes.clear();
    QueueOwner = nullptr;
    QueuedDrawings = 0;
    SourceGeometry = nullptr;
    SourceVertexCount = 0;
}

int32_t TZevShadowMesh::CountOpenEdges() const
{
    int32_t n = 0;
    for (int32_t i = 0; i < EdgeCount; ++i)
        n += Edges[i].Other == nullptr;
    return n;
}

void TZevShadowMesh::SetSource(TZevPolygonMesh* source)
{
    Source = source;
    if (!Geometry)
        Clear();
    if (!BuildTables()) {
        // Nothing is drawn until the source changes; the tables still say what they were built from.
        Geometry->Free();
        Changed = 1;
    }
}

bool TZevShadowMesh::BuildTables()
{
    FreeTables();
    const TZevMeshData* g = Source ? Source->Geometry : nullptr;
    SourceGeometry = g;
    if (!g)
        return false;
    SourceVertexCount = g->VertexCount;
    const int32_t nF = g->FaceCount;
    const int32_t nV = g->VertexCount;

    // Faces of fewer than 3 corners have no side to face the light with; faces that name vertices the
    // source does not have are left out as well.
    size_t corners = 0;
    int32_t usedFaces = 0;
    FaceRecords = AllocArray<TZevShadowFace>(size_t(nF));
    if (nF > 0 && !FaceRecords)
        return false;
    FaceRecordCount = nF;
    for (int32_t f = 0; f < nF; ++f) {
        const TZevMeshFace& face = g->Faces[f];
        bool used = face.Count >= 3 && face.Indices;
        for (uint32_t i = 0; used && i < face.Count; ++i)
            used = face.Indices[i] < nV;
        FaceRecords[f] = TZevShadowFace{f, face.Count, -1, used ? 1 : 0};
        if (used) {
            corners += face.Count;
            ++usedFaces;
        }
    }

    Edges = AllocArray<TZevShadowEdge>(corners);
    int32_t* heads = AllocArray<int32_t>(size_t(nV));
    if ((corners && !Edges) || (nV && !heads)) {
        ZevFree(heads);
        return false;
    }
    for (int32_t v = 0; v < nV; ++v)
        heads[v] = -1;
    for (int32_t f = 0; f < nF; ++f) {
        TZevShadowFace* record = &FaceRecords[f];
        if (!record->Used)
            continue;
        const TZevMeshFace& face = g->Faces[f];
        for (uint32_t i = 0; i < face.Count; ++i) {
            const uint32_t j = (i + 1) % face.Count;
            const uint16_t a = face.Indices[i], b = face.Indices[j];
            // An edge of no length has no side to join.
            if (a == b)
                continue;
            bool joined = false;
            for (int32_t e = heads[a]; e >= 0;) {
                TZevShadowEdge& edge = Edges[e];
                if (edge.First == b && edge.Second == a && !edge.Other) {
                    edge.Other = record;
                    joined = true;
                    break;
                }
                e = edge.First == a ? edge.NextAtFirst : edge.NextAtSecond;
            }
            if (joined)
                continue;
            // A new edge, or a third face on an edge already shared: a record of its own.
            const int32_t k = EdgeCount++;
            Edges[k] = TZevShadowEdge{record, nullptr, a, b, i, j, heads[a], heads[b]};
            heads[a] = k;
            heads[b] = k;
        }
    }
    ZevFree(heads);

    // The largest shadow: every face lit (a vertex on the object and one in the shadow for each source vertex that
    // a face names, shared by the faces and borders that meet there), every face once and every edge on the border,
    // with a joining face and a far triangle each.
    size_t named = 0;
    {
        std::vector<bool> seen(size_t(nV), false);
        for (int32_t f = 0; f < nF; ++f) {
            if (!FaceRecords[f].Used)
                continue;
            const TZevMeshFace& face = g->Faces[f];
            for (uint32_t i = 0; i < face.Count; ++i) {
                named += !seen[face.Indices[i]];
                seen[face.Indices[i]] = true;
            }
        }
    }
    const size_t vertices = 2 * named;
    const size_t faces = size_t(usedFaces) + 2 * size_t(EdgeCount);
    if (vertices > size_t(ZevMaxMeshVertices)) {
        ZevDebugLog("TZevShadowMesh: the shadow would need more than 65536 vertices; none is cast\n");
        return false;
    }
    if (!SetFaceAndVertexCount(int32_t(vertices), int32_t(faces)))
        return false;
    uint32_t* slotRoom = AllocArray<uint32_t>(faces);
    if (faces && !slotRoom)
        return false;
    for (size_t f = 0; f < faces; ++f)
        slotRoom[f] = 0;
    Volumes.push_back(Volume{Geometry, slotRoom});
    return true;
}

TZevShadowMesh::Volume* TZevShadowMesh::VolumeFor(TZev3DRenderer* renderer)
{
    if (Volumes.empty())
        return nullptr;
    const uint32_t queue = renderer->GetQueueNumber();
    size_t k = 0;
    if (queue != 0 && renderer == QueueOwner && queue == QueueNumber)
        k = QueuedDrawings;
    QueueOwner = renderer;
    QueueNumber = queue;
    QueuedDrawings = queue != 0 ? k + 1 : 0;
    if (k >= Volumes.size()) {
        const TZevMeshData* first = Volumes[0].Data;
        TZevMeshData* data = new TZevMeshData;
        uint32_t* slotRoom = AllocArray<uint32_t>(size_t(first->FaceCapacity));
        if (!data->SetVertexCount(first->VertexCapacity) || !data->SetFaceCount(first->FaceCapacity) ||
            (first->FaceCapacity && !slotRoom)) {
            ZevDebugLog("TZevShadowMesh: no memory for one more shadow in the queue; it is not drawn\n");
            ZevFree(slotRoom);
            delete data;
            QueuedDrawings = k;
            return nullptr;
        }
        for (int32_t f = 0; f < first->FaceCapacity; ++f)
            slotRoom[f] = 0;
        Volumes.push_back(Volume{data, slotRoom});
        k = Volumes.size() - 1;
    }
    Geometry = Volumes[k].Data;
    return &Volumes[k];
}

bool TZevShadowMesh::FollowSource()
{
    const TZevMeshData* g = Source->Geometry;
    const TZevVertex* v = g->Vertices();
    const size_t nV = size_t(g->VertexCount);
    size_t corners = 0;
    for (int32_t f = 0; f < FaceRecordCount; ++f)
        corners += FaceRecords[f].Used ? g->Faces[f].Count : 0;
    // Bit for bit, so that a NaN compares as itself.
    bool samePositions = SourcePositions.size() == 3 * nV;
    for (size_t i = 0; i < nV && samePositions; ++i)
        samePositions = std::memcmp(&SourcePositions[3 * i], &v[i].x, 3 * sizeof(float)) == 0;
    bool sameCorners = SourceCorners.size() == corners;
    const uint16_t* c = SourceCorners.data();
    for (int32_t f = 0; f < FaceRecordCount && sameCorners; ++f) {
        if (!FaceRecords[f].Used)
            continue;
        const TZevMeshFace& face = g->Faces[f];
        sameCorners = std::memcmp(c, face.Indices, face.Count * sizeof(uint16_t)) == 0;
        c += face.Count;
    }
    if (samePositions && sameCorners)
        return false;
    SourcePositions.resize(3 * nV);
    for (size_t i = 0; i < nV; ++i)
        std::memcpy(&SourcePositions[3 * i], &v[i].x, 3 * sizeof(float));
    SourceCorners.clear();
    SourceCorners.reserve(corners);
    for (int32_t f = 0; f < FaceRecordCount; ++f)
        if (FaceRecords[f].Used)
            SourceCorners.insert(SourceCorners.end(), g->Faces[f].Indices, g->Faces[f].Indices + g->Faces[f].Count);
    // Corners that differ from those of an earlier drawing, if there was one.
    const bool cornersMoved = SourceVersion > 0 && !sameCorners;
    ++SourceVersion;
    return cornersMoved;
}

bool TZevShadowMesh::Current(const Volume& volume, const TZevMatrix& world, const TZev3DRenderer* renderer) const
{
    return volume.Built && volume.SourceVersion == SourceVersion &&
           std::memcmp(volume.World.m, world.m, sizeof world.m) == 0 &&
           std::memcmp(volume.Projection, renderer->ViewSettings, sizeof volume.Projection) == 0 &&
           std::memcmp(&volume.Light, &renderer->Light0Direction, sizeof volume.Light) == 0;
}

bool TZevShadowMesh::TablesFitSource() const
{
    const TZevMeshData* g = Source ? Source->Geometry : nullptr;
    if (g != SourceGeometry || !g || g->VertexCount != SourceVertexCount || g->FaceCount != FaceRecordCount)
        return false;
    for (int32_t f = 0; f < FaceRecordCount; ++f)
        if (g->Faces[f].Count != FaceRecords[f].Count)
            return false;
    return true;
}

namespace {

// Fills the shadow geometry from the front, never past the room it was given.
class ShadowBuilder {
public:
    ShadowBuilder(TZevMeshData* g, uint32_t* slotRoom) : G(g), SlotRoom(slotRoom) { }

    // Starts a face of n corners; null when the geometry has no room for it. (The vertices always fit: the
    // tables sized them for every vertex that a used face names.)
    uint16_t* BeginFace(uint32_t n)
    {
        if (!Ok || !SlotRoom || FaceCount >= G->FaceCapacity) {
            Ok = false;
            return nullptr;
        }
        TZevMeshFace& face = G->Faces[FaceCount];
        if (SlotRoom[FaceCount] < n) {
            if (!face.SetIndexCount(n)) {
                SlotRoom[FaceCount] = 0;
                Ok = false;
                return nullptr;
            }
            SlotRoom[FaceCount] = n;
        }
        face.Count = n;
        ++FaceCount;
        return face.Indices;
    }
    // Source vertex i on the object and in the shadow, two neighbouring vertices made at the first corner or
    // border that names it in this drawing (every vertex that a border names is a corner of a lit face); the
    // index of the one on the object.
    uint16_t Place(uint16_t i)
    {
        if (Done[i] != Drawing) {
            TZevVertex* out = G->Vertices() + VertexCount;
            const TZevVector p(Source[i].x, Source[i].y, Source[i].z);
            TZevVector q;
            ZevVecTransform(q, p, *World);
            out[0] = TZevVertex{q.x, q.y, q.z, 0, 0, 0, 0, 0};
            ZevVecTransform(q, p, *ToShadow);
            out[1] = TZevVertex{q.x, q.y, q.z, 0, 0, 0, 0, 0};
            Near[i] = uint16_t(VertexCount);
            VertexCount += 2;
            Done[i] = Drawing;
        }
        return Near[i];
    }

    TZevMeshData* G;
    uint32_t* SlotRoom;
    const TZevVertex* Source = nullptr;
    const TZevMatrix* World = nullptr;
    const TZevMatrix* ToShadow = nullptr;
    uint16_t* Near = nullptr;
    uint32_t* Done = nullptr;
    uint32_t Drawing = 0;
    int32_t VertexCount = 0;
    int32_t FaceCount = 0;
    bool Ok = true;
};

} // namespace

void TZevShadowMesh::Render(TZev3DRenderer* renderer, TZevVFrame* frame)
{
    if (!renderer || !Source || !Source->Geometry)
        return;
    if (!TablesFitSource() || !Geometry) {
        SetSource(Source);
        if (!Geometry || !TablesFitSource())
            return;
    }
    // Corners rewritten in place leave the counts as they were but not the edges.
    if (FollowSource()) {
        SetSource(Source);
        if (!Geometry || !TablesFitSource())
            return;
    }
    const TZevMatrix& world = frame ? frame->WorldMatrix : IdentityMatrix;
    // Every drawing in one queue builds into a block of its own: the queued draw keeps only a pointer to it.
    Volume* volume = VolumeFor(renderer);
    if (!volume)
        return;
    if (Current(*volume, world, renderer)) {
        Bounds = volume->Bounds;
        Changed = 0;
    } else {
        Build(*volume, world, renderer);
    }

    if (Geometry->VertexCount == 0 || !renderer->IsBoxVisible(IdentityMatrix, Bounds))
        return;
    renderer->SetAdditive(0);
    renderer->SetTranslucent(0);
    renderer->SetShadowVolume(1);
    renderer->DrawMaterialMesh(Texture, &Material, IdentityMatrix, Geometry);
    renderer->SetShadowVolume(0);
}

void TZevShadowMesh::Build(Volume& volume, const TZevMatrix& world, TZev3DRenderer* renderer)
{
    const TZevMeshData* g = Source->Geometry;
    TZevMatrix toShadow;
    ZevMatMultiply(toShadow, world, TZevMatrix(renderer->ViewSettings));
    // The light's direction in the source's own coordinates: the world matrix's turn undone.
    TZevMatrix turn = world, unturn;
    turn.m[12] = turn.m[13] = turn.m[14] = 0.0f;
    (void)ZevMatInverse(unturn, turn);
    TZevVector light;
    ZevVecRotate(light, renderer->Light0Direction, unturn);

    ShadowBuilder out(Geometry, volume.SlotRoom);
    const TZevVertex* v = g->Vertices();
    const size_t nV = size_t(g->VertexCount);
    if (Done.size() != nV) {
        Near.assign(nV, 0);
        Done.assign(nV, 0);
        Drawing = 0;
    }
    if (++Drawing == 0) {
        std::fill(Done.begin(), Done.end(), 0u);
        Drawing = 1;
    }
    out.Source = v;
    out.World = &world;
    out.ToShadow = &toShadow;
    out.Near = Near.data();
    out.Done = Done.data();
    out.Drawing = Drawing;
    for (int32_t f = 0; f < FaceRecordCount; ++f) {
        TZevShadowFace& record = FaceRecords[f];
        record.Mark = -1;
        const TZevMeshFace& face = g->Faces[f];
        if (!record.Used)
            continue;
        if (!ZevFaceTurnsTowards(v[face.Indices[0]], v[face.Indices[1]], v[face.Indices[2]], light))
            continue;
        record.Mark = 1;
        // The face on the object: the volume's near end.
        uint16_t* indices = out.BeginFace(face.Count);
        if (!indices)
            break;
        for (uint32_t i = 0; i < face.Count; ++i)
            indices[i] = out.Place(face.Indices[i]);
    }
    // The far end is closed by a fan from one shadow vertex over the shadow of every border, run the other way round
    // (so that it faces out of the volume as the near end faces in, every face of the volume wound alike, and a view
    // ray leaves the volume through a face that the stencil passes count). The fan's triangles share their sides
    // with each other and with the joining faces, so the volume stays closed whatever the borders' loops; where the
    // shadow projection flattens the far end (as the scenes' projections do), they cover the same pixels as the lit
    // faces' flattened copies would, the same number of times, with a triangle per border instead of a face per
    // lit face.
    int32_t apex = -1;
    for (int32_t k = 0; k < EdgeCount && out.Ok; ++k) {
        const TZevShadowEdge& edge = Edges[k];
        const bool ownLit = edge.Face->Mark > 0;
        const bool border = edge.Other ? (edge.Face->Mark > 0) != (edge.Other->Mark > 0) : ownLit;
        if (!border)
            continue;
        // Run along the edge in the order of the face that faces the light.
        const uint16_t s = out.Place(ownLit ? edge.First : edge.Second);
        const uint16_t o = out.Place(ownLit ? edge.Second : edge.First);
        uint16_t* indices = out.BeginFace(4);
        if (!indices)
            break;
        indices[0] = uint16_t(o + 1);
        indices[1] = o;
        indices[2] = s;
        indices[3] = uint16_t(s + 1);
        if (apex < 0)
            apex = s + 1;
        // A border that ends at the fan's apex gives a triangle of no area.
        if (apex == s + 1 || apex == o + 1)
            continue;
        uint16_t* far = out.BeginFace(3);
        if (!far)
            break;
        far[0] = uint16_t(apex);
        far[1] = uint16_t(o + 1);
        far[2] = uint16_t(s + 1);
    }
    Geometry->VertexCount = out.Ok ? out.VertexCount : 0;
    Geometry->FaceCount = out.Ok ? out.FaceCount : 0;
    Changed = 1;
    UpdateBounds();
    // A build that ran out of memory is tried again at the next drawing.
    volume.Built = out.Ok;
    volume.SourceVersion = SourceVersion;
    volume.World = world;
    std::memcpy(volume.Projection, renderer->ViewSettings, sizeof volume.Projection);
    volume.Light = renderer->Light0Direction;
    volume.Bounds = Bounds;
}
