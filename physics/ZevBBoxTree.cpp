#include "ZevBBoxTree.h"

#include "ZevPoolDrain.h"

#include <cmath>
#include <cstdlib>

std::uint32_t OctreeTieWord = 0;

void ZevSetEmptyBox(TZevNodeBox& box)
{
    box.Min = TZevVector(ZevEmptyBoxMin, ZevEmptyBoxMin, ZevEmptyBoxMin);
    box.Max = TZevVector(ZevEmptyBoxMax, ZevEmptyBoxMax, ZevEmptyBoxMax);
}

void ZevWidenBox(TZevNodeBox& box, const TZevNodeBox& other)
{
    if (other.Min.x < box.Min.x) box.Min.x = other.Min.x;
    if (other.Min.y < box.Min.y) box.Min.y = other.Min.y;
    if (other.Min.z < box.Min.z) box.Min.z = other.Min.z;
    if (other.Max.x > box.Max.x) box.Max.x = other.Max.x;
    if (other.Max.y > box.Max.y) box.Max.y = other.Max.y;
    if (other.Max.z > box.Max.z) box.Max.z = other.Max.z;
}

namespace {

inline void Include(TZevNodeBox& box, const TZevVector& p)
{
    if (p.x < box.Min.x) box.Min.x = p.x;
    if (p.y < box.Min.y) box.Min.y = p.y;
    if (p.z < box.Min.z) box.Min.z = p.z;
    if (p.x > box.Max.x) box.Max.x = p.x;
    if (p.y > box.Max.y) box.Max.y = p.y;
    if (p.z > box.Max.z) box.Max.z = p.z;
}

inline void StartAt(TZevNodeBox& box, const TZevVector& p)
{
    box.Min = p;
    box.Max = p;
}

inline void Pad(TZevNodeBox& box)
{
    box.Min = TZevVector(box.Min.x - ZevLeafBoxPadding, box.Min.y - ZevLeafBoxPadding, box.Min.z - ZevLeafBoxPadding);
    box.Max = TZevVector(box.Max.x + ZevLeafBoxPadding, box.Max.y + ZevLeafBoxPadding, box.Max.z + ZevLeafBoxPadding);
}

// A leaf's box: its corners now and before, padded.
template <int N>
void FitLeaf(TZevNodeBox& box, TZevVector** current, TZevVector** previous, const std::int32_t (&corners)[N])
{
    const TZevVector* now = *current;
    const TZevVector* before = *previous;
    StartAt(box, now[corners[0]]);
    for (int k = 1; k < N; ++k)
        Include(box, now[corners[k]]);
    for (int k = 0; k < N; ++k)
        Include(box, before[corners[k]]);
    Pad(box);
}

// The pools of inner nodes: BoxNodePool, and one that no code fills, kept and cleaned the same way.
TZevPoolHeads* BoxNodePool = nullptr;
TZevPoolHeads* UnusedBoxPool = nullptr;

void DrainBoxPools()
{
    ZevDrainPool<TZevPooledBBoxTree>(UnusedBoxPool);
    ZevDrainPool<TZevPooledBBoxTree>(BoxNodePool);
}

} // namespace

void ZevBBoxTreeInit()
{
    if (BoxNodePool != nullptr)
        return;
    ZevTypeInfoInit();
    BoxNodePool = new TZevPoolHeads(ZevDeletePooled<TZevPooledBBoxTree>);
    UnusedBoxPool = new TZevPoolHeads(ZevDeletePooled<TZevPooledBBoxTree>);
    std::atexit(DrainBoxPools);
}

void TZevBBoxTree::UpdateBox()
{
    TZevBoxNode* child = FirstChild();
    if (child == nullptr) {
        ZevSetEmptyBox(box);
        return;
    }
    child->UpdateBox();
    box.Min = child->box.Min;
    box.Max = child->box.Max;
    for (child = child->NextSibling(); child != nullptr; child = child->NextSibling()) {
        child->UpdateBox();
        ZevWidenBox(box, child->box);
    }
}

void TZevFaceBoxVecT::UpdateBox()
{
    const std::int32_t corners[3] = {i0, i1, i2};
    FitLeaf(box, current, previous, corners);
}

void TZevFaceBoxVecT::SetFace(TZevVector** currentArray, TZevVector** previousArray, std::uint16_t a,
                              std::uint16_t b, std::uint16_t c)
{
    current = currentArray;
    previous = previousArray;
    i0 = a;
    i1 = b;
    i2 = c;
    UpdateBox();
}

void TZevEdgeBoxVecT::UpdateBox()
{
    const std::int32_t ends[2] = {i0, i1};
    FitLeaf(box, current, previous, ends);
}

void TZevEdgeBoxVecT::SetEdge(TZevVector** currentArray, TZevVector** previousArray, std::uint16_t a,
                              std::uint16_t b)
{
    current = currentArray;
    previous = previousArray;
    i0 = a;
    i1 = b;
    UpdateBox();
}

void TZevPointBoxVecT::UpdateBox()
{
    const std::int32_t corner[1] = {i};
    FitLeaf(box, current, previous, corner);
}

void TZevPointBoxVecT::SetPoint(TZevVector** currentArray, TZevVector** previousArray, std::uint16_t index)
{
    current = currentArray;
    previous = previousArray;
    i = index;
    UpdateBox();
}

namespace {

// The inner nodes made here start on a cache line, as the leaves do.
class TZevLineInnerNode final : public TZevPooledBBoxTree, public TZevLineAligned {
public:
    using TZevLineAligned::operator new;
    using TZevLineAligned::operator delete;
};

} // namespace

TZevPooledBBoxTree* AllocBoxNode()
{
    ZevBBoxTreeInit();
    if (void* item = BoxNodePool->Take()) {
        // A recycled node starts like a new one, except for its box, which the owner refits.
        TZevPooledBBoxTree* node = static_cast<TZevPooledBBoxTree*>(item);
        node->contactCount = 0;
        node->linkCount = 0;
        node->layer = 0;
        node->object = nullptr;
        return node;
    }
    return new TZevLineInnerNode;
}

void ReleaseBoxNode(TZevPooledBBoxTree* node)
{
    if (node == nullptr)
        return;
    ZevBBoxTreeInit();
    node->Detach();
    if (!BoxNodePool->Give(node))
        delete node;
}

void ReleaseBoxTree(TZevBoxNode* root)
{
    if (root == nullptr)
        return;
    auto* pooled = dynamic_cast<TZevPooledBBoxTree*>(root);
    // A node still holding links or partners goes to the heap with them, as before.
    if (pooled == nullptr || !pooled->links.IsEmpty() || !pooled->partners.IsEmpty() ||
        !pooled->contactLinks.IsEmpty() || !pooled->reservedList.IsEmpty()) {
        delete root;
        return;
    }
    while (TZevBoxNode* child = pooled->FirstChild()) {
        child->Detach();
        ReleaseBoxTree(child);
    }
    ReleaseBoxNode(pooled);
}

namespace {

// One coin from the tie word: its low bit before the update.
inline int TieBit(std::uint32_t next)
{
    const int bit = static_cast<int>(OctreeTieWord & 1u);
    OctreeTieWord = next;
    return bit;
}

inline int OctantOf(const TZevNodeBox& box, const TZevVector& mean)
{
    const TZevVector c((box.Min.x + box.Max.x) * 0.5f, (box.Min.y + box.Max.y) * 0.5f,
                       (box.Min.z + box.Max.z) * 0.5f);
    int octant = 0;
    const float dz = c.z - mean.z;
    if (std::fabs(dz) < 0.0001f)
        octant |= TieBit(3u * OctreeTieWord + 10u);
    else if (c.z > mean.z)
        octant |= 1;
    const float dy = c.y - mean.y;
    if (std::fabs(dy) < 0.0001f)
        octant |= TieBit((OctreeTieWord + 3u) * 7u) << 1;
    else if (c.y > mean.y)
        octant |= 2;
    const float dx = c.x - mean.x;
    if (std::fabs(dx) < 0.0001f)
        octant |= TieBit(13u * OctreeTieWord + 34u) << 2;
    else if (c.x > mean.x)
        octant |= 4;
    return octant;
}

// Both sides present: a new node holding both (first side first); otherwise the side that exists, or null.
TZevBoxNode* Pair(TZevBoxNode* first, TZevBoxNode* second, TZevNewBoxNode newNode)
{
    if (first == nullptr)
        return second;
    if (second == nullptr)
        return first;
    TZevBoxNode* pair = newNode();
    pair->AppendChild(first);
    pair->AppendChild(second);
    return pair;
}

// One split: the children go to the octants about their mean centre, empty octants are dropped, and the rest hang
// under the node as a balanced tree of pairs. The octants that need a split of their own are pushed, last octant
// first, so that they are split in octant order, each completely before the next, as a recursion would.
void SplitOne(TZevBoxNode* node, TZevNewBoxNode newNode, TZevReleaseBoxNode releaseNode, int parentCount,
              TZevList& pendingNodes, TZevList& pendingCounts)
{
    int count = 0;
    TZevVector sum;
    for (TZevBoxNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
        ++count;
        sum.x += child->box.Min.x + child->box.Max.x;
        sum.y += child->box.Min.y + child->box.Max.y;
        sum.z += child->box.Min.z + child->box.Max.z;
    }
    if (count == 0 || count <= 8 || count == parentCount)
        return;

    TZevBoxNode* octants[8];
    for (TZevBoxNode*& octant : octants)
        octant = newNode();

    const float scale = 1.0f / static_cast<float>(2 * count);
    const TZevVector mean(sum.x * scale, sum.y * scale, sum.z * scale);
    for (TZevBoxNode* child = node->FirstChild(); child != nullptr;) {
        TZevBoxNode* following = child->NextSibling();
        octants[OctantOf(child->box, mean)]->AppendChild(child);
        child = following;
    }

    for (TZevBoxNode*& octant : octants) {
        if (octant->IsEmpty()) {
            releaseNode(static_cast<TZevPooledBBoxTree*>(octant));
            octant = nullptr;
        }
    }
    for (int k = 7; k >= 0; --k) {
        if (octants[k] != nullptr) {
            pendingNodes.PushFront(octants[k]);
            pendingCounts.PushFront(reinterpret_cast<void*>(static_cast<std::intptr_t>(count)));
        }
    }

    TZevBoxNode* p01 = Pair(octants[0], octants[1], newNode);
    TZevBoxNode* p23 = Pair(octants[2], octants[3], newNode);
    TZevBoxNode* p45 = Pair(octants[4], octants[5], newNode);
    TZevBoxNode* p67 = Pair(octants[6], octants[7], newNode);
    TZevBoxNode* p03 = Pair(p01, p23, newNode);
    TZevBoxNode* p47 = Pair(p45, p67, newNode);
    TZevBoxNode* top = Pair(p03, p47, newNode);
    node->AppendChild(top);
}

} // namespace

void SplitOctree(TZevBoxNode* node, TZevNewBoxNode newNode, TZevReleaseBoxNode releaseNode, int parentCount)
{
    // Worked through a stack rather than by recursion: a skewed distribution of boxes can make the octree deep.
    TZevList pendingNodes;
    TZevList pendingCounts;
    SplitOne(node, newNode, releaseNode, parentCount, pendingNodes, pendingCounts);
    while (TZevBoxNode* next = ZevPopItem<TZevBoxNode>(pendingNodes)) {
        const int count = static_cast<int>(reinterpret_cast<std::intptr_t>(pendingCounts.PopFront()));
        SplitOne(next, newNode, releaseNode, count, pendingNodes, pendingCounts);
    }
}
