// Hierarchy of axis-aligned boxes over a mesh: one leaf per triangle, one per mesh edge and one per vertex,
// grouped by an octree of inner nodes. Every leaf's box covers its primitive at the previous and the current step,
// so a box test finds everything that may touch during the step.
#pragma once

#include "ZevBox.h"
#include "ZevLineAligned.h"
#include "ZevList.h"
#include "ZevOwnerList.h"
#include "ZevTypeInfo.h"
#include "ZevVector.h"

#include <cstdint>

class TZevPhscs2Obj;
class TZevEdgeBoxVecT;
class TZevPointBoxVecT;

// Root of all collision nodes: an owning list whose items are its children; deleting a node deletes its children.
// The ring itself does not know its owner, so the node keeps its parent.
class TZevCollisionNode : public TZevOwnerList {
public:
    ~TZevCollisionNode() override = default;

    // Takes the child out of any ring and appends it at the end of this node's children.
    void AppendChild(TZevCollisionNode* child)
    {
        Append(child);
        child->parent = this;
    }
    // Takes this node out of its parent's children (owner 0, linked to itself).
    void Detach()
    {
        Unlink();
        parent = nullptr;
    }
    TZevCollisionNode* Parent() const { return parent; }

protected:
    TZevCollisionNode* parent = nullptr;
};

// The box a collision node keeps: its minimum and maximum corner only (the short form of TZevBox), so that the
// walks over many nodes read little memory. Closed intervals on every axis: touching boxes overlap.
struct TZevNodeBox {
    TZevVector Min;
    TZevVector Max;

    bool Overlaps(const TZevNodeBox& other) const
    {
        if (Min.x > other.Max.x || other.Min.x > Max.x)
            return false;
        if (Min.y > other.Max.y || other.Min.y > Max.y)
            return false;
        if (Min.z > other.Max.z || other.Min.z > Max.z)
            return false;
        return true;
    }
};

class TZevBoxNode : public TZevCollisionNode {
public:
    explicit TZevBoxNode(const TZevTypeInfo* typeInfo) : type(typeInfo) {}
    ~TZevBoxNode() override = default;
    // Recomputes box: the union of the children for an inner node, the swept primitive for a leaf.
    virtual void UpdateBox() = 0;

    // Children are box nodes; walk from FirstChild() along NextSibling() until null.
    TZevBoxNode* FirstChild() const { return IsEmpty() ? nullptr : static_cast<TZevBoxNode*>(First()); }
    TZevBoxNode* NextSibling() const
    {
        return (parent == nullptr || next == parent->End()) ? nullptr : static_cast<TZevBoxNode*>(next);
    }

    // What the narrow phase's walk reads of a node (the ring links above, the counts, the box, the kind) and what
    // the refit and the primitive tests read of a leaf lie in its first 128 bytes, the box, the kind and the
    // primitive together in the second line: a visit touches two cache lines of a leaf or of a pooled inner node
    // (both start on a line).
    std::int32_t contactCount = 0; // contact links whose record stands on this primitive
    std::int32_t bodyAttached = 0; // 1 in the boxes that keep their own vertex positions
    std::int32_t linkCount = 0;    // attached collision links; the narrow phase skips the node while not 0
    std::int32_t layer = 0;        // only primitives of equal layers are tested against each other
    TZevNodeBox box;
    const TZevTypeInfo* type;
    // A leaf's primitive (unused in inner nodes): `current` and `previous` are its tree's two vertex-array
    // pointers, so that the leaf follows the swap of the arrays every step; a face's corners are i0, i1, i2, an
    // edge's ends i0, i1, a point's vertex i.
    TZevVector** current = nullptr;
    TZevVector** previous = nullptr;
    std::int32_t i0 = 0;
    std::int32_t i1 = 0;
    std::int32_t i2 = 0;
    std::int32_t i = 0;
    TZevList partners;     // trees found touching this one in the current step (on tree roots)
    TZevList reservedList; // not used by the collision code
    TZevList links;        // collision links attached to this node
    TZevList contactLinks;         // contact links standing on this primitive
    TZevPhscs2Obj* object = nullptr; // dynamic object of a leaf, once assigned
};

// Is the node of the class whose record is `type`? False for null.
inline bool ZevIsNodeType(const TZevBoxNode* node, EZevCollisionType type)
{
    return node != nullptr && node->type == ZevCollisionTypeInfo(type);
}

// The corners of an empty box: its minimum lies above its maximum, so it overlaps nothing.
inline constexpr float ZevEmptyBoxMin = 3.4e37f;
inline constexpr float ZevEmptyBoxMax = -3.4e37f;
// Padding of every leaf box.
inline constexpr float ZevLeafBoxPadding = 0.0001f;

void ZevSetEmptyBox(TZevNodeBox& box);
// Grows box to hold other: each side moves only outwards, so an empty box adds nothing.
void ZevWidenBox(TZevNodeBox& box, const TZevNodeBox& other);

// Inner node: its box is the union of its children's boxes.
class TZevBBoxTree : public TZevBoxNode {
public:
    TZevBBoxTree() : TZevBoxNode(ZevCollisionTypeInfo(ZevTypeBBoxTree)) {}
    ~TZevBBoxTree() override = default;
    // Refits every child first; with no child the box is empty.
    void UpdateBox() override;
};

// Inner node recycled through the per-thread BoxNodePool.
class TZevPooledBBoxTree : public TZevBBoxTree {
public:
    ~TZevPooledBBoxTree() override = default;
};

// Leaves start on a cache line (see TZevBoxNode).
class TZevFaceBoxVecT : public TZevBoxNode, public TZevLineAligned {
public:
    using TZevLineAligned::operator new;
    using TZevLineAligned::operator delete;

    TZevFaceBoxVecT() : TZevBoxNode(ZevCollisionTypeInfo(ZevTypeFaceBoxVecT)) {}
    ~TZevFaceBoxVecT() override = default;
    void UpdateBox() override;
    void SetFace(TZevVector** currentArray, TZevVector** previousArray, std::uint16_t a, std::uint16_t b,
                 std::uint16_t c);

    TZevEdgeBoxVecT* edges[3] = {};   // edge k runs from corner k to corner (k + 1) mod 3
    TZevPointBoxVecT* points[3] = {}; // one per corner
};

class TZevEdgeBoxVecT : public TZevBoxNode, public TZevLineAligned {
public:
    using TZevLineAligned::operator new;
    using TZevLineAligned::operator delete;

    TZevEdgeBoxVecT() : TZevBoxNode(ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT)) {}
    ~TZevEdgeBoxVecT() override = default;
    void UpdateBox() override;
    void SetEdge(TZevVector** currentArray, TZevVector** previousArray, std::uint16_t a, std::uint16_t b);

    TZevFaceBoxVecT* face0 = nullptr; // the triangle in which the edge runs from i0 to i1
    TZevFaceBoxVecT* face1 = nullptr; // the triangle in which it runs from i1 to i0
    TZevPointBoxVecT* point0 = nullptr;
    TZevPointBoxVecT* point1 = nullptr;
};

class TZevPointBoxVecT : public TZevBoxNode, public TZevLineAligned {
public:
    using TZevLineAligned::operator new;
    using TZevLineAligned::operator delete;

    TZevPointBoxVecT() : TZevBoxNode(ZevCollisionTypeInfo(ZevTypePointBoxVecT)) {}
    ~TZevPointBoxVecT() override = default;
    void UpdateBox() override;
    void SetPoint(TZevVector** currentArray, TZevVector** previousArray, std::uint16_t index);

    TZevList edges; // edge leaves that end at this vertex
};

// Inner nodes from the calling thread's BoxNodePool, or new ones when it is empty.
TZevPooledBBoxTree* AllocBoxNode();
// Keeps the node in the calling thread's pool without destroying it (it leaves its parent first).
void ReleaseBoxNode(TZevPooledBBoxTree* node);
// Ends a box tree: its pooled inner nodes go back to the calling thread's pool (a node taken from the pool and then
// freed to the heap would drain the pool one build at a time), every other node is deleted.
void ReleaseBoxTree(TZevBoxNode* root);

using TZevNewBoxNode = TZevPooledBBoxTree* (*)();
using TZevReleaseBoxNode = void (*)(TZevPooledBBoxTree*);

// Coin of the octree split for centres that tie with the mean: every split changes it, so each split depends on
// the splits before it. A mesh tree's build starts it from 0 (TZevFMCTTree::Build).
extern std::uint32_t OctreeTieWord;

// Groups the children of `node` into an octree: a node with more than 8 children (and not as many as its
// parent had) is split at the mean of its children's box centres, recursively; the surviving octants are paired
// into a binary hierarchy that becomes the node's only child. Boxes are not refitted here.
void SplitOctree(TZevBoxNode* node, TZevNewBoxNode newNode, TZevReleaseBoxNode releaseNode, int parentCount);

// Start-up of the box-node pools (the BoxNodePool and one that nothing fills); later calls do nothing.
void ZevBBoxTreeInit();
