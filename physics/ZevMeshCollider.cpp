#include "ZevMeshCollider.h"

#include "ZevListView.h"
#include "ZevMesh.h"
#include "ZevNarrowPhase.h"

#include <cstdint>
#include <new>

namespace {

constexpr float Big = 3.4e38f;

void SetEmpty(TZevBox& box)
{
    box.Set(TZevVector(Big, Big, Big), TZevVector(-Big, -Big, -Big));
}

void Widen(TZevVector& lo, TZevVector& hi, const TZevVector& p)
{
    if (p.x < lo.x)
        lo.x = p.x;
    if (p.y < lo.y)
        lo.y = p.y;
    if (p.z < lo.z)
        lo.z = p.z;
    if (p.x > hi.x)
        hi.x = p.x;
    if (p.y > hi.y)
        hi.y = p.y;
    if (p.z > hi.z)
        hi.z = p.z;
}

bool Overlap(const TZevVector& loA, const TZevVector& hiA, const TZevVector& loB, const TZevVector& hiB)
{
    if (loA.x > hiB.x || loB.x > hiA.x)
        return false;
    if (loA.y > hiB.y || loB.y > hiA.y)
        return false;
    if (loA.z > hiB.z || loB.z > hiA.z)
        return false;
    return true;
}

float Extents(const TZevBox& box)
{
    return (box.Max.x - box.Min.x) + (box.Max.y - box.Min.y) + (box.Max.z - box.Min.z);
}

// The box's 8 corners carried by the matrix and enclosed again.
void TransformBox(const TZevBox& in, const TZevMatrix& m, TZevBox& out)
{
    TZevVector lo(Big, Big, Big);
    TZevVector hi(-Big, -Big, -Big);
    for (const TZevVector& c : in.Corners) {
        TZevVector p;
        ZevVecTransform(p, c, m);
        Widen(lo, hi, p);
    }
    out.Set(lo, hi);
}

TZevVector Position(const TZevMeshData* g, std::uint16_t i)
{
    const TZevVertex& v = g->Vertices()[i];
    return TZevVector(v.x, v.y, v.z);
}

// The entry's box from the given positions.
void EntryBox(TZevMeshFaceEntry& e, const TZevVector* positions)
{
    TZevVector lo(Big, Big, Big);
    TZevVector hi(-Big, -Big, -Big);
    for (std::uint32_t k = 0; k < e.Face->Count; ++k)
        Widen(lo, hi, positions[e.Face->Indices[k]]);
    e.Min = lo;
    e.Max = hi;
}

// Triangle j of the fan of a polygon: corners 0, j + 1, j + 2.
void FanIndices(const TZevMeshFace* f, std::uint32_t j, std::uint16_t idx[3])
{
    idx[0] = f->Indices[0];
    idx[1] = f->Indices[j + 1];
    idx[2] = f->Indices[j + 2];
}

std::uint32_t FanCount(const TZevMeshFace* f)
{
    return f->Count >= 3 ? f->Count - 2 : 0;
}

// Does an edge of the first triangle meet the second, or else an edge of the second the first?
bool TrianglesTouch(const TZevVector a[3], const TZevVector b[3])
{
    float t;
    for (int k = 0; k < 3; ++k)
        if (ZevSegmentTriangle(a[k], a[(k + 1) % 3], b[0], b[1], b[2], t))
            return true;
    for (int k = 0; k < 3; ++k)
        if (ZevSegmentTriangle(b[k], b[(k + 1) % 3], a[0], a[1], a[2], t))
            return true;
    return false;
}

// Reports a touching pair to both models: first's record, then the mirrored one.
void ReportHit(TZevMeshCollider* first, const std::uint16_t fi[3], TZevMeshColliderNode* firstNode,
               TZevMeshCollider* second, const std::uint16_t si[3], TZevMeshColliderNode* secondNode)
{
    const TZevMeshHit hit{fi[0], fi[1], fi[2], firstNode, second, si[0], si[1], si[2], secondNode};
    first->OnHit(hit);
    const TZevMeshHit mirrored{si[0], si[1], si[2], secondNode, first, fi[0], fi[1], fi[2], firstNode};
    second->OnHit(mirrored);
}

// The nodes of `model` whose local box overlaps `other`'s local box carried into model's space (all of them when
// the placement cannot be inverted).
void CandidateNodes(TZevMeshCollider* model, const TZevMatrix& modelMatrix, TZevMeshCollider* other,
                    const TZevMatrix& otherMatrix, TZevList& out)
{
    TZevMatrix inverse;
    const bool invertible = ZevMatInverse(inverse, modelMatrix);
    TZevMatrix toModel;
    ZevMatMultiply(toModel, otherMatrix, inverse);
    TZevBox carried;
    TransformBox(other->localBox, toModel, carried);
    for (TZevMeshColliderNode* node : ZevItems<TZevMeshColliderNode>(model->nodes)) {
        if (!invertible || node->LocalBox.Overlaps(carried))
            out.Add(node);
    }
}

// Triangle by triangle, a large node N of P against the candidate nodes L of Q.
bool Descend(TZevMeshCollider* p, TZevMeshColliderNode* n, TZevMeshCollider* q, TZevList& list)
{
    bool touched = false;
    for (TZevMeshFaceEntry* item : ZevItems<TZevMeshFaceEntry>(n->Entries)) {
        const TZevMeshFace* face = item->Face;
        for (std::uint32_t j = 0; j < FanCount(face); ++j) {
            std::uint16_t ti[3];
            FanIndices(face, j, ti);
            const TZevVector tv[3] = {p->vertices[ti[0]], p->vertices[ti[1]], p->vertices[ti[2]]};
            TZevVector e1, e2, normal;
            ZevVecSub(e1, tv[1], tv[0]);
            ZevVecSub(e2, tv[2], tv[0]);
            ZevVecCross(normal, e1, e2);
            TZevVector tLo(Big, Big, Big);
            TZevVector tHi(-Big, -Big, -Big);
            for (const TZevVector& v : tv)
                Widen(tLo, tHi, v);
            for (TZevMeshColliderNode* nb : ZevItems<TZevMeshColliderNode>(list)) {
                // Pass over a node whose box lies wholly on one side of the triangle's plane.
                TZevVector r;
                float s[8];
                for (int k = 0; k < 8; ++k)
                    s[k] = ZevVecDot(ZevVecSub(r, nb->WorldBox.Corners[k], tv[0]), normal);
                bool otherSide = false;
                for (int k = 1; k < 8; ++k)
                    if ((s[0] > 0.0f && s[k] < 0.0f) || (s[0] < 0.0f && s[k] > 0.0f))
                        otherSide = true;
                if (s[0] != 0.0f && !otherSide)
                    continue;
                if (!Overlap(tLo, tHi, q->worldBox.Min, q->worldBox.Max))
                    continue;
                for (TZevMeshFaceEntry* entry : ZevItems<TZevMeshFaceEntry>(nb->Entries)) {
                    EntryBox(*entry, q->vertices);
                    if (!Overlap(entry->Min, entry->Max, tLo, tHi))
                        continue;
                    for (std::uint32_t u = 0; u < FanCount(entry->Face); ++u) {
                        std::uint16_t ui[3];
                        FanIndices(entry->Face, u, ui);
                        const TZevVector uv[3] = {q->vertices[ui[0]], q->vertices[ui[1]], q->vertices[ui[2]]};
                        if (TrianglesTouch(tv, uv)) {
                            ReportHit(p, ti, n, q, ui, nb);
                            touched = true;
                        }
                    }
                }
            }
        }
    }
    return touched;
}

// Takes the nodes above `limit` out of `from` and descends each against `against`.
bool DescendLargeNodes(TZevMeshCollider* p, TZevList& from, float limit, TZevMeshCollider* q, TZevList& against)
{
    bool touched = false;
    TZevList kept;
    while (TZevMeshColliderNode* node = ZevPopItem<TZevMeshColliderNode>(from)) {
        if (node->Size > limit) {
            if (Descend(p, node, q, against))
                touched = true;
        } else {
            kept.Add(node);
        }
    }
    while (TZevMeshColliderNode* node = ZevPopItem<TZevMeshColliderNode>(kept))
        from.Add(node);
    return touched;
}

// The entries of the node whose box (from the positions) overlaps the box (lo, hi).
void CollectEntries(TZevMeshColliderNode* node, const TZevVector* positions, const TZevBox& box, TZevList& out)
{
    for (TZevMeshFaceEntry* entry : ZevItems<TZevMeshFaceEntry>(node->Entries)) {
        EntryBox(*entry, positions);
        if (Overlap(entry->Min, entry->Max, box.Min, box.Max))
            out.Add(entry);
    }
}

bool NodePairs(TZevMeshCollider* m1, TZevList& l1, TZevMeshCollider* m2, TZevList& l2)
{
    bool touched = false;
    TZevList c1;
    TZevList c2;
    for (TZevMeshColliderNode* na : ZevItems<TZevMeshColliderNode>(l1)) {
        for (TZevMeshColliderNode* nb : ZevItems<TZevMeshColliderNode>(l2)) {
            if (!na->WorldBox.Overlaps(nb->WorldBox))
                continue;
            c1.Clear();
            c2.Clear();
            CollectEntries(na, m1->vertices, nb->WorldBox, c1);
            CollectEntries(nb, m2->vertices, na->WorldBox, c2);
            for (TZevMeshFaceEntry* ea : ZevItems<TZevMeshFaceEntry>(c1)) {
                for (TZevMeshFaceEntry* eb : ZevItems<TZevMeshFaceEntry>(c2)) {
                    if (!Overlap(ea->Min, ea->Max, eb->Min, eb->Max))
                        continue;
                    for (std::uint32_t i = 0; i < FanCount(ea->Face); ++i) {
                        std::uint16_t ai[3];
                        FanIndices(ea->Face, i, ai);
                        const TZevVector av[3] = {m1->vertices[ai[0]], m1->vertices[ai[1]], m1->vertices[ai[2]]};
                        for (std::uint32_t j = 0; j < FanCount(eb->Face); ++j) {
                            std::uint16_t bi[3];
                            FanIndices(eb->Face, j, bi);
                            const TZevVector bv[3] = {m2->vertices[bi[0]], m2->vertices[bi[1]],
                                                      m2->vertices[bi[2]]};
                            if (TrianglesTouch(av, bv)) {
                                ReportHit(m1, ai, na, m2, bi, nb);
                                touched = true;
                            }
                        }
                    }
                }
            }
        }
    }
    return touched;
}

// Corner triples of the twelve triangles of a box's surface.
constexpr int BoxTriangles[12][3] = {{0, 3, 2}, {0, 2, 1}, {0, 1, 5}, {0, 5, 4}, {1, 2, 6}, {1, 6, 5},
                                     {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}, {4, 5, 6}, {4, 6, 7}};

bool InsideBox(const TZevBox& box, const TZevVector& p)
{
    return p.x >= box.Min.x && p.x <= box.Max.x && p.y >= box.Min.y && p.y <= box.Max.y && p.z >= box.Min.z &&
           p.z <= box.Max.z;
}

// Can the ray (t in [0, maxT]) reach the box?
bool RayReachesBox(const TZevBox& box, const TZevVector& o, const TZevVector& d, float maxT)
{
    if (InsideBox(box, o))
        return true;
    for (const auto& tri : BoxTriangles) {
        float t;
        if (ZevRayTriangle(o, d, box.Corners[tri[0]], box.Corners[tri[1]], box.Corners[tri[2]], t) && t >= 0.0f &&
            t <= maxT)
            return true;
    }
    return false;
}

} // namespace

bool ZevSegmentTriangle(const TZevVector& p, const TZevVector& q, const TZevVector& a, const TZevVector& b,
                        const TZevVector& c, float& t)
{
    TZevVector d, ab, ac, rhs;
    ZevVecSub(d, q, p);
    ZevVecSub(ab, a, b);
    ZevVecSub(ac, a, c);
    ZevVecSub(rhs, a, p);
    float s;
    if (!ZevSolve3x3One(d.x, d.y, d.z, ab.x, ab.y, ab.z, ac.x, ac.y, ac.z, rhs.x, rhs.y, rhs.z, s))
        return false;
    if (!(s >= 0.0f && s <= 1.0f))
        return false;
    TZevVector step, hit;
    ZevVecAdd(hit, p, ZevVecTimesScalar(step, d, s));
    if (!ZevPointInTriangle(hit, a, b, c))
        return false;
    t = s;
    return true;
}

void ZevRayCastNearestFace(TZevMeshCollider* model, std::uint16_t i0, std::uint16_t i1, std::uint16_t i2, float,
                           void* context)
{
    auto* nearest = static_cast<TZevRayCastNearest*>(context);
    if (nearest == nullptr || model == nullptr || model->mesh == nullptr || model->mesh->Geometry == nullptr)
        return;
    const TZevMeshData* g = model->mesh->Geometry;
    const TZevVector a = Position(g, i0);
    const TZevVector b = Position(g, i1);
    const TZevVector c = Position(g, i2);
    TZevVector sum, centroid, toCentroid;
    ZevVecAdd(sum, a, b);
    ZevVecAdd(sum, sum, c);
    ZevVecTimesScalar(centroid, sum, 0.33333334f);
    ZevVecSub(toCentroid, centroid, nearest->Point);
    const float d2 = ZevVecDot(toCentroid, toCentroid);
    if (!(d2 < nearest->BestDistance2))
        return;
    nearest->BestDistance2 = d2;
    nearest->Found = 1;
    TZevVector e1, e2, normal;
    ZevVecSub(e1, b, a);
    ZevVecSub(e2, c, a);
    ZevVecCross(normal, e1, e2);
    nearest->Facing = ZevVecDot(normal, toCentroid) >= 0.0f ? 1 : 0;
}

TZevMeshCollider::TZevMeshCollider()
{
    SetEmpty(localBox);
    SetEmpty(worldBox);
}

TZevMeshCollider::~TZevMeshCollider()
{
    // Our own Clear, not an override: a derived part is already gone.
    TZevMeshCollider::Clear();
}

void TZevMeshCollider::Clear()
{
    while (TZevMeshColliderNode* node = ZevPopItem<TZevMeshColliderNode>(nodes))
        delete node;
    nodeCount = 0;
    ZevFree(vertices);
    vertices = nullptr;
    vertexCount = 0;
    ZevFree(faceEntries);
    faceEntries = nullptr;
    faceCount = 0;
    mesh = nullptr;
    matrix = nullptr;
    size = 0.0f;
    SetEmpty(localBox);
    SetEmpty(worldBox);
}

void TZevMeshCollider::OnHit(const TZevMeshHit&) {}

void TZevMeshCollider::OnCollide(TZevMeshCollider*) {}

bool TZevMeshCollider::BuildFromMesh(TZevPolygonMesh* source)
{
    // Our own Clear: a derived model may own what the mesh lives in.
    TZevMeshCollider::Clear();
    if (source == nullptr)
        return false;
    source->UpdateBounds();
    const TZevMeshData* g = source->Geometry;
    if (g == nullptr || g->VertexCount < 0 || g->FaceCount < 0 || (g->VertexCount > 0 && g->VertexArray == nullptr) ||
        (g->FaceCount > 0 && g->Faces == nullptr) || !g->IndicesInRange())
        return false;
    mesh = source;

    TZevMeshFaceEntry** pool = nullptr;
    if (g->FaceCount > 0) {
        faceEntries = static_cast<TZevMeshFaceEntry*>(ZevAlloc(sizeof(TZevMeshFaceEntry) * g->FaceCount));
        pool = static_cast<TZevMeshFaceEntry**>(ZevAlloc(sizeof(TZevMeshFaceEntry*) * g->FaceCount));
    }
    if (g->VertexCount > 0)
        vertices = static_cast<TZevVector*>(ZevAlloc(sizeof(TZevVector) * g->VertexCount));
    if ((g->FaceCount > 0 && (faceEntries == nullptr || pool == nullptr)) ||
        (g->VertexCount > 0 && vertices == nullptr)) {
        ZevFree(pool);
        TZevMeshCollider::Clear();
        return false;
    }
    faceCount = g->FaceCount;
    vertexCount = g->VertexCount;
    for (std::int32_t i = 0; i < vertexCount; ++i)
        new (&vertices[i]) TZevVector;

    // Every face with corners goes into the pool with the box of its corners in model space.
    std::int32_t poolCount = 0;
    for (std::int32_t f = 0; f < faceCount; ++f) {
        TZevMeshFaceEntry* e = new (&faceEntries[f]) TZevMeshFaceEntry;
        e->Face = &g->Faces[f];
        if (e->Face->Count == 0 || e->Face->Indices == nullptr)
            continue;
        TZevVector lo(Big, Big, Big);
        TZevVector hi(-Big, -Big, -Big);
        for (std::uint32_t k = 0; k < e->Face->Count; ++k)
            Widen(lo, hi, Position(g, e->Face->Indices[k]));
        e->Min = lo;
        e->Max = hi;
        pool[poolCount++] = e;
    }

    auto addEntry = [g](TZevMeshColliderNode* node, TZevMeshFaceEntry* e) {
        TZevVector lo = node->LocalBox.Min;
        TZevVector hi = node->LocalBox.Max;
        if (node->Entries.IsEmpty()) {
            lo = TZevVector(Big, Big, Big);
            hi = TZevVector(-Big, -Big, -Big);
        }
        for (std::uint32_t k = 0; k < e->Face->Count; ++k)
            Widen(lo, hi, Position(g, e->Face->Indices[k]));
        node->LocalBox.Set(lo, hi);
        node->Entries.Add(e);
    };
    // The costs of the pool entries against the node's seed box, kept in step with the pool.
    float* costs = g->FaceCount > 0 ? static_cast<float*>(ZevAlloc(sizeof(float) * g->FaceCount)) : nullptr;
    if (g->FaceCount > 0 && costs == nullptr) {
        ZevFree(pool);
        TZevMeshCollider::Clear();
        return false;
    }
    auto takeFromPool = [&pool, &costs, &poolCount](std::int32_t i) {
        TZevMeshFaceEntry* e = pool[i];
        --poolCount;
        pool[i] = pool[poolCount];
        costs[i] = costs[poolCount];
        return e;
    };

    // Seeded groups: each node takes the faces that stick out of its seed's box the least. The seed box stays
    // the same while a node fills, so every cost is computed once per node.
    while (poolCount > 0) {
        auto* node = new TZevMeshColliderNode;
        SetEmpty(node->LocalBox);
        SetEmpty(node->WorldBox);
        TZevMeshFaceEntry* seed = takeFromPool(0);
        const TZevVector seedLo = seed->Min;
        const TZevVector seedHi = seed->Max;
        addEntry(node, seed);
        if (poolCount > 0) {
            for (std::int32_t i = 0; i < poolCount; ++i) {
                const TZevMeshFaceEntry* e = pool[i];
                float cost = 0.0f;
                if (e->Min.x < seedLo.x)
                    cost += seedLo.x - e->Min.x;
                if (e->Min.y < seedLo.y)
                    cost += seedLo.y - e->Min.y;
                if (e->Min.z < seedLo.z)
                    cost += seedLo.z - e->Min.z;
                if (e->Max.x > seedHi.x)
                    cost += e->Max.x - seedHi.x;
                if (e->Max.y > seedHi.y)
                    cost += e->Max.y - seedHi.y;
                if (e->Max.z > seedHi.z)
                    cost += e->Max.z - seedHi.z;
                costs[i] = cost;
            }
        }
        for (int round = 0; round < 15 && poolCount > 0; ++round) {
            float best = Big;
            std::int32_t bestIndex = 0; // costs that are all huge or not numbers still take the first
            for (std::int32_t i = 0; i < poolCount; ++i) {
                if (costs[i] < best) {
                    best = costs[i];
                    bestIndex = i;
                }
            }
            addEntry(node, takeFromPool(bestIndex));
        }
        nodes.Add(node);
        ++nodeCount;
    }
    ZevFree(costs);
    ZevFree(pool);

    TransformVertices(IdentityMatrix);
    UpdateNodeBoxes();
    UpdateBox();
    for (TZevMeshColliderNode* node : ZevItems<TZevMeshColliderNode>(nodes)) {
        node->Size = Extents(node->LocalBox);
    }
    size = nodeCount > 0 ? Extents(localBox) : 0.0f;
    return true;
}

void TZevMeshCollider::UpdateNodeBoxes()
{
    if (mesh == nullptr || mesh->Geometry == nullptr || mesh->Geometry->VertexCount != vertexCount)
        return;
    const TZevMeshData* g = mesh->Geometry;
    for (TZevMeshColliderNode* node : ZevItems<TZevMeshColliderNode>(nodes)) {
        TZevVector lo(Big, Big, Big);
        TZevVector hi(-Big, -Big, -Big);
        for (TZevMeshFaceEntry* e : ZevItems<TZevMeshFaceEntry>(node->Entries)) {
            const TZevMeshFace* f = e->Face;
            for (std::uint32_t k = 0; k < f->Count; ++k)
                Widen(lo, hi, Position(g, f->Indices[k]));
        }
        node->LocalBox.Set(lo, hi);
    }
}

void TZevMeshCollider::UpdateBox()
{
    TZevVector lo(Big, Big, Big);
    TZevVector hi(-Big, -Big, -Big);
    for (const TZevMeshColliderNode* node : ZevItems<TZevMeshColliderNode>(nodes)) {
        Widen(lo, hi, node->LocalBox.Min);
        Widen(lo, hi, node->LocalBox.Max);
    }
    localBox.Set(lo, hi);
}

void TZevMeshCollider::Transform(const TZevMatrix& m)
{
    if (nodeCount == 0)
        return;
    TransformBox(localBox, m, worldBox);
    for (TZevMeshColliderNode* node : ZevItems<TZevMeshColliderNode>(nodes)) {
        TransformBox(node->LocalBox, m, node->WorldBox);
    }
}

void TZevMeshCollider::TransformVertices(const TZevMatrix& m)
{
    if (vertices == nullptr || mesh == nullptr || mesh->Geometry == nullptr ||
        mesh->Geometry->VertexCount != vertexCount)
        return;
    const TZevVertex* v = mesh->Geometry->Vertices();
    for (std::int32_t i = 0; i < vertexCount; ++i)
        ZevVecTransform(vertices[i], TZevVector(v[i].x, v[i].y, v[i].z), m);
}

bool TZevMeshCollider::Collide(const TZevMatrix& matrixA, TZevMeshCollider* a, const TZevMatrix& matrixB,
                               TZevMeshCollider* b)
{
    if (a == nullptr || b == nullptr)
        return false;
    a->matrix = &matrixA;
    b->matrix = &matrixB;
    if (a->nodeCount == 0 || b->nodeCount == 0 || a->vertices == nullptr || b->vertices == nullptr)
        return false;
    if (!a->worldBox.Overlaps(b->worldBox))
        return false;

    // The model with more nodes leads (the second one on equal counts).
    const bool aFirst = a->nodeCount > b->nodeCount;
    TZevMeshCollider* m1 = aFirst ? a : b;
    TZevMeshCollider* m2 = aFirst ? b : a;
    const TZevMatrix& mat1 = aFirst ? matrixA : matrixB;
    const TZevMatrix& mat2 = aFirst ? matrixB : matrixA;

    TZevList l1;
    TZevList l2;
    CandidateNodes(m2, mat2, m1, mat1, l2);
    CandidateNodes(m1, mat1, m2, mat2, l1);

    bool touched = false;
    // A node far larger than the whole other model is tested triangle by triangle instead of as a box.
    if (4.0f * m2->size < m1->size && DescendLargeNodes(m1, l1, 4.0f * m2->size, m2, l2))
        touched = true;
    if (4.0f * m1->size < m2->size && DescendLargeNodes(m2, l2, 4.0f * m1->size, m1, l1))
        touched = true;
    if (NodePairs(m1, l1, m2, l2))
        touched = true;

    if (touched) {
        m1->OnCollide(m2);
        m2->OnCollide(m1);
    }
    return touched;
}

bool TZevMeshCollider::RayCast(const TZevVector& origin, const TZevVector& direction, TZevRayCastCallback callback,
                               void* context, float maxT)
{
    if (mesh == nullptr || mesh->Geometry == nullptr || mesh->Geometry->VertexCount != vertexCount)
        return false;
    const TZevMeshData* g = mesh->Geometry;
    bool hit = false;
    for (TZevMeshColliderNode* node : ZevItems<TZevMeshColliderNode>(nodes)) {
        if (!RayReachesBox(node->LocalBox, origin, direction, maxT))
            continue;
        for (TZevMeshFaceEntry* e : ZevItems<TZevMeshFaceEntry>(node->Entries)) {
            const TZevMeshFace* face = e->Face;
            for (std::uint32_t j = 0; j < FanCount(face); ++j) {
                std::uint16_t idx[3];
                FanIndices(face, j, idx);
                float t;
                // Only hits in front of the origin (and within maxT) count.
                if (!ZevRayTriangle(origin, direction, Position(g, idx[0]), Position(g, idx[1]),
                                    Position(g, idx[2]), t) ||
                    !(t >= 0.0f && t <= maxT))
                    continue;
                hit = true;
                if (callback)
                    callback(this, idx[0], idx[1], idx[2], t, context);
            }
        }
    }
    return hit;
}

bool TZevMeshCollider::SegmentCast(const TZevVector& p, const TZevVector& q, TZevRayCastCallback callback,
                                   void* context)
{
    TZevVector d;
    ZevVecSub(d, q, p);
    return RayCast(p, d, callback, context, 1.0f);
}

bool TZevMeshCollider::IsPointInside(const TZevVector& point)
{
    if (mesh == nullptr || mesh->Geometry == nullptr || mesh->Geometry->VertexCount != vertexCount)
        return false;
    const TZevMeshData* g = mesh->Geometry;

    TZevRayCastNearest nearest;
    nearest.Point = point;
    // Nine rays towards a target: straight, then slightly off along every sign triple.
    auto castNine = [this, &point, &nearest](const TZevVector& d) {
        static constexpr float Signs[8][3] = {{1, 1, 1},  {-1, 1, 1},  {1, -1, 1},  {1, 1, -1},
                                              {-1, -1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, -1}};
        bool any = RayCast(point, d, ZevRayCastNearestFace, &nearest);
        for (const auto& s : Signs) {
            const TZevVector di(d.x + 0.01f * s[0], d.y + 0.01f * s[1], d.z + 0.01f * s[2]);
            if (RayCast(point, di, ZevRayCastNearestFace, &nearest))
                any = true;
        }
        return any;
    };

    float best = 3.4e37f;
    std::int32_t nearestVertex = -1;
    for (std::int32_t i = 0; i < g->VertexCount; ++i) {
        TZevVector d;
        ZevVecSub(d, Position(g, static_cast<std::uint16_t>(i)), point);
        const float d2 = ZevVecDot(d, d);
        if (d2 < best) {
            best = d2;
            nearestVertex = i;
        }
    }
    if (nearestVertex < 0)
        return false;
    TZevVector d;
    ZevVecSub(d, Position(g, static_cast<std::uint16_t>(nearestVertex)), point);
    if (castNine(d))
        return nearest.Found && nearest.Facing;

    for (std::int32_t f = 0; f < faceCount; ++f) {
        const TZevMeshFace* face = faceEntries[f].Face;
        if (face == nullptr || face->Count == 0 || face->Indices == nullptr)
            continue;
        TZevVector sum;
        for (std::uint32_t k = 0; k < face->Count; ++k)
            ZevVecAdd(sum, sum, Position(g, face->Indices[k]));
        TZevVector centroid;
        ZevVecTimesScalar(centroid, sum, 1.0f / static_cast<float>(face->Count));
        ZevVecSub(d, centroid, point);
        if (castNine(d))
            return nearest.Found && nearest.Facing;
    }
    return false;
}
