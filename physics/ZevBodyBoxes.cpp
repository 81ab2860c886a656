#include "ZevBodyBoxes.h"

#include "ZevListView.h"
#include "ZevPoolDrain.h"

#include <cstdlib>

namespace {

TZevPoolHeads* PointBoxPool = nullptr;
TZevPoolHeads* EdgeBoxPool = nullptr;
TZevPoolHeads* FaceBoxPool = nullptr;

void DrainBodyBoxPools()
{
    ZevDrainPool<RPBVT>(PointBoxPool);
    ZevDrainPool<REBVT>(EdgeBoxPool);
    ZevDrainPool<RFBVT>(FaceBoxPool);
}

// A box taken from a pool starts as a new one: no parent, no links counted, layer 0, no object, zero positions.
template <class Box, int N> Box* TakeBox(TZevPoolHeads* pool)
{
    Box* box = static_cast<Box*>(pool->Take());
    if (box == nullptr)
        return new Box;
    box->contactCount = 0;
    box->linkCount = 0;
    box->layer = 0;
    box->object = nullptr;
    box->InPool = 0;
    box->leaf = nullptr;
    for (int k = 0; k < N; ++k)
        box->store.currentStore[k] = box->store.previousStore[k] = TZevVector();
    box->UpdateBox();
    return box;
}

template <class Box> void GiveBox(Box* box, TZevPoolHeads* pool)
{
    box->Detach();
    if (box->InPool != 0)
        return;
    box->InPool = 1;
    if (!pool->Give(box))
        delete box;
}

} // namespace

void ZevBodyBoxesInit()
{
    if (PointBoxPool != nullptr)
        return;
    ZevBBoxTreeInit();
    GetListNodePools();
    PointBoxPool = new TZevPoolHeads(ZevDeletePooled<RPBVT>);
    EdgeBoxPool = new TZevPoolHeads(ZevDeletePooled<REBVT>);
    FaceBoxPool = new TZevPoolHeads(ZevDeletePooled<RFBVT>);
    std::atexit(DrainBodyBoxPools);
}

RPBVT::RPBVT()
{
    bodyAttached = 1;
    SetPoint(&store.currentArray, &store.previousArray, 0);
}

void RPBVT::SetPosition(const TZevVector& now, const TZevVector& before)
{
    store.Set(&now, &before);
    UpdateBox();
}

void RPBVT::Release()
{
    ZevBodyBoxesInit();
    GiveBox(this, PointBoxPool);
}

REBVT::REBVT()
{
    bodyAttached = 1;
    SetEdge(&store.currentArray, &store.previousArray, 0, 1);
}

void REBVT::SetPositions(const TZevVector now[2], const TZevVector before[2])
{
    store.Set(now, before);
    UpdateBox();
}

void REBVT::Release()
{
    ZevBodyBoxesInit();
    GiveBox(this, EdgeBoxPool);
}

RFBVT::RFBVT()
{
    bodyAttached = 1;
    SetFace(&store.currentArray, &store.previousArray, 0, 1, 2);
}

void RFBVT::SetPositions(const TZevVector now[3], const TZevVector before[3])
{
    store.Set(now, before);
    UpdateBox();
}

void RFBVT::Release()
{
    ZevBodyBoxesInit();
    GiveBox(this, FaceBoxPool);
}

RPBVT* NewRPBVT()
{
    ZevBodyBoxesInit();
    return TakeBox<RPBVT, 1>(PointBoxPool);
}

REBVT* NewREBVT()
{
    ZevBodyBoxesInit();
    return TakeBox<REBVT, 2>(EdgeBoxPool);
}

RFBVT* NewRFBVT()
{
    ZevBodyBoxesInit();
    return TakeBox<RFBVT, 3>(FaceBoxPool);
}

TZevBoxNode* ZevMeshLeaf(TZevBoxNode* node)
{
    if (node == nullptr || node->bodyAttached == 0)
        return node;
    TZevBoxNode* leaf = nullptr;
    if (node->type == ZevCollisionTypeInfo(ZevTypeFaceBoxVecT))
        leaf = static_cast<RFBVT*>(node)->leaf;
    else if (node->type == ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT))
        leaf = static_cast<REBVT*>(node)->leaf;
    else if (node->type == ZevCollisionTypeInfo(ZevTypePointBoxVecT))
        leaf = static_cast<RPBVT*>(node)->leaf;
    return leaf != nullptr ? leaf : node;
}

void AssignBoxObject(TZevBoxNode* node, TZevPhscs2Obj* object)
{
    if (node == nullptr)
        return;
    const TZevTypeInfo* face = ZevCollisionTypeInfo(ZevTypeFaceBoxVecT);
    const TZevTypeInfo* edge = ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT);
    const TZevTypeInfo* point = ZevCollisionTypeInfo(ZevTypePointBoxVecT);
    TZevList stack;
    stack.PushFront(node);
    while (TZevBoxNode* n = ZevPopItem<TZevBoxNode>(stack)) {
        if (n->type == face || n->type == edge || n->type == point) {
            n->object = object;
            continue;
        }
        ZevPushChildren<TZevBoxNode>(stack, n);
    }
}

int ZevBodyBoxPoolSize(int kind)
{
    ZevBodyBoxesInit();
    const int slot = GetThreadPoolIndex();
    if (slot < 0)
        return 0;
    TZevPoolHeads* pool = kind == 0 ? PointBoxPool : kind == 1 ? EdgeBoxPool : FaceBoxPool;
    return pool->Heads[slot].GetCount();
}
