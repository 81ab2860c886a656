#include "ZevContactMaker.h"

#include "ZevBodyBoxes.h"
#include "ZevBodyPair.h"
#include "ZevColLink.h"
#include "ZevContactEstimate.h"
#include "ZevPhscs2World.h"
#include "ZevVecInline.h"
#include "ZevXPhObj.h"

namespace {

// The record moves from a body-attached box onto the mesh leaf the box stands for, with the leaf's vertex arrays;
// the leaf, or null when the record stays where it is.
template <class AttachedBox> auto MoveToLeaf(TZevFMCTree_CFaceData* record) -> decltype(AttachedBox::leaf)
{
    if (record->node == nullptr || record->node->bodyAttached == 0)
        return nullptr;
    auto* leaf = static_cast<AttachedBox*>(record->node)->leaf;
    if (leaf == nullptr)
        return nullptr;
    record->node = leaf;
    record->currentArray = leaf->current;
    record->previousArray = leaf->previous;
    return leaf;
}

void MoveToFace(TZevFMCTree_CFaceData* record)
{
    if (const TZevFaceBoxVecT* leaf = MoveToLeaf<RFBVT>(record)) {
        record->indices[0] = leaf->i0;
        record->indices[1] = leaf->i1;
        record->indices[2] = leaf->i2;
    }
}

void MoveToPoint(TZevFMCTree_CFaceData* record)
{
    if (const TZevPointBoxVecT* leaf = MoveToLeaf<RPBVT>(record))
        record->indices[0] = record->indices[1] = record->indices[2] = leaf->i;
}

void MoveToEdge(TZevFMCTree_CFaceData* record)
{
    if (const TZevEdgeBoxVecT* leaf = MoveToLeaf<REBVT>(record)) {
        record->indices[0] = leaf->i0;
        record->indices[1] = leaf->i1;
        record->indices[2] = leaf->i0;
    }
}

// The unit normal of face j of an edge side at the current positions; false for a missing or degenerate face.
bool FaceNormal(const TZevEdgeSide& side, int j, TZevVector& normal)
{
    if (side.faces[j] == nullptr)
        return false;
    const TZevVector* now = *side.arrays[j];
    const std::uint16_t* corner = side.corners[j];
    const TZevVector& c0 = now[corner[0]];
    TZevVector f = Cross(Minus(now[corner[1]], c0), Minus(now[corner[2]], c0));
    if (NormalizeInPlace(f) == 0)
        return false;
    normal = f;
    return true;
}

// Reads side k of the link from the edge leaf; the link's sub-contacts then stand for no face or edge until the
// geometry binds them again.
[[gnu::noinline]] void ReadSide(TZevContactLink* link, int k, const TZevEdgeBoxVecT* edge)
{
    link->EdgeSides[k].Read(edge);
    for (TZevSubContactLink** subs : {link->SubContacts, link->SpareSubContacts}) {
        for (int n = 0; n < 2; ++n) {
            if (subs[n] != nullptr)
                subs[n]->BoundEdge = 0;
        }
    }
}

// The side of the link for edge k, read from the leaf when the link has not met that leaf there yet.
inline const TZevEdgeSide& EdgeSide(TZevContactLink* link, int k, const TZevEdgeBoxVecT* edge)
{
    if (link->EdgeSides[k].edge != edge) [[unlikely]]
        ReadSide(link, k, edge);
    return link->EdgeSides[k];
}

// A dropped sub-contact waits in the link for the next run of the geometry, which remakes the sub-contacts at
// every accepting re-test: taking and giving them through the thread's pool each time would cost more than the
// geometry itself, and would tie the re-tests of different links to one pool.
void DropSub(TZevContactLink* link, int k)
{
    TZevSubContactLink* sub = link->SubContacts[k];
    if (sub == nullptr)
        return;
    link->SubContacts[k] = nullptr;
    for (TZevSubContactLink*& spare : link->SpareSubContacts) {
        if (spare == nullptr) {
            spare = sub;
            return;
        }
    }
    sub->Release();
}

// A waiting sub-contact of the link, or one from the pool; it starts as a new one would.
TZevSubContactLink* TakeSub(TZevContactLink* link)
{
    for (TZevSubContactLink*& spare : link->SpareSubContacts) {
        if (spare != nullptr) {
            TZevSubContactLink* sub = spare;
            spare = nullptr;
            sub->Renew();
            return sub;
        }
    }
    return AllocSubContact();
}

// Is the contact near an end of the edge (its parameter u within the threshold m of 0 or 1)? Which end.
bool NearEnd(const TZevEdgeBoxVecT* edge, float u, float m, const TZevPointBoxVecT*& end)
{
    const bool nearHigh = 1.0f - u < m;
    if (!(u < m || nearHigh))
        return false;
    end = nearHigh ? edge->point1 : edge->point0;
    return true;
}

inline TZevVector PointNormal(const TZevPointBoxVecT* point)
{
    const TZevFC2RPointLink* link = ZevPointColLink(point);
    return link != nullptr ? link->normal : TZevVector();
}

} // namespace

TZevContactLink* ZevCreateContactLink(TZevPhscs2World* world, TZevFMCTree_CFaceData* a, std::int32_t forceState)
{
    if (world == nullptr || a == nullptr || a->other == nullptr || a->node == nullptr || a->other->node == nullptr)
        return nullptr;
    TZevFMCTree_CFaceData* b = a->other;
    TZevContactLink* link = NewContactLink();
    link->released = 0;
    link->Active = 1;
    link->RecordA = a;
    link->RecordB = b;
    link->LawState = forceState;
    link->Keep = 1;
    link->OwnerNodeA = ZevListPushPooled(&static_cast<TZevXPhObj*>(a->tree)->OwnedRecords, link);
    link->OwnerNodeB = ZevListPushPooled(&static_cast<TZevXPhObj*>(b->tree)->OwnedRecords, link);

    const bool facePoint = ZevIsNodeType(b->node, ZevTypePointBoxVecT);
    if (facePoint) {
        MoveToFace(a);
        MoveToPoint(b);
    } else {
        MoveToEdge(a);
        MoveToEdge(b);
        // An edge contact holds at most two sub-contacts: taking both now, on the thread that makes the link,
        // lets its re-tests run on any thread without reaching a pool.
        for (TZevSubContactLink*& spare : link->SpareSubContacts)
            if (spare == nullptr)
                spare = AllocSubContact();
    }
    link->TreeA = a->tree;
    link->TreeB = b->tree;
    link->EdgeContact = ZevIsNodeType(a->node, ZevTypeEdgeBoxVecT) ? 1 : 0;
    link->PointA = GetFacePointPrev(*a);
    link->PointB = GetFacePointPrev(*b);
    link->PrevUV[0] = a->u;
    link->PrevUV[1] = facePoint ? a->v : b->u;
    TZevBoxNode* nodeA = a->node;
    TZevBoxNode* nodeB = b->node;

    link->RestLength = 0.0f;
    link->Tolerance = 0.0f;
    link->Spring = world->CollisionSpringCoeff;
    link->Damper = world->CollisionVerticalDamperCoeff;
    link->StaticFriction = world->CollisionStaticFrictionCoeff;
    link->DynamicFriction = world->CollisionDynamicFrictionCoeff;
    link->HorizontalDamper = world->CollisionHorizontalDamperCoeff;

    link->PartnerNodeA = ZevListPushPooled(&nodeA->partners, nodeB);
    link->PartnerNodeB = ZevListPushPooled(&nodeB->partners, nodeA);
    nodeA->contactCount += 1;
    nodeB->contactCount += 1;
    link->NewNode = ZevListPushPooled(&world->NewContactLinks, link);

    const TZevVector d = Minus(GetFacePoint(*b), GetFacePoint(*a));
    link->Separation = d;
    a->normal = Neg(d);
    b->normal = d;

    link->RetestNeeded = 1;
    link->Initialised = 1;
    link->DeltaUV[0] = link->DeltaUV[1] = 0.0f;
    link->PrevDeltaUV[0] = link->PrevDeltaUV[1] = 0.0f;
    const TZevVector zero;
    link->CorrectionSum = link->Correction = link->CorrectionPointA = link->CorrectionPointB = zero;
    link->Torque = link->PrevForce = zero;
    link->StepCoeff = world->LinkStepCoeff;

    link->Pair = RegisterPair(&world->pairs, nodeA->object, nodeB->object, nullptr, 1.0f);
    if (nodeA->object != nullptr)
        link->ObjectNodeA = ZevListPushPooled(&nodeA->object->ContactLinks, link);
    if (nodeB->object != nullptr)
        link->ObjectNodeB = ZevListPushPooled(&nodeB->object->ContactLinks, link);
    if (link->PrimitiveNodeA == nullptr)
        link->PrimitiveNodeA = ZevListPushPooled(&nodeA->contactLinks, link);
    if (link->PrimitiveNodeB == nullptr)
        link->PrimitiveNodeB = ZevListPushPooled(&nodeB->contactLinks, link);

    RetestContact(link);
    // The link owns the records from now on: the space's ClearContacts no longer reaches them.
    a->Unlink();
    b->Unlink();
    return link;
}

float ZevEdgeEndThreshold(const TZevBoxNode* edge)
{
    const TZevFC2REdgeLink* link = ZevEdgeColLink(edge);
    return link != nullptr ? link->threshold : 0.0f;
}

std::int32_t ZevBodyContactGeometry(TZevFMCTree_CFaceData* recordA, TZevFMCTree_CFaceData* recordB,
                                    TZevContactLink* link)
{
    if (recordA == nullptr || recordB == nullptr || link == nullptr || !ZevIsNodeType(recordA->node, ZevTypeEdgeBoxVecT) ||
        !ZevIsNodeType(recordB->node, ZevTypeEdgeBoxVecT))
        return 0;
    bool dropped = false;
    return ZevEdgeLinkGeometry(recordA, recordB, link, dropped);
}

std::int32_t ZevEdgeLinkGeometry(TZevFMCTree_CFaceData* recordA, TZevFMCTree_CFaceData* recordB,
                                 TZevContactLink* link, bool& subsDropped)
{
    subsDropped = false;
    if (recordA->currentArray == nullptr || recordB->currentArray == nullptr)
        return 0;
    TZevEdgeBoxVecT* edges[2] = {static_cast<TZevEdgeBoxVecT*>(recordA->node),
                                 static_cast<TZevEdgeBoxVecT*>(recordB->node)};
    TZevFMCTree_CFaceData* records[2] = {recordA, recordB};
    const TZevVector* nowA = *recordA->currentArray;
    const TZevVector* nowB = *recordB->currentArray;
    const TZevVector a = Minus(nowA[recordA->indices[1]], nowA[recordA->indices[0]]);
    const TZevVector b = Minus(nowB[recordB->indices[1]], nowB[recordB->indices[0]]);

    // The contact normal: across both edges, or along the separation of the points when they are parallel.
    TZevVector n = Cross(a, b);
    if (NormalizeInPlace(n) == 0) {
        n = Minus(link->PointB, link->PointA);
        if (NormalizeInPlace(n) == 0)
            n = TZevVector();
    }
    // A separation that turned against the last accepted one means the edges passed each other.
    const TZevVector d = Minus(link->PointB, link->PointA);
    if (Dot(d, link->Separation) <= 0.0f)
        return 0;
    link->Separation = d;
    // The normal points from B towards A, so the depth along it is negative while they overlap.
    float s = Dot(d, n);
    if (s > 0.0f) {
        n = Neg(n);
        s = -s;
    }
    link->PrevDepth = link->Depth;
    link->Depth = s;

    // The normals of each edge's two faces; a missing or degenerate face takes the contact normal (negated for B).
    const TZevEdgeSide* sides[2] = {&EdgeSide(link, 0, edges[0]), &EdgeSide(link, 1, edges[1])};
    TZevVector faceNormals[2][2];
    for (int k = 0; k < 2; ++k) {
        const TZevVector fallback = k == 0 ? n : Neg(n);
        for (int j = 0; j < 2; ++j) {
            if (!FaceNormal(*sides[k], j, faceNormals[k][j]))
                faceNormals[k][j] = fallback;
        }
    }
    // Both edges must be convex ridges.
    const TZevVector edgeVectors[2] = {a, b};
    for (int k = 0; k < 2; ++k) {
        if (Dot(Cross(faceNormals[k][0], faceNormals[k][1]), edgeVectors[k]) < 0.000001f)
            return 0;
    }
    // The sub-contacts are made anew.
    DropSub(link, 0);
    DropSub(link, 1);
    subsDropped = true;
    // For each edge the face that faces the other body, and the depth of the other edge's point below it.
    for (int k = 0; k < 2; ++k) {
        const TZevVector c = k == 0 ? d : Neg(d);
        const TZevVector& q = k == 0 ? link->PointB : link->PointA;
        const TZevVector* f = faceNormals[k];
        const TZevEdgeSide& side = *sides[k];
        const int j = Dot(c, f[0]) < Dot(c, f[1]) ? 0 : 1;
        if (Dot(c, f[j]) > 0.0f)
            return 0;
        TZevFaceBoxVecT* chosen = side.faces[j];
        // With the chosen face missing, the plane is the other face's: its normal and its first corner.
        const TZevVector normal = chosen != nullptr ? f[j] : f[1 - j];
        const int plane = chosen != nullptr ? j : 1 - j;
        records[k]->normal = normal;
        // Both faces missing fails the convexity test, so a plane is always found here.
        const float depth = side.faces[plane] != nullptr
                                ? Dot(Minus(q, (*side.arrays[plane])[side.corners[plane][0]]), normal)
                                : 0.0f;
        TZevSubContactLink* sub = TakeSub(link);
        if (sub == nullptr)
            return 0;
        sub->PrevDepth = sub->Depth;
        const std::uint8_t boundEdge = static_cast<std::uint8_t>(k + 1);
        const std::uint8_t boundFace = static_cast<std::uint8_t>(j + 1);
        if (sub->BoundEdge != boundEdge || sub->BoundFace != boundFace) {
            sub->Face = chosen;
            sub->Edge = edges[k];
            sub->OtherEdge = edges[1 - k];
            sub->PrevT = 0.0f;
            sub->BoundEdge = boundEdge;
            sub->BoundFace = boundFace;
        }
        sub->FaceArray = side.arrays[j];
        for (int i = 0; i < 3; ++i)
            sub->FaceCorners[i] = side.corners[j][i];
        const TZevEdgeSide& other = *sides[1 - k];
        sub->EdgeArray = other.arrays[2];
        sub->EdgeEnds[0] = other.ends[0];
        sub->EdgeEnds[1] = other.ends[1];
        sub->U = sub->V = sub->T = 0.0f;
        sub->Depth = depth;
        link->SubContacts[k] = sub;
    }
    // Near an end of its edges a contact keeps only one sub-contact.
    const TZevPointBoxVecT* endA = nullptr;
    const TZevPointBoxVecT* endB = nullptr;
    // Within a satisfy pass the thresholds read at its start save a walk to each edge's collision link.
    const bool kept = link->PassReadsHold();
    const float mA = kept ? link->EndThresholds[0] : ZevEdgeEndThreshold(edges[0]);
    const float mB = kept ? link->EndThresholds[1] : ZevEdgeEndThreshold(edges[1]);
    const bool nearA = NearEnd(edges[0], recordA->u, mA, endA);
    const bool nearB = NearEnd(edges[1], recordB->u, mB, endB);
    int dropped = -1;
    if (nearA && nearB) {
        const TZevVector qA = PointNormal(endA);
        const TZevVector qB = PointNormal(endB);
        // An unordered comparison counts as not less than.
        dropped = !(Dot(qB, recordA->normal) < Dot(qA, recordB->normal)) ? 0 : 1;
    } else if (nearA) {
        dropped = 0;
    } else if (nearB) {
        dropped = 1;
    }
    if (dropped >= 0)
        DropSub(link, dropped);
    // The dropped side's record faces the kept side's.
    if (dropped == 0)
        recordA->normal = Neg(recordB->normal);
    else if (dropped == 1)
        recordB->normal = Neg(recordA->normal);
    // The link's depth is the deepest remaining one, never above 0.
    float depth = 0.0f;
    for (const TZevSubContactLink* sub : link->SubContacts) {
        if (sub != nullptr && sub->Depth < depth)
            depth = sub->Depth;
    }
    link->Depth = depth;
    return 1;
}
