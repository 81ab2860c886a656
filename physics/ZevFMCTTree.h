// Collision tree of one mesh in world space, and the contact records that the narrow phase makes for it.
//
// A tree owns the face, edge and point leaves of its mesh under one primitive root, two arrays of the mesh's
// vertex positions in world space (this step's and the previous step's, swapped every step so that the leaf boxes
// cover the sweep) and the contact records found for it in the current collision pass. Trees nest: the children
// of a tree are further trees (the parts of a body); a tree's parent is always a tree too.
#pragma once

#include "ZevBBoxTree.h"
#include "ZevLineAligned.h"
#include "ZevList.h"
#include "ZevMatrix.h"
#include "ZevMeshData.h"
#include "ZevOwnerList.h"
#include "ZevVector.h"

#include <cstdint>

class TZevCollisionSpace;
class TZevFMCTTree;

// Inner tree with a rebuild level: 2 = both boxes of the swept pair are stale, 1 = one more refit due, 0 = up to
// date. The two roots of a collision space are of this class.
class TZevCTree : public TZevPooledBBoxTree {
public:
    TZevCTree();
    ~TZevCTree() override = default;

    // Refit: with a level above 0 the union of the child trees (each refitted first), and the level goes down.
    void UpdateBox() override;
    // Called by a mesh tree's AdvanceStep between the swap of its arrays and the new world matrix.
    virtual void StepHook(float step) { (void)step; }
    // Both forwarded to every child tree in ring order.
    virtual void UpdateWorldMatrix(float step);
    virtual void AdvanceStep(float step);

    // Level 2 on this tree, then on each parent in turn while its level is below 2.
    void SetRebuildFlag();
    // The enclosing tree, or null at the top.
    TZevCTree* ParentTree() const { return static_cast<TZevCTree*>(parent); }
    // Child trees: walk from FirstChildTree() along NextSiblingTree().
    TZevCTree* FirstChildTree() const { return static_cast<TZevCTree*>(FirstChild()); }
    TZevCTree* NextSiblingTree() const { return static_cast<TZevCTree*>(NextSibling()); }
    // Is this a mesh tree (TZevFMCTTree or a class built on it)? Decided by the box-node type record.
    bool IsMeshTree() const;

    std::int32_t level = 2;

protected:
    // Union of the child trees' boxes, each refitted first; the empty box without child.
    void RefitChildren();
};

// Pooled inner trees (the roots of a collision space): from the calling thread's TreePool or new.
TZevCTree* AllocCTree();

// One side of one contact: an item of its tree's `contacts` ring while the collision pass owns it. The object
// starts on a line, and what a contact's re-test and force law read of it (the tree, the leaf, the arrays, the
// normal, the parameters and the corners) fills its second line: a link reads one line of each record.
class TZevFMCTree_CFaceData : public TZevOwnerListLink, public TZevLineAligned {
public:
    using TZevLineAligned::operator new;
    using TZevLineAligned::operator delete;

    TZevFMCTree_CFaceData() = default;
    ~TZevFMCTree_CFaceData() override = default;

    std::int32_t released = 0;  // 0 while in use, 1 in the pool
    std::int32_t valid = 0;
    float time = 0.0f;           // 0 = previous positions, 1 = current; equal on both sides
    TZevFMCTree_CFaceData* other = nullptr; // the other side of the same contact
    // The second line: everything a contact link reads of its records.
    TZevFMCTTree* tree = nullptr;
    TZevBoxNode* node = nullptr; // face, edge or point leaf of this side; cleared on release
    TZevVector** currentArray = nullptr;  // the tree's array pointers, so they follow the swap of AdvanceStep
    TZevVector** previousArray = nullptr;
    TZevVector normal;           // face side: unit face normal; point side: its negation
    float u = 0.0f;              // face: weights of corners 1 and 2; edge: parameter in u, 0 in v; point: 0, 0
    float v = 0.0f;
    std::int32_t indices[3] = {}; // face (i0, i1, i2); edge (i0, i1, i0); point (i, i, i)
};

// A record from the calling thread's ContactRecordPool, or a new one; it comes out in use (released 0).
TZevFMCTree_CFaceData* NewContactRecord();
// Takes the record out of its ring and keeps it in the calling thread's pool. A record already released is
// only reported in the debug log: it is in a pool already and must not be handed out twice.
void ReleaseContactRecord(TZevFMCTree_CFaceData* record);

// Program-wide counter of tree serial numbers (0 at start, + 1 per tree constructed).
extern std::int32_t TreeSerialCounter;

class TZevFMCTTree : public TZevCTree {
public:
    TZevFMCTTree();
    // Releases the contact records, gives the space node back, deletes the leaves and both vertex arrays; the
    // child trees go with the base destructor.
    ~TZevFMCTTree() override;

    // Refit: child trees and every leaf's swept box, while the level is above 0.
    void UpdateBox() override;
    void Refit() { UpdateBox(); }
    // World matrix from the local matrix and the enclosing tree's; the mesh's vertices into currentVertices.
    void UpdateWorldMatrix(float step) override;
    // The previous step takes the current one: matrices, swapped vertex arrays; then StepHook and
    // UpdateWorldMatrix.
    void AdvanceStep(float step) override;
    // Sets the mesh and rebuilds everything. A mesh that cannot be indexed by 16 bits (more than 65,536
    // vertices) or whose faces name vertices it does not have is refused: the tree is built without geometry,
    // the refusal is logged, and the result is false.
    virtual bool ClearNodes(TZevMeshData* newMesh);
    virtual TZevMeshData* GetMesh() const { return mesh; }
    // Primitive root with one point leaf per vertex, one face leaf per fan triangle and one edge leaf per
    // unordered vertex pair, grouped by the octree split; then the adjacency of the leaves.
    virtual void Build();
    virtual TZevFaceBoxVecT* NewFaceBox();
    virtual TZevEdgeBoxVecT* NewEdgeBox();
    virtual TZevPointBoxVecT* NewPointBox();
    virtual void StepCallback() {}
    virtual void SetMatrix(const TZevMatrix& m);
    virtual TZevMatrix GetPreviousMatrix() const { return previousMatrix; }
    virtual TZevMatrix GetMatrix() const { return matrix; }
    // Marks this tree for rebuild (level 2) and its parents.
    virtual void Invalidate();
    // Tests every child of `node` against the other side (collision space dispatch); 1 when any met.
    virtual int CollideChildren(TZevCollisionSpace* space, TZevBoxNode* node, void* extra, TZevFMCTTree* otherTree,
                                TZevBoxNode* otherNode, void* otherExtra);
    // Takes the tree out of the space's trees with contacts and parks it in the space. Not the ring unlink of
    // the base classes: that one stays reachable as TZevCollisionNode::Detach.
    virtual void Unlink();

    // The world matrix of the nearest enclosing mesh tree; the identity when there is none.
    TZevMatrix GetParentWorldMatrix() const;
    // Releases every contact record of this tree (and the partner record of each contact, so that no record of
    // another tree names one in the pool) and takes the tree's side A records out of the space's list.
    void ReleaseContacts();
    // Number of vertices in the two arrays (the mesh's count when it was built).
    std::int32_t GetVertexCount() const { return vertexCount; }
    // The current array becomes the previous one and the other way round.
    void SwapVertexArrays();

    TZevMatrix previousMatrix;
    TZevMatrix worldMatrix;
    TZevMatrix matrix;
    TZevMeshData* mesh = nullptr;       // not owned
    const TZevTypeInfo* objectType;     // record of the most-derived class
    TZevCollisionSpace* space = nullptr;
    TZevVector* currentVertices = nullptr;
    TZevVector* previousVertices = nullptr;
    // The versions lie beside the array pointers: a contact's re-test reads both for each side.
    // Changes whenever a value in the vertex arrays changes (or the arrays swap): what was computed from the
    // vertices at one version holds as long as the version stays.
    std::uint32_t vertexVersion = 0;
    // Changes whenever the positions kept by the body-attached boxes, or the leaves of the tree, may have changed.
    std::uint32_t boxVersion = 0;
    TZevList faces;                     // the face leaves in build order
    TZevOwnerList* contacts;            // items: this tree's contact records
    TZevListNode* spaceNode = nullptr;  // node in the space's trees with contacts
    std::int32_t serial;
    std::int32_t group;                 // trees of equal group are never tested against each other
    std::int32_t transformVertices = 1; // 0: UpdateWorldMatrix leaves the vertex arrays alone
    TZevPooledBBoxTree* primitiveRoot = nullptr;
    // The step round and the two versions of the last refit of the leaves under primitiveRoot, and of the last
    // contact estimates of the body.
    std::uint32_t refitRound = 0;
    std::uint32_t refitVertexVersion = 0;
    std::uint32_t refitBoxVersion = 0;
    std::uint32_t estimateRound = 0;
    std::uint32_t estimateVertexVersion = 0;
    std::uint32_t estimateBoxVersion = 0;
    // The contact pass that last grouped this tree's records, and the tree's group in it.
    std::uint32_t contactGroupRound = 0;
    std::int32_t contactGroup = 0;

private:
    void FreeVertexArrays();
    void LinkAdjacency();
    std::int32_t vertexCount = 0;
};

// One side of a contact as the narrow phase found it.
struct TZevContactSide {
    TZevFMCTTree* tree = nullptr;
    TZevBoxNode* node = nullptr;
    TZevVector** current = nullptr;
    TZevVector** previous = nullptr;
    std::int32_t i0 = 0;
    std::int32_t i1 = 0;
    std::int32_t i2 = 0;
    float u = 0.0f;
    float v = 0.0f;
};

// Makes one contact from two records: side A gets `normal`, side B its negation; A goes to the space's list of
// records, both to their trees' contacts, and each tree joins the space's trees with contacts once.
void ZevAddContactPair(TZevCollisionSpace* space, const TZevContactSide& a, const TZevContactSide& b,
                       const TZevVector& normal, float time);

// Start-up of the tree and contact-record pools; later calls do nothing.
void ZevFMCTTreeInit();
// Number of records waiting in the calling thread's ContactRecordPool.
int ZevContactRecordPoolSize();
