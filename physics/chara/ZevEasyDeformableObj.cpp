#include "ZevEasyDeformableObj.h"

#include "ZevBodyPair.h"
#include "ZevColLink.h"
#include "ZevCollisionMeshObj.h"
#include "ZevContactLink.h"
#include "ZevListView.h"
#include "ZevMesh.h"
#include "ZevPhscs2RigidBody.h"
#include "ZevPhscs2World.h"
#include "ZevRigidLink.h"
#include "ZevVecInline.h"

#include <cmath>

namespace {

inline float LengthZYX(const TZevVector& d)
{
    return std::sqrt(d.z * d.z + d.y * d.y + d.x * d.x);
}

bool Listed(const TZevList& bodies, const TZevXPhObj* body)
{
    for (const TZevXPhObj* listed : ZevItems<TZevXPhObj>(bodies)) {
        if (listed == body)
            return true;
    }
    return false;
}

TZevVertex* MeshVertices(const TZevPolygonMesh* mesh)
{
    return mesh != nullptr && mesh->Geometry != nullptr ? mesh->Geometry->Vertices() : nullptr;
}

std::int32_t MeshVertexCount(const TZevPolygonMesh* mesh)
{
    return MeshVertices(mesh) != nullptr ? mesh->Geometry->VertexCount : 0;
}

bool IsLeaf(const TZevBoxNode* node)
{
    return node->type == ZevCollisionTypeInfo(ZevTypeFaceBoxVecT) ||
           node->type == ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT) ||
           node->type == ZevCollisionTypeInfo(ZevTypePointBoxVecT);
}

// The leaf's dynamic object, and that of the body-attached boxes standing for it when the body is in a world,
// so that a body made soft (or rigid again) inside a world collides with its new objects at once.
void SetLeafObject(TZevBoxNode* leaf, TZevPhscs2Obj* object)
{
    leaf->object = object;
    if (TZevFC2RColLink* link = ZevLeafColLink(leaf)) {
        for (int layer = 1; layer <= 2; ++layer) {
            if (TZevBoxNode* box = link->GetBox(layer))
                box->object = object;
        }
    }
}

// The body's leaves that stand on control nodes go back to the body's rigid part.
void RestoreLeaves(TZevXPhObj* body)
{
    TZevPhscs2Obj* part = nullptr;
    if (body->objectType == ZevCollisionTypeInfo(ZevTypeGameChara))
        part = static_cast<TZevGameChara*>(body)->MainPart;
    TZevList stack;
    if (body->primitiveRoot != nullptr)
        stack.PushFront(body->primitiveRoot);
    while (TZevBoxNode* node = ZevPopItem<TZevBoxNode>(stack)) {
        if (IsLeaf(node)) {
            if (dynamic_cast<TZevDeformControlNode*>(node->object) != nullptr)
                SetLeafObject(node, part);
            continue;
        }
        ZevPushChildren<TZevBoxNode>(stack, node);
    }
}

// Cell index of a lattice coordinate; a vertex on the upper face (or just past it by rounding) belongs to the
// last cell. -1 outside the lattice.
std::int32_t CellIndex(float u, std::int32_t n)
{
    const float last = static_cast<float>(n - 1);
    if (!(u > -1.0e-3f) || !(u < last + 1.0e-3f))
        return -1;
    std::int32_t i = ZevFloatToInt(u);
    if (i > n - 2)
        i = n - 2;
    return i < 0 ? 0 : i;
}

// Unclamped cell index (truncation toward zero, defined for every float).
std::int32_t RawCell(float e, float cell)
{
    return ZevFloatToInt(e / cell);
}

// An owned array replaced by n new elements, none for n <= 0.
template <class T> void Reallocate(T*& array, std::int32_t& count, std::int32_t n)
{
    delete[] array;
    array = nullptr;
    count = 0;
    if (n > 0) {
        array = new T[n];
        count = n;
    }
}

// The same with a flag array beside it, every flag set to 1.
template <class T> void ReallocateActive(T*& array, std::int32_t*& active, std::int32_t& count, std::int32_t n)
{
    delete[] array;
    array = nullptr;
    ZevFree(active);
    active = nullptr;
    count = 0;
    if (n > 0) {
        array = new T[n];
        active = static_cast<std::int32_t*>(ZevAllocObject(sizeof(std::int32_t) * static_cast<std::size_t>(n)));
        for (std::int32_t i = 0; i < n; ++i)
            active[i] = 1;
        count = n;
    }
}

// An equal share of the force for each proxy of the node, handed to `add`.
template <class Add> void ShareForce(const TZevDeformControlNode& node, const TZevVector& force, Add add)
{
    if (node.Count < 1)
        return;
    const TZevVector share = Times(force, 1.0f / static_cast<float>(node.Count));
    for (std::int32_t i = 0; i < node.Count; ++i) {
        if (node.Weights[i].Proxy != nullptr)
            add(node.Weights[i].Proxy, share);
    }
}

} // namespace

// ---- Proxies

void TZevVBodyProxy::AddForceAt(const TZevVector&, const TZevVector&, float) {}
void TZevVBodyProxy::AddStepForceAt(const TZevVector&, const TZevVector&, float) {}
void TZevVBodyProxy::AddDelayedForceAt(const TZevVector&, const TZevVector&, float) {}

TZevBodyPair* TZevVBodyProxy::RegisterPair(TZevBodyPairTable*, TZevBodyPair*, float, TZevPhscs2Obj*)
{
    return nullptr;
}

void TZevBodyProxy::GetPosition(const TZevVector& rest, TZevVector& out)
{
    out = Object != nullptr ? static_cast<TZevPhscs2Particle*>(Object)->Position : rest;
}

void TZevBodyProxy::AddForceAt(const TZevVector& force, const TZevVector& point, float dt)
{
    if (Object != nullptr)
        Object->AddForceAt(force, point, dt);
}

void TZevBodyProxy::AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt)
{
    if (Object != nullptr)
        Object->AddStepForceAt(force, point, dt);
}

void TZevBodyProxy::AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt)
{
    if (Object != nullptr)
        Object->AddDelayedForceAt(force, point, dt);
}

TZevBodyPair* TZevBodyProxy::RegisterPair(TZevBodyPairTable* table, TZevBodyPair* pair, float weight,
                                          TZevPhscs2Obj* other)
{
    if (table == nullptr || Object == nullptr)
        return nullptr;
    return ::RegisterPair(table, Object, other, pair, weight);
}

TZevPhscs2RigidBody* TZevDeformBodyRecord::Body() const
{
    return static_cast<TZevPhscs2RigidBody*>(Object);
}

void TZevDeformBodyRecord::GetPosition(const TZevVector& rest, TZevVector& out)
{
    ZevVecTransform(out, rest, Deform);
}

// ---- Control nodes

TZevDeformControlNode::TZevDeformControlNode()
{
    Integrable = 0;
}

TZevDeformControlNode::~TZevDeformControlNode()
{
    delete[] Weights;
    Weights = nullptr;
    Count = 0;
}

void TZevDeformControlNode::AllocWeights(std::int32_t n)
{
    delete[] Weights;
    Weights = nullptr;
    Count = 0;
    if (n <= 0)
        return;
    Weights = new TZevDeformWeight[n];
    Count = n;
}

void TZevDeformControlNode::AddForceAt(const TZevVector& force, const TZevVector& point, float dt)
{
    ShareForce(*this, force,
               [&](TZevVBodyProxy* proxy, const TZevVector& share) { proxy->AddForceAt(share, point, dt); });
}

void TZevDeformControlNode::AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt)
{
    ShareForce(*this, force,
               [&](TZevVBodyProxy* proxy, const TZevVector& share) { proxy->AddStepForceAt(share, point, dt); });
}

void TZevDeformControlNode::AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt)
{
    ShareForce(*this, force,
               [&](TZevVBodyProxy* proxy, const TZevVector& share) { proxy->AddDelayedForceAt(share, point, dt); });
}

void TZevDeformControlNode::RegisterPairPart(TZevBodyPairTable* table, TZevBodyPair* pair, float weight,
                                             TZevPhscs2Obj* other)
{
    for (std::int32_t i = 0; i < Count; ++i) {
        if (Weights[i].Proxy == nullptr)
            continue;
        // The composite record holds its own reference to each sub-record; the one handed to the caller here
        // would never be dropped.
        ZevDropPairRef(Weights[i].Proxy->RegisterPair(table, pair, weight * Weights[i].Weight, other));
    }
}

// ---- Deformable object

TZevDeformableObj::~TZevDeformableObj()
{
    TZevDeformableObj::Clear();
}

void TZevDeformableObj::Clear()
{
    delete[] Records;
    Records = nullptr;
    delete[] Proxies;
    Proxies = nullptr;
    delete[] Nodes1;
    Nodes1 = nullptr;
    delete[] Nodes2;
    Nodes2 = nullptr;
    ZevFree(RecordActive);
    RecordActive = nullptr;
    ZevFree(ProxyActive);
    ProxyActive = nullptr;
    RecordCount = ProxyCount = Nodes1Count = Nodes2Count = 0;
}

void TZevDeformableObj::AllocNodes1(std::int32_t n)
{
    Reallocate(Nodes1, Nodes1Count, n);
}

void TZevDeformableObj::AllocNodes2(std::int32_t n)
{
    Reallocate(Nodes2, Nodes2Count, n);
}

void TZevDeformableObj::AllocProxies(std::int32_t n)
{
    ReallocateActive(Proxies, ProxyActive, ProxyCount, n);
}

void TZevDeformableObj::AllocRecords(std::int32_t n)
{
    ReallocateActive(Records, RecordActive, RecordCount, n);
}

void TZevDeformableObj::UpdateVertices(TZevDeformControlNode* nodes, std::int32_t count)
{
    for (std::int32_t n = 0; n < count; ++n) {
        TZevDeformControlNode& node = nodes[n];
        if (node.Vertex == nullptr)
            continue;
        const TZevVector r = node.RestVertex != nullptr
                                 ? TZevVector(node.RestVertex[0], node.RestVertex[1], node.RestVertex[2])
                                 : TZevVector(node.Vertex[0], node.Vertex[1], node.Vertex[2]);
        TZevVector s;
        for (std::int32_t i = 0; i < node.Count; ++i) {
            TZevVector q = r; // an entry without a proxy keeps the vertex at its rest position
            if (node.Weights[i].Proxy != nullptr)
                node.Weights[i].Proxy->GetPosition(r, q);
            const float w = node.Weights[i].Weight;
            s.x = q.x * w + s.x;
            s.y = q.y * w + s.y;
            s.z = q.z * w + s.z;
        }
        node.Vertex[0] = s.x;
        node.Vertex[1] = s.y;
        node.Vertex[2] = s.z;
    }
}

void TZevDeformableObj::EndStep(float dt)
{
    (void)dt;
    for (std::int32_t i = 0; i < RecordCount; ++i) {
        if (RecordActive[i] != 0 && Records[i].Object != nullptr)
            Records[i].Object->EndStep();
    }
    for (std::int32_t i = 0; i < ProxyCount; ++i) {
        if (ProxyActive[i] != 0 && Proxies[i].Object != nullptr)
            Proxies[i].Object->EndStep();
    }
    UpdateVertices(Nodes2, Nodes2Count);
}

void TZevDeformableObj::Integrate(float dt)
{
    for (std::int32_t i = 0; i < RecordCount; ++i) {
        if (RecordActive[i] == 0 || Records[i].Object == nullptr)
            continue;
        TZevDeformBodyRecord& record = Records[i];
        record.Object->Integrate(dt);
        ZevMatMultiply(record.Deform, record.BindInverse, record.Body()->Matrix);
    }
    for (std::int32_t i = 0; i < ProxyCount; ++i) {
        if (ProxyActive[i] != 0 && Proxies[i].Object != nullptr)
            Proxies[i].Object->Integrate(dt);
    }
    UpdateVertices(Nodes1, Nodes1Count);
}

void TZevDeformableObj::Transform(const TZevMatrix& m)
{
    for (std::int32_t i = 0; i < ProxyCount; ++i) {
        TZevPhscs2Particle* p = static_cast<TZevPhscs2Particle*>(Proxies[i].Object);
        if (p == nullptr)
            continue;
        TZevVector v;
        p->Position = ZevVecTransform(v, p->Position, m);
        p->PrevPosition = ZevVecTransform(v, p->PrevPosition, m);
    }
    for (std::int32_t i = 0; i < RecordCount; ++i) {
        if (TZevPhscs2RigidBody* body = Records[i].Body()) {
            TZevMatrix moved;
            ZevMatMultiply(moved, body->Matrix, m);
            body->SetMatrix(moved);
            ZevMatMultiply(Records[i].Deform, Records[i].BindInverse, body->Matrix);
        }
    }
    for (TZevDeformControlNode* nodes : {Nodes1, Nodes2}) {
        const std::int32_t count = nodes == Nodes1 ? Nodes1Count : Nodes2Count;
        for (std::int32_t i = 0; i < count; ++i) {
            float* p = nodes[i].Vertex;
            if (p == nullptr)
                continue;
            TZevVector v;
            ZevVecTransform(v, TZevVector(p[0], p[1], p[2]), m);
            p[0] = v.x;
            p[1] = v.y;
            p[2] = v.z;
        }
    }
}

void TZevDeformableObj::SetNodeVertices(TZevDeformControlNode* nodes, TZevVertex* vertices, std::int32_t start,
                                        std::int32_t count)
{
    for (std::int32_t i = 0; i < count; ++i)
        nodes[start + i].Vertex = &vertices[i].x;
}

void TZevDeformableObj::BindControlNodes(TZevDeformControlNode* nodes, const TZevVertex* restVertices,
                                         std::int32_t start, std::int32_t count)
{
    constexpr int Slots = 8;
    for (std::int32_t i = 0; i < count; ++i) {
        TZevDeformControlNode& node = nodes[start + i];
        node.RestVertex = &restVertices[i].x;
        const TZevVector v(restVertices[i].x, restVertices[i].y, restVertices[i].z);

        float keys[Slots];
        TZevDeformBodyRecord* records[Slots];
        for (int s = 0; s < Slots; ++s) {
            keys[s] = 3.4e37f;
            records[s] = nullptr;
        }
        int c = 0;
        for (std::int32_t r = 0; r < RecordCount; ++r) {
            TZevDeformBodyRecord* b = &Records[r];
            TZevVector local;
            ZevVecTransform(local, v, b->BindInverse);
            const float key = (local.z * local.z + local.y * local.y + local.x * local.x) - b->Radius;
            if (key < b->InfluenceRadiusSq - b->Radius) {
                // Sorted insertion; an entry carried past the last slot is dropped, equal keys keep the older first.
                float carriedKey = key;
                TZevDeformBodyRecord* carried = b;
                for (int s = 0; s < Slots; ++s) {
                    if (carriedKey < keys[s]) {
                        const float k = keys[s];
                        TZevDeformBodyRecord* rec = records[s];
                        keys[s] = carriedKey;
                        records[s] = carried;
                        carriedKey = k;
                        carried = rec;
                    }
                }
                if (c < Slots)
                    ++c;
            } else if (key < keys[0]) {
                keys[0] = key;
                records[0] = b;
                if (c == 0)
                    c = 1;
            }
        }

        if (keys[0] < 0.0f || c < 2) {
            node.AllocWeights(1);
            node.Weights[0] = {records[0], 1.0f};
            continue;
        }
        float w[Slots] = {};
        const TZevVector p0 = records[0]->Body() != nullptr ? records[0]->Body()->GetPosition() : TZevVector();
        for (int k = 1; k < c; ++k) {
            const TZevVector pk = records[k]->Body() != nullptr ? records[k]->Body()->GetPosition() : TZevVector();
            TZevVector d = Minus(pk, p0);
            const float L = LengthZYX(d);
            const float gap = (L - records[0]->Radius) - records[k]->Radius;
            if (gap > 0.0f && d.Normalize() != 0) {
                const TZevVector e = Minus(v, p0);
                float t = (e.z * d.z + e.y * d.y + e.x * d.x) / gap;
                t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
                w[0] += 1.0f - t;
                w[k] += t;
            }
        }
        w[0] = w[0] / static_cast<float>(c);
        float sum = 0.0f;
        for (int k = 0; k < c; ++k)
            sum += w[k];
        if (!(sum > 0.0f) || !std::isfinite(sum)) {
            // No record pair gave a weight: the nearest record carries the vertex alone.
            node.AllocWeights(1);
            node.Weights[0] = {records[0], 1.0f};
            continue;
        }
        node.AllocWeights(c);
        for (int k = 0; k < c; ++k)
            node.Weights[k] = {records[k], w[k] / sum};
    }
}

// ---- Easy deformable object

TZevEasyDeformableObj::~TZevEasyDeformableObj()
{
    TZevEasyDeformableObj::Clear();
}

void TZevEasyDeformableObj::Forget(TZevPhscs2Obj* object)
{
    // Contact links standing on the object keep list nodes in it: they go first.
    while (!object->ContactLinks.IsEmpty()) {
        TZevListNode* first = object->ContactLinks.First();
        ZevItem<TZevContactLink>(first)->Release();
        if (object->ContactLinks.First() == first)
            TZevList::RemoveNode(first);
    }
    while (!object->Users.IsEmpty())
        UnlinkBodyAndRigidBody(ZevItem<TZevXPhObj>(object->Users.First()), object);
}

void TZevEasyDeformableObj::Clear()
{
    // The bodies that use the nodes get their leaves back on their rigid parts before the nodes go.
    TZevList users;
    auto note = [&users](TZevPhscs2Obj* object) {
        for (TZevXPhObj* user : ZevItems<TZevXPhObj>(object->Users)) {
            if (!Listed(users, user))
                users.Add(user);
        }
    };
    for (TZevPhscs2Obj* object : ZevItems<TZevPhscs2Obj>(LeafNodes))
        note(object);
    for (std::int32_t i = 0; i < Nodes1Count; ++i)
        note(&Nodes1[i]);
    for (std::int32_t i = 0; i < ParticleCount && Particles != nullptr; ++i)
        note(&Particles[i]);
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(users))
        RestoreLeaves(body);

    while (TZevDeformControlNode* node = ZevPopItem<TZevDeformControlNode>(LeafNodes)) {
        Forget(node);
        delete node;
    }
    for (std::int32_t i = 0; i < Nodes1Count; ++i)
        Forget(&Nodes1[i]);
    for (std::int32_t i = 0; i < Nodes2Count; ++i)
        Forget(&Nodes2[i]);
    if (RestMeshes != nullptr) {
        for (std::int32_t i = 0; i < MeshCount; ++i) {
            if (RestMeshes[i] != nullptr)
                RestMeshes[i]->Release();
            RestMeshes[i] = nullptr;
        }
        ZevFree(RestMeshes);
        RestMeshes = nullptr;
    }
    if (Meshes != nullptr) {
        ZevFree(Meshes);
        Meshes = nullptr;
    }
    MeshCount = 0;
    if (Particles != nullptr) {
        for (std::int32_t i = 0; i < ParticleCount; ++i)
            Forget(&Particles[i]);
        delete[] Particles; // each particle releases its links
        Particles = nullptr;
    }
    ParticleCount = 0;
    CollisionMeshes.Clear();
    VisualMeshes.Clear();
    N = 0;
    TZevDeformableObj::Clear();
}

bool TZevEasyDeformableObj::Build(TZevCollisionMeshObj* body, std::int32_t n)
{
    // Rigid links join neighbouring lattice points only, so 64 points per axis is far beyond any real use.
    if (body == nullptr || n < 2 || n > 64) {
        ZevDebugLog("TZevEasyDeformableObj::Build: a lattice needs a body and 2 to 64 points per axis\n");
        return false;
    }
    Clear();
    N = n;
    TZevList bodies; // the bodies with a collision mesh, in step with CollisionMeshes
    CollectBodyMeshes(body, bodies);
    PrepareMeshes();
    MakeLattice(body);
    BindMeshes();
    // The vertex nodes are dynamic states of the body.
    for (std::int32_t v = 0; v < Nodes1Count; ++v)
        LinkBodyAndRigidBody(body, &Nodes1[v]);
    // Control nodes of the leaves, block after block of Nodes1.
    std::int32_t start = 0;
    std::int32_t i = 0;
    for (TZevCollisionMeshObj* b : ZevItems<TZevCollisionMeshObj>(bodies)) {
        const std::int32_t count = MeshVertexCount(RestMeshes[i++]); // the count the nodes were made for
        if (count > 0 && b->primitiveRoot != nullptr)
            BuildNodes(b, start, b->primitiveRoot);
        start += count;
    }
    PlaceAtBody(body);
    return true;
}

void TZevEasyDeformableObj::CollectBodyMeshes(TZevCollisionMeshObj* body, TZevList& bodies)
{
    // Collision meshes in pre-order (each body before its children), visual meshes after their subtree.
    TZevList stack;
    stack.PushFront(body);
    while (TZevCollisionMeshObj* b = ZevPopItem<TZevCollisionMeshObj>(stack)) {
        b->RigidShape = 0;
        if (b->collisionMesh != nullptr) {
            CollisionMeshes.Add(b->collisionMesh);
            bodies.Add(b);
        }
        for (TZevOwnerListLink* c = b->Last(); c != b->End(); c = c->prev) {
            TZevCTree* tree = static_cast<TZevCTree*>(c);
            if (tree->IsMeshTree())
                stack.PushFront(static_cast<TZevCollisionMeshObj*>(tree));
        }
    }
    // Post-order is the reverse of the walk that takes the children from the last.
    TZevList reversed;
    stack.PushFront(body);
    while (TZevCollisionMeshObj* b = ZevPopItem<TZevCollisionMeshObj>(stack)) {
        reversed.PushFront(b);
        for (TZevOwnerListLink* c = b->First(); c != b->End(); c = c->next) {
            TZevCTree* tree = static_cast<TZevCTree*>(c);
            if (tree->IsMeshTree())
                stack.PushFront(static_cast<TZevCollisionMeshObj*>(tree));
        }
    }
    for (TZevCollisionMeshObj* b : ZevItems<TZevCollisionMeshObj>(reversed)) {
        if (b->visualMesh != nullptr && b->visualMesh != b->collisionMesh)
            VisualMeshes.Add(b->visualMesh);
    }
}

void TZevEasyDeformableObj::PrepareMeshes()
{
    MeshCount = CollisionMeshes.GetCount() + VisualMeshes.GetCount();
    const std::size_t bytes = sizeof(TZevPolygonMesh*) * static_cast<std::size_t>(MeshCount + 1);
    RestMeshes = static_cast<TZevPolygonMesh**>(ZevAllocObject(bytes));
    Meshes = static_cast<TZevPolygonMesh**>(ZevAllocObject(bytes));
    std::int32_t count1 = 0;
    std::int32_t count2 = 0;
    std::int32_t i = 0;
    for (TZevList* list : {&CollisionMeshes, &VisualMeshes}) {
        for (TZevPolygonMesh* mesh : ZevItems<TZevPolygonMesh>(*list)) {
            Meshes[i] = mesh;
            RestMeshes[i] = dynamic_cast<TZevPolygonMesh*>(mesh->Clone());
            (IsCollisionMesh(i) ? count1 : count2) += MeshVertexCount(RestMeshes[i]);
            ++i;
        }
    }
    AllocNodes1(count1);
    AllocNodes2(count2);
}

void TZevEasyDeformableObj::MakeLattice(TZevCollisionMeshObj* body)
{
    const std::int32_t n = N;
    // Lattice box over the rest copies.
    TZevVector lo(3.4e37f, 3.4e37f, 3.4e37f);
    TZevVector hi(-3.4e37f, -3.4e37f, -3.4e37f);
    for (std::int32_t i = 0; i < MeshCount; ++i) {
        if (MeshVertexCount(RestMeshes[i]) == 0)
            continue;
        RestMeshes[i]->UpdateBounds();
        const TZevBox& b = RestMeshes[i]->Bounds;
        lo = TZevVector(b.Min.x < lo.x ? b.Min.x : lo.x, b.Min.y < lo.y ? b.Min.y : lo.y,
                        b.Min.z < lo.z ? b.Min.z : lo.z);
        hi = TZevVector(b.Max.x > hi.x ? b.Max.x : hi.x, b.Max.y > hi.y ? b.Max.y : hi.y,
                        b.Max.z > hi.z ? b.Max.z : hi.z);
    }
    if (lo.x > hi.x) // no vertices at all: a lattice at the origin
        lo = hi = TZevVector();

    // Proxies and particles.
    const std::int32_t n3 = n * n * n;
    AllocProxies(n3);
    ParticleCount = n3;
    Particles = new TZevPhscs2Particle[n3];
    for (std::int32_t q = 0; q < n3; ++q)
        Proxies[q].Object = &Particles[q];

    // Cell size. A flat or empty mesh gets a minimum extent on its thin axes, centred on the mesh, so that every
    // cell has a size to divide by and every vertex lies inside the lattice.
    float size[3] = {(hi.x - lo.x) * BoxEnlargement, (hi.y - lo.y) * BoxEnlargement, (hi.z - lo.z) * BoxEnlargement};
    float* low[3] = {&lo.x, &lo.y, &lo.z};
    float largest = size[0] > size[1] ? size[0] : size[1];
    largest = largest > size[2] ? largest : size[2];
    const float minExtent = largest * 0.01f > 1.0e-3f ? largest * 0.01f : 1.0e-3f;
    for (int a = 0; a < 3; ++a) {
        if (!(size[a] >= minExtent)) {
            *low[a] = *low[a] - (minExtent - (size[a] > 0.0f ? size[a] : 0.0f)) * 0.5f;
            size[a] = minExtent;
        }
    }
    const float h = 1.0f / static_cast<float>(n - 1);
    const TZevVector cell(size[0] * h, size[1] * h, size[2] * h);
    LatticeMin = lo;
    Cell = cell;

    // Particles on the lattice points.
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t j = 0; j < n; ++j) {
            for (std::int32_t k = 0; k < n; ++k) {
                TZevPhscs2Particle& p = Particles[(i * n + j) * n + k];
                p.Position = TZevVector(lo.x + cell.x * static_cast<float>(i), lo.y + cell.y * static_cast<float>(j),
                                        lo.z + cell.z * static_cast<float>(k));
                p.PrevPosition = p.Position;
                p.Mass = ParticleMass;
                LinkBodyAndRigidBody(body, &p);
            }
        }
    }

    // Rigid links between every two points of each lattice block (partial blocks at the upper faces).
    const float spring = Particles[n3 - 1].Mass * 120.0f;
    const float damper = Particles[n3 - 1].Mass;
    TZevPhscs2World* world = ZevBodyWorld(body);
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t j = 0; j < n; ++j) {
            for (std::int32_t k = 0; k < n; ++k) {
                std::int32_t block[8];
                int count = 0;
                for (int di = 0; di < 2; ++di) {
                    for (int dj = 0; dj < 2; ++dj) {
                        for (int dk = 0; dk < 2; ++dk) {
                            if (i + di < n && j + dj < n && k + dk < n)
                                block[count++] = ((i + di) * n + (j + dj)) * n + (k + dk);
                        }
                    }
                }
                for (int a = 0; a < count; ++a) {
                    for (int b = a + 1; b < count; ++b) {
                        TZevPhscs2Particle* pa = &Particles[block[a]];
                        TZevPhscs2Particle* pb = &Particles[block[b]];
                        TZevRigidLink* link = CreateRigidLink(pa, pb, TZevVector(), TZevVector());
                        if (link == nullptr)
                            continue;
                        const float L = LengthZYX(Minus(pa->Position, pb->Position));
                        link->RestLength = L;
                        link->Tolerance = 0.25f * L;
                        link->Spring = spring;
                        link->Damper = damper;
                        link->StaticFriction = LinkFriction;
                        link->DynamicFriction = LinkFriction;
                        // A body already in a world: its new links join the world's length passes at once.
                        if (world != nullptr && world->RigidLinks != nullptr)
                            world->RigidLinks->Append(link);
                    }
                }
            }
        }
    }
}

void TZevEasyDeformableObj::BindMeshes()
{
    // To the body records, when there are any, block after block.
    for (std::int32_t r = 0; r < RecordCount; ++r) {
        if (Records[r].Body() != nullptr && !ZevMatInverse(Records[r].BindInverse, Records[r].Body()->Matrix))
            Records[r].BindInverse = TZevMatrix();
    }
    std::int32_t start1 = 0;
    std::int32_t start2 = 0;
    for (std::int32_t i = 0; i < MeshCount; ++i) {
        const std::int32_t restCount = MeshVertexCount(RestMeshes[i]);
        if (restCount == 0)
            continue;
        Meshes[i]->Changed = 1;
        const bool collision = IsCollisionMesh(i);
        TZevDeformControlNode* nodes = collision ? Nodes1 : Nodes2;
        std::int32_t& start = collision ? start1 : start2;
        BindControlNodes(nodes, MeshVertices(RestMeshes[i]), start, restCount);
        const std::int32_t liveCount = MeshVertexCount(Meshes[i]);
        SetNodeVertices(nodes, MeshVertices(Meshes[i]), start, liveCount < restCount ? liveCount : restCount);
        start += restCount;
    }

    // Then to the 8 particles of each vertex's lattice cell, with trilinear weights.
    const std::int32_t n = N;
    for (TZevDeformControlNode* nodes : {Nodes1, Nodes2}) {
        const std::int32_t count = nodes == Nodes1 ? Nodes1Count : Nodes2Count;
        for (std::int32_t v = 0; v < count; ++v) {
            TZevDeformControlNode& node = nodes[v];
            if (node.Vertex == nullptr)
                continue;
            const TZevVector p(node.Vertex[0], node.Vertex[1], node.Vertex[2]);
            const TZevVector e = Minus(p, LatticeMin);
            const std::int32_t ci = CellIndex(e.x / Cell.x, n);
            const std::int32_t cj = CellIndex(e.y / Cell.y, n);
            const std::int32_t ck = CellIndex(e.z / Cell.z, n);
            if (ci < 0 || cj < 0 || ck < 0)
                continue;
            node.AllocWeights(8);
            int slot = 0;
            for (int di = 0; di < 2; ++di) {
                for (int dj = 0; dj < 2; ++dj) {
                    for (int dk = 0; dk < 2; ++dk) {
                        const std::int32_t q = ((ci + di) * n + (cj + dj)) * n + (ck + dk);
                        const TZevVector f = Minus(p, Particles[q].Position);
                        float wx = 1.0f - std::fabs(f.x / Cell.x);
                        float wy = 1.0f - std::fabs(f.y / Cell.y);
                        float wz = 1.0f - std::fabs(f.z / Cell.z);
                        wx = wx > 0.0f ? wx : 0.0f;
                        wy = wy > 0.0f ? wy : 0.0f;
                        wz = wz > 0.0f ? wz : 0.0f;
                        node.Weights[slot++] = {&Proxies[q], wx * wz * wy};
                    }
                }
            }
        }
    }
}

void TZevEasyDeformableObj::PlaceAtBody(TZevCollisionMeshObj* body)
{
    // The meshes were bound in their own coordinates; the particles move to where the body stands, since the
    // character's step places a soft body by its particles (its own matrix becomes the identity).
    TZevMatrix place;
    ZevMatMultiply(place, body->matrix, body->GetParentWorldMatrix());
    const TZevMatrix identity;
    bool moved = false;
    for (int e = 0; e < 16; ++e)
        moved = moved || place.m[e] != identity.m[e];
    if (!moved)
        return;
    for (std::int32_t q = 0; q < ParticleCount; ++q) {
        TZevVector v;
        Particles[q].Position = ZevVecTransform(v, Particles[q].Position, place);
        Particles[q].PrevPosition = Particles[q].Position;
    }
}

void TZevEasyDeformableObj::BuildNodes(TZevCollisionMeshObj* body, std::int32_t start, TZevBoxNode* root)
{
    const TZevTypeInfo* face = ZevCollisionTypeInfo(ZevTypeFaceBoxVecT);
    const TZevTypeInfo* edge = ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT);
    const TZevTypeInfo* point = ZevCollisionTypeInfo(ZevTypePointBoxVecT);
    const TZevTypeInfo* inner = ZevCollisionTypeInfo(ZevTypeBBoxTree);
    TZevList stack;
    stack.PushFront(root);
    while (TZevBoxNode* node = ZevPopItem<TZevBoxNode>(stack)) {
        if (node->type == inner) {
            ZevPushChildren<TZevBoxNode>(stack, node);
            continue;
        }
        std::int32_t indices[3];
        int corners = 0;
        if (node->type == face) {
            const TZevFaceBoxVecT* f = static_cast<const TZevFaceBoxVecT*>(node);
            indices[0] = f->i0;
            indices[1] = f->i1;
            indices[2] = f->i2;
            corners = 3;
        } else if (node->type == edge) {
            const TZevEdgeBoxVecT* e = static_cast<const TZevEdgeBoxVecT*>(node);
            indices[0] = e->i0;
            indices[1] = e->i1;
            corners = 2;
        } else if (node->type == point) {
            const std::int32_t index = static_cast<const TZevPointBoxVecT*>(node)->i;
            if (index >= 0 && start + index < Nodes1Count)
                SetLeafObject(node, &Nodes1[start + index]);
            continue;
        } else {
            continue;
        }
        std::int32_t lo[3] = {0x7fffffff, 0x7fffffff, 0x7fffffff};
        std::int32_t hi[3] = {-1, -1, -1};
        bool valid = true;
        for (int c = 0; c < corners; ++c) {
            const std::int32_t index = indices[c];
            if (index < 0 || start + index >= Nodes1Count || Nodes1[start + index].Vertex == nullptr) {
                valid = false;
                break;
            }
            const float* p = Nodes1[start + index].Vertex;
            const std::int32_t cells[3] = {RawCell(p[0] - LatticeMin.x, Cell.x), RawCell(p[1] - LatticeMin.y, Cell.y),
                                           RawCell(p[2] - LatticeMin.z, Cell.z)};
            for (int a = 0; a < 3; ++a) {
                lo[a] = cells[a] < lo[a] ? cells[a] : lo[a];
                hi[a] = cells[a] > hi[a] ? cells[a] : hi[a];
            }
        }
        if (!valid)
            continue;
        for (int a = 0; a < 3; ++a) {
            lo[a] = lo[a] < 0 ? 0 : (lo[a] > N - 1 ? N - 1 : lo[a]);
            hi[a] = hi[a] >= N - 1 ? N - 1 : (hi[a] < 0 ? 0 : hi[a] + 1);
        }
        TZevDeformControlNode* control = new TZevDeformControlNode;
        LeafNodes.Add(control);
        control->AllocWeights((hi[0] - lo[0] + 1) * (hi[1] - lo[1] + 1) * (hi[2] - lo[2] + 1));
        int slot = 0;
        for (std::int32_t x = lo[0]; x <= hi[0]; ++x) {
            for (std::int32_t y = lo[1]; y <= hi[1]; ++y) {
                for (std::int32_t z = lo[2]; z <= hi[2]; ++z)
                    control->Weights[slot++] = {&Proxies[(x * N + y) * N + z], 1.0f};
            }
        }
        LinkBodyAndRigidBody(body, control);
        SetLeafObject(node, control);
    }
}

void TZevEasyDeformableObj::EndStep(float dt)
{
    TZevDeformableObj::EndStep(dt);
    for (TZevPolygonMesh* mesh : ZevItems<TZevPolygonMesh>(VisualMeshes))
        mesh->ComputeNormals();
}

void TZevEasyDeformableObj::ApplyForces(const TZevVector& torque, const TZevVector& force, float linearDamping,
                                        float gravity)
{
    if (ParticleCount <= 0 || Particles == nullptr)
        return;
    const float share = 1.0f / static_cast<float>(ParticleCount);
    // The torque becomes forces about the particles' centre: F_i = (T x r_i) / sum |r|^2 gives the torque T on a
    // rigid arrangement spread evenly round its centre.
    TZevVector centre;
    for (std::int32_t q = 0; q < ParticleCount; ++q) {
        centre.x += Particles[q].Position.x * share;
        centre.y += Particles[q].Position.y * share;
        centre.z += Particles[q].Position.z * share;
    }
    float spread = 0.0f;
    for (std::int32_t q = 0; q < ParticleCount; ++q) {
        const TZevVector r = Minus(Particles[q].Position, centre);
        spread += r.x * r.x + r.y * r.y + r.z * r.z;
    }
    const bool turn = spread > 0.0f && (torque.x != 0.0f || torque.y != 0.0f || torque.z != 0.0f);
    const float damping = -linearDamping * share;
    for (std::int32_t q = 0; q < ParticleCount; ++q) {
        TZevPhscs2Particle& p = Particles[q];
        TZevVector f(force.x * share + p.Velocity.x * damping, force.y * share + p.Velocity.y * damping,
                     force.z * share + p.Velocity.z * damping);
        if (turn) {
            TZevVector t;
            ZevVecCross(t, torque, Minus(p.Position, centre));
            f = TZevVector(f.x + t.x / spread, f.y + t.y / spread, f.z + t.z / spread);
        }
        f.y = f.y - gravity * p.Mass;
        p.AddForceAt(f, p.Position, 0.0f);
    }
}
