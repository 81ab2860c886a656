#include "ZevContactLink.h"

#include "ZevBodyPair.h"
#include "ZevColLink.h"
#include "ZevContactMaker.h"
#include "ZevListView.h"
#include "ZevPoolDrain.h"
#include "ZevVecInline.h"
#include "ZevXPhObj.h"

#include <cstdlib>

namespace {

TZevPoolHeads* ContactLinkPool = nullptr;

void DrainContactLinkPool()
{
    ZevDrainPool<TZevContactLink>(ContactLinkPool);
}

TZevVector PointOn(const TZevVector* array, const TZevFMCTree_CFaceData& record)
{
    const TZevVector& c0 = array[record.indices[0]];
    const TZevVector& c1 = array[record.indices[1]];
    const TZevVector& c2 = array[record.indices[2]];
    const float w = 1.0f - record.u - record.v;
    return TZevVector(w * c0.x + record.u * c1.x + record.v * c2.x, w * c0.y + record.u * c1.y + record.v * c2.y,
                      w * c0.z + record.u * c1.z + record.v * c2.z);
}

} // namespace

void ZevContactLinkInit()
{
    if (ContactLinkPool != nullptr)
        return;
    GetListNodePools();
    ContactLinkPool = new TZevPoolHeads(ZevDeletePooled<TZevContactLink>);
    std::atexit(DrainContactLinkPool);
}

TZevVector GetFacePoint(const TZevFMCTree_CFaceData& record)
{
    if (record.currentArray == nullptr || *record.currentArray == nullptr)
        return TZevVector();
    return PointOn(*record.currentArray, record);
}

TZevVector GetFacePointPrev(const TZevFMCTree_CFaceData& record)
{
    if (record.previousArray == nullptr || *record.previousArray == nullptr)
        return TZevVector();
    return PointOn(*record.previousArray, record);
}

void TZevEdgeSide::Read(const TZevEdgeBoxVecT* leaf)
{
    *this = TZevEdgeSide();
    edge = leaf;
    if (leaf == nullptr)
        return;
    faces[0] = leaf->face0;
    faces[1] = leaf->face1;
    for (int j = 0; j < 2; ++j) {
        const TZevFaceBoxVecT* face = faces[j];
        if (face == nullptr)
            continue;
        arrays[j] = face->current;
        corners[j][0] = static_cast<std::uint16_t>(face->i0);
        corners[j][1] = static_cast<std::uint16_t>(face->i1);
        corners[j][2] = static_cast<std::uint16_t>(face->i2);
    }
    arrays[2] = leaf->current;
    ends[0] = static_cast<std::uint16_t>(leaf->i0);
    ends[1] = static_cast<std::uint16_t>(leaf->i1);
}

TZevContactLink::TZevContactLink()
{
    Reset();
}

TZevXPhObj* TZevContactLink::BodyA() const
{
    return RecordA != nullptr ? static_cast<TZevXPhObj*>(RecordA->tree) : nullptr;
}

TZevXPhObj* TZevContactLink::BodyB() const
{
    return RecordB != nullptr ? static_cast<TZevXPhObj*>(RecordB->tree) : nullptr;
}

void TZevContactLink::Reset()
{
    const TZevVector zero;
    State = 1;
    RestLength = 0.0f;
    Tolerance = Spring = Damper = StaticFriction = DynamicFriction = 0.0f;
    PrevPointA = PrevPointB = PointA = PointB = zero;
    ClearWorkingValues();
    Pair = nullptr;
    released = 0;
    RecordA = RecordB = nullptr;
    TreeA = TreeB = nullptr;
    EdgeContact = 0;
    EdgeSides[0] = EdgeSides[1] = TZevEdgeSide();
    SatisfyPartA = SatisfyPartB = nullptr;
    PartnerNodeA = PartnerNodeB = nullptr;
    LawState = 0;
    Active = 0;
    OwnerNodeA = OwnerNodeB = nullptr;
    PrimitiveNodeA = PrimitiveNodeB = nullptr;
    ObjectNodeA = ObjectNodeB = nullptr;
    NewNode = nullptr;
    HorizontalDamper = 0.0f;
    PrevUV[0] = PrevUV[1] = UV[0] = UV[1] = 0.0f;
    Keep = 1;
    PassIndex = 0;
    EndThresholds[0] = EndThresholds[1] = 0.0f;
    PointMotion = zero;
    PassReadRound = PassReadBoxVersionA = PassReadBoxVersionB = 0;
    Depth = PrevDepth = 0.0f;
    Separation = zero;
    RetestNeeded = 0;
    Initialised = 0;
    DeltaUV[0] = DeltaUV[1] = PrevDeltaUV[0] = PrevDeltaUV[1] = 0.0f;
    SubContacts[0] = SubContacts[1] = nullptr;
    SpareSubContacts[0] = SpareSubContacts[1] = nullptr;
    RetestRound = RetestVersionA = RetestVersionB = 0;
    BoxesMet = -1;
    BoxesVersionA = BoxesVersionB = 0;
}

TZevContactLink* NewContactLink()
{
    ZevContactLinkInit();
    TZevContactLink* link = static_cast<TZevContactLink*>(ContactLinkPool->Take());
    if (link == nullptr)
        return new TZevContactLink;
    link->Reset();
    return link;
}

void TZevContactLink::Release()
{
    if (released == 1) {
        ZevDebugLog("TZevFC2RColLinkの2重開放\n");
        return;
    }
    released = 1;
    for (TZevFMCTree_CFaceData* record : {RecordA, RecordB}) {
        if (record != nullptr && record->node != nullptr)
            record->node->contactCount -= 1;
    }
    for (TZevListNode** node : {&PartnerNodeA, &PartnerNodeB, &ObjectNodeA, &ObjectNodeB, &OwnerNodeA, &OwnerNodeB,
                                &PrimitiveNodeA, &PrimitiveNodeB, &NewNode}) {
        if (*node != nullptr) {
            TZevList::RemoveNode(*node);
            *node = nullptr;
        }
    }
    if (RecordA != nullptr) {
        ReleaseContactRecord(RecordA);
        RecordA = nullptr;
        TreeA = nullptr;
    }
    if (RecordB != nullptr) {
        ReleaseContactRecord(RecordB);
        RecordB = nullptr;
        TreeB = nullptr;
    }
    for (TZevSubContactLink** subs : {SubContacts, SpareSubContacts}) {
        for (int k = 0; k < 2; ++k) {
            if (subs[k] != nullptr) {
                subs[k]->Release();
                subs[k] = nullptr;
            }
        }
    }
    ZevDropPairRef(Pair);
    Pair = nullptr;
    Unlink();
    // Into the pool last, so that nothing touches the link once another user may hold it.
    ZevContactLinkInit();
    if (!ContactLinkPool->Give(this))
        delete this;
}

void TZevContactLink::Advance()
{
    OlderForce = PrevForce;
    OlderTorque = PrevTorque;
    PrevUV[0] = UV[0];
    PrevUV[1] = UV[1];
    PrevDeltaUV[0] = DeltaUV[0];
    PrevDeltaUV[1] = DeltaUV[1];
    TZevPhscs2Link::Advance();
}

void TZevContactLink::Update()
{
    UpdatePoints();
    UpdateSubContacts();
}

void TZevContactLink::UpdatePoints()
{
    if (RecordA != nullptr)
        PointA = GetFacePoint(*RecordA);
    if (RecordB != nullptr)
        PointB = GetFacePoint(*RecordB);
}

void TZevContactLink::UpdateSubContacts()
{
    for (TZevSubContactLink* sub : SubContacts) {
        if (sub != nullptr)
            sub->Update();
    }
}

TZevContactLink* FindContactLink(TZevPhscs2Obj* a, TZevPhscs2Obj* b)
{
    if (a == nullptr || b == nullptr)
        return nullptr;
    TZevPhscs2Obj* first = a->Serial <= b->Serial ? a : b;
    for (TZevContactLink* link : ZevItems<TZevContactLink>(first->ContactLinks)) {
        if (link->RecordA == nullptr || link->RecordB == nullptr || link->RecordA->node == nullptr ||
            link->RecordB->node == nullptr)
            continue;
        const TZevPhscs2Obj* ea = link->RecordA->node->object;
        const TZevPhscs2Obj* eb = link->RecordB->node->object;
        if ((ea == a && eb == b) || (ea == b && eb == a)) {
            link->Keep = 1;
            return link;
        }
    }
    return nullptr;
}

TZevVector ZevPointMotion(const TZevFMCTree_CFaceData* pointRecord)
{
    TZevVector m;
    if (const TZevFC2RPointLink* pointLink = ZevPointColLink(pointRecord->node)) {
        const TZevVector& now = pointLink->box2->store.currentStore[0];
        const TZevVector& before = pointLink->box2->store.previousStore[0];
        ZevVecSub(m, now, before);
    }
    return m;
}

void ZevReadPassConstants(TZevContactLink* link, std::uint32_t round)
{
    const TZevFMCTree_CFaceData* A = link->RecordA;
    const TZevFMCTree_CFaceData* B = link->RecordB;
    if (A == nullptr || B == nullptr || A->node == nullptr || B->node == nullptr || A->tree == nullptr ||
        B->tree == nullptr)
        return;
    if (ZevIsNodeType(A->node, ZevTypeEdgeBoxVecT)) {
        link->EndThresholds[0] = ZevEdgeEndThreshold(A->node);
        link->EndThresholds[1] = ZevEdgeEndThreshold(B->node);
    } else {
        link->PointMotion = ZevPointMotion(B);
    }
    link->PassReadRound = round;
    link->PassReadBoxVersionA = A->tree->boxVersion;
    link->PassReadBoxVersionB = B->tree->boxVersion;
}

bool ContactNormalFacePoint(TZevPhscs2World*, TZevFMCTree_CFaceData* faceRecord, TZevFMCTree_CFaceData* pointRecord,
                            TZevContactLink* link)
{
    if (faceRecord == nullptr || pointRecord == nullptr || link == nullptr || faceRecord->currentArray == nullptr ||
        *faceRecord->currentArray == nullptr || pointRecord->currentArray == nullptr ||
        *pointRecord->currentArray == nullptr)
        return false;
    const TZevVector* face = *faceRecord->currentArray;
    const TZevVector& v0 = face[faceRecord->indices[0]];
    const TZevVector& v1 = face[faceRecord->indices[1]];
    const TZevVector& v2 = face[faceRecord->indices[2]];
    const TZevVector& p = (*pointRecord->currentArray)[pointRecord->indices[0]];
    TZevVector e1;
    TZevVector e2;
    ZevVecSub(e1, v1, v0);
    ZevVecSub(e2, v2, v0);
    TZevVector n;
    ZevVecCross(n, e1, e2);
    if (NormalizeInPlace(n) == 0)
        return false;
    faceRecord->normal = n;
    TZevVector d;
    ZevVecSub(d, p, v0);
    pointRecord->normal = TZevVector(-n.x, -n.y, -n.z);
    link->PrevDepth = link->Depth;
    link->Depth = ZevVecDot(d, n);
    // The vertex normal of the point, as its layer-2 box runs from the inset point out to the vertex.
    const TZevVector m = link->PassReadsHold() ? link->PointMotion : ZevPointMotion(pointRecord);
    if (ZevVecDot(m, n) > 0.0f)
        return false;
    return link->Depth <= 0.0f;
}

int ZevContactLinkPoolSize()
{
    ZevContactLinkInit();
    const int slot = GetThreadPoolIndex();
    return slot < 0 ? 0 : ContactLinkPool->Heads[slot].GetCount();
}
