#include "ZevRigidLink.h"

#include "ZevBodyPair.h"
#include "ZevPoolDrain.h"

#include <cmath>
#include <cstdlib>

namespace {

TZevPoolHeads* RigidLinkPool = nullptr;

void DrainRigidLinkPool()
{
    ZevDrainPool<TZevRigidLink>(RigidLinkPool);
}

} // namespace

void ZevRigidLinkInit()
{
    if (RigidLinkPool != nullptr)
        return;
    GetListNodePools();
    RigidLinkPool = new TZevPoolHeads(ZevDeletePooled<TZevRigidLink>);
    std::atexit(DrainRigidLinkPool);
}

TZevRigidLink* NewRigidLink()
{
    ZevRigidLinkInit();
    TZevRigidLink* link = static_cast<TZevRigidLink*>(RigidLinkPool->Take());
    if (link == nullptr)
        return new TZevRigidLink;
    // A recycled link starts as a new one.
    const TZevVector zero;
    link->State = 0;
    link->RestLength = 0.0f;
    link->Tolerance = 0.0f;
    link->Spring = 0.0f;
    link->Damper = 0.0f;
    link->StaticFriction = 0.0f;
    link->DynamicFriction = 0.0f;
    link->PrevPointA = link->PrevPointB = link->PointA = link->PointB = zero;
    link->ClearWorkingValues();
    link->Pair = nullptr;
    link->Active = 1;
    link->ObjectA = link->ObjectB = nullptr;
    link->AttachA = link->AttachB = zero;
    link->NodeA = link->NodeB = nullptr;
    link->Length = 0.0f;
    link->LengthError2 = 0.0f;
    link->Direction = link->PrevDirection = zero;
    link->SatisfyListed = 0;
    link->SatisfyPass = 0;
    link->SatisfyIsland = 0;
    link->InPool = 0;
    return link;
}

TZevRigidLink* CreateRigidLink(TZevPhscs2Obj* a, TZevPhscs2Obj* b, const TZevVector& attachA,
                               const TZevVector& attachB)
{
    if (a == nullptr || b == nullptr)
        return nullptr;
    TZevRigidLink* link = NewRigidLink();
    link->Active = 1;
    link->ObjectA = a;
    link->ObjectB = b;
    link->AttachA = attachA;
    link->AttachB = attachB;
    link->NodeA = a->RigidLinks.PushFront(static_cast<TZevReleasableLink*>(link));
    link->NodeB = b->RigidLinks.PushFront(static_cast<TZevReleasableLink*>(link));
    link->Advance();
    link->Advance();
    link->ClearWorkingValues();
    link->Pair = nullptr;
    link->RestLength = 0.0f;
    link->Tolerance = 0.5f;
    link->Spring = 40.0f;
    link->Damper = 0.025f;
    link->StaticFriction = 0.08f;
    link->DynamicFriction = 0.08f;
    return link;
}

void TZevRigidLink::Update()
{
    if (ObjectA != nullptr)
        ObjectA->LocalToWorld(AttachA, PointA);
    if (ObjectB != nullptr)
        ObjectB->LocalToWorld(AttachB, PointB);
}

void TZevRigidLink::UpdateLength()
{
    Update();
    const TZevVector d(PointB.x - PointA.x, PointB.y - PointA.y, PointB.z - PointA.z);
    float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    PrevDirection = Direction;
    if (length >= 1e-7f)
        Direction = TZevVector(d.x / length, d.y / length, d.z / length);
    else
        length = 0.0f;
    Length = length - RestLength;
    LengthError2 = Length * 2.0f;
}

void TZevRigidLink::Release()
{
    ObjectA = nullptr;
    ObjectB = nullptr;
    for (TZevListNode** node : {&NodeA, &NodeB}) {
        if (*node != nullptr) {
            TZevList::RemoveNode(*node);
            *node = nullptr;
        }
    }
    ZevDropPairRef(Pair);
    Pair = nullptr;
    Unlink();
    // Into the pool last, and only once: a second release finds the link there already.
    if (InPool != 0)
        return;
    ZevRigidLinkInit();
    InPool = 1;
    if (!RigidLinkPool->Give(this))
        delete this;
}

int ZevRigidLinkPoolSize()
{
    ZevRigidLinkInit();
    const int slot = GetThreadPoolIndex();
    return slot < 0 ? 0 : RigidLinkPool->Heads[slot].GetCount();
}
