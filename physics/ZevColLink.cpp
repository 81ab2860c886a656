#include "ZevColLink.h"

#include "ZevContactEstimate.h"
#include "ZevContactMaker.h"
#include "ZevListView.h"
#include "ZevPhscs2World.h"
#include "ZevPoolDrain.h"
#include "ZevXPhObj.h"

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

TZevPoolHeads* PointLinkPool = nullptr;
TZevPoolHeads* EdgeLinkPool = nullptr;
TZevPoolHeads* FaceLinkPool = nullptr;

void DrainColLinkPools()
{
    ZevDrainPool<TZevFC2RPointLink>(PointLinkPool);
    ZevDrainPool<TZevFC2REdgeLink>(EdgeLinkPool);
    ZevDrainPool<TZevFC2RFaceLink>(FaceLinkPool);
}

// The box stands beside the leaf: the last child of the leaf's parent, so that the tree's walks and refits meet it
// where they meet the leaf.
void PlaceBeside(TZevBoxNode* box, TZevBoxNode* leaf)
{
    if (TZevCollisionNode* parent = leaf->Parent())
        parent->AppendChild(box);
    else
        box->Detach();
}

// Link of kind L from its pool, or a new one. A recycled link forgets the estimates of the leaf it served
// before, so that a new leaf never starts from another leaf's normal or thresholds.
template <class L> L* TakeLink(TZevPoolHeads* pool)
{
    void* item = pool->Take();
    if (item == nullptr)
        return new L;
    L* link = static_cast<L*>(item);
    link->normal = TZevVector();
    return link;
}

template <class L> void GiveLink(L* link, TZevPoolHeads* pool)
{
    if (!pool->Give(link))
        delete link;
}

// The bookkeeping of a new link, common to the three kinds: one user, the leaf out of the narrow phase, the leaf
// listed by the world and by the body.
void Register(TZevFC2RColLink* link, TZevBoxNode* leaf, TZevList& worldLeaves, TZevXPhObj* body)
{
    link->refCount = 1;
    leaf->linkCount += 1;
    leaf->links.Add(link);
    link->worldNode = ZevListPushPooled(&worldLeaves, leaf);
    link->bodyNode = ZevListPushPooled(&body->LinkedLeaves, leaf);
    link->body = body;
    link->released = 0;
}

// The part of a release common to the three kinds, after the leaf and the boxes: the list nodes, the flag, the
// second list.
void Unregister(TZevFC2RColLink* link)
{
    for (TZevListNode** node : {&link->worldNode, &link->bodyNode}) {
        if (*node != nullptr) {
            TZevList::RemoveNode(*node);
            *node = nullptr;
        }
    }
    link->released = 1;
    link->secondListPtr->Clear();
}

// The leaf takes part in the narrow phase again.
void FreeLeaf(TZevBoxNode* leaf)
{
    leaf->linkCount -= 1;
    leaf->UpdateBox();
    leaf->links.Clear();
}

template <class Box> void ReleaseBox(Box*& box)
{
    if (box == nullptr)
        return;
    box->leaf = nullptr;
    box->Release();
    box = nullptr;
}

// Layer boxes of a new link: both beside the leaf, standing for it, in layers 1 and 2, with the dynamic object of
// the leaf.
template <class Box, class Leaf> void SetUpBoxes(Box* box1, Box* box2, Leaf* leaf)
{
    int layer = 1;
    for (Box* box : {box1, box2}) {
        box->leaf = leaf;
        box->object = leaf->object;
        box->layer = layer++;
        PlaceBeside(box, leaf);
    }
}

// Face and edge boxes start on the leaf itself, so that no refit before the first estimate stretches the tree's
// boxes towards the origin; the estimates move them.
template <class Box, int N> void StartOnLeaf(Box* box, const TZevVector* now, const TZevVector* before,
                                             const std::int32_t (&index)[N])
{
    TZevVector current[N];
    TZevVector previous[N];
    for (int k = 0; k < N; ++k) {
        current[k] = now[index[k]];
        previous[k] = before[index[k]];
    }
    box->SetPositions(current, previous);
}

const char* MissingBoxText(const TZevBoxNode* leaf)
{
    if (ZevIsNodeType(leaf, ZevTypePointBoxVecT))
        return "RPBVTがないのに開放処理が行なわれました\n";
    if (ZevIsNodeType(leaf, ZevTypeEdgeBoxVecT))
        return "REBVTがないのに開放処理が行なわれました\n";
    return "RFBVTがないのに開放処理が行なわれました\n";
}

inline bool IsMeshLeaf(const TZevBoxNode* node)
{
    return ZevIsNodeType(node, ZevTypeFaceBoxVecT) || ZevIsNodeType(node, ZevTypeEdgeBoxVecT) || ZevIsNodeType(node, ZevTypePointBoxVecT);
}

} // namespace

void ZevColLinkInit()
{
    if (PointLinkPool != nullptr)
        return;
    ZevBodyBoxesInit();
    ZevContactLinkInit();
    ZevSubContactInit();
    GetListNodePools();
    PointLinkPool = new TZevPoolHeads(ZevDeletePooled<TZevFC2RPointLink>);
    EdgeLinkPool = new TZevPoolHeads(ZevDeletePooled<TZevFC2REdgeLink>);
    FaceLinkPool = new TZevPoolHeads(ZevDeletePooled<TZevFC2RFaceLink>);
    std::atexit(DrainColLinkPools);
    ZevReleaseBodyBoxesHook = ReleaseBodyBoxes;
}

int ZevColLinkPoolSize(int kind)
{
    ZevColLinkInit();
    const int slot = GetThreadPoolIndex();
    if (slot < 0)
        return 0;
    TZevPoolHeads* pool = kind == 0 ? PointLinkPool : kind == 1 ? EdgeLinkPool : FaceLinkPool;
    return pool->Heads[slot].GetCount();
}

// ---------------------------------------------------------------------------------------------------------------
// The link classes

TZevFC2RColLink::TZevFC2RColLink() : firstListPtr(&firstList), secondListPtr(&secondList) {}

void TZevFC2RColLink::Release()
{
    if (released == 1) {
        ZevDebugLog("TZevFC2RColLinkの2重開放\n");
        return;
    }
    released = 1;
    secondListPtr->Clear();
}

namespace {

// Release of a link of kind L. A link released before is in its pool already: it must neither touch the leaf it
// no longer has nor go into the pool a second time.
template <class L> void ReleaseLink(L* link, TZevPoolHeads* pool)
{
    if (link->released == 1) {
        ZevDebugLog("TZevFC2RColLinkの2重開放\n");
        return;
    }
    if (link->leaf != nullptr) {
        FreeLeaf(link->leaf);
        link->leaf = nullptr;
    }
    ReleaseBox(link->box1);
    ReleaseBox(link->box2);
    Unregister(link);
    GiveLink(link, pool);
}

} // namespace

void TZevFC2RPointLink::Release()
{
    ReleaseLink(this, PointLinkPool);
}

void TZevFC2REdgeLink::Release()
{
    ReleaseLink(this, EdgeLinkPool);
}

void TZevFC2RFaceLink::Release()
{
    ReleaseLink(this, FaceLinkPool);
}

void TZevFC2RPointLink::AdvanceBox()
{
    if (box1 != nullptr)
        box1->store.previousStore[0] = box1->store.currentStore[0];
}

template <class Leaf, class Box> void TZevFC2RLeafLink<Leaf, Box>::AttachSecondBox()
{
    if (box2 != nullptr && leaf != nullptr)
        PlaceBeside(box2, leaf);
}

template <class Leaf, class Box> void TZevFC2RLeafLink<Leaf, Box>::DetachSecondBox()
{
    if (box2 != nullptr)
        box2->Detach();
}

template <class Leaf, class Box> TZevBoxNode* TZevFC2RLeafLink<Leaf, Box>::GetBox(int layer)
{
    return layer == 1 ? box1 : layer == 2 ? box2 : nullptr;
}

template class TZevFC2RLeafLink<TZevPointBoxVecT, RPBVT>;
template class TZevFC2RLeafLink<TZevEdgeBoxVecT, REBVT>;
template class TZevFC2RLeafLink<TZevFaceBoxVecT, RFBVT>;

// ---------------------------------------------------------------------------------------------------------------
// Looking links up

bool ZevLeafLinkNormal(TZevBoxNode* leaf, TZevVector& normal)
{
    const TZevFC2RColLink* link = ZevLeafColLink(leaf);
    if (link == nullptr)
        return false;
    normal = link->normal;
    return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Making links

namespace {

// The leaf's link of kind L counted once more, or a new one from `pool` (read after the set-up) with two new
// boxes beside the leaf, which `start` places; null for a missing body or leaf, or a body-attached box.
template <class L, class Box, class Start>
L* MakeLink(TZevList& worldLeaves, TZevXPhObj* body, decltype(L::leaf) leaf, L* (*lookup)(const TZevBoxNode*),
            TZevPoolHeads*& pool, Box* (*newBox)(), Start start)
{
    if (body == nullptr || leaf == nullptr || leaf->bodyAttached != 0)
        return nullptr;
    ZevColLinkInit();
    if (L* link = lookup(leaf)) {
        link->refCount += 1;
        return link;
    }
    L* link = TakeLink<L>(pool);
    link->box1 = newBox();
    link->box2 = newBox();
    SetUpBoxes(link->box1, link->box2, leaf);
    link->leaf = leaf;
    Register(link, leaf, worldLeaves, body);
    start(link);
    return link;
}

} // namespace

TZevFC2RPointLink* MakePointLink(TZevList& worldLeaves, TZevXPhObj* body, TZevPointBoxVecT* leaf)
{
    return MakeLink(worldLeaves, body, leaf, ZevPointColLink, PointLinkPool, NewRPBVT, [leaf](TZevFC2RPointLink* link) {
        const TZevVector& now = (*leaf->current)[leaf->i];
        const TZevVector& before = (*leaf->previous)[leaf->i];
        link->box1->SetPosition(now, before);
        link->box2->SetPosition(now, now);
    });
}

TZevFC2REdgeLink* MakeEdgeLink(TZevList& worldLeaves, TZevXPhObj* body, TZevEdgeBoxVecT* leaf)
{
    return MakeLink(worldLeaves, body, leaf, ZevEdgeColLink, EdgeLinkPool, NewREBVT, [leaf](TZevFC2REdgeLink* link) {
        link->threshold = 0.0f;
        const std::int32_t ends[2] = {leaf->i0, leaf->i1};
        StartOnLeaf(link->box1, *leaf->current, *leaf->previous, ends);
        StartOnLeaf(link->box2, *leaf->current, *leaf->current, ends);
    });
}

TZevFC2RFaceLink* MakeFaceLink(TZevList& worldLeaves, TZevXPhObj* body, TZevFaceBoxVecT* leaf)
{
    return MakeLink(worldLeaves, body, leaf, ZevFaceColLink, FaceLinkPool, NewRFBVT, [leaf](TZevFC2RFaceLink* link) {
        link->thresholdV = link->thresholdU = 0.0f;
        const std::int32_t corners[3] = {leaf->i0, leaf->i1, leaf->i2};
        StartOnLeaf(link->box1, *leaf->current, *leaf->previous, corners);
        StartOnLeaf(link->box2, *leaf->current, *leaf->current, corners);
    });
}

TZevFC2RPointLink* MakePointLink(TZevPhscs2World* world, TZevXPhObj* body, TZevPointBoxVecT* leaf)
{
    return world == nullptr ? nullptr : MakePointLink(world->CollisionLinkList, body, leaf);
}

TZevFC2REdgeLink* MakeEdgeLink(TZevPhscs2World* world, TZevXPhObj* body, TZevEdgeBoxVecT* leaf)
{
    return world == nullptr ? nullptr : MakeEdgeLink(world->CollisionLinkList, body, leaf);
}

TZevFC2RFaceLink* MakeFaceLink(TZevPhscs2World* world, TZevXPhObj* body, TZevFaceBoxVecT* leaf)
{
    return world == nullptr ? nullptr : MakeFaceLink(world->CollisionLinkList, body, leaf);
}

void BuildLinks(TZevList& worldLeaves, TZevXPhObj* body, TZevBoxNode* node)
{
    if (node == nullptr || body == nullptr)
        return;
    // Depth first with an explicit stack. A node's children are taken when the node is visited, before any link
    // of theirs puts its boxes into the same ring, so the boxes are never visited.
    TZevList stack;
    stack.PushFront(node);
    while (TZevBoxNode* n = ZevPopItem<TZevBoxNode>(stack)) {
        if (n->bodyAttached != 0)
            continue;
        if (ZevIsNodeType(n, ZevTypeFaceBoxVecT)) {
            MakeFaceLink(worldLeaves, body, static_cast<TZevFaceBoxVecT*>(n));
        } else if (ZevIsNodeType(n, ZevTypeEdgeBoxVecT)) {
            MakeEdgeLink(worldLeaves, body, static_cast<TZevEdgeBoxVecT*>(n));
        } else if (ZevIsNodeType(n, ZevTypePointBoxVecT)) {
            MakePointLink(worldLeaves, body, static_cast<TZevPointBoxVecT*>(n));
        } else {
            ZevPushChildren<TZevBoxNode>(stack, n);
        }
    }
}

void BuildLinks(TZevPhscs2World* world, TZevXPhObj* body, TZevBoxNode* node)
{
    if (world != nullptr)
        BuildLinks(world->CollisionLinkList, body, node);
}

// ---------------------------------------------------------------------------------------------------------------
// Bodies entering and leaving the world

namespace {

// A body (without its children) enters the world: present pose, rigid links and joints, links of its leaves.
void EnterWorld(TZevPhscs2World* world, TZevXPhObj* body)
{
    // Both vertex arrays and every box take the present pose.
    body->ClearContactHit();
    body->AdvanceStep(0.0f);
    body->AdvanceStep(0.0f);
    body->ClearContactHit();
    body->UpdateBox();
    for (TZevPhscs2Obj* state : ZevItems<TZevPhscs2Obj>(body->StateObjects)) {
        if (world->RigidLinks != nullptr) {
            for (TZevReleasableLink* link : ZevItems<TZevReleasableLink>(state->RigidLinks))
                world->RigidLinks->Append(link);
        }
        if (world->Joints != nullptr) {
            for (TZevReleasableLink* link : ZevItems<TZevReleasableLink>(state->Joints))
                world->Joints->Append(link);
        }
    }
    body->space = world;
    body->HitWord = 1; // in the world
    // A body that still has its links (added again without leaving the world) keeps them: linking it a second
    // time would give every link a user that no teardown ever drops, and the links would outlive their leaves.
    if (body->HasBodyBoxes == 0)
        BuildLinks(world->CollisionLinkList, body, body->primitiveRoot);
    body->HasBodyBoxes = 1;
}

// Once the body and everything below it have entered, the boxes of its new links take their first estimates.
void SettleLinks(TZevPhscs2World* world, TZevXPhObj* body)
{
    ClearBodyLinkLists(body);
    ClearBodyLinkLists(body);
    ProcessBodyContacts(world, body);
}

} // namespace

void AddBodyToWorld(TZevPhscs2World* world, TZevXPhObj* body)
{
    if (world == nullptr || body == nullptr)
        return;
    ZevColLinkInit();
    // The body tree in pre-order for entering, and each body settled once every body below it has entered and
    // settled, as a recursion over the children would do; walked with an explicit stack of (body, settle) items.
    std::vector<std::pair<TZevXPhObj*, bool>> stack{{body, false}};
    while (!stack.empty()) {
        const auto [b, settle] = stack.back();
        stack.pop_back();
        if (settle) {
            SettleLinks(world, b);
            continue;
        }
        EnterWorld(world, b);
        stack.emplace_back(b, true);
        for (TZevOwnerListLink* child = b->Last(); child != b->End(); child = child->prev) {
            TZevCTree* tree = static_cast<TZevCTree*>(child);
            if (tree->IsMeshTree())
                stack.emplace_back(static_cast<TZevXPhObj*>(tree), false);
        }
    }
}

void ClearBodyLinkLists(TZevXPhObj* body)
{
    if (body == nullptr)
        return;
    ++body->boxVersion;
    for (TZevBoxNode* leaf : ZevItems<TZevBoxNode>(body->LinkedLeaves)) {
        if (TZevFC2RColLink* link = ZevLeafColLink(leaf)) {
            link->AdvanceBox();
            link->secondListPtr->Clear();
        }
    }
}

void ReleaseBodyBoxes(TZevFMCTTree* tree)
{
    if (tree == nullptr || tree->primitiveRoot == nullptr)
        return;
    // Every leaf is found before any link goes: a link's release frees its boxes, which may stand in this very
    // tree (a pool that cannot take them back deletes them), and the walk must not meet them afterwards.
    TZevList leaves;
    TZevList stack;
    stack.PushFront(tree->primitiveRoot);
    while (TZevBoxNode* n = ZevPopItem<TZevBoxNode>(stack)) {
        if (n->bodyAttached != 0)
            continue;
        if (IsMeshLeaf(n)) {
            leaves.Add(n);
            continue;
        }
        ZevPushChildren<TZevBoxNode>(stack, n);
    }
    for (TZevBoxNode* n : ZevItems<TZevBoxNode>(leaves)) {
        TZevFC2RColLink* link = ZevLeafColLink(n);
        if (link == nullptr) {
            ZevDebugLog(MissingBoxText(n));
            continue;
        }
        link->refCount -= 1;
        if (link->refCount <= 0)
            link->Release();
    }
}

void ZevForgetWorldColLinks(TZevList& worldLeaves)
{
    for (TZevBoxNode* leaf : ZevItems<TZevBoxNode>(worldLeaves)) {
        if (TZevFC2RColLink* link = ZevLeafColLink(leaf))
            link->worldNode = nullptr;
    }
    worldLeaves.Clear();
}
