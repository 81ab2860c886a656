#include "ZevFMCTTree.h"

#include "ZevCollisionSpace.h"
#include "ZevListView.h"
#include "ZevPoolDrain.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

std::int32_t TreeSerialCounter = 0;

namespace {

TZevPoolHeads* TreePool = nullptr;
TZevPoolHeads* ContactRecordPool = nullptr;

void DrainTreePools()
{
    ZevDrainPool<TZevFMCTree_CFaceData>(ContactRecordPool);
    ZevDrainPool<TZevCTree>(TreePool);
}

// Leaves are made with the counting allocator directly, on a cache line, so that a failed allocation gives null
// rather than an exception.
template <class T> T* NewLeaf()
{
    void* memory = TZevLineAligned::AllocateAligned(sizeof(T));
    if (memory == nullptr)
        return nullptr;
    return new (memory) T;
}

TZevVector* AllocVertexArray(std::int32_t count)
{
    if (count <= 0)
        return nullptr;
    void* memory = ZevAlloc(sizeof(TZevVector) * static_cast<std::size_t>(count));
    if (memory == nullptr)
        return nullptr;
    TZevVector* array = static_cast<TZevVector*>(memory);
    for (std::int32_t i = 0; i < count; ++i)
        new (&array[i]) TZevVector();
    return array;
}

// Why a mesh cannot be built into a tree; null when it can.
const char* MeshRefusal(const TZevMeshData* mesh)
{
    if (mesh->VertexCount < 0 || mesh->FaceCount < 0)
        return "negative count";
    if (mesh->VertexCount > ZevMaxMeshVertices)
        return "more than 65536 vertices";
    if (mesh->VertexCount > 0 && (mesh->VertexArray == nullptr || mesh->VertexCount > mesh->VertexCapacity))
        return "vertex count beyond the vertex array";
    if (mesh->FaceCount > 0 && (mesh->Faces == nullptr || mesh->FaceCount > mesh->FaceCapacity))
        return "face count beyond the face array";
    for (std::int32_t f = 0; f < mesh->FaceCount; ++f) {
        const TZevMeshFace& face = mesh->Faces[f];
        if (face.Count > 0 && face.Indices == nullptr)
            return "face without indices";
        for (std::uint32_t k = 0; k < face.Count; ++k) {
            if (face.Indices[k] >= mesh->VertexCount)
                return "face index beyond the vertices";
        }
    }
    return nullptr;
}

} // namespace

void ZevFMCTTreeInit()
{
    if (TreePool != nullptr)
        return;
    ZevBBoxTreeInit();
    GetListNodePools();
    TreePool = new TZevPoolHeads(ZevDeletePooled<TZevCTree>);
    ContactRecordPool = new TZevPoolHeads(ZevDeletePooled<TZevFMCTree_CFaceData>);
    std::atexit(DrainTreePools);
}

// ---------------------------------------------------------------------------------------------------------------
// Inner trees

TZevCTree::TZevCTree()
{
    ZevSetEmptyBox(box);
}

bool TZevCTree::IsMeshTree() const
{
    return type == ZevCollisionTypeInfo(ZevTypeFMCTTree);
}

void TZevCTree::SetRebuildFlag()
{
    level = 2;
    for (TZevCTree* p = ParentTree(); p != nullptr && p->level < 2; p = p->ParentTree())
        p->level = 2;
}

void TZevCTree::RefitChildren()
{
    ZevSetEmptyBox(box);
    for (TZevCTree* child = FirstChildTree(); child != nullptr; child = child->NextSiblingTree()) {
        child->UpdateBox();
        ZevWidenBox(box, child->box);
    }
}

void TZevCTree::UpdateBox()
{
    if (FirstChild() == nullptr) {
        ZevSetEmptyBox(box);
        return;
    }
    if (level > 0) {
        RefitChildren();
        level -= 1;
    }
}

void TZevCTree::UpdateWorldMatrix(float step)
{
    for (TZevCTree* child = FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
        child->UpdateWorldMatrix(step);
}

void TZevCTree::AdvanceStep(float step)
{
    for (TZevCTree* child = FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
        child->AdvanceStep(step);
}

TZevCTree* AllocCTree()
{
    ZevFMCTTreeInit();
    if (void* item = TreePool->Take()) {
        TZevCTree* tree = static_cast<TZevCTree*>(item);
        tree->level = 2;
        ZevSetEmptyBox(tree->box);
        return tree;
    }
    return new TZevCTree;
}

// ---------------------------------------------------------------------------------------------------------------
// Contact records

TZevFMCTree_CFaceData* NewContactRecord()
{
    ZevFMCTTreeInit();
    TZevFMCTree_CFaceData* record = static_cast<TZevFMCTree_CFaceData*>(ContactRecordPool->Take());
    if (record == nullptr)
        record = new TZevFMCTree_CFaceData;
    record->released = 0;
    return record;
}

void ReleaseContactRecord(TZevFMCTree_CFaceData* record)
{
    if (record == nullptr)
        return;
    if (record->released == 1) {
        ZevDebugLog("TZevFMCTree_CFaceDataの2重開放\n");
        return;
    }
    ZevFMCTTreeInit();
    record->released = 1;
    record->node = nullptr;
    record->Unlink();
    if (!ContactRecordPool->Give(record))
        delete record;
}

void ZevAddContactPair(TZevCollisionSpace* space, const TZevContactSide& a, const TZevContactSide& b,
                       const TZevVector& normal, float time)
{
    TZevFMCTree_CFaceData* records[2];
    const TZevContactSide* sides[2] = {&a, &b};
    for (int k = 0; k < 2; ++k) {
        const TZevContactSide& side = *sides[k];
        TZevFMCTree_CFaceData* r = NewContactRecord();
        r->tree = side.tree;
        r->node = side.node;
        if (k == 0)
            r->normal = normal;
        else
            r->normal = TZevVector(normal.x * -1.0f, normal.y * -1.0f, normal.z * -1.0f);
        r->u = side.u;
        r->v = side.v;
        r->time = time;
        r->currentArray = side.current;
        r->previousArray = side.previous;
        r->indices[0] = side.i0;
        r->indices[1] = side.i1;
        r->indices[2] = side.i2;
        r->valid = 1;
        side.tree->contacts->Append(r);
        if (k == 0)
            space->contactRecords.Add(r);
        records[k] = r;
    }
    records[0]->other = records[1];
    records[1]->other = records[0];
    records[0]->released = 0;
    records[1]->released = 0;
    for (TZevFMCTTree* tree : {a.tree, b.tree}) {
        if (tree->spaceNode == nullptr)
            tree->spaceNode = space->contactTrees.Add(tree);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Mesh trees

TZevFMCTTree::TZevFMCTTree()
    : objectType(ZevCollisionTypeInfo(ZevTypeFMCTTree)), contacts(new TZevOwnerList),
      serial(TreeSerialCounter++), group(serial)
{
    ZevFMCTTreeInit();
    type = ZevCollisionTypeInfo(ZevTypeFMCTTree);
    SetRebuildFlag();
}

TZevFMCTTree::~TZevFMCTTree()
{
    ReleaseContacts();
    delete contacts;
    contacts = nullptr;
    if (spaceNode != nullptr) {
        TZevList::RemoveNode(spaceNode);
        spaceNode = nullptr;
    }
    ReleaseBoxTree(primitiveRoot);
    primitiveRoot = nullptr;
    FreeVertexArrays();
    faces.Clear();
}

void TZevFMCTTree::FreeVertexArrays()
{
    ZevFree(currentVertices);
    ZevFree(previousVertices);
    currentVertices = nullptr;
    previousVertices = nullptr;
    vertexCount = 0;
}

void TZevFMCTTree::ReleaseContacts()
{
    while (!contacts->IsEmpty()) {
        TZevFMCTree_CFaceData* record = static_cast<TZevFMCTree_CFaceData*>(contacts->First());
        TZevFMCTree_CFaceData* partner = record->other;
        if (space != nullptr) {
            // Only side A stands in the space's list; a released record must not stay there.
            if (!space->contactRecords.Remove(record) && partner != nullptr && partner->released == 0)
                space->contactRecords.Remove(partner);
        }
        if (partner != nullptr && partner->released == 0 && partner->other == record)
            ReleaseContactRecord(partner);
        const bool releasedBefore = record->released != 0;
        ReleaseContactRecord(record);
        if (releasedBefore)
            record->Unlink();
    }
}

TZevMatrix TZevFMCTTree::GetParentWorldMatrix() const
{
    for (TZevCTree* p = ParentTree(); p != nullptr; p = p->ParentTree()) {
        if (p->IsMeshTree())
            return static_cast<TZevFMCTTree*>(p)->worldMatrix;
    }
    return TZevMatrix();
}

void TZevFMCTTree::Invalidate()
{
    level = 2;
    TZevCTree* p = ParentTree();
    if (p != nullptr && p->level < 2)
        p->SetRebuildFlag();
}

void TZevFMCTTree::SetMatrix(const TZevMatrix& m)
{
    Invalidate();
    matrix = m;
}

void TZevFMCTTree::UpdateWorldMatrix(float step)
{
    (void)step;
    if (level == 0)
        return;
    const TZevMatrix parentWorld = GetParentWorldMatrix();
    ZevMatMultiply(worldMatrix, matrix, parentWorld);
    if (mesh == nullptr || transformVertices == 0 || currentVertices == nullptr)
        return;
    // The arrays were sized when the tree was built; a mesh that shrank since is read only as far as it goes.
    std::int32_t count = mesh->VertexCount < vertexCount ? mesh->VertexCount : vertexCount;
    const TZevVertex* source = mesh->Vertices();
    if (source == nullptr)
        return;
    const float* m = worldMatrix.m;
    bool changed = false;
    for (std::int32_t i = 0; i < count; ++i) {
        const float x = source[i].x;
        const float y = source[i].y;
        const float z = source[i].z;
        const TZevVector p(x * m[0] + y * m[4] + z * m[8] + m[12], x * m[1] + y * m[5] + z * m[9] + m[13],
                           x * m[2] + y * m[6] + z * m[10] + m[14]);
        if (std::memcmp(&p, &currentVertices[i], sizeof p) != 0) {
            currentVertices[i] = p;
            changed = true;
        }
    }
    if (changed)
        ++vertexVersion;
}

void TZevFMCTTree::SwapVertexArrays()
{
    TZevVector* swap = currentVertices;
    currentVertices = previousVertices;
    previousVertices = swap;
    ++vertexVersion;
}

void TZevFMCTTree::AdvanceStep(float step)
{
    previousMatrix = matrix;
    SwapVertexArrays();
    StepHook(step);
    UpdateWorldMatrix(step);
}

void TZevFMCTTree::UpdateBox()
{
    if (FirstChild() == nullptr && mesh == nullptr) {
        ZevSetEmptyBox(box);
        return;
    }
    if (level <= 0)
        return;
    RefitChildren();
    level -= 1;
    if (primitiveRoot != nullptr) {
        // The leaf boxes follow from the vertex arrays and the body-attached boxes' positions alone: within a
        // step, while neither changed, they are what the last refit made them.
        const bool kept = space != nullptr && space->stepRound != 0 && refitRound == space->stepRound &&
                          refitVertexVersion == vertexVersion && refitBoxVersion == boxVersion;
        if (!kept) {
            primitiveRoot->UpdateBox();
            refitRound = space != nullptr ? space->stepRound : 0;
            refitVertexVersion = vertexVersion;
            refitBoxVersion = boxVersion;
        }
        ZevWidenBox(box, primitiveRoot->box);
    }
}

bool TZevFMCTTree::ClearNodes(TZevMeshData* newMesh)
{
    bool accepted = true;
    if (newMesh != nullptr) {
        if (const char* why = MeshRefusal(newMesh)) {
            char line[160];
            std::snprintf(line, sizeof line, "TZevFMCTTree::ClearNodes: mesh refused (%s, %d vertices)\n", why,
                          static_cast<int>(newMesh->VertexCount));
            ZevDebugLog(line);
            newMesh = nullptr;
            accepted = false;
        }
    }
    mesh = newMesh;
    ReleaseContacts();
    delete contacts;
    contacts = new TZevOwnerList;
    FreeVertexArrays();
    if (mesh != nullptr && mesh->VertexCount > 0) {
        currentVertices = AllocVertexArray(mesh->VertexCount);
        previousVertices = AllocVertexArray(mesh->VertexCount);
        if (currentVertices == nullptr || previousVertices == nullptr) {
            ZevDebugLog("TZevFMCTTree::ClearNodes: no memory for the vertex arrays\n");
            FreeVertexArrays();
            mesh = nullptr;
            accepted = false;
        } else {
            vertexCount = mesh->VertexCount;
        }
    }
    ReleaseBoxTree(primitiveRoot);
    primitiveRoot = nullptr;
    faces.Clear();
    // The octree is split at the centres of the leaf boxes, so the arrays must hold the mesh's positions before
    // the build: over unset positions every centre would tie and the split would be a coin toss.
    level = 2;
    UpdateWorldMatrix(0.0f);
    for (std::int32_t i = 0; i < vertexCount; ++i)
        previousVertices[i] = currentVertices[i];
    ++vertexVersion;
    ++boxVersion;
    Build();
    level = 2;
    if (TZevCTree* p = ParentTree(); p != nullptr)
        p->SetRebuildFlag();
    for (int k = 0; k < 2; ++k) {
        previousMatrix = matrix;
        SwapVertexArrays();
        StepHook(0.0f);
        UpdateWorldMatrix(0.0f);
    }
    UpdateBox();
    UpdateBox();
    return accepted;
}

TZevFaceBoxVecT* TZevFMCTTree::NewFaceBox()
{
    return NewLeaf<TZevFaceBoxVecT>();
}

TZevEdgeBoxVecT* TZevFMCTTree::NewEdgeBox()
{
    return NewLeaf<TZevEdgeBoxVecT>();
}

TZevPointBoxVecT* TZevFMCTTree::NewPointBox()
{
    return NewLeaf<TZevPointBoxVecT>();
}

void TZevFMCTTree::Build()
{
    primitiveRoot = AllocBoxNode();
    if (mesh == nullptr || vertexCount == 0) {
        primitiveRoot->UpdateBox();
        return;
    }

    for (std::int32_t i = 0; i < vertexCount; ++i) {
        TZevPointBoxVecT* point = NewPointBox();
        if (point == nullptr)
            continue;
        point->SetPoint(&currentVertices, &previousVertices, static_cast<std::uint16_t>(i));
        primitiveRoot->AppendChild(point);
    }

    // One list per vertex of (other end + 1): an edge exists once per unordered vertex pair.
    TZevList* known = new TZevList[static_cast<std::size_t>(vertexCount)];
    auto edgeKnown = [known](int a, int b) {
        void* mark = reinterpret_cast<void*>(static_cast<std::intptr_t>(b + 1));
        for (void* item : known[a]) {
            if (item == mark)
                return true;
        }
        return false;
    };
    for (std::int32_t f = 0; f < mesh->FaceCount; ++f) {
        const TZevMeshFace& face = mesh->Faces[f];
        if (face.Count < 3)
            continue;
        const std::uint16_t* c = face.Indices;
        for (std::uint32_t j = 0; j + 2 < face.Count; ++j) {
            const std::uint16_t corner[3] = {c[0], c[j + 1], c[j + 2]};
            TZevFaceBoxVecT* leaf = NewFaceBox();
            if (leaf != nullptr) {
                leaf->SetFace(&currentVertices, &previousVertices, corner[0], corner[1], corner[2]);
                primitiveRoot->AppendChild(leaf);
                faces.Add(leaf);
            }
            for (int k = 0; k < 3; ++k) {
                const int a = corner[k];
                const int b = corner[(k + 1) % 3];
                if (edgeKnown(a, b))
                    continue;
                TZevEdgeBoxVecT* edge = NewEdgeBox();
                if (edge == nullptr)
                    continue;
                edge->SetEdge(&currentVertices, &previousVertices, static_cast<std::uint16_t>(a),
                              static_cast<std::uint16_t>(b));
                primitiveRoot->AppendChild(edge);
                known[a].Add(reinterpret_cast<void*>(static_cast<std::intptr_t>(b + 1)));
                known[b].Add(reinterpret_cast<void*>(static_cast<std::intptr_t>(a + 1)));
            }
        }
    }
    delete[] known;

    // The coin of the split starts afresh for every tree: a tree's shape then follows from its mesh alone, not
    // from the trees the program happened to build before, and a scene run again in the same process (after
    // another scene, or after the physics-only run was ended and started again) repeats bit for bit.
    OctreeTieWord = 0;
    SplitOctree(primitiveRoot, AllocBoxNode, ReleaseBoxNode, -1);
    LinkAdjacency();
}

void TZevFMCTTree::LinkAdjacency()
{
    const TZevTypeInfo* faceType = ZevCollisionTypeInfo(ZevTypeFaceBoxVecT);
    const TZevTypeInfo* edgeType = ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT);
    const TZevTypeInfo* pointType = ZevCollisionTypeInfo(ZevTypePointBoxVecT);

    const std::size_t n = static_cast<std::size_t>(vertexCount);
    TZevList* edgesOf = new TZevList[n];
    TZevList* facesOf = new TZevList[n];
    TZevPointBoxVecT** pointOf = static_cast<TZevPointBoxVecT**>(ZevAlloc(sizeof(TZevPointBoxVecT*) * n));
    if (pointOf == nullptr) {
        ZevDebugLog("TZevFMCTTree::Build: no memory for the adjacency\n");
        delete[] edgesOf;
        delete[] facesOf;
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        pointOf[i] = nullptr;

    // Pre-order walk of the leaves, with an explicit stack: the octree may be deep.
    TZevList stack;
    stack.PushFront(primitiveRoot);
    while (TZevBoxNode* node = ZevPopItem<TZevBoxNode>(stack)) {
        if (node->type == faceType) {
            TZevFaceBoxVecT* face = static_cast<TZevFaceBoxVecT*>(node);
            const std::int32_t corners[3] = {face->i0, face->i1, face->i2};
            for (int k = 0; k < 3; ++k) {
                // A corner named twice lists the face once.
                if ((k == 1 && corners[1] == corners[0]) || (k == 2 && (corners[2] == corners[0] || corners[2] == corners[1])))
                    continue;
                facesOf[corners[k]].Add(face);
            }
        } else if (node->type == edgeType) {
            TZevEdgeBoxVecT* edge = static_cast<TZevEdgeBoxVecT*>(node);
            edgesOf[edge->i0].Add(edge);
            if (edge->i1 != edge->i0)
                edgesOf[edge->i1].Add(edge);
        } else if (node->type == pointType) {
            TZevPointBoxVecT* point = static_cast<TZevPointBoxVecT*>(node);
            pointOf[point->i] = point;
        } else {
            // Children pushed last first, so that they come off the stack in ring order.
            ZevPushChildren<TZevBoxNode>(stack, node);
        }
    }

    for (std::size_t v = 0; v < n; ++v) {
        TZevPointBoxVecT* point = pointOf[v];
        if (point == nullptr)
            continue;
        const std::int32_t vi = static_cast<std::int32_t>(v);
        for (TZevEdgeBoxVecT* edge : ZevItems<TZevEdgeBoxVecT>(edgesOf[v])) {
            point->edges.Add(edge);
            if (vi == edge->i0)
                edge->point0 = point;
            else
                edge->point1 = point;
            for (TZevFaceBoxVecT* face : ZevItems<TZevFaceBoxVecT>(facesOf[v])) {
                const std::int32_t corners[3] = {face->i0, face->i1, face->i2};
                for (int k = 0; k < 3; ++k) {
                    const std::int32_t a = corners[k];
                    const std::int32_t b = corners[(k + 1) % 3];
                    if (a == edge->i0 && b == edge->i1) {
                        face->edges[k] = edge;
                        edge->face0 = face;
                    } else if (a == edge->i1 && b == edge->i0) {
                        face->edges[k] = edge;
                        edge->face1 = face;
                    }
                }
            }
        }
        for (TZevFaceBoxVecT* face : ZevItems<TZevFaceBoxVecT>(facesOf[v])) {
            if (face->i0 == vi) face->points[0] = point;
            if (face->i1 == vi) face->points[1] = point;
            if (face->i2 == vi) face->points[2] = point;
        }
    }

    ZevFree(pointOf);
    delete[] edgesOf;
    delete[] facesOf;
}

int TZevFMCTTree::CollideChildren(TZevCollisionSpace* space, TZevBoxNode* node, void* extra,
                                  TZevFMCTTree* otherTree, TZevBoxNode* otherNode, void* otherExtra)
{
    // The ring is walked with its end read once: a child's parent is this node, and NextSibling would read it
    // and its sentinel again for every child.
    int result = 0;
    const TZevOwnerListLink* end = node->End();
    for (TZevOwnerListLink* link = node->First(); link != end; link = link->next) {
        if (ZevCollideNodes(space, this, static_cast<TZevBoxNode*>(link), extra, otherTree, otherNode, otherExtra) != 0)
            result = 1;
    }
    return result;
}

void TZevFMCTTree::Unlink()
{
    if (spaceNode != nullptr) {
        TZevList::RemoveNode(spaceNode);
        spaceNode = nullptr;
    }
    if (space == nullptr)
        return;
    // The tree it leaves must refit without it.
    if (TZevCTree* old = ParentTree(); old != nullptr && old != space->parkedRoot)
        old->SetRebuildFlag();
    space->parkedRoot->AppendChild(this);
}

int ZevContactRecordPoolSize()
{
    ZevFMCTTreeInit();
    const int slot = GetThreadPoolIndex();
    return slot < 0 ? 0 : ContactRecordPool->Heads[slot].GetCount();
}
