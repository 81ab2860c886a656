#include "ZevSubContactLink.h"

#include "ZevPoolDrain.h"

#include <cstdlib>
#include <new>

namespace {

TZevPoolHeads* SubContactPool = nullptr;

void DrainSubContactPool()
{
    ZevDrainPool<TZevSubContactLink>(SubContactPool);
}

// (1 - u - v) c0 + u c1 + v c2, componentwise in the order of the contact records' points.
TZevVector Barycentric(const TZevVector& c0, const TZevVector& c1, const TZevVector& c2, float u, float v)
{
    const float w = 1.0f - u - v;
    return TZevVector(w * c0.x + u * c1.x + v * c2.x, w * c0.y + u * c1.y + v * c2.y, w * c0.z + u * c1.z + v * c2.z);
}

} // namespace

void ZevSubContactInit()
{
    if (SubContactPool != nullptr)
        return;
    GetListNodePools();
    SubContactPool = new TZevPoolHeads(ZevDeletePooled<TZevSubContactLink>);
    std::atexit(DrainSubContactPool);
}

TZevSubContactLink* AllocSubContact()
{
    ZevSubContactInit();
    if (void* item = SubContactPool->Take()) {
        TZevSubContactLink* sub = static_cast<TZevSubContactLink*>(item);
        sub->Reset();
        return sub;
    }
    void* memory = TZevLineAligned::AllocateAligned(sizeof(TZevSubContactLink));
    if (memory == nullptr)
        return nullptr;
    return new (memory) TZevSubContactLink;
}

void TZevSubContactLink::Reset()
{
    const TZevVector zero;
    State = 0;
    RestLength = Tolerance = Spring = Damper = StaticFriction = DynamicFriction = 0.0f;
    PrevPointA = PrevPointB = PointA = PointB = zero;
    ClearWorkingValues();
    Face = nullptr;
    Edge = OtherEdge = nullptr;
    FaceArray = EdgeArray = nullptr;
    BoundEdge = BoundFace = 0;
    U = V = T = PrevT = 0.0f;
    Reserved0 = Reserved1 = 0;
    Depth = PrevDepth = 0.0f;
    InPool = 0;
}

void TZevSubContactLink::Release()
{
    if (InPool != 0)
        return;
    InPool = 1;
    ZevSubContactInit();
    if (!SubContactPool->Give(this))
        delete this;
}

void TZevSubContactLink::Renew()
{
    const TZevVector zero;
    PointA = PointB = zero;
    FaceArray = EdgeArray = nullptr;
    U = V = T = 0.0f;
    Depth = PrevDepth = 0.0f;
}

void TZevSubContactLink::Update()
{
    if (FaceArray == nullptr)
        return;
    const TZevVector* face = *FaceArray;
    PointA = Barycentric(face[FaceCorners[0]], face[FaceCorners[1]], face[FaceCorners[2]], U, V);
    if (EdgeArray == nullptr)
        return;
    const TZevVector* edge = *EdgeArray;
    const TZevVector& e0 = edge[EdgeEnds[0]];
    const TZevVector& e1 = edge[EdgeEnds[1]];
    const float s = 1.0f - T;
    PointB = TZevVector(s * e0.x + T * e1.x, s * e0.y + T * e1.y, s * e0.z + T * e1.z);
}

float ZevSubContactDepth(const TZevPhscs2Link* sub)
{
    return sub != nullptr ? static_cast<const TZevSubContactLink*>(sub)->Depth : 0.0f;
}

int ZevSubContactPoolSize()
{
    ZevSubContactInit();
    const int slot = GetThreadPoolIndex();
    return slot < 0 ? 0 : SubContactPool->Heads[slot].GetCount();
}
