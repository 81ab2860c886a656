#include "ZevCollisionSpace.h"

#include "ZevListView.h"
#include "ZevNarrowPhase.h"

#include <utility>

TZevCollideFunc CollisionTable[ZevCollisionKindCount][ZevCollisionKindCount] = {};

namespace {

// The buffer of the test running on this thread away from the space, or null: contacts go to the space.
thread_local TZevContactBuffer* FoundInto = nullptr;

void AddContact(TZevCollisionSpace* space, const TZevContactSide& a, const TZevContactSide& b,
                const TZevVector& normal, float time)
{
    if (TZevContactBuffer* buffer = FoundInto)
        buffer->contacts.push_back({a, b, normal, time});
    else
        ZevAddContactPair(space, a, b, normal, time);
}

inline int KindOf(const TZevBoxNode* node)
{
    return node->type->kind;
}

// ZevCollideNodes, inlined into the tree walks that call it for every child they visit.
[[gnu::always_inline]] inline int CollidePair(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA,
                                              void* extraA, TZevFMCTTree* treeB, TZevBoxNode* nodeB, void* extraB)
{
    int kindA = KindOf(nodeA);
    int kindB = KindOf(nodeB);
    if (kindA > kindB) {
        std::swap(treeA, treeB);
        std::swap(nodeA, nodeB);
        std::swap(extraA, extraB);
        std::swap(kindA, kindB);
    }
    if (nodeA == nodeB || !nodeA->box.Overlaps(nodeB->box))
        return 0;
    if (nodeA->linkCount != 0 || nodeB->linkCount != 0)
        return 0;
    // Kinds outside the table (a record whose kind was never set) are no pair to test.
    if (kindA < 0 || kindB >= ZevCollisionKindCount)
        return 0;
    TZevCollideFunc test = CollisionTable[kindA][kindB];
    if (test == nullptr)
        return 0;
    return test(space, treeA, nodeA, extraA, treeB, nodeB, extraB);
}

// Leaf tests of the table. Time 0 is the previous step's positions, time 1 the current one's.

// A leaf's vertices as a contact side lists them: an edge repeats its first, a point its only one.
void SetCorners(TZevContactSide& side, const TZevFaceBoxVecT& face)
{
    side.i0 = face.i0;
    side.i1 = face.i1;
    side.i2 = face.i2;
}

void SetCorners(TZevContactSide& side, const TZevEdgeBoxVecT& edge)
{
    side.i0 = edge.i0;
    side.i1 = edge.i1;
    side.i2 = edge.i0;
}

void SetCorners(TZevContactSide& side, const TZevPointBoxVecT& point)
{
    side.i0 = side.i1 = side.i2 = point.i;
}

template <class Leaf> TZevContactSide LeafSide(TZevFMCTTree* tree, Leaf* leaf, float u, float v)
{
    TZevContactSide side;
    side.tree = tree;
    side.node = leaf;
    side.current = leaf->current;
    side.previous = leaf->previous;
    SetCorners(side, *leaf);
    side.u = u;
    side.v = v;
    return side;
}

int CollideFacePoint(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA, void*,
                     TZevFMCTTree* treeB, TZevBoxNode* nodeB, void*)
{
    TZevFaceBoxVecT* face = static_cast<TZevFaceBoxVecT*>(nodeA);
    TZevPointBoxVecT* point = static_cast<TZevPointBoxVecT*>(nodeB);
    TZevSweptHit hit;
    if (!ZevFacePointHit(*face, *point, hit))
        return 0;
    AddContact(space, LeafSide(treeA, face, hit.u, hit.v), LeafSide(treeB, point, 0.0f, 0.0f), hit.normal,
                      hit.time);
    return 1;
}

int CollideEdgeEdge(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA, void*,
                    TZevFMCTTree* treeB, TZevBoxNode* nodeB, void*)
{
    TZevEdgeBoxVecT* ea = static_cast<TZevEdgeBoxVecT*>(nodeA);
    TZevEdgeBoxVecT* eb = static_cast<TZevEdgeBoxVecT*>(nodeB);
    TZevSweptHit hit;
    if (!ZevEdgeEdgeHit(*ea, *eb, hit))
        return 0;
    AddContact(space, LeafSide(treeA, ea, hit.u, 0.0f), LeafSide(treeB, eb, hit.v, 0.0f), hit.normal,
                      hit.time);
    return 1;
}

// The children of a tree node against a leaf whose slab set is `slabs`: a child outside the slabs is skipped.
int CollideChildrenInSlabs(TZevCollisionSpace* space, TZevFMCTTree* treeN, TZevBoxNode* nodeN, void* extraN,
                           TZevFMCTTree* treeL, TZevBoxNode* leaf, const TZevSlabSet* slabs)
{
    int result = 0;
    // A set without direction passes every box.
    const bool sliced = slabs->count != 0;
    const TZevOwnerListLink* end = nodeN->End();
    for (TZevOwnerListLink* link = nodeN->First(); link != end; link = link->next) {
        TZevBoxNode* child = static_cast<TZevBoxNode*>(link);
        if (sliced && !ZevBoxInSlabs(child->box.Min, child->box.Max, *slabs))
            continue;
        if (CollidePair(space, treeN, child, extraN, treeL, leaf, const_cast<TZevSlabSet*>(slabs)) != 0)
            result = 1;
    }
    return result;
}

// The set without direction that a leaf too small for slabs carries down the walk (only ever read).
TZevSlabSet NoSlabs;

// A tree node against a leaf, the leaf's extra being its slab set: children of the node that cannot meet the
// leaf's swept hull are skipped. A set without direction lets every child pass.
int CollideTreeLeaf(TZevCollisionSpace* space, TZevFMCTTree* treeN, TZevBoxNode* nodeN, void* extraN,
                    TZevFMCTTree* treeL, TZevBoxNode* leaf, void* extraL)
{
    if (const TZevSlabSet* slabs = static_cast<const TZevSlabSet*>(extraL))
        return CollideChildrenInSlabs(space, treeN, nodeN, extraN, treeL, leaf, slabs);
    // Slabs only pay for a leaf much larger than the node; a smaller one is tested against every child.
    if (!(ZevBoxSize(leaf) > 2.0f * ZevBoxSize(nodeN)))
        return CollideChildrenInSlabs(space, treeN, nodeN, extraN, treeL, leaf, &NoSlabs);
    TZevSlabSet local;
    if (!ZevBuildSlabSet(*leaf, treeL->level, local))
        return 0;
    return CollideChildrenInSlabs(space, treeN, nodeN, extraN, treeL, leaf, &local);
}

} // namespace

float ZevBoxSize(const TZevBoxNode* node)
{
    const TZevNodeBox& b = node->box;
    return (b.Max.x - b.Min.x) + (b.Max.y - b.Min.y) + (b.Max.z - b.Min.z);
}

int ZevCollideNone(TZevCollisionSpace*, TZevFMCTTree*, TZevBoxNode*, void*, TZevFMCTTree*, TZevBoxNode*, void*)
{
    return 0;
}

int ZevCollideTreeTree(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA, void* extraA,
                       TZevFMCTTree* treeB, TZevBoxNode* nodeB, void* extraB)
{
    // Descend the larger node; on equal sizes the second.
    int r;
    if (ZevBoxSize(nodeB) < ZevBoxSize(nodeA))
        r = treeA->CollideChildren(space, nodeA, extraA, treeB, nodeB, extraB);
    else
        r = treeB->CollideChildren(space, nodeB, extraB, treeA, nodeA, extraA);
    return r != 0 ? 1 : 0;
}

void ZevInitCollisionTable()
{
    ZevSetCollisionKinds();
    if (CollisionTable[0][0] != nullptr)
        return;
    CollisionTable[0][0] = ZevCollideTreeTree;
    CollisionTable[0][1] = CollideTreeLeaf;
    CollisionTable[0][2] = CollideTreeLeaf;
    CollisionTable[0][3] = CollideTreeLeaf;
    CollisionTable[1][1] = ZevCollideNone;
    CollisionTable[1][2] = ZevCollideNone;
    CollisionTable[1][3] = CollideFacePoint;
    CollisionTable[2][2] = CollideEdgeEdge;
    CollisionTable[2][3] = ZevCollideNone;
    CollisionTable[3][3] = ZevCollideNone;
}

int ZevCollideNodes(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA, void* extraA,
                    TZevFMCTTree* treeB, TZevBoxNode* nodeB, void* extraB)
{
    return CollidePair(space, treeA, nodeA, extraA, treeB, nodeB, extraB);
}

int ZevCollideTrees(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevFMCTTree* treeB)
{
    if (treeA->group == treeB->group)
        return 0;
    if (treeA->primitiveRoot == nullptr || treeB->primitiveRoot == nullptr)
        return 0;
    const int r = ZevCollideNodes(space, treeA, treeA->primitiveRoot, nullptr, treeB, treeB->primitiveRoot, nullptr);
    if (r != 0) {
        treeA->partners.Add(treeB);
        treeB->partners.Add(treeA);
    }
    return r;
}

int ZevCollideTreesInto(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevFMCTTree* treeB,
                        TZevContactBuffer& buffer)
{
    if (treeA->group == treeB->group)
        return 0;
    if (treeA->primitiveRoot == nullptr || treeB->primitiveRoot == nullptr)
        return 0;
    const std::size_t before = buffer.contacts.size();
    TZevContactBuffer* outer = FoundInto;
    FoundInto = &buffer;
    const int r = ZevCollideNodes(space, treeA, treeA->primitiveRoot, nullptr, treeB, treeB->primitiveRoot, nullptr);
    FoundInto = outer;
    if (r != 0 || buffer.contacts.size() != before)
        buffer.meetings.push_back({treeA, treeB, static_cast<std::uint32_t>(buffer.contacts.size()), r});
    return r;
}

void ZevAddFoundMeeting(TZevCollisionSpace* space, const TZevContactBuffer& buffer, std::size_t meeting)
{
    const TZevFoundMeeting& m = buffer.meetings[meeting];
    const std::size_t begin = meeting == 0 ? 0 : buffer.meetings[meeting - 1].contactEnd;
    for (std::size_t i = begin; i < m.contactEnd; ++i) {
        const TZevFoundContact& c = buffer.contacts[i];
        ZevAddContactPair(space, c.a, c.b, c.normal, c.time);
    }
    if (m.hit != 0) {
        m.treeA->partners.Add(m.treeB);
        m.treeB->partners.Add(m.treeA);
    }
}

// ---------------------------------------------------------------------------------------------------------------

TZevCollisionSpace::TZevCollisionSpace()
{
    activeRoot = AllocCTree();
    parkedRoot = AllocCTree();
    ZevInitCollisionTable();
}

TZevCollisionSpace::~TZevCollisionSpace()
{
    delete activeRoot;
    activeRoot = nullptr;
    delete parkedRoot;
    parkedRoot = nullptr;
}

void TZevCollisionSpace::UpdateTrees(float step)
{
    // Pre-order with an explicit stack; children pushed last first so that they are visited in ring order.
    TZevList stack;
    stack.PushFront(activeRoot);
    while (TZevCTree* node = ZevPopItem<TZevCTree>(stack)) {
        if (node->IsMeshTree())
            static_cast<TZevFMCTTree*>(node)->AdvanceStep(step);
        ZevPushChildren<TZevCTree>(stack, node);
    }
}

void TZevCollisionSpace::RefitTrees(float step)
{
    TZevList stack;
    stack.PushFront(activeRoot);
    while (TZevCTree* node = ZevPopItem<TZevCTree>(stack)) {
        if (node->IsMeshTree()) {
            static_cast<TZevFMCTTree*>(node)->UpdateWorldMatrix(step);
            continue;
        }
        ZevPushChildren<TZevCTree>(stack, node);
    }
    activeRoot->UpdateBox();
}

void TZevCollisionSpace::AddBody(TZevFMCTTree* tree)
{
    tree->Unlink();
    tree->space = this;
    activeRoot->AppendChild(tree);
    // The root's box must take the new tree in at the next refit, whatever its own level.
    activeRoot->SetRebuildFlag();
}

void TZevCollisionSpace::ClearContacts()
{
    for (TZevFMCTTree* tree : ZevItems<TZevFMCTTree>(contactTrees)) {
        // The node is given back with the whole list below.
        tree->spaceNode = nullptr;
        while (!tree->contacts->IsEmpty()) {
            auto* record = static_cast<TZevFMCTree_CFaceData*>(tree->contacts->First());
            // A record released before is only logged by the release; it must not hold the walk.
            const bool releasedBefore = record->released != 0;
            ReleaseContactRecord(record);
            if (releasedBefore)
                record->Unlink();
        }
        tree->partners.Clear();
    }
    contactTrees.Clear();
    contactRecords.Clear();
}
