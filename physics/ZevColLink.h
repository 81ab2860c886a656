// Collision links: when a body enters the world, every face, edge and point leaf of its collision tree gets a
// small counted link that ties the leaf to the body and owns two body-attached boxes placed beside the leaf, one
// in layer 1 and one in layer 2. From then on the narrow phase skips the leaf itself (its linkCount is above 0)
// and tests the two boxes instead, each only against boxes of its own layer. The contact estimates place the
// boxes: layer 1 covers the motion of the inset surface over the step, layer 2 the band between the inset
// surface and the surface.
#pragma once

#include "ZevBodyBoxes.h"
#include "ZevList.h"
#include "ZevVector.h"

#include <cstdint>

class TZevFMCTTree;
class TZevPhscs2World;
class TZevXPhObj;

class TZevFC2RColLink : public TZevAllocated {
public:
    TZevFC2RColLink();
    virtual ~TZevFC2RColLink() = default;
    TZevFC2RColLink(const TZevFC2RColLink&) = delete;
    TZevFC2RColLink& operator=(const TZevFC2RColLink&) = delete;

    // Marks the link released and empties its second list. A second release is only logged.
    virtual void Release();
    virtual TZevBoxNode* GetLeaf() { return nullptr; }
    // Run at the start of every step pass: a point link's layer-1 box starts where its last estimate put it.
    virtual void AdvanceBox() {}
    // Moves the layer-2 box to the end of the children of the leaf's parent / out of any ring.
    virtual void AttachSecondBox() {}
    virtual void DetachSecondBox() {}
    // The body-attached box of layer 1 or 2 (null for any other layer, and in the base class).
    virtual TZevBoxNode* GetBox(int layer) { (void)layer; return nullptr; }

    std::int32_t released = 0;
    std::int32_t refCount = 0;
    TZevXPhObj* body = nullptr;
    TZevListNode* worldNode = nullptr; // in the world's CollisionLinkList
    TZevListNode* bodyNode = nullptr;  // in the body's LinkedLeaves
    TZevList firstList;
    TZevList secondList;
    TZevList* firstListPtr;
    TZevList* secondListPtr;
    // Normal estimate: the face's unit normal, the edge's mean face normal or the vertex normal.
    TZevVector normal;
};

// What the three kinds share: the leaf and its two body-attached boxes of the leaf's kind.
template <class Leaf, class Box> class TZevFC2RLeafLink : public TZevFC2RColLink {
public:
    TZevBoxNode* GetLeaf() override { return leaf; }
    void AttachSecondBox() override;
    void DetachSecondBox() override;
    TZevBoxNode* GetBox(int layer) override;

    Leaf* leaf = nullptr;
    Box* box1 = nullptr;
    Box* box2 = nullptr;
};

extern template class TZevFC2RLeafLink<TZevPointBoxVecT, RPBVT>;
extern template class TZevFC2RLeafLink<TZevEdgeBoxVecT, REBVT>;
extern template class TZevFC2RLeafLink<TZevFaceBoxVecT, RFBVT>;

// The three kinds. Release gives the leaf back to the narrow phase, both boxes and the list nodes to their pools
// and the link to its pool; a second release is only logged and changes nothing.
class TZevFC2RPointLink : public TZevFC2RLeafLink<TZevPointBoxVecT, RPBVT> {
public:
    void Release() override;
    // box1's previous position := its current position.
    void AdvanceBox() override;
};

class TZevFC2REdgeLink : public TZevFC2RLeafLink<TZevEdgeBoxVecT, REBVT> {
public:
    void Release() override;

    float threshold = 0.0f; // InterferencePermitDistance x 5 / edge length, written by the estimates
};

class TZevFC2RFaceLink : public TZevFC2RLeafLink<TZevFaceBoxVecT, RFBVT> {
public:
    void Release() override;

    float thresholdV = 0.0f; // of the edge from corner 0 to corner 2
    float thresholdU = 0.0f; // of the edge from corner 0 to corner 1
};

// The link of a leaf, or null (the leaf's first link; the typed forms also check the leaf's kind). Inline: the
// contact passes ask for them in their inner loops.
inline TZevFC2RColLink* ZevLeafColLink(const TZevBoxNode* leaf)
{
    if (leaf == nullptr || leaf->links.IsEmpty())
        return nullptr;
    return ZevItem<TZevFC2RColLink>(leaf->links.First());
}

inline TZevFC2RPointLink* ZevPointColLink(const TZevBoxNode* leaf)
{
    return ZevIsNodeType(leaf, ZevTypePointBoxVecT) ? static_cast<TZevFC2RPointLink*>(ZevLeafColLink(leaf)) : nullptr;
}

inline TZevFC2REdgeLink* ZevEdgeColLink(const TZevBoxNode* leaf)
{
    return ZevIsNodeType(leaf, ZevTypeEdgeBoxVecT) ? static_cast<TZevFC2REdgeLink*>(ZevLeafColLink(leaf)) : nullptr;
}

inline TZevFC2RFaceLink* ZevFaceColLink(const TZevBoxNode* leaf)
{
    return ZevIsNodeType(leaf, ZevTypeFaceBoxVecT) ? static_cast<TZevFC2RFaceLink*>(ZevLeafColLink(leaf)) : nullptr;
}

// Box 1 or 2 of a mesh leaf's link; null when the leaf has no link.
inline TZevBoxNode* ZevLeafBox(TZevBoxNode* leaf, int layer)
{
    TZevFC2RColLink* link = ZevLeafColLink(leaf);
    return link != nullptr ? link->GetBox(layer) : nullptr;
}
// The normal estimate of a mesh leaf's link; false when the leaf has no link.
bool ZevLeafLinkNormal(TZevBoxNode* leaf, TZevVector& normal);

// A leaf that has a link already gets it back with one more user; otherwise a new link with its two boxes beside
// the leaf, listed in `worldLeaves` (the world's CollisionLinkList) and in the body's LinkedLeaves. Null when
// the leaf or the body is missing.
TZevFC2RPointLink* MakePointLink(TZevList& worldLeaves, TZevXPhObj* body, TZevPointBoxVecT* leaf);
TZevFC2REdgeLink* MakeEdgeLink(TZevList& worldLeaves, TZevXPhObj* body, TZevEdgeBoxVecT* leaf);
TZevFC2RFaceLink* MakeFaceLink(TZevList& worldLeaves, TZevXPhObj* body, TZevFaceBoxVecT* leaf);
TZevFC2RPointLink* MakePointLink(TZevPhscs2World* world, TZevXPhObj* body, TZevPointBoxVecT* leaf);
TZevFC2REdgeLink* MakeEdgeLink(TZevPhscs2World* world, TZevXPhObj* body, TZevEdgeBoxVecT* leaf);
TZevFC2RFaceLink* MakeFaceLink(TZevPhscs2World* world, TZevXPhObj* body, TZevFaceBoxVecT* leaf);

// A link for every face, edge and point leaf under `node`, depth first in ring order; body-attached boxes and
// everything under them are skipped.
void BuildLinks(TZevList& worldLeaves, TZevXPhObj* body, TZevBoxNode* node);
void BuildLinks(TZevPhscs2World* world, TZevXPhObj* body, TZevBoxNode* node);

// The world's part of adding a body, for the body and every body below it: both vertex arrays and all boxes
// take the body's present pose, its rigid links and joints join the world's lists, the body records the world,
// every leaf gets its link, and the first contact estimates place the body-attached boxes.
void AddBodyToWorld(TZevPhscs2World* world, TZevXPhObj* body);

// For every linked leaf of the body: its link's AdvanceBox, then that link's second list emptied.
void ClearBodyLinkLists(TZevXPhObj* body);

// Drops one user of the link of every face, edge and point leaf of the tree's box tree (body-attached boxes
// skipped); a link without users is released. A leaf without a link is logged.
void ReleaseBodyBoxes(TZevFMCTTree* tree);

// The world's CollisionLinkList is going away: the links forget their nodes in it, then it is emptied.
void ZevForgetWorldColLinks(TZevList& worldLeaves);

// Start-up of the contact machinery: the pools of the collision links, the body-attached boxes, the contact links
// and the sub-contacts, and the hook by which a body's teardown releases its body-attached boxes. Later calls do
// nothing.
void ZevColLinkInit();
// Number of links of each kind waiting in the calling thread's pools (point, edge, face).
int ZevColLinkPoolSize(int kind);
