// Leaf boxes, inner-node refit, the octree split with its tie coin, and the inner-node pool.
#include "ZevBBoxTree.h"

#include "ZevDebug.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

namespace {

using V = TZevVector;

class BoxTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevBBoxTreeInit();
    }

    // A root with one point leaf per position (previous = current).
    TZevPooledBBoxTree* RootWithPoints(const std::vector<V>& positions)
    {
        current = positions;
        previous = positions;
        currentPtr = current.data();
        previousPtr = previous.data();
        TZevPooledBBoxTree* root = AllocBoxNode();
        for (std::size_t i = 0; i < positions.size(); ++i) {
            auto* leaf = new TZevPointBoxVecT;
            leaf->SetPoint(&currentPtr, &previousPtr, static_cast<std::uint16_t>(i));
            root->AppendChild(leaf);
        }
        return root;
    }

    std::vector<V> current, previous;
    V* currentPtr = nullptr;
    V* previousPtr = nullptr;
};

void CollectLeaves(const TZevBoxNode* node, std::vector<const TZevBoxNode*>& leaves, int& innerNodes)
{
    for (const TZevBoxNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (child->type == ZevCollisionTypeInfo(ZevTypeBBoxTree)) {
            ++innerNodes;
            EXPECT_EQ(child->Parent(), node);
            CollectLeaves(child, leaves, innerNodes);
        } else {
            leaves.push_back(child);
        }
    }
}

int ChildCount(const TZevBoxNode* node)
{
    int n = 0;
    for (const TZevBoxNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling())
        ++n;
    return n;
}

// The eight corners of the cube [-1, 1]^3 in octant order (bit 1: z above, 2: y above, 4: x above).
std::vector<V> Corners()
{
    std::vector<V> corners;
    for (int octant = 0; octant < 8; ++octant)
        corners.emplace_back(octant & 4 ? 1.0f : -1.0f, octant & 2 ? 1.0f : -1.0f, octant & 1 ? 1.0f : -1.0f);
    return corners;
}

TEST_F(BoxTree, LeafBoxesCoverBothPositionsPadded)
{
    V now[3] = {V(0, 0, 0), V(1, 0, 0), V(0, 2, 0)};
    V before[3] = {V(0, 0, -1), V(1, 0, 0), V(0, 2, 3)};
    V* nowPtr = now;
    V* beforePtr = before;

    TZevPointBoxVecT point;
    point.SetPoint(&nowPtr, &beforePtr, 1); // did not move
    EXPECT_EQ(point.box.Min.x, 1.0f - 0.0001f);
    EXPECT_EQ(point.box.Max.x, 1.0f + 0.0001f);
    EXPECT_EQ(point.box.Min.y, 0.0f - 0.0001f);
    EXPECT_EQ(point.box.Max.z, 0.0f + 0.0001f);

    TZevEdgeBoxVecT edge;
    edge.SetEdge(&nowPtr, &beforePtr, 0, 2);
    EXPECT_EQ(edge.box.Min.z, -1.0f - 0.0001f);
    EXPECT_EQ(edge.box.Max.z, 3.0f + 0.0001f);
    EXPECT_EQ(edge.box.Max.y, 2.0f + 0.0001f);
    EXPECT_EQ(edge.box.Max.x, 0.0f + 0.0001f);

    TZevFaceBoxVecT face;
    face.SetFace(&nowPtr, &beforePtr, 0, 1, 2);
    EXPECT_EQ(face.i2, 2);
    EXPECT_EQ(face.box.Min.x, 0.0f - 0.0001f);
    EXPECT_EQ(face.box.Max.x, 1.0f + 0.0001f);
    EXPECT_EQ(face.box.Min.z, -1.0f - 0.0001f);
    EXPECT_EQ(face.box.Max.z, 3.0f + 0.0001f);

    // The leaves follow their tree's arrays: after a swap the box is recomputed from the new ones.
    std::swap(nowPtr, beforePtr);
    before[0] = V(5, 5, 5);
    point.i = 0;
    point.UpdateBox();
    EXPECT_EQ(point.box.Max.x, 5.0f + 0.0001f);
    EXPECT_EQ(point.box.Min.x, 0.0f - 0.0001f);
}

TEST_F(BoxTree, InnerNodeRefitsToTheUnionAndEmptyOverlapsNothing)
{
    TZevBBoxTree empty;
    empty.UpdateBox();
    EXPECT_EQ(empty.box.Min.x, 3.4e37f);
    EXPECT_EQ(empty.box.Max.z, -3.4e37f);
    TZevNodeBox everything;
    everything.Min = V(-1e30f, -1e30f, -1e30f);
    everything.Max = V(1e30f, 1e30f, 1e30f);
    EXPECT_FALSE(empty.box.Overlaps(everything));
    EXPECT_FALSE(everything.Overlaps(empty.box));

    TZevPooledBBoxTree* root = RootWithPoints({V(1, 2, 3), V(-4, 0, 9), V(0, -7, 1)});
    auto* inner = new TZevBBoxTree; // an empty child does not widen the union
    root->AppendChild(inner);
    root->UpdateBox();
    EXPECT_EQ(root->box.Min.x, -4.0f - 0.0001f);
    EXPECT_EQ(root->box.Min.y, -7.0f - 0.0001f);
    EXPECT_EQ(root->box.Max.z, 9.0f + 0.0001f);
    EXPECT_EQ(root->box.Max.y, 2.0f + 0.0001f);
    delete root;
}

TEST_F(BoxTree, EightChildrenStayNineAreSplit)
{
    TZevPooledBBoxTree* eight = RootWithPoints(Corners());
    SplitOctree(eight, AllocBoxNode, ReleaseBoxNode, -1);
    EXPECT_EQ(ChildCount(eight), 8);
    delete eight;

    std::vector<V> nine = Corners();
    nine.push_back(V(0.5f, 0.5f, 0.5f));
    TZevPooledBBoxTree* root = RootWithPoints(nine);
    // A node with as many children as its parent is left alone.
    SplitOctree(root, AllocBoxNode, ReleaseBoxNode, 9);
    EXPECT_EQ(ChildCount(root), 9);

    SplitOctree(root, AllocBoxNode, ReleaseBoxNode, -1);
    ASSERT_EQ(ChildCount(root), 1);
    std::vector<const TZevBoxNode*> leaves;
    int inner = 0;
    CollectLeaves(root, leaves, inner);
    EXPECT_EQ(leaves.size(), 9u);
    EXPECT_EQ(std::set<const TZevBoxNode*>(leaves.begin(), leaves.end()).size(), 9u);
    // 8 octants, all used, paired into 7 pair nodes.
    EXPECT_EQ(inner, 15);
    root->UpdateBox();
    EXPECT_EQ(root->box.Min.x, -1.0f - 0.0001f);
    EXPECT_EQ(root->box.Max.y, 1.0f + 0.0001f);
    delete root;
}

// A box whose centre equals the mean on all three axes is placed by three coins from OctreeTieWord.
struct TieCase {
    V centre; // of the tied box
    std::uint32_t word;
    int octant;             // the corner octant it joins
    std::uint32_t wordAfter;
};

TEST_F(BoxTree, TiedCentresFollowTheTieWord)
{
    const TieCase cases[] = {
        // 0 -> z coin 0, word 10 -> y coin 0, word 91; x is not tied (0.5 is above the mean 0.5 / 9)
        {V(0.5f, 0, 0), 0u, 4, 91u},
        // 0 -> z coin 0, word 10 -> y coin 0, word 91 -> x coin 1, word 13 * 91 + 34
        {V(0, 0, 0), 0u, 4, 1217u},
        // 1 -> z 1, word 13 -> y 1, word 112 -> x 0, word 1490
        {V(0, 0, 0), 1u, 3, 1490u},
        // wraps modulo 2^32: 0xFFFFFFFF -> z 1, word 7 -> y 1, word 70 -> x 0, word 944
        {V(0, 0, 0), 0xFFFFFFFFu, 3, 944u},
    };
    for (const TieCase& c : cases) {
        std::vector<V> boxes = {c.centre}; // the tied box first, then the eight corners around the origin
        for (const V& corner : Corners())
            boxes.push_back(corner);
        TZevPooledBBoxTree* root = RootWithPoints(boxes);
        const TZevBoxNode* tied = root->FirstChild();

        OctreeTieWord = c.word;
        SplitOctree(root, AllocBoxNode, ReleaseBoxNode, -1);
        EXPECT_EQ(OctreeTieWord, c.wordAfter) << c.word;

        // The tied box shares its octant node with the corner of that octant.
        const auto* octant = static_cast<const TZevBoxNode*>(tied->Parent());
        ASSERT_EQ(ChildCount(octant), 2) << c.word;
        const auto* corner = static_cast<const TZevPointBoxVecT*>(tied->NextSibling());
        ASSERT_NE(corner, nullptr);
        EXPECT_EQ(corner->i, 1 + c.octant) << c.word; // corners were added in octant order after the tied box
        delete root;
    }
}

TEST_F(BoxTree, EmptyOctantsGoBackToThePoolAndAreReused)
{
    // Nine points on the diagonal, in two octants only: six octants come back unused, one of them is taken
    // again for the pair of the two used octants.
    std::vector<V> points;
    for (int k = 0; k < 9; ++k) {
        const float t = k < 5 ? -1.0f - k : 1.0f + k;
        points.push_back(V(t, t, t));
    }
    TZevPooledBBoxTree* root = RootWithPoints(points);
    SplitOctree(root, AllocBoxNode, ReleaseBoxNode, -1);
    std::vector<const TZevBoxNode*> leaves;
    int inner = 0;
    CollectLeaves(root, leaves, inner);
    EXPECT_EQ(leaves.size(), 9u);
    EXPECT_EQ(inner, 3); // two octants and their pair

    const std::int32_t before = NewCount.load();
    std::vector<TZevPooledBBoxTree*> taken;
    for (int k = 0; k < 5; ++k)
        taken.push_back(AllocBoxNode());
    EXPECT_EQ(NewCount.load(), before);
    for (TZevPooledBBoxTree* node : taken)
        ReleaseBoxNode(node);
    delete root;
}

TEST_F(BoxTree, LargeSplitKeepsEveryLeafAndRepeats)
{
    // A deterministic cloud with clusters, duplicates and a far outlier.
    std::vector<V> points;
    std::uint32_t seed = 12345u;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 8) % 2001u) * 0.01f - 10.0f;
    };
    for (int k = 0; k < 2000; ++k)
        points.push_back(V(next(), next(), next()));
    for (int k = 0; k < 40; ++k)
        points.push_back(V(3, 3, 3));
    points.push_back(V(1e6f, -1e6f, 1e6f));

    auto shape = [&](std::uint32_t word, std::vector<int>& order) {
        TZevPooledBBoxTree* root = RootWithPoints(points);
        OctreeTieWord = word;
        SplitOctree(root, AllocBoxNode, ReleaseBoxNode, -1);
        std::vector<const TZevBoxNode*> leaves;
        int inner = 0;
        CollectLeaves(root, leaves, inner);
        EXPECT_EQ(leaves.size(), points.size());
        order.clear();
        for (const TZevBoxNode* leaf : leaves)
            order.push_back(static_cast<const TZevPointBoxVecT*>(leaf)->i);
        EXPECT_EQ(std::set<int>(order.begin(), order.end()).size(), points.size());
        delete root;
    };
    std::vector<int> first, second;
    shape(77u, first);
    shape(77u, second);
    EXPECT_EQ(first, second);
}

} // namespace
